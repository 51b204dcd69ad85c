// Times HttpRequest::httpDownload against curl fetching the same 1 GiB file
// from the same local server, and records the process's peak resident memory
// during the download.
//
//   bench_download [folder] [size in MiB] [rounds]
//
// The folder (default /dev/shm) holds the served file and both copies; all
// are removed at the end.

#include "FileServer.h"
#include "ProcStatus.h"

#include <network/HttpRequest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
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

double curlSeconds(const QString& url, const QString& out)
{
    QElapsedTimer clock;
    clock.start();
    const int rc = QProcess::execute(
        QStringLiteral("curl"), { QStringLiteral("-s"), QStringLiteral("-o"), out, url });
    const double seconds = clock.nsecsElapsed() / 1e9;
    return rc == 0 ? seconds : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString folder = args.value(1, QStringLiteral("/dev/shm"));
    const qint64 size = args.value(2, QStringLiteral("1024")).toLongLong() * kMiB;
    const int rounds = args.value(3, QStringLiteral("3")).toInt();

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
        std::printf("%5s %10s %10s %7s %12s %12s %12s\n", "round", "curl s", "ours s", "ratio",
            "base MiB", "peak+ MiB", "hwm+ MiB");

        std::vector<double> ratios;
        long worstPeak = 0;
        for (int round = 1; round <= rounds; ++round) {
            const double curl = curlSeconds(url, curlOut);
            const bool curlOk = curl > 0 && QFileInfo(curlOut).size() == size;
            QFile::remove(curlOut);

            const long base = procStatusKiB("VmRSS");
            const bool hwmReset = resetPeakRss();
            RssSampler sampler;
            QElapsedTimer clock;
            clock.start();
            const QString written = HttpRequest::httpDownload(url, folder + QLatin1Char('/'));
            const double ours = clock.nsecsElapsed() / 1e9;
            const long peak = sampler.stop();
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
            worstPeak = std::max(worstPeak, peakAbove);
            ratios.push_back(ours / curl);
            std::printf("%5d %10.3f %10.3f %7.2f %12.1f %12.1f %12.1f\n", round, curl, ours,
                ours / curl, base / 1024.0, (peak - base) / 1024.0,
                hwm < 0 ? -1.0 : (hwm - base) / 1024.0);
        }
        if (!ratios.empty()) {
            std::sort(ratios.begin(), ratios.end());
            std::printf("median ratio %.2f (goal <= 1.30); worst peak above base %.1f MiB "
                        "(goal <= 64)\n",
                ratios[ratios.size() / 2], worstPeak / 1024.0);
        }
    }
    cleanUp();
    return status;
}
