#pragma once

#include "UniqueFd.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include <sys/stat.h>

namespace fs {

// Finds out, on a thread of its own, which entries of the folder a walk will
// enter next the real user may read and write, while the walk removes the
// entries of the folder before it. That test costs a system call per entry,
// nearly as much as the removal itself, so done in turn it would make a walk
// of many files a good quarter slower than a plain removal.
//
// Only files and folders are looked at: whether a link may be touched depends
// on what it leads to, which the walk may remove meanwhile, so links are
// tested by the walk itself when it lists their folder. An answer is kept
// with the entry's inode number and used only while the name still holds that
// inode. POSIX only.
class AccessAhead
{
public:
    struct Answers
    {
        dev_t device = 0;
        ino_t inode = 0; // of the folder asked about
        // by name: the entry's inode and whether it may be read and written
        std::unordered_map<std::string, std::pair<ino_t, bool>> entries;
    };

    AccessAhead() = default;
    AccessAhead(const AccessAhead&) = delete;
    AccessAhead& operator=(const AccessAhead&) = delete;
    ~AccessAhead();

    // Starts on the open folder, whose status is given; an earlier question
    // still open is finished and its answers dropped.
    void ask(UniqueFd folder, const struct stat& status);
    // The answers about the folder with this status once they are all in;
    // null when it was not the last folder asked about, or when they were
    // given before: a folder listed again is tested entry by entry.
    const Answers* answersFor(const struct stat& status);

private:
    void serve();
    void waitIdle(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    UniqueFd m_question;
    bool m_busy = false;
    bool m_stopping = false;
    Answers m_answers;
    std::thread m_thread; // started with the first question
};

} // namespace fs
