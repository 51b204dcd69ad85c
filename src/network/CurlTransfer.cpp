#include "CurlTransfer.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <vector>

namespace network_detail {

namespace {

constexpr long kBufferSize = 1L << 20;

void initCurlOnce()
{
    // Function-local, so the first download of the process sets curl up once.
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Q_UNUSED(ready)
}

} // namespace

// The notifiers of one socket curl watches. Notifiers that curl gives up
// while one of them is delivering its signal are only disabled then, and
// deleted when the call into curl has returned.
struct CurlTransfer::Watch
{
    std::unique_ptr<QSocketNotifier> read;
    std::unique_ptr<QSocketNotifier> write;
};

CurlTransfer::CurlTransfer(Receiver& receiver)
    : m_receiver(receiver)
    , m_curlTimer(std::make_unique<QTimer>())
    , m_stallTimer(std::make_unique<QTimer>())
{
    initCurlOnce();
    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlTransfer::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlTransfer::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    // CURLOPT_NOSIGNAL stays off: curl then keeps SIGPIPE of a peer that went
    // away, on a TLS connection too, from the host while it works.
    // Fewer, larger writes: the body goes to the disk as it comes.
    curl_easy_setopt(m_easy, CURLOPT_BUFFERSIZE, kBufferSize);
    curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::onHeader);
    curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::onBody);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
    m_curlTimer->setSingleShot(true);
    QObject::connect(m_curlTimer.get(), &QTimer::timeout, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
    QObject::connect(m_stallTimer.get(), &QTimer::timeout, [this] {
        if (m_sinceCheck < m_stallBytes)
            finish(Outcome::Stalled);
        m_sinceCheck = 0;
    });
}

CurlTransfer::~CurlTransfer()
{
    curl_multi_remove_handle(m_multi, m_easy);
    curl_easy_cleanup(m_easy);
    curl_multi_cleanup(m_multi);
    qDeleteAll(m_watches);
    m_retired.clear();
}

CurlTransfer::Outcome CurlTransfer::run(QTimer& limit, int stallMs, qint64 stallBytes)
{
    if (!limit.isActive())
        return Outcome::TimedOut;
    m_stallTimer->setInterval(stallMs);
    m_stallBytes = stallBytes;
    QEventLoop loop;
    m_loop = &loop;
    const auto onLimit
        = QObject::connect(&limit, &QTimer::timeout, &loop, [this] { finish(Outcome::TimedOut); });
    // From the start: a connection never made, or a server that never
    // answers, holds the call as long as a body that stopped.
    m_sinceCheck = 0;
    m_stallTimer->start();
    // Adding the handle sets curl's first deadline; the work starts in the loop.
    if (curl_multi_add_handle(m_multi, m_easy) != CURLM_OK) {
        m_result = CURLE_FAILED_INIT;
        m_ended = true;
    }
    if (!m_ended)
        loop.exec();
    // An application that quits ends every loop of its thread, this one too,
    // and keeps ending those started until its own loop has returned.
    if (!m_ended) {
        m_ended = true;
        m_outcome = Outcome::Interrupted;
    }
    QObject::disconnect(onLimit);
    m_loop = nullptr;
    m_curlTimer->stop();
    m_stallTimer->stop();
    curl_multi_remove_handle(m_multi, m_easy);
    m_retired.clear();
    return m_outcome;
}

void CurlTransfer::cancel()
{
    m_stopWrites = true;
    finish(Outcome::Cancelled);
}

void CurlTransfer::finish(Outcome outcome)
{
    if (m_ended)
        return;
    m_ended = true;
    m_outcome = outcome;
    if (m_loop)
        m_loop->quit();
}

int CurlTransfer::onSocket(CURL*, curl_socket_t socket, int what, void* self, void*)
{
    auto* transfer = static_cast<CurlTransfer*>(self);
    Watch*& watch = transfer->m_watches[socket];
    if (!watch)
        watch = new Watch;
    auto notifier = [&](std::unique_ptr<QSocketNotifier>& slot, QSocketNotifier::Type type,
                        int event, bool wanted) {
        if (!slot && wanted) {
            slot = std::make_unique<QSocketNotifier>(qintptr(socket), type);
            QObject::connect(slot.get(), &QSocketNotifier::activated, slot.get(),
                [transfer, socket, event] { transfer->act(socket, event); });
        }
        if (slot)
            slot->setEnabled(wanted);
    };
    const bool remove = what == CURL_POLL_REMOVE;
    notifier(watch->read, QSocketNotifier::Read, CURL_CSELECT_IN, !remove && (what & CURL_POLL_IN));
    notifier(
        watch->write, QSocketNotifier::Write, CURL_CSELECT_OUT, !remove && (what & CURL_POLL_OUT));
    if (remove) {
        // The notifier may be the one delivering its signal right now.
        transfer->m_retired.emplace_back(watch);
        transfer->m_watches.remove(socket);
    }
    return 0;
}

int CurlTransfer::onTimer(CURLM*, long timeoutMs, void* self)
{
    auto* transfer = static_cast<CurlTransfer*>(self);
    if (timeoutMs < 0)
        transfer->m_curlTimer->stop();
    else
        transfer->m_curlTimer->start(int(qMin(timeoutMs, 1L << 30)));
    return 0;
}

size_t CurlTransfer::onHeader(char* data, size_t, size_t size, void* self)
{
    auto* transfer = static_cast<CurlTransfer*>(self);
    if (transfer->m_stopWrites)
        return 0;
    transfer->m_sinceCheck += qint64(size);
    return transfer->m_receiver.header(QByteArray(data, int(size))) ? size : 0;
}

size_t CurlTransfer::onBody(char* data, size_t, size_t size, void* self)
{
    auto* transfer = static_cast<CurlTransfer*>(self);
    if (transfer->m_stopWrites)
        return 0;
    transfer->m_sinceCheck += qint64(size);
    if (!transfer->m_receiver.body(data, size)) {
        transfer->m_stopWrites = true;
        return 0;
    }
    // The receiver may have cancelled the transfer from the progress callback.
    return transfer->m_stopWrites ? 0 : size;
}

void CurlTransfer::act(curl_socket_t socket, int events)
{
    if (m_ended)
        return;
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE) {
            m_result = message->data.result;
            finish(Outcome::Done);
        }
    }
}

} // namespace network_detail
