#include "PlainModelRead.h"

#include <tessel/internal/SqliteHandles.h>

#include <QByteArray>

#include <sqlite3.h>
#include <vector>

qint64 plainModelRead(const QString& path)
{
    sqlite3* raw = nullptr;
    sqlite3_open_v2(
        path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    const SqliteConnection db(raw);
    std::vector<QByteArray> tables;
    {
        sqlite3_stmt* list = nullptr;
        sqlite3_prepare_v2(db.get(),
            "SELECT name FROM sqlite_schema WHERE type = 'table' AND name LIKE 'tessel_records_%'",
            -1, &list, nullptr);
        const SqliteStatement owner(list);
        while (sqlite3_step(list) == SQLITE_ROW)
            tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list, 0)));
    }
    // Unsigned, so that identifiers may wrap the sum around.
    quint64 checksum = 0;
    for (const QByteArray& table : tables) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(
            db.get(), ("SELECT * FROM \"" + table + '"').constData(), -1, &statement, nullptr);
        const SqliteStatement owner(statement);
        const int columns = sqlite3_column_count(statement);
        std::vector<char> kinds;
        for (int c = 0; c < columns; ++c) {
            const QByteArray type = sqlite3_column_decltype(statement, c);
            kinds.push_back(type == "REAL" ? 'r' : type == "TEXT" ? 't' : 'i');
        }
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                switch (kinds[size_t(c)]) {
                case 'i': {
                    const sqlite3_int64 value = sqlite3_column_int64(statement, c);
                    checksum += quint64(value);
                    break;
                }
                case 'r': {
                    const double value = sqlite3_column_double(statement, c);
                    checksum += value > 1 ? 1 : 0;
                    break;
                }
                default: {
                    const unsigned char* text = sqlite3_column_text(statement, c);
                    const int bytes = sqlite3_column_bytes(statement, c);
                    checksum += bytes + (text ? text[0] : 0);
                    break;
                }
                }
            }
        }
    }
    return qint64(checksum);
}
