#pragma once

#include "ContentDigest.h"
#include "CurlTransfer.h"
#include "PartKeeper.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace network_detail {

// Takes one reply of a download from curl: judges its head, streams its body
// into the part and, once curl has seen the whole body, puts the file in
// place. Only a 200, or a 206 that is exactly the rest of the part kept, is
// written; every other reply is refused before a byte of its body is.
class DownloadSink : public CurlTransfer::Receiver
{
public:
    using Progress = void (*)(qint64 received, qint64 total);

    DownloadSink(DownloadFolder& folder, PartKeeper& keeper, Progress progress);

    bool header(const QByteArray& line) override;
    bool body(const char* data, size_t size) override;

    // Call once curl has ended the transfer without an error. The target's
    // path when the file is in place, otherwise an empty text.
    QString complete();
    // Whether a part was begun: a cut transfer can only be continued then.
    bool bodyBegan() const { return m_began; }
    // Whether a byte of this reply's body reached the part.
    bool bodyArrived() const { return m_began && m_keeper.size() > m_offset; }
    // Whether the reply refused to continue the part it was asked for, which
    // must then be fetched whole.
    bool mustStartOver() const { return m_startOver; }

private:
    bool start();
    bool continuesLeftover() const;
    bool lengthIsSound();
    QByteArray headerValue(const QByteArray& name) const;
    void reportProgress() const;

    DownloadFolder& m_folder;
    PartKeeper& m_keeper;
    const Progress m_progress;
    int m_status = 0;
    QHash<QByteArray, QList<QByteArray>> m_headers; // lower-case names
    ContentDigest m_digest;
    QString m_lastPart;
    unsigned m_mode = 0;
    bool m_keepMode = false;
    bool m_identity = true;
    qint64 m_length = -1; // announced length of this body
    qint64 m_offset = 0; // bytes of the file there before this body
    qint64 m_total = -1; // the whole file, -1 unknown
    bool m_headEnded = false;
    bool m_began = false;
    bool m_startOver = false;
};

} // namespace network_detail
