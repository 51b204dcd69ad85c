#include "FileServer.h"

#include <bimcore/storage/fs/UniqueFd.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>

namespace {

bool sendAll(int socket, const std::string& text)
{
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(socket, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
        [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// Empty when the head has no such field; header names ignore case.
std::string fieldValue(const std::string& head, const char* name)
{
    const std::string key = "\r\n" + lowered(name) + ":";
    const size_t at = lowered(head).find(key);
    if (at == std::string::npos)
        return {};
    const size_t begin = head.find_first_not_of(' ', at + key.size());
    const size_t end = head.find("\r\n", begin);
    return head.substr(begin, end - begin);
}

// Only the open-ended form a resuming client sends; any other range is
// ignored and the whole file goes, which a client has to accept anyway.
long long rangeStart(const std::string& range)
{
    const std::string prefix = "bytes=";
    if (range.compare(0, prefix.size(), prefix) != 0 || range.back() != '-')
        return 0;
    const std::string digits = range.substr(prefix.size(), range.size() - prefix.size() - 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoll(digits);
}

// Built by hand: strftime would follow the locale that Qt sets up.
std::string httpDate(time_t time)
{
    static const char* const days[] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
    static const char* const months[]
        = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    tm utc {};
    ::gmtime_r(&time, &utc);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[utc.tm_wday],
        utc.tm_mday, months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

} // namespace

FileServer::FileServer(std::string path, std::string downloadName)
    : m_path(std::move(path))
    , m_downloadName(std::move(downloadName))
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::listen(m_listener, 4) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("file server cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    // A client that stops reading must not end the benchmark.
    std::signal(SIGPIPE, SIG_IGN);
    m_thread = std::thread([this] { serve(); });
}

FileServer::~FileServer()
{
    m_stopping = true;
    ::shutdown(m_listener, SHUT_RDWR);
    m_thread.join();
    ::close(m_listener);
}

void FileServer::serve()
{
    while (!m_stopping) {
        const UniqueFd client(::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC));
        if (!client)
            continue;
        answer(client.get());
    }
}

void FileServer::answer(int client)
{
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        head.append(buffer, size_t(n));
    }

    const UniqueFd file(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info
    {
    };
    if (!file || ::fstat(file.get(), &info) != 0)
        return;
    const long long size = info.st_size;
    char etag[64];
    std::snprintf(etag, sizeof etag, "\"%llx-%llx\"", size,
        (long long)info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec);
    const std::string lastModified = httpDate(info.st_mtim.tv_sec);

    // A part kept from another version of the file must not be continued.
    const std::string ifRange = fieldValue(head, "If-Range");
    const bool sameVersion = ifRange.empty() || ifRange == etag || ifRange == lastModified;
    const long long start = sameVersion ? rangeStart(fieldValue(head, "Range")) : 0;
    m_lastReplyStart = start;

    std::string response;
    if (start >= size && start > 0) {
        response = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */"
            + std::to_string(size) + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        sendAll(client, response);
        return;
    }
    response = start > 0
        ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(start) + "-"
            + std::to_string(size - 1) + "/" + std::to_string(size) + "\r\n"
        : "HTTP/1.1 200 OK\r\n";
    response += "Content-Type: application/octet-stream\r\n"
                "Content-Disposition: attachment; filename=\""
        + m_downloadName + "\"\r\nETag: " + etag + "\r\nLast-Modified: " + lastModified
        + "\r\nAccept-Ranges: bytes\r\nContent-Length: " + std::to_string(size - start)
        + "\r\nConnection: close\r\n\r\n";
    if (!sendAll(client, response))
        return;

    off_t offset = start;
    while (offset < size) {
        if (::sendfile(client, file.get(), &offset, size_t(size - offset)) <= 0)
            return;
    }
    ::shutdown(client, SHUT_WR);
    // Let the client read to the end before the socket goes.
    while (::recv(client, buffer, sizeof buffer, 0) > 0) { }
}
