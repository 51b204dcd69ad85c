#include "Rounds.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <utility>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

double Samples::median() const
{
    std::vector<double> sorted = m_values;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    return sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

double Samples::min() const
{
    return *std::min_element(m_values.begin(), m_values.end());
}

double Samples::max() const
{
    return *std::max_element(m_values.begin(), m_values.end());
}

QString Samples::text(const char* unit) const
{
    const int decimals = median() < 10 ? 2 : 1;
    return QStringLiteral("%1 %2 (%3–%4)")
        .arg(median(), 0, 'f', decimals)
        .arg(QString::fromUtf8(unit))
        .arg(min(), 0, 'f', decimals)
        .arg(max(), 0, 'f', decimals);
}

namespace {

// The limit and verdict columns of a figure: "≤ 1.25" and "yes"/"no" for a
// goal, "bound ≤ 2.00" and "within"/"over" for a bound, "—" for neither.
struct LimitColumns
{
    QString limit;
    const char* verdict;
};

LimitColumns limitColumns(Limit kind, double limit, bool kept)
{
    if (limit <= 0)
        return { QStringLiteral("—"), "—" };
    const QString value = QStringLiteral("≤ %1").arg(limit, 0, 'f', 2);
    if (kind == Limit::Bound)
        return { QStringLiteral("bound ") + value, kept ? "within" : "over" };
    return { value, kept ? "yes" : "no" };
}

} // namespace

Comparison::Comparison(
    QString benchmark, QString reference, double limit, Limit kind, const char* unit)
    : m_benchmark(std::move(benchmark))
    , m_reference(std::move(reference))
    , m_limit(limit)
    , m_kind(kind)
    , m_unit(unit)
{
}

void Comparison::add(double ours, double reference)
{
    m_ours.add(ours);
    m_theirs.add(reference);
    m_ratios.add(ours / reference);
}

double Comparison::ratio() const
{
    return m_ours.median() / m_theirs.median();
}

bool Comparison::print() const
{
    const LimitColumns columns = limitColumns(m_kind, m_limit, met());
    const QString verdict = m_limit > 0
        ? QStringLiteral("%1: %2").arg(columns.limit, QLatin1String(columns.verdict))
        : QStringLiteral("for information");
    std::printf("%s: %s\n    reference, %s: %s\n    ratio of medians %.2f (rounds %.2f–%.2f), "
                "%s\n",
        qUtf8Printable(m_benchmark), qUtf8Printable(m_ours.text(m_unit)),
        qUtf8Printable(m_reference), qUtf8Printable(m_theirs.text(m_unit)), ratio(), m_ratios.min(),
        m_ratios.max(), qUtf8Printable(verdict));
    std::printf("RESULT|%s|%s|%.2f (%.2f–%.2f)|%s|%s\n", qUtf8Printable(m_benchmark),
        qUtf8Printable(m_reference), ratio(), m_ratios.min(), m_ratios.max(),
        qUtf8Printable(columns.limit), columns.verdict);
    std::fflush(stdout);
    return met();
}

void printFigure(
    const QString& benchmark, const Samples& samples, const char* unit, const QString& note)
{
    std::printf("%s: %s%s%s\n", qUtf8Printable(benchmark), qUtf8Printable(samples.text(unit)),
        note.isEmpty() ? "" : ", ", qUtf8Printable(note));
    std::printf("RESULT|%s|—|%s|%s|—\n", qUtf8Printable(benchmark),
        qUtf8Printable(samples.text(unit)), qUtf8Printable(note.isEmpty() ? "—" : note));
    std::fflush(stdout);
}

void printFigureGoal(
    const QString& benchmark, const Samples& samples, const char* unit, double goal)
{
    const char* met = samples.max() <= goal ? "yes" : "no";
    std::printf("%s: %s, goal ≤ %g %s in every round: %s\n", qUtf8Printable(benchmark),
        qUtf8Printable(samples.text(unit)), goal, unit, met);
    std::printf("RESULT|%s|—|%s|≤ %g %s, every round|%s\n", qUtf8Printable(benchmark),
        qUtf8Printable(samples.text(unit)), goal, unit, met);
    std::fflush(stdout);
}

void printPeakMemoryBound(const QString& benchmark, const char* data, double factor, double peakMiB,
    double dataMiB, double idleMiB)
{
    const double boundMiB = factor * dataMiB + idleMiB;
    const bool within = peakMiB <= boundMiB;
    std::printf("%s: %.1f MiB; bound %g × %s %.1f MiB + idle base %.1f MiB = %.1f MiB: %s\n",
        qUtf8Printable(benchmark), peakMiB, factor, data, dataMiB, idleMiB, boundMiB,
        within ? "within" : "over");
    std::printf("RESULT|%s|%g × %s + idle base, %g × %.1f + %.1f MiB|%.2f (peak %.1f MiB)|"
                "bound ≤ 1.00|%s\n",
        qUtf8Printable(benchmark), factor, data, factor, dataMiB, idleMiB, peakMiB / boundMiB,
        peakMiB, within ? "within" : "over");
    std::fflush(stdout);
}

namespace {

double spawnAndWait(const QStringList& command)
{
    std::vector<QByteArray> arguments;
    for (const QString& argument : command)
        arguments.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t child = 0;
    const int started = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        return -1;
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

ChildTimer::ChildTimer(const QStringList& idle, int idleRounds)
{
    if (idle.isEmpty())
        return;
    Samples starts;
    for (int round = 0; round < idleRounds; ++round)
        starts.add(spawnAndWait(idle));
    m_startCost = std::max(0.0, starts.median());
}

double ChildTimer::run(const QStringList& command) const
{
    const double elapsed = spawnAndWait(command);
    return elapsed < 0 ? elapsed : std::max(0.0, elapsed - m_startCost);
}

bool dropFromPageCache(const QString& path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Dirty pages cannot be dropped; write them first.
    const bool dropped = fdatasync(fd) == 0 && posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    close(fd);
    return dropped;
}
