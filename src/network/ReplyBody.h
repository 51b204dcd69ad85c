#pragma once

#include <QByteArray>
#include <QObject>

class QNetworkReply;

namespace network_detail {

// Collects a service reply's body as it arrives, up to kServiceReplyLimit.
// No service answers with more, so a longer body is cut off where it passes
// the limit (or as soon as its announced length does) instead of being held
// whole in memory: the reply is aborted, which ends the caller's wait.
class ReplyBody : public QObject
{
public:
    static constexpr qint64 kServiceReplyLimit = qint64(256) << 20;

    explicit ReplyBody(QNetworkReply& reply);

    // Takes what is left in the reply; throws BIMException (code 0) when
    // the body was longer than the limit.
    QByteArray take();

private:
    void announced();
    void collect();

    QNetworkReply& m_reply;
    QByteArray m_body;
    bool m_tooLarge = false;
};

} // namespace network_detail
