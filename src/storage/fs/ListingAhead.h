#pragma once

#include "FolderListing.h"
#include "UniqueFd.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/stat.h>

namespace fs {

// Lists, on a thread of its own, the folder a walk of readable and writable
// entries will enter next, while the walk removes the entries of the folder
// before it. Each entry listed costs a test of its permissions, a system call
// nearly as dear as its removal: made in turn, the tests would leave a walk of
// many files a good quarter slower than a plain removal.
//
// Whether a link may be touched depends on what it leads to, which the walk
// may remove meanwhile: links are listed untested, for the walk to test when
// it reaches their folder. Entries that come after the listing are found by
// the walk's next listing of the folder, as any are. POSIX only.
class ListingAhead
{
public:
    ListingAhead() = default;
    ListingAhead(const ListingAhead&) = delete;
    ListingAhead& operator=(const ListingAhead&) = delete;
    ~ListingAhead();

    // Starts on the open folder, whose status is given; a listing still being
    // made is finished first and dropped.
    void ask(UniqueFd folder, const struct stat& status);
    // The listing of the folder with this status once it is made; none when
    // it was not the last folder asked about, or could not be listed.
    std::optional<FolderListing> take(const struct stat& status);

private:
    void serve();
    void waitIdle(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    UniqueFd m_question;
    dev_t m_device = 0;
    ino_t m_inode = 0; // 0: no folder asked about
    bool m_busy = false;
    bool m_stopping = false;
    std::optional<FolderListing> m_answer;
    std::thread m_thread; // started with the first question
};

} // namespace fs
