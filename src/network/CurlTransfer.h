#pragma once

#include <QByteArray>
#include <QHash>
#include <QUrl>

#include <curl/curl.h>

#include <memory>
#include <vector>

class QEventLoop;
class QNetworkAccessManager;
class QTimer;

namespace bimcore {

namespace network_detail {

// One request of a download, run by curl's multi interface from a local
// event loop (socket notifiers and a timer), so the host's events still run.
// To a server it looks like the REST calls' access manager asking for the
// same URL: the service headers in order, and that manager's proxy,
// cookies, client headers and TLS settings.
class CurlTransfer
{
public:
    class Receiver
    {
    public:
        virtual ~Receiver() = default;
        // One header line, CRLF included; false stops the transfer.
        virtual bool header(const QByteArray& line) = 0;
        // Body bytes as they came; false stops the transfer.
        virtual bool body(const char* data, size_t size) = 0;
    };

    enum class Outcome
    {
        Done, // curl ended it: see result()
        TimedOut, // the shared limit fired
        Stalled, // the reply stopped coming, or never began to
        Cancelled,
        Interrupted, // QCoreApplication::exit() or quit() ended the loop
    };

    CurlTransfer(Receiver& receiver, const QString& url, const QString& authorization,
        QNetworkAccessManager& manager);
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Asks for the file from `offset` on, only while `ifRange` names it.
    void continueFrom(qint64 offset, const QByteArray& ifRange);
    // Whether curl took every option.
    bool ready() const { return m_ready; }

    // Runs until curl ends the transfer, `limit` fires, fewer than
    // `stallBytes` of the reply come within any `stallMs` from the start,
    // cancel() is called, or the wait is ended from outside; then puts the
    // cookies the reply set into the manager's jar. `limit` must be running.
    Outcome run(QTimer& limit, int stallMs, qint64 stallBytes);
    // What curl gave when run() returned Done.
    CURLcode result() const { return m_result; }
    // Ends the wait of run() from a slot or callback that runs inside it.
    void cancel();

private:
    struct Watch;

    void set(CURLoption option, const QByteArray& text);
    void setBlob(CURLoption option, const QByteArray& bytes);
    void header(const QByteArray& line);
    void setUpTls();
    static int onSocket(CURL*, curl_socket_t socket, int what, void* self, void*);
    static int onTimer(CURLM*, long timeoutMs, void* self);
    static size_t onHeader(char* data, size_t, size_t size, void* self);
    static size_t onBody(char* data, size_t, size_t size, void* self);
    void act(curl_socket_t socket, int events);
    void finish(Outcome outcome);

    Receiver& m_receiver;
    QNetworkAccessManager& m_manager;
    const QUrl m_url;
    CURLM* m_multi = nullptr;
    CURL* m_easy = nullptr;
    curl_slist* m_headers = nullptr;
    bool m_ready = true;
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

} // namespace bimcore
