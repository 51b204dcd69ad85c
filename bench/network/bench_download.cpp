// Times HttpRequest::httpDownload against curl fetching the same 1 GiB file
// from the same local server, in alternated rounds compared by their medians,
// and records how far the process's resident memory rises above its size
// before the download. curl's own start (a run that fetches nothing) is taken
// off its times. Then times httpDownload continuing a transfer cancelled
// halfway against fetching the whole file again.
//
//   bench_download [folder] [size in MiB] [rounds]      defaults: /dev/shm, 1024, 5
//
// The folder (default /dev/shm) holds the served file and both copies; all
// are removed at the end.

#include "FileServer.h"
#include "ProcStatus.h"
#include "ResumeRounds.h"
#include "Rounds.h"
#include "WarmMemory.h"

#include <bimcore/network/HttpRequest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr qint64 kMiB = 1 << 20;

bool resetPeakRss()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return bool(clear);
}

// Samples VmRSS every millisecond while it lives; keeps the largest value.
class RssSampler
{
public:
    RssSampler()
        : m_thread([this] {
            while (!m_stop) {
                m_peak = std::max(m_peak.load(), procStatusKiB("VmRSS"));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        })
    {
    }
    ~RssSampler() { stop(); }
    long stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_peak;
    }

private:
    std::atomic<bool> m_stop { false };
    std::atomic<long> m_peak { 0 };
    std::thread m_thread;
};

bool writeSource(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(int(kMiB), Qt::Uninitialized);
    for (qint64 written = 0; written < size; written += block.size()) {
        for (int i = 0; i < block.size(); i += 8)
            block[i] = char((written + i) >> 12);
        if (file.write(block) != block.size())
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString folder = args.value(1, QStringLiteral("/dev/shm"));
    const qint64 size = args.value(2, QStringLiteral("1024")).toLongLong() * kMiB;
    const int rounds = std::max(1, args.value(3, QStringLiteral("5")).toInt());

    const QString tag = QString::number(QCoreApplication::applicationPid());
    const QString source = folder + QStringLiteral("/bench-net-src-") + tag;
    const QString curlOut = folder + QStringLiteral("/bench-net-curl-") + tag;
    const QString name = QStringLiteral("bench-net-dl-") + tag;
    const QString ourOut = folder + QLatin1Char('/') + name;
    auto cleanUp = [&] {
        QFile::remove(source);
        QFile::remove(curlOut);
        QFile::remove(ourOut);
    };

    if (!writeSource(source, size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(source));
        cleanUp();
        return 1;
    }
    int status = 0;
    {
        FileServer server(source.toStdString(), name.toStdString());
        const QString url = QStringLiteral("http://127.0.0.1:%1/file").arg(server.port());
        std::printf("file %lld MiB in %s, %d rounds\n", size / kMiB, qPrintable(folder), rounds);
        std::printf("%5s %10s %10s %7s %12s %12s\n", "round", "curl ms", "ours ms", "ratio",
            "base MiB", "peak+ MiB");

        // "curl --version" loads what a transfer loads and fetches nothing.
        const ChildTimer curl({ QStringLiteral("curl"), QStringLiteral("--version") });
        Comparison download(QStringLiteral("httpDownload, %1 MiB").arg(size / kMiB),
            QStringLiteral("curl -o, start taken off"), 1.05);
        Samples peaks;
        // Room for the copy being written and a half more.
        const qint64 warmth = size + size / 2;
        for (int round = 1; round <= rounds; ++round) {
            warmFreeMemory(warmth);
            const double theirs = curl.run({ QStringLiteral("curl"), QStringLiteral("-s"),
                QStringLiteral("-o"), curlOut, url });
            const bool curlOk = theirs >= 0 && QFileInfo(curlOut).size() == size;
            QFile::remove(curlOut);

            warmFreeMemory(warmth);
            const long base = procStatusKiB("VmRSS");
            const bool hwmReset = resetPeakRss();
            // A thread reading /proc every millisecond would take a share of
            // the two cores from the transfer it measures; the kernel's own
            // peak serves wherever it can be reset.
            std::optional<RssSampler> sampler;
            if (!hwmReset)
                sampler.emplace();
            QElapsedTimer clock;
            clock.start();
            const QString written = HttpRequest::httpDownload(url, folder + QLatin1Char('/'));
            const double ours = double(clock.nsecsElapsed()) / 1e6;
            const long peak = sampler ? sampler->stop() : -1;
            const long hwm = hwmReset ? procStatusKiB("VmHWM") : -1;
            const bool oursOk = written == ourOut && QFileInfo(ourOut).size() == size;
            QFile::remove(ourOut);

            if (!curlOk || !oursOk) {
                std::printf("round %d failed (curl %s, ours %s)\n", round, curlOk ? "ok" : "bad",
                    oursOk ? "ok" : "bad");
                status = 1;
                break;
            }
            const long peakAbove = std::max(peak, hwm) - base;
            peaks.add(peakAbove / 1024.0);
            download.add(ours, theirs);
            std::printf("%5d %10.1f %10.1f %7.2f %12.1f %12.1f\n", round, theirs, ours,
                ours / theirs, base / 1024.0, peakAbove / 1024.0);
        }
        if (status == 0) {
            std::printf("curl's start, taken off its times: %.1f ms\n", curl.startCost());
            download.print();
            printFigureGoal(QStringLiteral("httpDownload memory growth"), peaks, "MiB", 16);
            const ResumedDownload resumed { url, source, folder + QLatin1Char('/'), ourOut, size };
            if (!measureResume(server, resumed, rounds))
                status = 1;
        }
    }
    cleanUp();
    return status;
}
