#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <curl/curl.h>

class QNetworkAccessManager;

namespace network_detail {

// The request of one download attempt set on a curl handle: the service
// headers in the order the services expect them, the range to continue a
// part from, and what the REST calls' access manager would send for the same
// URL: its proxy, cookies, client headers and TLS settings, so that a service
// cannot tell the two apart. Lives as long as the transfer, since curl keeps
// pointers to what it is given.
class CurlRequest
{
public:
    CurlRequest(CURL* easy, const QString& url, const QString& authorization,
        QNetworkAccessManager& manager);
    ~CurlRequest();
    CurlRequest(const CurlRequest&) = delete;
    CurlRequest& operator=(const CurlRequest&) = delete;

    // Asks for the file from `offset` on, but only while it is the version
    // `ifRange` names; the bytes as stored, never compressed.
    void continueFrom(qint64 offset, const QByteArray& ifRange);

    // Whether every option was taken.
    bool ready() const { return m_ready; }

    // Puts the cookies the reply set into the manager's jar, as a reply of
    // the manager's own would; call once curl has ended the transfer.
    void keepCookies() const;

private:
    void set(CURLoption option, const QByteArray& text);
    void setBlob(CURLoption option, const QByteArray& bytes);
    void header(const QByteArray& line);

    CURL* m_easy;
    QNetworkAccessManager& m_manager;
    QUrl m_url;
    curl_slist* m_headers = nullptr;
    bool m_ready = true;
};

} // namespace network_detail
