#pragma once

#include <atomic>
#include <string>
#include <thread>

// Serves one file over HTTP/1.1 on 127.0.0.1, to one client at a time, from
// its own thread with sendfile, so that the client under test is the only
// thing measured. Every reply carries a "Content-Disposition" naming the file
// downloadName and the file's version (a strong "ETag" and "Last-Modified"),
// and a request for "Range: bytes=N-" gets the rest of the file from N, as a
// server that lets a cut download be continued.
class FileServer
{
public:
    FileServer(std::string path, std::string downloadName);
    ~FileServer();

    FileServer(const FileServer&) = delete;
    FileServer& operator=(const FileServer&) = delete;

    int port() const { return m_port; }

    // Where the body of the last reply started in the file: 0 for the whole
    // file, -1 before any reply.
    long long lastReplyStart() const { return m_lastReplyStart; }

private:
    void serve();
    void answer(int client);

    std::string m_path;
    std::string m_downloadName;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping { false };
    std::atomic<long long> m_lastReplyStart { -1 };
    std::thread m_thread;
};
