#pragma once

#include <QStringList>
#include <QtGlobal>

#include <vector>

// How large a benchmark run is. Each benchmark starts from its own defaults.
struct BenchSize
{
    qint64 records = 0;
    int tables = 0;
    int rounds = 1;
};

// Reads "--records N", "--tables T" and "--rounds R" pairs (the program name
// left out); an option not given keeps its default, and there is at least one
// round.
BenchSize readBenchSize(const QStringList& arguments, BenchSize defaults);

// The record counts to run: the one given with "--records", or else both
// sizes every figure is reported at, 100,000 and 1,000,000.
std::vector<qint64> recordCounts(const BenchSize& size);
