#ifndef _WIN32

#include "AccessAhead.h"

#include "DirHandle.h"

#include <new>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace fs {
namespace {

void lookInto(UniqueFd folder, AccessAhead::Answers& answers)
{
    const DirHandle dir = listingOf(std::move(folder));
    if (!dir)
        return;
    const int fd = dirfd(dir.get());
    while (const dirent* found = readdir(dir.get())) {
        if (found->d_type != DT_REG && found->d_type != DT_DIR)
            continue; // links, and entries whose kind the listing does not give
        const bool allowed = faccessat(fd, found->d_name, R_OK | W_OK, 0) == 0;
        answers.entries.emplace(found->d_name, std::make_pair(found->d_ino, allowed));
    }
}

} // namespace

AccessAhead::~AccessAhead()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void AccessAhead::ask(UniqueFd folder, const struct stat& status)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    waitIdle(lock);
    m_answers = Answers {};
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread(&AccessAhead::serve, this);
        } catch (const std::system_error&) {
            return; // the walk tests every entry itself
        }
    }
    m_answers.device = status.st_dev;
    m_answers.inode = status.st_ino;
    m_question = std::move(folder);
    m_busy = true;
    lock.unlock();
    m_changed.notify_all();
}

const AccessAhead::Answers* AccessAhead::answersFor(const struct stat& status)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_answers.device != status.st_dev || m_answers.inode != status.st_ino)
        return nullptr;
    waitIdle(lock);
    if (m_answers.device != status.st_dev || m_answers.inode != status.st_ino)
        return nullptr; // the helper could not answer
    m_answers.device = 0; // the answers are for the folder's first listing only
    m_answers.inode = 0;
    return &m_answers;
}

void AccessAhead::waitIdle(std::unique_lock<std::mutex>& lock)
{
    m_changed.wait(lock, [this] { return !m_busy; });
}

void AccessAhead::serve()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_busy || m_stopping; });
        if (!m_busy)
            return;
        UniqueFd folder = std::move(m_question);
        Answers answers;
        lock.unlock();
        bool answered = true;
        try {
            lookInto(std::move(folder), answers);
        } catch (const std::bad_alloc&) {
            answered = false;
        }
        lock.lock();
        if (answered)
            m_answers.entries = std::move(answers.entries);
        else
            m_answers = Answers {};
        m_busy = false;
        m_changed.notify_all();
    }
}

} // namespace fs

#endif
