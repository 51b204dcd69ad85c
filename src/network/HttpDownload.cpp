#include "HttpRequest.h"

#include "CurlRequest.h"
#include "CurlTransfer.h"
#include "DownloadFolder.h"
#include "DownloadSink.h"
#include "PartKeeper.h"

#include <bimcore/core/BIMException.h>
#include <bimcore/core/Global.h>
#include <bimcore/core/UserMessages.h>

#include <QEventLoop>
#include <QTimer>

using bimcore::networkTimeoutMessage;

using namespace network_detail;

HttpRequest::DownloadProgress HttpRequest::m_downloadProgress = nullptr;
int HttpRequest::m_retryPauseMs = 1000;
int HttpRequest::m_stallMs = 60000;

namespace {

// Retries of a cut transfer within one call; each waits twice the one before.
constexpr int kRetries = 3;
// A reply that brings fewer bytes than this within the stall time has stopped.
constexpr qint64 kStallBytes = 1024;

// What cancelDownload reaches while a download waits.
CurlTransfer* g_transfer = nullptr;
QEventLoop* g_pause = nullptr;
bool g_cancelled = false;

// Waits `ms`, or less when the shared limit fires, the download is cancelled
// or the application quits; true when it waited the whole time.
bool pause(QTimer& limit, int ms)
{
    QEventLoop loop;
    QTimer wake;
    wake.setSingleShot(true);
    QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    wake.start(ms);
    g_pause = &loop;
    loop.exec();
    g_pause = nullptr;
    return !wake.isActive();
}

// Whether the connection failed under a reply that was coming, or about to.
bool cut(CurlTransfer::Outcome outcome, CURLcode result)
{
    if (outcome == CurlTransfer::Outcome::Stalled)
        return true;
    if (outcome != CurlTransfer::Outcome::Done)
        return false;
    switch (result) {
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
        return true;
    default:
        return false;
    }
}

} // namespace

QString HttpRequest::httpDownload(QString url, QString dir)
{
    init();
    const QString authorization = Singleton<Global>::instance()->m_token;
    DownloadFolder folder(dir);
    if (!folder.isOpen())
        return {};
    PartKeeper keeper(url, folder);
    g_cancelled = false;
    // One limit for the whole call, retries included.
    m_pTimer->start();
    int retries = 0;
    for (;;) {
        DownloadSink sink(folder, keeper, m_downloadProgress);
        CurlTransfer transfer(sink);
        CurlRequest request(transfer.easy(), url, authorization, *m_pNetManager);
        if (const auto& leftover = keeper.leftover())
            request.continueFrom(leftover->bytes, leftover->ifRange());
        if (!request.ready()) {
            m_pTimer->stop();
            return {};
        }
        g_transfer = &transfer;
        const CurlTransfer::Outcome outcome = transfer.run(*m_pTimer, m_stallMs, kStallBytes);
        g_transfer = nullptr;
        request.keepCookies();

        if (outcome == CurlTransfer::Outcome::Done && transfer.result() == CURLE_OK) {
            m_pTimer->stop();
            return sink.complete();
        }
        if (sink.mustStartOver()) {
            keeper.forget();
            continue;
        }
        // Whatever came of a cut body is kept for the next try, or call.
        const bool kept = sink.bodyBegan() && keeper.keep();
        if (outcome == CurlTransfer::Outcome::TimedOut || !m_pTimer->isActive())
            throw BIMException(networkTimeoutMessage(), 0);
        // Asking again costs nothing of a body that never came; of one that
        // did, only when the part kept can be continued.
        const bool again = kept || (!sink.bodyArrived() && cut(outcome, transfer.result()));
        // A quitting application runs no loop of this thread until its own
        // has returned: the part waits for a call after that.
        if (again && !g_cancelled && retries < kRetries
            && outcome != CurlTransfer::Outcome::Interrupted) {
            if (pause(*m_pTimer, m_retryPauseMs << retries++) && !g_cancelled)
                continue;
        }
        if (!m_pTimer->isActive())
            throw BIMException(networkTimeoutMessage(), 0);
        m_pTimer->stop();
        return {};
    }
}

void HttpRequest::cancelDownload()
{
    g_cancelled = true;
    if (g_transfer)
        g_transfer->cancel();
    if (g_pause)
        g_pause->quit();
}

void HttpRequest::setDownloadProgress(DownloadProgress progress)
{
    m_downloadProgress = progress;
}
