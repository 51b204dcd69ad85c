#include "ContentDigest.h"

#include "DownloadFolder.h"

#include <QList>

namespace network_detail {

void ContentDigest::read(const QByteArray& name, const QByteArray& header)
{
    const bool repr = name == "repr-digest";
    if (!repr && name != "digest")
        return;
    for (const QByteArray& member : header.split(',')) {
        const int equals = member.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = member.left(equals).trimmed().toLower();
        QByteArray text = member.mid(equals + 1).trimmed();
        QCryptographicHash::Algorithm found;
        int length = 0;
        if (key == "sha-256") {
            found = QCryptographicHash::Sha256;
            length = 32;
        } else if (key == "sha-512") {
            found = QCryptographicHash::Sha512;
            length = 64;
        } else {
            continue;
        }
        // Structured fields wrap the bytes in colons.
        if (repr) {
            if (text.size() < 2 || !text.startsWith(':') || !text.endsWith(':')) {
                malformed = true;
                continue;
            }
            text = text.mid(1, text.size() - 2);
        }
        const QByteArray bytes = QByteArray::fromBase64(text);
        if (bytes.size() != length) {
            malformed = true;
            continue;
        }
        if (value.isEmpty() || length > value.size()) {
            algorithm = found;
            value = bytes;
        }
    }
}

bool ContentDigest::matches(const UniqueFd& file) const
{
    QCryptographicHash hash(algorithm);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 at = 0;;) {
        const qint64 got = readAt(file, block.data(), block.size(), at);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        hash.addData(block.constData(), int(got));
        at += got;
    }
    return hash.result() == value;
}

} // namespace network_detail
