#pragma once

#include <atomic>
#include <string>
#include <thread>

// Serves one file over HTTP/1.1 on 127.0.0.1, to one client at a time, from
// its own thread with sendfile, so that the client under test is the only
// thing measured. Every request gets the file with a "Content-Disposition"
// naming it downloadName.
class FileServer
{
public:
    FileServer(std::string path, std::string downloadName);
    ~FileServer();

    FileServer(const FileServer&) = delete;
    FileServer& operator=(const FileServer&) = delete;

    int port() const { return m_port; }

private:
    void serve();
    void answer(int client) const;

    std::string m_path;
    std::string m_downloadName;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping { false };
    std::thread m_thread;
};
