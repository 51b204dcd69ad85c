#pragma once

#include <QByteArray>
#include <QString>

#include <curl/curl.h>

namespace network_detail {

// The request of one download attempt set on a curl handle: the service
// headers in the order the services expect them, the range to continue a
// part from, and the proxy and the certificate authorities Qt would use for
// the same URL. Lives as long as the transfer, since curl keeps pointers to
// what it is given.
class CurlRequest
{
public:
    CurlRequest(CURL* easy, const QString& url, const QString& authorization);
    ~CurlRequest();
    CurlRequest(const CurlRequest&) = delete;
    CurlRequest& operator=(const CurlRequest&) = delete;

    // Asks for the file from `offset` on, but only while it is the version
    // `ifRange` names; the bytes as stored, never compressed.
    void continueFrom(qint64 offset, const QByteArray& ifRange);

    // Whether every option was taken.
    bool ready() const { return m_ready; }

private:
    void set(CURLoption option, const QByteArray& text);
    void setBlob(CURLoption option, const QByteArray& bytes);
    void header(const QByteArray& line);

    CURL* m_easy;
    curl_slist* m_headers = nullptr;
    bool m_ready = true;
};

} // namespace network_detail
