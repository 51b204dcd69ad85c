#include "CurlTransfer.h"

#include "NetworkInternal.h"

#include <QEventLoop>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkRequest>
#include <QSocketNotifier>
#include <QTimer>
#if QT_CONFIG(ssl)
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#endif

namespace bimcore {

namespace network_detail {

namespace {

constexpr long kBufferSize = 1L << 20;

// The first proxy Qt would use for url, as curl spells it: empty for none,
// which also keeps curl from reading proxies of its own from the environment.
QByteArray proxyFor(const QUrl& url, QNetworkProxy* chosen)
{
    *chosen = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url))
                  .value(0, QNetworkProxy(QNetworkProxy::NoProxy));
    QByteArray scheme;
    switch (chosen->type()) {
    case QNetworkProxy::HttpProxy:
    case QNetworkProxy::HttpCachingProxy:
        scheme = "http://";
        break;
    case QNetworkProxy::Socks5Proxy:
        scheme = "socks5h://";
        break;
    default:
        return {};
    }
    const QString host = chosen->hostName().contains(QLatin1Char(':'))
        ? QLatin1Char('[') + chosen->hostName() + QLatin1Char(']')
        : chosen->hostName();
    return scheme + QUrl::toAce(host) + ':' + QByteArray::number(chosen->port());
}

// What Qt's HTTP client sends when the request names no language.
QByteArray acceptLanguage()
{
    const QString locale = QLocale::system().name().replace(QLatin1Char('_'), QLatin1Char('-'));
    if (locale == QLatin1String("C"))
        return "en,*";
    if (locale.startsWith(QLatin1String("en-")))
        return locale.toLatin1() + ",*";
    return locale.toLatin1() + ",en,*";
}

#if QT_CONFIG(ssl)
QByteArray pemOf(const QList<QSslCertificate>& certificates)
{
    QByteArray pem;
    for (const QSslCertificate& certificate : certificates)
        pem += certificate.toPem();
    return pem;
}
#endif

} // namespace

// The notifiers of one socket curl watches. Those curl gives up while one of
// them delivers its signal are only disabled, and deleted once the call into
// curl has returned.
struct CurlTransfer::Watch
{
    std::unique_ptr<QSocketNotifier> read;
    std::unique_ptr<QSocketNotifier> write;
};

CurlTransfer::CurlTransfer(Receiver& receiver, const QString& url, const QString& authorization,
    QNetworkAccessManager& manager)
    : m_receiver(receiver)
    , m_manager(manager)
    , m_url(url, QUrl::TolerantMode)
    , m_curlTimer(std::make_unique<QTimer>())
    , m_stallTimer(std::make_unique<QTimer>())
{
    static const bool curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    m_ready = curlReady && m_multi && m_easy;
    if (!m_ready)
        return;
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlTransfer::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlTransfer::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    // CURLOPT_NOSIGNAL stays off: curl then keeps SIGPIPE of a peer that went
    // away, on a TLS connection too, from the host. Larger writes, fewer.
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

    set(CURLOPT_URL, m_url.toEncoded());
    // Only the services' protocols, also after a move the server asks for.
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    for (const auto& [name, value] : serviceHeaders("application/octet-stream", authorization))
        header(name + ": " + value);
    const QList<QNetworkCookie> cookies
        = manager.cookieJar() ? manager.cookieJar()->cookiesForUrl(m_url) : QList<QNetworkCookie>();
    if (!cookies.isEmpty()) {
        QNetworkRequest spelt; // as the manager spells them
        spelt.setHeader(QNetworkRequest::CookieHeader, QVariant::fromValue(cookies));
        header("Cookie: " + spelt.rawHeader("Cookie"));
    }
    header("User-Agent: Mozilla/5.0");
    header("Accept-Language: " + acceptLanguage());
    // A range and a digest then count the bytes as they are on the disk.
    // curl hands on a coded body as it came: a server that codes it anyway
    // is decoded by the download, which can tell a cut inside the coding.
    header("Accept-Encoding: identity");
    curl_easy_setopt(m_easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    // Qt's choice alone: both set, so no proxy variable of the environment
    // (no_proxy either) changes it.
    QNetworkProxy proxy;
    set(CURLOPT_PROXY, proxyFor(m_url, &proxy));
    set(CURLOPT_NOPROXY, "");
    // The proxy's answer to a tunnel is no head of the file's.
    curl_easy_setopt(m_easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!proxy.user().isEmpty()) {
        set(CURLOPT_PROXYUSERNAME, proxy.user().toUtf8());
        set(CURLOPT_PROXYPASSWORD, proxy.password().toUtf8());
    }
    setUpTls();
}

void CurlTransfer::setUpTls()
{
#if QT_CONFIG(ssl)
    if (m_url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        return;
    const QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    // The authorities Qt trusts, and only those; a default configuration
    // never set holds none, and Qt then loads the system's.
    const QList<QSslCertificate> authorities = tls.caCertificates();
    setBlob(CURLOPT_CAINFO_BLOB,
        pemOf(authorities.isEmpty() ? QSslConfiguration::systemCaCertificates() : authorities));
    curl_easy_setopt(m_easy, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(m_easy, CURLOPT_CAPATH, nullptr);
    if (!tls.localCertificate().isNull())
        setBlob(CURLOPT_SSLCERT_BLOB, pemOf(tls.localCertificateChain()));
    if (!tls.privateKey().isNull())
        setBlob(CURLOPT_SSLKEY_BLOB, tls.privateKey().toPem());
    // A client that only queries its peer does not judge what it gets.
    const QSslSocket::PeerVerifyMode mode = tls.peerVerifyMode();
    const bool verify = mode == QSslSocket::VerifyPeer || mode == QSslSocket::AutoVerifyPeer;
    curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYPEER, verify ? 1L : 0L);
    curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L);
#else
    // A Qt without TLS trusts nothing of its own; curl's TLS then trusts what
    // the system does (Schannel: Windows' certificate store).
#endif
}

CurlTransfer::~CurlTransfer()
{
    curl_multi_remove_handle(m_multi, m_easy);
    curl_easy_cleanup(m_easy);
    curl_multi_cleanup(m_multi);
    curl_slist_free_all(m_headers);
    qDeleteAll(m_watches);
}

void CurlTransfer::continueFrom(qint64 offset, const QByteArray& ifRange)
{
    header("Range: bytes=" + QByteArray::number(offset) + '-');
    header("If-Range: " + ifRange);
}

void CurlTransfer::set(CURLoption option, const QByteArray& text)
{
    // curl copies the texts it is given.
    m_ready = m_ready && curl_easy_setopt(m_easy, option, text.constData()) == CURLE_OK;
}

void CurlTransfer::setBlob(CURLoption option, const QByteArray& bytes)
{
    curl_blob blob { const_cast<char*>(bytes.constData()), size_t(bytes.size()), CURL_BLOB_COPY };
    m_ready = m_ready && curl_easy_setopt(m_easy, option, &blob) == CURLE_OK;
}

void CurlTransfer::header(const QByteArray& line)
{
    curl_slist* longer = curl_slist_append(m_headers, line.constData());
    m_ready = m_ready && longer;
    if (longer) {
        m_headers = longer;
        curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_headers);
    }
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
    // From the start: a connection never made holds the call as long as a
    // body that stopped.
    m_sinceCheck = 0;
    m_stallTimer->start();
    // Adding the handle sets curl's first deadline; the work starts in the loop.
    if (curl_multi_add_handle(m_multi, m_easy) != CURLM_OK) {
        m_result = CURLE_FAILED_INIT;
        m_ended = true;
    }
    if (!m_ended)
        loop.exec();
    // A quitting application ends every loop of its thread, this one too.
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

    QNetworkCookieJar* jar = m_manager.cookieJar();
    curl_header* found = nullptr;
    for (size_t i = 0;
         jar && curl_easy_header(m_easy, "Set-Cookie", i, CURLH_HEADER, -1, &found) == CURLHE_OK;
         ++i)
        jar->setCookiesFromUrl(QNetworkCookie::parseCookies(found->value), m_url);
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
    if (!transfer->m_receiver.body(data, size))
        transfer->m_stopWrites = true;
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

} // namespace bimcore
