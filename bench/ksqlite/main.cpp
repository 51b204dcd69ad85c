// Reads one table through KSqlTable and through a plain sqlite3 loop, and
// draws identifiers from one and two threads; prints the figures.
//   bench_ksqlite [rows]       (default 1000000)
#include "Rounds.h"

#include <bimcore/platform/krvcommon/KObjectID.h>
#include <bimcore/platform/ksqlite/KSQLite.h>

#include <sqlite3.h>

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using Clock = std::chrono::steady_clock;
using namespace KSQLite;

namespace {

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void fillTable(KSqlDatabase& database, long rows)
{
    database.exec("CREATE TABLE element (id INTEGER, type_id INTEGER, area REAL, name TEXT)");
    KSqlTransaction transaction(database);
    KSqlStatement insert(database, "INSERT INTO element VALUES (?, ?, ?, ?)");
    for (long i = 0; i < rows; ++i) {
        insert.bindInt64(1, static_cast<std::int64_t>(KObjectID::NewID()));
        insert.bindInt64(2, i % 97);
        insert.bindDouble(3, static_cast<double>(i) * 0.25);
        insert.bindText(4, "Wall " + std::to_string(i % 1000));
        insert.execute();
    }
    transaction.commit();
}

// The checksum keeps the compiler from dropping the reads.
double readWithWrapper(const KSqlTable& table)
{
    double sum = 0;
    for (auto rows = table.rows(); rows.step();) {
        sum += static_cast<double>(rows.getInt64(0) & 0xff) + rows.getInt(1) + rows.getDouble(2)
            + static_cast<double>(rows.getText(3).size());
    }
    return sum;
}

double readWithPlainSqlite(sqlite3* db)
{
    double sum = 0;
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT id, type_id, area, name FROM element", -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const std::int64_t id = sqlite3_column_int64(statement, 0);
        const int type = sqlite3_column_int(statement, 1);
        const double area = sqlite3_column_double(statement, 2);
        const unsigned char* name = sqlite3_column_text(statement, 3);
        const int nameSize = sqlite3_column_bytes(statement, 3);
        sum += static_cast<double>(id & 0xff) + type + area + (name ? nameSize : 0);
    }
    sqlite3_finalize(statement);
    return sum;
}

double nanosecondsPerId(int threads, long perThread)
{
    const auto start = Clock::now();
    std::thread workers[2];
    for (int t = 0; t < threads; ++t) {
        workers[t] = std::thread([perThread] {
            std::uint64_t last = 0;
            for (long i = 0; i < perThread; ++i)
                last ^= KObjectID::NewID();
            if (last == 1)
                std::puts("");
        });
    }
    for (int t = 0; t < threads; ++t)
        workers[t].join();
    return secondsSince(start) * 1e9 / (static_cast<double>(perThread) * threads);
}

} // namespace

int main(int argc, char** argv)
{
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    QTemporaryDir dir;
    const std::string path = dir.filePath("bench.db").toStdString();
    // Made with the flags Open(path, true) uses, and the file created.
    KSqlDatabase database(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX);
    fillTable(database, rows);
    const KSqlTable table(&database, "element", false);

    // Warm the page cache once, then alternate the two readings.
    readWithPlainSqlite(database.handle());
    Comparison reading(QStringLiteral("KSqlTable rows, %1 rows").arg(rows),
        QStringLiteral("plain sqlite3 loop"), 0);
    double check = 0;
    for (int round = 0; round < 5; ++round) {
        auto start = Clock::now();
        check += readWithPlainSqlite(database.handle());
        const double plain = secondsSince(start) * 1e3;
        start = Clock::now();
        check -= readWithWrapper(table);
        reading.add(secondsSince(start) * 1e3, plain);
    }
    std::printf("rows: %ld (4 columns), checksum difference %g\n", rows, check);
    reading.print();

    const long ids = 10000000;
    std::printf("KObjectID::NewID, 1 thread:  %.1f ns/id\n", nanosecondsPerId(1, ids));
    std::printf("KObjectID::NewID, 2 threads: %.1f ns/id\n", nanosecondsPerId(2, ids / 2));
    return 0;
}
