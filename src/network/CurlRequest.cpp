#include "CurlRequest.h"

#include "ReplyWait.h"

#include <QList>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QNetworkRequest>
#if QT_CONFIG(ssl)
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#endif

namespace network_detail {

namespace {

// The first proxy Qt would use for url, as curl spells it: empty for none,
// which also keeps curl from reading proxies of its own from the environment.
QByteArray proxyFor(const QUrl& url, QNetworkProxy* chosen)
{
    const QList<QNetworkProxy> proxies
        = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    *chosen = proxies.value(0, QNetworkProxy(QNetworkProxy::NoProxy));
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

// The language list Qt's HTTP client sends when the request names none: the
// system locale first, then English, then anything.
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

// Every certificate authority Qt trusts by default, and only those. A
// default configuration whose list was never set holds none, and Qt then
// loads the system's when it needs them.
QByteArray trustedAuthorities()
{
    const QList<QSslCertificate> authorities
        = QSslConfiguration::defaultConfiguration().caCertificates();
    return pemOf(authorities.isEmpty() ? QSslConfiguration::systemCaCertificates() : authorities);
}
#endif

} // namespace

CurlRequest::CurlRequest(
    CURL* easy, const QString& url, const QString& authorization, QNetworkAccessManager& manager)
    : m_easy(easy)
    , m_manager(manager)
    , m_url(url, QUrl::TolerantMode)
{
    set(CURLOPT_URL, m_url.toEncoded());
    // Only the protocols of the services, also after a move the server asks for.
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    for (const auto& [name, value] : serviceHeaders("application/octet-stream", authorization))
        header(name + ": " + value);
    // The jar's cookies, spelt as the manager spells them.
    const QList<QNetworkCookie> cookies
        = manager.cookieJar() ? manager.cookieJar()->cookiesForUrl(m_url) : QList<QNetworkCookie>();
    if (!cookies.isEmpty()) {
        QNetworkRequest spelt;
        spelt.setHeader(QNetworkRequest::CookieHeader, QVariant::fromValue(cookies));
        header("Cookie: " + spelt.rawHeader("Cookie"));
    }
    // What Qt's HTTP client adds to a request that names neither.
    header("User-Agent: Mozilla/5.0");
    header("Accept-Language: " + acceptLanguage());
    // Every coding the installed curl can undo; curl checks that it ends.
    set(CURLOPT_ACCEPT_ENCODING, "");

    // Qt's choice alone: both set, so that no proxy variable of the
    // environment (no_proxy either) changes it.
    QNetworkProxy proxy;
    set(CURLOPT_PROXY, proxyFor(m_url, &proxy));
    set(CURLOPT_NOPROXY, "");
    // The proxy's answer to a tunnel is no head of the file's.
    curl_easy_setopt(m_easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!proxy.user().isEmpty()) {
        set(CURLOPT_PROXYUSERNAME, proxy.user().toUtf8());
        set(CURLOPT_PROXYPASSWORD, proxy.password().toUtf8());
    }

#if QT_CONFIG(ssl)
    if (m_url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0) {
        const QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        setBlob(CURLOPT_CAINFO_BLOB, trustedAuthorities());
        // Nothing else: neither the system's file nor its folder.
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
    }
#else
    // A Qt without TLS trusts nothing of its own; curl's TLS then trusts what
    // the system does (Schannel: Windows' certificate store).
#endif
}

CurlRequest::~CurlRequest()
{
    curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(m_headers);
}

void CurlRequest::continueFrom(qint64 offset, const QByteArray& ifRange)
{
    header("Range: bytes=" + QByteArray::number(offset) + '-');
    header("If-Range: " + ifRange);
    // The range counts bytes of the file as it is, not as sent.
    set(CURLOPT_ACCEPT_ENCODING, "identity");
}

void CurlRequest::set(CURLoption option, const QByteArray& text)
{
    // curl copies the texts it is given.
    m_ready = m_ready && curl_easy_setopt(m_easy, option, text.constData()) == CURLE_OK;
}

void CurlRequest::setBlob(CURLoption option, const QByteArray& bytes)
{
    curl_blob blob { const_cast<char*>(bytes.constData()), size_t(bytes.size()), CURL_BLOB_COPY };
    m_ready = m_ready && curl_easy_setopt(m_easy, option, &blob) == CURLE_OK;
}

void CurlRequest::keepCookies() const
{
    QNetworkCookieJar* jar = m_manager.cookieJar();
    curl_header* found = nullptr;
    for (size_t i = 0;
         jar && curl_easy_header(m_easy, "Set-Cookie", i, CURLH_HEADER, -1, &found) == CURLHE_OK;
         ++i)
        jar->setCookiesFromUrl(QNetworkCookie::parseCookies(found->value), m_url);
}

void CurlRequest::header(const QByteArray& line)
{
    curl_slist* longer = curl_slist_append(m_headers, line.constData());
    if (!longer) {
        m_ready = false;
        return;
    }
    m_headers = longer;
    curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_headers);
}

} // namespace network_detail
