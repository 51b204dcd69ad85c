#include "ContentDigest.h"

#include "DownloadFolder.h"

#include <QList>

#include <cctype>

namespace network_detail {

namespace {

// The digest's bytes, or an empty array when the text is no spelling of
// `length` bytes. Qt's decoder skips what is no base64 and does without
// padding: only a text that encodes back to itself is taken, so that a
// value garbled on the way is refused rather than read as another.
QByteArray decoded(const QByteArray& text, int length, bool hexToo)
{
    if (hexToo && text.size() == 2 * length) {
        for (const char c : text) {
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                return {};
        }
        return QByteArray::fromHex(text);
    }
    const QByteArray bytes = QByteArray::fromBase64(text);
    return bytes.size() == length && bytes.toBase64() == text ? bytes : QByteArray();
}

} // namespace

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
        // Older servers give "Digest" values in hex as well.
        const QByteArray bytes = decoded(text, length, !repr);
        if (bytes.isEmpty()) {
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
