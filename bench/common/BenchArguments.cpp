#include "BenchArguments.h"

#include <algorithm>

BenchSize readBenchSize(const QStringList& arguments, BenchSize size)
{
    for (int i = 0; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--records"))
            size.records = arguments[i + 1].toLongLong();
        else if (arguments[i] == QLatin1String("--tables"))
            size.tables = arguments[i + 1].toInt();
        else if (arguments[i] == QLatin1String("--rounds"))
            size.rounds = std::max(1, arguments[i + 1].toInt());
    }
    return size;
}

std::vector<qint64> recordCounts(const BenchSize& size)
{
    if (size.records > 0)
        return { size.records };
    return { 100000, 1000000 };
}
