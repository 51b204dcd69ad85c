#pragma once

#include <QByteArray>
#include <QHash>

#include <curl/curl.h>

#include <memory>
#include <vector>

class QEventLoop;
class QSocketNotifier;
class QTimer;

namespace network_detail {

// One transfer of curl's run on the caller's thread: curl's multi interface
// is told of socket readiness by QSocketNotifier and of its deadlines by a
// QTimer, so that the wait is a local event loop in which the host's events
// still run. Header lines and body bytes go to the receiver as they come.
class CurlTransfer
{
public:
    class Receiver
    {
    public:
        virtual ~Receiver() = default;
        // One header line, CRLF included; false stops the transfer.
        virtual bool header(const QByteArray& line) = 0;
        // Body bytes, decoded; false stops the transfer.
        virtual bool body(const char* data, size_t size) = 0;
    };

    enum class Outcome
    {
        Done, // curl ended it: see result()
        TimedOut, // the shared limit fired
        Stalled, // the reply stopped coming, or never began to
        Cancelled,
        // The loop was ended from outside, by QCoreApplication::exit() or
        // quit(): curl had not ended the transfer.
        Interrupted,
    };

    explicit CurlTransfer(Receiver& receiver);
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // The handle to set the request up on before run().
    CURL* easy() const { return m_easy; }

    // Runs the transfer until curl ends it, `limit` fires, fewer than
    // `stallBytes` of the reply (head and body) come within any `stallMs`
    // from the start, cancel() is called, or the wait is ended from outside.
    // `limit` must be running; it is neither started nor stopped.
    Outcome run(QTimer& limit, int stallMs, qint64 stallBytes);
    // The result curl gave when run() returned Done.
    CURLcode result() const { return m_result; }

    // Ends the wait of run() from a slot or a callback that runs inside it.
    void cancel();

private:
    struct Watch;

    static int onSocket(CURL*, curl_socket_t socket, int what, void* self, void*);
    static int onTimer(CURLM*, long timeoutMs, void* self);
    static size_t onHeader(char* data, size_t, size_t size, void* self);
    static size_t onBody(char* data, size_t, size_t size, void* self);
    void act(curl_socket_t socket, int events);
    void finish(Outcome outcome);

    Receiver& m_receiver;
    CURLM* m_multi = nullptr;
    CURL* m_easy = nullptr;
    std::unique_ptr<QTimer> m_curlTimer;
    std::unique_ptr<QTimer> m_stallTimer;
    QHash<curl_socket_t, Watch*> m_watches;
    std::vector<std::unique_ptr<Watch>> m_retired;
    QEventLoop* m_loop = nullptr;
    Outcome m_outcome = Outcome::Done;
    CURLcode m_result = CURLE_OK;
    bool m_ended = false;
    bool m_stopWrites = false;
    qint64 m_sinceCheck = 0;
    qint64 m_stallBytes = 0;
};

} // namespace network_detail
