#include "HttpRequest.h"

#include "CurlTransfer.h"
#include "NetworkInternal.h"
#include "PartStore.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/core/Global.h>
#include <bimcore/core/Logging.h>
#include <bimcore/core/UserMessages.h>
#include <bimcore/storage/fs/FileIo.h>

#include <QCryptographicHash>
#include <QEventLoop>
#include <QHash>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTimer>

#include <cctype>
#include <functional>
#include <optional>

#include <zlib.h>

namespace bimcore {

namespace network_detail {

namespace {

// Retries of a cut transfer within one call; each waits twice the one before.
constexpr int kRetries = 3;
// A reply that brings fewer bytes than this within the stall time has stopped.
constexpr qint64 kStallBytes = 1024;

int g_retryPauseMs = 1000;
int g_stallMs = 60000;
HttpRequest::DownloadProgress g_progress = nullptr;
thread_local HttpRequest::DownloadError g_lastError;
using Error = HttpRequest::DownloadError;

// The parameters of a header value split at its semicolons, those within
// quotes left alone.
QStringList parametersOf(const QString& value)
{
    QStringList parameters { QString() };
    bool quoted = false;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char(';') && !quoted) {
            parameters.append(QString());
            continue;
        }
        parameters.last() += c;
        if (quoted && c == QLatin1Char('\\') && i + 1 < value.size())
            parameters.last() += value.at(++i);
        else if (c == QLatin1Char('"'))
            quoted = !quoted;
    }
    return parameters;
}

bool isAsciiOf(QChar c, int (*test)(int))
{
    return c.unicode() < 0x80 && test(c.unicode());
}

// charset'language'percent-encoded bytes, in UTF-8 or ISO-8859-1.
std::optional<QString> decodedExtendedValue(const QString& value)
{
    static const QString kPlain = QStringLiteral("!#$&+-.^_`|~");
    const QStringList fields = value.split(QLatin1Char('\''));
    if (fields.size() != 3)
        return std::nullopt;
    const QString& text = fields.at(2);
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('%')) {
            if (i + 2 >= text.size() || !isAsciiOf(text.at(i + 1), std::isxdigit)
                || !isAsciiOf(text.at(i + 2), std::isxdigit))
                return std::nullopt;
            i += 2;
        } else if (!isAsciiOf(c, std::isalnum) && !kPlain.contains(c)) {
            return std::nullopt;
        }
    }
    const QByteArray bytes = QByteArray::fromPercentEncoding(text.toLatin1());
    if (fields.at(0).compare(QLatin1String("ISO-8859-1"), Qt::CaseInsensitive) == 0)
        return QString::fromLatin1(bytes);
    const QString decoded = QString::fromUtf8(bytes);
    // Bytes that are no UTF-8 come back other than they went in.
    if (fields.at(0).compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) != 0
        || decoded.toUtf8() != bytes)
        return std::nullopt;
    return decoded;
}

// The name a "Content-Disposition" announces: a "filename*" decoded, and
// none when it cannot be; else the text after the first "filename=", double
// quotes removed. Empty when it announces none.
std::optional<QString> announcedName(const QString& disposition)
{
    const QStringList parameters = parametersOf(disposition);
    for (int i = 1; i < parameters.size(); ++i) {
        const int equals = parameters.at(i).indexOf(QLatin1Char('='));
        if (equals > 0
            && parameters.at(i).left(equals).trimmed().compare(
                   QLatin1String("filename*"), Qt::CaseInsensitive)
                == 0)
            return decodedExtendedValue(parameters.at(i).mid(equals + 1).trimmed());
    }
    static const QString kKey = QStringLiteral("filename=");
    const int at = disposition.indexOf(kKey);
    return at < 0 ? QString() : disposition.mid(at + kKey.size()).remove(QLatin1Char('"'));
}

// The digest of the whole file a server announces: "Repr-Digest" with
// sha-256 or sha-512, or "Digest: SHA-256=" in base64 or hex.
struct ContentDigest
{
    QCryptographicHash::Algorithm algorithm = QCryptographicHash::Sha256;
    QByteArray value;
    // A known algorithm with a value that is no digest of it.
    bool malformed = false;

    void read(const QByteArray& name, const QByteArray& header);
    bool matches(const UniqueFd& file) const;
};

// Qt's base64 decoder skips what is no base64 and does without padding:
// only a text that encodes back to itself is taken, so that a value garbled
// on the way is refused rather than read as another.
QByteArray digestBytes(const QByteArray& text, int length, bool hexToo)
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

void ContentDigest::read(const QByteArray& name, const QByteArray& header)
{
    const bool repr = name == "repr-digest";
    if (!repr && name != "digest")
        return;
    for (const QByteArray& member : header.split(',')) {
        const int equals = member.indexOf('=');
        const QByteArray key = member.left(equals).trimmed().toLower();
        QByteArray text = member.mid(equals + 1).trimmed();
        const int length = key == "sha-256" ? 32 : key == "sha-512" ? 64 : 0;
        if (equals < 0 || length == 0)
            continue;
        // Structured fields wrap the bytes in colons.
        const bool wrapped = text.size() >= 2 && text.startsWith(':') && text.endsWith(':');
        if (repr)
            text = wrapped ? text.mid(1, text.size() - 2) : QByteArray();
        const QByteArray bytes = digestBytes(text, length, !repr);
        malformed = malformed || bytes.isEmpty();
        if (!bytes.isEmpty() && length > value.size()) {
            algorithm = length == 32 ? QCryptographicHash::Sha256 : QCryptographicHash::Sha512;
            value = bytes;
        }
    }
}

bool ContentDigest::matches(const UniqueFd& file) const
{
    QCryptographicHash hash(algorithm);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 at = 0;;) {
        const qint64 got = fs::readAt(file, block.data(), block.size(), at);
        if (got <= 0)
            return got == 0 && hash.result() == value;
        hash.addData(block.constData(), int(got));
        at += got;
    }
}

// Undoes a gzip or deflate coding as the body comes, a piece at a time.
// Whole only when the compressed stream ended, and nothing came after it.
class Inflater
{
public:
    using Out = std::function<bool(const char*, qint64)>;
    enum class Coding
    {
        Gzip,
        Deflate, // with the zlib wrapper or without, as servers differ
    };

    explicit Inflater(Coding coding)
        : m_coding(coding)
    {
    }
    ~Inflater()
    {
        if (m_started)
            inflateEnd(&m_stream);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    bool ended() const { return m_ended; }
    // False for a stream that is no such coding, or bytes after its end.
    bool feed(const char* data, qint64 size, const Out& out);

private:
    bool start(const QByteArray& head);

    const Coding m_coding;
    z_stream m_stream {};
    QByteArray m_head; // the first byte, when it came alone
    QByteArray m_buffer;
    bool m_started = false;
    bool m_ended = false;
};

bool Inflater::start(const QByteArray& head)
{
    // A zlib wrapper opens with a header whose two bytes are a multiple of 31
    // and name deflate; a raw stream's first block cannot look like that.
    const auto cmf = uchar(head.at(0));
    const bool wrapped = (cmf & 0x0f) == 8 && (cmf * 256 + uchar(head.at(1))) % 31 == 0;
    const int windowBits = m_coding == Coding::Gzip ? 16 + MAX_WBITS
        : wrapped                                   ? MAX_WBITS
                                                    : -MAX_WBITS;
    m_started = inflateInit2(&m_stream, windowBits) == Z_OK;
    m_buffer.resize(1 << 18);
    return m_started;
}

bool Inflater::feed(const char* data, qint64 size, const Out& out)
{
    if (size > 0 && m_ended)
        return false;
    if (!m_started) {
        m_head.append(data, int(size));
        if (m_head.size() < 2)
            return true;
        if (!start(m_head))
            return false;
        data = m_head.constData();
        size = m_head.size();
    }
    m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    m_stream.avail_in = uInt(size);
    while (m_stream.avail_in > 0 && !m_ended) {
        m_stream.next_out = reinterpret_cast<Bytef*>(m_buffer.data());
        m_stream.avail_out = uInt(m_buffer.size());
        const int result = inflate(&m_stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END)
            return false;
        m_ended = result == Z_STREAM_END;
        const qint64 made = m_buffer.size() - qint64(m_stream.avail_out);
        if (made > 0 && !out(m_buffer.constData(), made))
            return false;
    }
    m_head.clear();
    return m_stream.avail_in == 0;
}

// A length of digits only, small enough for any file.
qint64 parseLength(const QByteArray& text)
{
    static const QRegularExpression kDigits(QStringLiteral("^[0-9]{1,18}$"));
    const QByteArray digits = text.trimmed();
    return kDigits.match(QString::fromLatin1(digits)).hasMatch() ? digits.toLongLong() : -1;
}

// Whether the connection failed under a reply that was coming, or about to.
bool cut(CurlTransfer::Outcome outcome, CURLcode result)
{
    if (outcome == CurlTransfer::Outcome::Stalled)
        return true;
    return outcome == CurlTransfer::Outcome::Done
        && (result == CURLE_PARTIAL_FILE || result == CURLE_RECV_ERROR || result == CURLE_SEND_ERROR
            || result == CURLE_GOT_NOTHING);
}

// One call of httpDownload: its requests, retries and the judgement of each
// reply. Only a 200, or a 206 that is exactly the rest of the part kept, is
// written; every other reply is refused before a byte of its body is.
class Download : public CurlTransfer::Receiver
{
public:
    Download(const QString& url, const QString& dir);
    QString run();
    void cancel();
    const Error& error() const { return m_error; }

    // The download the calling thread waits for, if any.
    static thread_local Download* s_running;

private:
    // What one reply said and brought.
    struct Reply
    {
        int status = 0;
        QHash<QByteArray, QList<QByteArray>> headers; // lower-case names
        ContentDigest digest;
        // Of a coded body: its decoder, and the hash of the bytes as they came.
        std::unique_ptr<Inflater> inflater;
        std::unique_ptr<QCryptographicHash> wireHash;
        QString entry; // the target's entry in its folder
        QString name;
        unsigned mode = 0;
        bool keepMode = false;
        bool identity = true;
        qint64 length = -1; // announced length of this body
        qint64 offset = 0; // bytes of the file there before this body
        qint64 total = -1; // the whole file, -1 unknown
        bool headEnded = false;
        bool began = false;
        bool startOver = false;
    };

    bool header(const QByteArray& line) override;
    bool body(const char* data, size_t size) override;
    bool store(const char* data, qint64 size);
    QByteArray headerValue(const QByteArray& name) const;
    bool lengthIsSound();
    bool continuesLeftover() const;
    bool start();
    bool bodyArrived() const { return m_reply.began && m_store.size() > m_reply.offset; }
    QString complete();
    void fail(Error::Kind kind, const QString& text);
    [[noreturn]] void timedOut();
    void failAtEnd(CurlTransfer::Outcome outcome, CURLcode result, bool kept);
    void reportProgress() const;
    bool pause(int ms);

    const QString m_url;
    const QString m_authorization;
    PartStore m_store;
    QTimer& m_limit;
    Reply m_reply;
    CurlTransfer* m_transfer = nullptr;
    QEventLoop* m_pause = nullptr;
    bool m_cancelled = false;
    Error m_error;
};

thread_local Download* Download::s_running = nullptr;

Download::Download(const QString& url, const QString& dir)
    : m_url(url)
    , m_authorization(Singleton<Global>::instance()->m_token)
    , m_store(dir, url)
    , m_limit((HttpRequestShared::init(), *HttpRequestShared::timer()))
{
}

QString Download::run()
{
    if (!m_store.isOpen()) {
        fail(Error::MissingFolder, m_store.pathFor(QString()) + QStringLiteral(": no such folder"));
        return {};
    }
    // One limit for the whole call, retries included.
    m_limit.start();
    const auto stop = qScopeGuard([this] { m_limit.stop(); });
    for (int retries = 0;;) {
        m_reply = Reply();
        m_error = Error();
        CurlTransfer transfer(*this, m_url, m_authorization, *HttpRequestShared::manager());
        if (const auto& leftover = m_store.leftover())
            transfer.continueFrom(leftover->bytes, leftover->ifRange());
        if (!transfer.ready()) {
            fail(Error::Network, m_url + QStringLiteral(": curl took not every option"));
            return {};
        }
        m_transfer = &transfer;
        const CurlTransfer::Outcome outcome = transfer.run(m_limit, g_stallMs, kStallBytes);
        m_transfer = nullptr;

        if (outcome == CurlTransfer::Outcome::Done && transfer.result() == CURLE_OK)
            return complete();
        if (m_reply.startOver) {
            m_store.forget();
            continue;
        }
        // Whatever came of a cut body is kept for the next try, or call.
        const bool kept = m_reply.began && m_store.keep();
        failAtEnd(outcome, transfer.result(), kept);
        if (outcome == CurlTransfer::Outcome::TimedOut || !m_limit.isActive())
            timedOut();
        // Asking again costs nothing of a body that never came; of one that
        // did, only when the part kept can be continued. A quitting
        // application runs no loop of this thread until its own has returned.
        const bool again = kept || (!bodyArrived() && cut(outcome, transfer.result()));
        if (again && !m_cancelled && retries < kRetries
            && outcome != CurlTransfer::Outcome::Interrupted && pause(g_retryPauseMs << retries++)
            && !m_cancelled)
            continue;
        if (!m_limit.isActive())
            timedOut();
        // Cancelled in the pause before a retry, the part kept.
        if (m_cancelled && m_error.kind != Error::Cancelled) {
            m_error = Error();
            fail(Error::Cancelled, m_url + QStringLiteral(": cancelled"));
        }
        return {};
    }
}

void Download::timedOut()
{
    m_error = Error();
    fail(Error::TimedOut, m_url + QStringLiteral(": no end within the time limit"));
    throw BIMException(networkTimeoutMessage(), 0);
}

void Download::fail(Error::Kind kind, const QString& text)
{
    if (m_error.kind != Error::None)
        return;
    m_error = { kind, text };
    qCDebug(lcNetwork).noquote() << text;
}

// Why a transfer that no judgement of the reply stopped did not end whole.
void Download::failAtEnd(CurlTransfer::Outcome outcome, CURLcode result, bool kept)
{
    const QString part = kept ? QStringLiteral("; its part is kept") : QString();
    switch (outcome) {
    case CurlTransfer::Outcome::Cancelled:
        return fail(Error::Cancelled, m_url + QStringLiteral(": cancelled") + part);
    case CurlTransfer::Outcome::Interrupted:
        return fail(Error::Cut, m_url + QStringLiteral(": the application quit") + part);
    case CurlTransfer::Outcome::TimedOut:
    case CurlTransfer::Outcome::Stalled:
    case CurlTransfer::Outcome::Done:
        break;
    }
    const QString cause = outcome == CurlTransfer::Outcome::Stalled
        ? QStringLiteral("the reply stopped coming")
        : QString::fromUtf8(curl_easy_strerror(result));
    if (m_reply.began)
        fail(Error::Cut,
            QStringLiteral("%1: cut after %2 bytes (%3)%4")
                .arg(m_url)
                .arg(m_store.size())
                .arg(cause, part));
    else
        fail(Error::Network, m_url + QStringLiteral(": ") + cause);
}

void Download::cancel()
{
    m_cancelled = true;
    if (m_transfer)
        m_transfer->cancel();
    if (m_pause)
        m_pause->quit();
}

// Waits `ms`, or less when the limit fires, the download is cancelled or the
// application quits; true when it waited the whole time.
bool Download::pause(int ms)
{
    QEventLoop loop;
    QTimer wake;
    wake.setSingleShot(true);
    QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&m_limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    wake.start(ms);
    m_pause = &loop;
    loop.exec();
    m_pause = nullptr;
    return !wake.isActive();
}

bool Download::header(const QByteArray& line)
{
    // curl follows no redirect here, so the head of a final reply is the
    // last: lines after it are a chunked body's trailers, and the body was
    // taken on what the head said.
    if (m_reply.headEnded)
        return true;
    if (line.startsWith("HTTP/")) {
        // Every response, an interim one too, starts its own head.
        const QList<QByteArray> parts = line.simplified().split(' ');
        m_reply = Reply();
        m_reply.status = parts.size() > 1 ? parts.at(1).toInt() : 0;
        return true;
    }
    if (line == "\r\n" || line == "\n") {
        if (m_reply.status >= 100 && m_reply.status < 200)
            return true;
        m_reply.headEnded = true;
        return start();
    }
    const int colon = line.indexOf(':');
    if (colon <= 0)
        return true;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    m_reply.headers[name].append(value);
    m_reply.digest.read(name, value);
    return true;
}

QByteArray Download::headerValue(const QByteArray& name) const
{
    return m_reply.headers.value(name).value(0);
}

bool Download::lengthIsSound()
{
    const QList<QByteArray> lengths = m_reply.headers.value("content-length");
    // Two framings, or two lengths, leave the end of the body in doubt.
    if (!lengths.isEmpty() && m_reply.headers.contains("transfer-encoding"))
        return false;
    for (const QByteArray& length : lengths) {
        const qint64 parsed = parseLength(length);
        if (parsed < 0 || (m_reply.length >= 0 && parsed != m_reply.length))
            return false;
        m_reply.length = parsed;
    }
    return true;
}

bool Download::continuesLeftover() const
{
    const PartRecord& leftover = *m_store.leftover();
    const QByteArray range = "bytes " + QByteArray::number(leftover.bytes) + '-'
        + QByteArray::number(leftover.total - 1) + '/' + QByteArray::number(leftover.total);
    if (!m_reply.identity || headerValue("content-range").toLower() != range
        || (m_reply.length >= 0 && m_reply.length != leftover.total - leftover.bytes))
        return false;
    // A server that ignored "If-Range" may still say that the file changed.
    const QByteArray etag = headerValue("etag");
    const QByteArray lastModified = headerValue("last-modified");
    return (etag.isEmpty() || leftover.etag.isEmpty() || etag == leftover.etag)
        && (lastModified.isEmpty() || leftover.lastModified.isEmpty()
            || lastModified == leftover.lastModified);
}

bool Download::start()
{
    Reply& r = m_reply;
    // Asked for as it is, a body may still come coded: gzip and deflate are
    // undone here, and are never continued, as a range counts coded bytes.
    const QByteArray encoding = r.headers.value("content-encoding").join(',').trimmed().toLower();
    r.identity = encoding.isEmpty() || encoding == "identity";
    if (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate") {
        r.inflater = std::make_unique<Inflater>(
            encoding == "deflate" ? Inflater::Coding::Deflate : Inflater::Coding::Gzip);
        if (!r.digest.value.isEmpty())
            r.wireHash = std::make_unique<QCryptographicHash>(r.digest.algorithm);
    } else if (!r.identity && r.status == 200) {
        fail(Error::Coding,
            QStringLiteral("%1: the body is coded as \"%2\", which cannot be undone")
                .arg(m_url, QString::fromLatin1(encoding)));
        return false;
    }
    if (!lengthIsSound() || r.digest.malformed) {
        fail(Error::BadReply, m_url + QStringLiteral(": the head leaves the body's end in doubt"));
        return false;
    }
    const std::optional<PartRecord>& leftover = m_store.leftover();
    const bool continuing = leftover && r.status == 206 && continuesLeftover();
    // A leftover the server will not continue is fetched whole, again.
    r.startOver = leftover && (r.status == 416 || (r.status == 206 && !continuing));
    if (r.status != 200 && !continuing) {
        fail(Error::HttpStatus, QStringLiteral("%1 answered %2").arg(m_url).arg(r.status));
        return false;
    }

    // Decoded whole: a NUL must not end the name early.
    const QByteArray disposition = headerValue("content-disposition");
    const std::optional<QString> announced
        = announcedName(QString::fromUtf8(disposition.constData(), disposition.size()));
    if (!announced) {
        fail(Error::RefusedName, m_url + QStringLiteral(": the file name cannot be decoded"));
        return false;
    }
    r.name = announced->isEmpty() && continuing ? leftover->name : *announced;
    r.entry = m_store.entryFor(r.name);
    if (!fs::isPortableName(r.name, r.entry)
        || r.entry.compare(kBookkeepingFolder, Qt::CaseInsensitive) == 0) {
        fail(Error::RefusedName,
            QStringLiteral("%1: the file name \"%2\" is refused").arg(m_url, r.name));
        return false;
    }
    switch (m_store.target(r.entry, &r.mode)) {
    case fs::Folder::Entry::Refused:
        fail(Error::TargetRefused, m_store.pathFor(r.name) + QStringLiteral(" may not be written"));
        return false;
    case fs::Folder::Entry::Writable:
        r.keepMode = true;
        break;
    case fs::Folder::Entry::Missing:
    case fs::Folder::Entry::Other:
        break;
    }
    r.offset = continuing ? leftover->bytes : 0;
    // Refused before a byte is written, rather than found out when full.
    if (!m_store.hasRoomFor(r.offset, r.length)) {
        fail(Error::DiskFull,
            QStringLiteral("%1: %2 bytes do not fit").arg(m_store.pathFor(r.name)).arg(r.length));
        return false;
    }

    PartRecord record;
    if (continuing) {
        record = *leftover;
    } else {
        record.etag = headerValue("etag");
        record.lastModified = headerValue("last-modified");
        // What arrived of a decoded body is no count of the bytes sent.
        record.total = r.inflater ? 0 : r.length;
    }
    record.name = r.name;
    r.total = continuing ? leftover->total : r.inflater ? -1 : r.length;
    if (!m_store.begin(continuing, record)) {
        fail(Error::TargetRefused,
            m_store.pathFor(QString()) + QStringLiteral(": no part can be written there"));
        return false;
    }
    r.began = true;
    reportProgress();
    return true;
}

bool Download::body(const char* data, size_t size)
{
    Reply& r = m_reply;
    if (!r.began)
        return false;
    if (!r.inflater) {
        if (!store(data, qint64(size)))
            return false;
    } else {
        if (r.wireHash)
            r.wireHash->addData(data, int(size));
        if (!r.inflater->feed(data, qint64(size),
                [this](const char* bytes, qint64 length) { return store(bytes, length); })) {
            // A failed write has named its cause already.
            fail(Error::BadReply,
                m_url + QStringLiteral(": the coded body is no whole stream of its coding"));
            return false;
        }
    }
    reportProgress();
    return true;
}

bool Download::store(const char* data, qint64 size)
{
    if (m_store.write(data, size))
        return true;
    fail(Error::DiskFull, m_store.pathFor(m_reply.name) + QStringLiteral(": ") + fs::lastError());
    return false;
}

void Download::reportProgress() const
{
    if (g_progress)
        g_progress(m_store.size(), m_reply.total);
}

QString Download::complete()
{
    const Reply& r = m_reply;
    // A reply without a body never began one: a 204 or a 304 among them.
    if (!r.began) {
        fail(Error::HttpStatus, QStringLiteral("%1 answered %2").arg(m_url).arg(r.status));
        return {};
    }
    // A coded body is whole when its stream ended, and its digest names the
    // bytes as they came; of a plain one, those of the whole file.
    const bool whole = r.inflater ? r.inflater->ended()
                                  : (r.total < 0 || m_store.size() == r.total)
            && (r.length < 0 || m_store.size() - r.offset == r.length);
    const bool checked = r.digest.value.isEmpty()
        || (r.inflater ? r.wireHash->result() == r.digest.value : r.digest.matches(m_store.file()));
    if (!whole || !checked) {
        fail(whole ? Error::DigestMismatch : Error::Cut,
            m_url
                + (whole ? QStringLiteral(": the body does not match its digest")
                         : QStringLiteral(": the body is not whole")));
        m_store.discard();
        return {};
    }
    // A target held open elsewhere cannot be replaced on Windows: the file
    // waits in its part for the next call.
    if (!m_store.moveOver(r.entry, r.keepMode ? &r.mode : nullptr)) {
        fail(Error::TargetRefused,
            m_store.pathFor(r.name) + QStringLiteral(" could not be replaced; the file waits"));
        m_store.keep();
        return {};
    }
    return m_store.pathFor(r.name);
}

} // namespace

} // namespace network_detail

using network_detail::Download;

QString HttpRequest::httpDownload(QString url, QString dir)
{
    Download download(url, dir);
    Download* const outer = std::exchange(Download::s_running, &download);
    const auto restore = qScopeGuard([&] {
        Download::s_running = outer;
        network_detail::g_lastError = download.error();
    });
    return download.run();
}

void HttpRequest::cancelDownload()
{
    if (Download::s_running)
        Download::s_running->cancel();
}

HttpRequest::DownloadError HttpRequest::lastDownloadError()
{
    return network_detail::g_lastError;
}

void HttpRequest::setDownloadProgress(DownloadProgress progress)
{
    network_detail::g_progress = progress;
}

void HttpRequestShared::setRetryTiming(int pauseMs, int stallMs)
{
    network_detail::g_retryPauseMs = pauseMs;
    network_detail::g_stallMs = stallMs;
}

} // namespace bimcore
