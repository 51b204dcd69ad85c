#include "ResumeRounds.h"

#include "BenchClock.h"
#include "FileServer.h"
#include "Rounds.h"
#include "WarmMemory.h"

#include <bimcore/network/HttpRequest.h>

#include <QDir>
#include <QFile>
#include <QSet>

#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace {

constexpr double kMiB = 1 << 20;

// Every byte is compared: a resumed copy that is off by one block at the
// join would still have the right size.
bool sameContent(const QString& copyPath, const QString& sourcePath, qint64 size)
{
    QFile copy(copyPath);
    QFile source(sourcePath);
    if (!copy.open(QIODevice::ReadOnly) || !source.open(QIODevice::ReadOnly) || copy.size() != size
        || source.size() != size)
        return false;
    if (size == 0)
        return true;
    const uchar* copied = copy.map(0, size);
    const uchar* original = source.map(0, size);
    return copied && original && std::memcmp(copied, original, size_t(size)) == 0;
}

QSet<QString> partFiles(const QString& folder)
{
    const QStringList names = QDir(folder + QStringLiteral(".bimcore-downloads"))
                                  .entryList({ QStringLiteral("*.part") }, QDir::Files);
    return QSet<QString>(names.begin(), names.end());
}

qint64 s_cutAt = 0;

void cutWhenPast(qint64 received, qint64)
{
    if (received >= s_cutAt)
        HttpRequest::cancelDownload();
}

struct CutAndResumed
{
    double cutMs = 0;
    double resumedMs = 0;
    int partsKept = 0; // hidden files the cut call left in the folder
    qint64 resumedFrom = -1; // where the server began the resumed call's body
};

class ResumeRound
{
public:
    ResumeRound(FileServer& server, const ResumedDownload& download)
        : m_server(server)
        , m_download(download)
    {
    }

    double whole()
    {
        warm();
        QElapsedTimer clock;
        clock.start();
        const QString written = HttpRequest::httpDownload(m_download.url, m_download.folder);
        const double elapsed = millis(clock);
        expectCopy(written, "whole");
        return elapsed;
    }

    CutAndResumed cutThenResumed()
    {
        CutAndResumed result;
        const QSet<QString> before = partFiles(m_download.folder);
        warm();
        QElapsedTimer clock;
        clock.start();
        // Cut by the client at half: a cut by the server would be continued
        // within the same call.
        s_cutAt = m_download.size / 2;
        HttpRequest::setDownloadProgress(&cutWhenPast);
        const QString cut = HttpRequest::httpDownload(m_download.url, m_download.folder);
        HttpRequest::setDownloadProgress(nullptr);
        result.cutMs = millis(clock);
        if (!cut.isEmpty()) {
            QFile::remove(cut);
            throw std::runtime_error("the cut transfer was taken for a whole file");
        }
        result.partsKept = (partFiles(m_download.folder) - before).size();

        warm();
        clock.restart();
        const QString written = HttpRequest::httpDownload(m_download.url, m_download.folder);
        result.resumedMs = millis(clock);
        result.resumedFrom = m_server.lastReplyStart();
        expectCopy(written, "resumed");
        return result;
    }

private:
    // Room for the copy being written and a half more.
    void warm() const { warmFreeMemory(m_download.size + m_download.size / 2); }

    void expectCopy(const QString& written, const char* which)
    {
        const bool same = written == m_download.written
            && sameContent(written, m_download.source, m_download.size);
        if (!written.isEmpty())
            QFile::remove(written);
        if (!same)
            throw std::runtime_error(std::string("the ") + which + " copy \""
                + written.toStdString() + "\" differs from the served file");
    }

    FileServer& m_server;
    const ResumedDownload& m_download;
};

} // namespace

bool measureResume(FileServer& server, const ResumedDownload& download, int rounds)
{
    Comparison resumed(QStringLiteral("httpDownload resuming a transfer cut at 50%, %1 MiB")
                           .arg(download.size / kMiB),
        QStringLiteral("httpDownload of the whole file"), 0.55);
    Comparison cutAndResumed(QStringLiteral("httpDownload cut at 50% and resumed, both calls"),
        QStringLiteral("httpDownload of the whole file"), 0);
    std::printf("\n%5s %10s %10s %10s %7s %12s %6s\n", "round", "whole ms", "cut ms", "resumed ms",
        "ratio", "resumed at", "parts");
    bool ok = true;
    try {
        ResumeRound round(server, download);
        for (int number = 1; number <= rounds; ++number) {
            // Alternated, so that neither kind always follows the other.
            double whole = 0;
            CutAndResumed cut;
            if (number % 2) {
                whole = round.whole();
                cut = round.cutThenResumed();
            } else {
                cut = round.cutThenResumed();
                whole = round.whole();
            }
            resumed.add(cut.resumedMs, whole);
            cutAndResumed.add(cut.cutMs + cut.resumedMs, whole);
            std::printf("%5d %10.1f %10.1f %10.1f %7.2f %8.1f MiB %6d\n", number, whole, cut.cutMs,
                cut.resumedMs, cut.resumedMs / whole, cut.resumedFrom / kMiB, cut.partsKept);
        }
    } catch (const std::exception& error) {
        std::printf("resume round failed: %s\n", error.what());
        ok = false;
    }
    QDir(download.folder + QStringLiteral(".bimcore-downloads")).removeRecursively();
    if (ok) {
        resumed.print();
        cutAndResumed.print();
    }
    return ok;
}
