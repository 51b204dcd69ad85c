#ifndef _WIN32

#include "ListingAhead.h"

#include "DirHandle.h"

#include <new>
#include <utility>
#include <system_error>

namespace fs {

ListingAhead::~ListingAhead()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ListingAhead::ask(UniqueFd folder, const struct stat& status)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    waitIdle(lock);
    m_answer.reset();
    m_inode = 0;
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread(&ListingAhead::serve, this);
        } catch (const std::system_error&) {
            return; // the walk lists every folder itself
        }
    }
    m_device = status.st_dev;
    m_inode = status.st_ino;
    m_question = std::move(folder);
    m_busy = true;
    lock.unlock();
    m_changed.notify_all();
}

std::optional<FolderListing> ListingAhead::take(const struct stat& status)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_inode == 0 || m_device != status.st_dev || m_inode != status.st_ino)
        return std::nullopt;
    waitIdle(lock);
    m_inode = 0;
    return std::exchange(m_answer, std::nullopt);
}

void ListingAhead::waitIdle(std::unique_lock<std::mutex>& lock)
{
    m_changed.wait(lock, [this] { return !m_busy; });
}

void ListingAhead::serve()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_busy || m_stopping; });
        if (!m_busy)
            return;
        DirHandle dir = listingOf(std::move(m_question));
        lock.unlock();
        std::optional<FolderListing> answer;
        try {
            if (dir)
                answer = listFolder(dir.get(), Listed::ReadableAndWritable, false, {});
        } catch (const std::bad_alloc&) {
            answer.reset(); // the walk lists the folder itself
        }
        dir.reset();
        lock.lock();
        m_answer = std::move(answer);
        m_busy = false;
        m_changed.notify_all();
    }
}

} // namespace fs

#endif
