#pragma once

#include <QStringList>
#include <QtGlobal>

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
