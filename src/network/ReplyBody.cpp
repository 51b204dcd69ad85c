#include "ReplyBody.h"

#include <bimcore/core/BIMException.h>

#include <QNetworkReply>

namespace network_detail {

namespace {

// What the reply may hold before it is read: enough for the services'
// largest ordinary answers in one piece.
constexpr qint64 kReadBuffer = qint64(1) << 20;

} // namespace

ReplyBody::ReplyBody(QNetworkReply& reply)
    : m_reply(reply)
{
    m_reply.setReadBufferSize(kReadBuffer);
    connect(&m_reply, &QNetworkReply::metaDataChanged, this, &ReplyBody::announced);
    connect(&m_reply, &QNetworkReply::readyRead, this, &ReplyBody::collect);
}

QByteArray ReplyBody::take()
{
    collect();
    if (m_tooLarge) {
        throw BIMException(QStringLiteral("The service's reply is larger than %1 MiB; it was "
                                          "not read")
                               .arg(kServiceReplyLimit >> 20),
            0);
    }
    return std::move(m_body);
}

void ReplyBody::announced()
{
    const QVariant length = m_reply.header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > kServiceReplyLimit) {
        m_tooLarge = true;
        m_reply.abort();
    }
}

void ReplyBody::collect()
{
    if (m_tooLarge)
        return;
    // Read a piece at a time: Qt may hold far more than its read buffer when
    // its network thread ran ahead of this one (seen on Windows), and one
    // array of all of it may not be had at all.
    while (m_reply.bytesAvailable() > 0) {
        m_body += m_reply.read(kReadBuffer);
        if (m_body.size() > kServiceReplyLimit) {
            m_tooLarge = true;
            m_body.clear();
            m_reply.abort();
            return;
        }
    }
}

} // namespace network_detail
