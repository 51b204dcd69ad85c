#include "DownloadSink.h"

#include "FileName.h"

#include <QFileInfo>
#include <QStorageInfo>

namespace network_detail {

namespace {

// Refused before a byte is written, rather than found out when the disk is
// full.
bool fitsOnDisk(const QString& prefix, qint64 offset, qint64 length, qint64 sizeLimit)
{
    if (length < 0)
        return true;
    if (sizeLimit >= 0 && offset + length > sizeLimit)
        return false;
    const QStorageInfo storage(QFileInfo(prefix + QLatin1Char('x')).absolutePath());
    const qint64 available = storage.bytesAvailable();
    return !storage.isValid() || available < 0 || length <= available;
}

// A length of digits only, small enough for any file.
qint64 parseLength(const QByteArray& text)
{
    const QByteArray digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 18)
        return -1;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;
    }
    return digits.toLongLong();
}

} // namespace

DownloadSink::DownloadSink(DownloadFolder& folder, PartKeeper& keeper, Progress progress)
    : m_folder(folder)
    , m_keeper(keeper)
    , m_progress(progress)
{
}

bool DownloadSink::header(const QByteArray& line)
{
    // curl follows no redirect here, so the head of a final reply is the
    // last: lines after it are a chunked body's trailers, and the body was
    // taken on what the head said.
    if (m_headEnded)
        return true;
    if (line.startsWith("HTTP/")) {
        // Every response, an interim one too, starts its own head.
        const QList<QByteArray> parts = line.simplified().split(' ');
        m_status = parts.size() > 1 ? parts.at(1).toInt() : 0;
        m_headers.clear();
        m_digest = ContentDigest();
        return true;
    }
    if (line == "\r\n" || line == "\n") {
        if (m_status >= 100 && m_status < 200)
            return true;
        m_headEnded = true;
        return start();
    }
    const int colon = line.indexOf(':');
    if (colon <= 0)
        return true;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    m_headers[name].append(value);
    m_digest.read(name, value);
    return true;
}

QByteArray DownloadSink::headerValue(const QByteArray& name) const
{
    const QList<QByteArray> values = m_headers.value(name);
    return values.isEmpty() ? QByteArray() : values.first();
}

bool DownloadSink::lengthIsSound()
{
    const QList<QByteArray> lengths = m_headers.value("content-length");
    if (lengths.isEmpty())
        return true;
    // Two framings, or two lengths, leave the end of the body in doubt.
    if (m_headers.contains("transfer-encoding"))
        return false;
    for (const QByteArray& length : lengths) {
        const qint64 parsed = parseLength(length);
        if (parsed < 0 || (m_length >= 0 && parsed != m_length))
            return false;
        m_length = parsed;
    }
    return true;
}

bool DownloadSink::continuesLeftover() const
{
    const PartRecord& leftover = *m_keeper.leftover();
    if (!m_identity)
        return false;
    const QByteArray range = "bytes " + QByteArray::number(leftover.bytes) + '-'
        + QByteArray::number(leftover.total - 1) + '/' + QByteArray::number(leftover.total);
    if (headerValue("content-range").toLower() != range
        || (m_length >= 0 && m_length != leftover.total - leftover.bytes))
        return false;
    // A server that ignored "If-Range" may still say that the file changed.
    const QByteArray etag = headerValue("etag");
    const QByteArray lastModified = headerValue("last-modified");
    return (etag.isEmpty() || leftover.etag.isEmpty() || etag == leftover.etag)
        && (lastModified.isEmpty() || leftover.lastModified.isEmpty()
            || lastModified == leftover.lastModified);
}

bool DownloadSink::start()
{
    const QByteArray encoding = headerValue("content-encoding").toLower();
    m_identity = encoding.isEmpty() || encoding == "identity";
    if (!lengthIsSound() || m_digest.malformed)
        return false;
    // curl does not report a compressed stream cut short when the body ends
    // with the connection: only a length or chunks can then tell.
    const bool framed = m_length >= 0 || m_headers.contains("transfer-encoding");
    if (!m_identity && !framed)
        return false;
    const std::optional<PartRecord>& leftover = m_keeper.leftover();
    const bool continuing = leftover && m_status == 206 && continuesLeftover();
    // A leftover the server will not continue is fetched whole, again.
    m_startOver = leftover && (m_status == 416 || (m_status == 206 && !continuing));
    if (m_status != 200 && !continuing)
        return false;

    // Decoded whole: a NUL must not end the name early.
    const QByteArray disposition = headerValue("content-disposition");
    const std::optional<QString> announced
        = announcedName(QString::fromUtf8(disposition.constData(), disposition.size()));
    if (!announced)
        return false;
    QString name = *announced;
    if (name.isEmpty() && continuing)
        name = leftover->name;
    m_lastPart = m_folder.lastPartFor(name);
    if (!acceptableName(name, m_lastPart))
        return false;
    switch (m_folder.target(m_lastPart, &m_mode)) {
    case DownloadFolder::Target::Refused:
        return false;
    case DownloadFolder::Target::Writable:
        m_keepMode = true;
        break;
    case DownloadFolder::Target::Missing:
    case DownloadFolder::Target::Other:
        break;
    }
    m_offset = continuing ? leftover->bytes : 0;
    if (!fitsOnDisk(m_folder.prefix(), m_offset, m_length, m_keeper.sizeLimit()))
        return false;

    PartRecord record;
    if (continuing) {
        record = *leftover;
    } else {
        record.etag = headerValue("etag");
        record.lastModified = headerValue("last-modified");
        // What arrived of a decoded body is no count of the bytes sent.
        record.total = m_identity ? m_length : 0;
    }
    record.name = name;
    m_total = continuing ? leftover->total : m_identity ? m_length : -1;
    if (!m_keeper.begin(continuing, record))
        return false;
    m_began = true;
    reportProgress();
    return true;
}

bool DownloadSink::body(const char* data, size_t size)
{
    if (!m_began || !m_keeper.write(data, qint64(size)))
        return false;
    reportProgress();
    return true;
}

void DownloadSink::reportProgress() const
{
    if (m_progress)
        m_progress(m_keeper.size(), m_total);
}

QString DownloadSink::complete()
{
    // A reply without a body never began one: a 204 or a 304 among them.
    if (!m_began)
        return {};
    const bool whole = (m_total < 0 || m_keeper.size() == m_total)
        && (!m_identity || m_length < 0 || m_keeper.size() - m_offset == m_length);
    // A digest of a compressed body names the bytes as sent, which are
    // decoded by now: only an identity body is checked.
    const bool checked = !m_digest.announced() || !m_identity || m_digest.matches(m_keeper.file());
    if (!whole || !checked) {
        m_keeper.discard();
        return {};
    }
    // A target held open elsewhere cannot be replaced on Windows: the file
    // waits in its part for the next call.
    if (!m_keeper.moveOver(m_lastPart, m_keepMode ? &m_mode : nullptr)) {
        m_keeper.keep();
        return {};
    }
    return m_folder.prefix() + m_lastPart.mid(m_folder.lastPartFor(QString()).size());
}

} // namespace network_detail
