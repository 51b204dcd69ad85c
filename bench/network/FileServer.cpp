#include "FileServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace {

struct Fd
{
    int fd;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

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
        Fd client { ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC) };
        if (client.fd < 0)
            continue;
        answer(client.fd);
    }
}

void FileServer::answer(int client) const
{
    // Read the request head; its content does not matter.
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        head.append(buffer, size_t(n));
    }

    Fd file { ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC) };
    struct stat info
    {
    };
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0)
        return;
    const std::string response = "HTTP/1.1 200 OK\r\n"
                                 "Content-Type: application/octet-stream\r\n"
                                 "Content-Disposition: attachment; filename=\""
        + m_downloadName + "\"\r\nContent-Length: " + std::to_string(info.st_size)
        + "\r\nConnection: close\r\n\r\n";
    if (!sendAll(client, response))
        return;
    off_t offset = 0;
    while (offset < info.st_size) {
        if (::sendfile(client, file.fd, &offset, size_t(info.st_size - offset)) <= 0)
            return;
    }
    ::shutdown(client, SHUT_WR);
    // Let the client read to the end before the socket goes.
    while (::recv(client, buffer, sizeof buffer, 0) > 0) { }
}
