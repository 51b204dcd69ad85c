#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The figures of one timed thing over several rounds. A single round can be
// lucky or unlucky on a shared machine, so it is the median that is compared,
// with the spread beside it.
class Samples
{
public:
    void add(double value) { m_values.push_back(value); }
    double median() const;
    double min() const;
    double max() const;
    // "812.4 ms (790.1–850.3)"
    QString text(const char* unit) const;

private:
    std::vector<double> m_values;
};

// What a ratio is held to. A goal is what the library's own work must reach; a
// bound only keeps a platform stand-in reasonable, as its speed says nothing
// about the library. They print differently ("≤ 1.25" yes/no, "bound ≤ 2.00"
// within/over) so that the table never passes a bound off as a goal.
enum class Limit
{
    Goal,
    Bound,
};

// Ours against a reference, one pair of timings a round, taken alternately so
// that both see the same state of the machine. Prints the medians, the
// spreads, the ratio of the medians against its limit, and one line starting
// with "RESULT|" that bench/run-all.sh gathers into the figures table.
class Comparison
{
public:
    // A limit of 0 means the figure is reported with no goal or bound.
    Comparison(QString benchmark, QString reference, double limit, Limit kind = Limit::Goal,
        const char* unit = "ms");

    void add(double ours, double reference);
    double ratio() const;
    bool met() const { return m_limit <= 0 || ratio() <= m_limit; }
    // Returns whether the ratio kept to its limit.
    bool print() const;

private:
    QString m_benchmark;
    QString m_reference;
    double m_limit;
    Limit m_kind;
    const char* m_unit;
    Samples m_ours;
    Samples m_theirs;
    Samples m_ratios;
};

// Prints a figure that has no reference to compare with, as a RESULT line too.
void printFigure(const QString& benchmark, const Samples& samples, const char* unit,
    const QString& note = QString());

// Prints a figure whose every round must stay at or under `goal`, as a RESULT
// line too.
void printFigureGoal(
    const QString& benchmark, const Samples& samples, const char* unit, double goal);

// Prints a process's peak memory against the bound of `factor` times the data
// it holds plus the peak of the same process holding nothing, as a RESULT line
// too. `data` names what the data is ("file", "files").
void printPeakMemoryBound(const QString& benchmark, const char* data, double factor, double peakMiB,
    double dataMiB, double idleMiB);

// Milliseconds a program takes, started with posix_spawnp and waited for. The
// cost of starting a process (fork, exec, loading its libraries) is not part of
// what the program does, so the median time of `idle` (the same program given
// nothing to do) is subtracted; pass an empty list to keep the start in.
// Negative on failure (the program could not start or did not exit with 0).
class ChildTimer
{
public:
    explicit ChildTimer(const QStringList& idle, int idleRounds = 21);

    double run(const QStringList& command) const;
    double startCost() const { return m_startCost; }

private:
    double m_startCost = 0;
};

// Drops a file's pages from the page cache, so that the next read comes from
// the disk as after a reboot. False when the kernel refused.
bool dropFromPageCache(const QString& path);
