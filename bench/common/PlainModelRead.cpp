#include "PlainModelRead.h"

#include <bimcore/platform/ksqlite/KSqlStatement.h>

#include <QByteArray>

#include <sqlite3.h>
#include <vector>

qint64 plainModelRead(const QString& path)
{
    const KSQLite::KSqlDatabase db(path.toStdString(), SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    std::vector<std::string> tables;
    KSQLite::KSqlStatement list(
        db, "SELECT name FROM sqlite_schema WHERE type = 'table' AND name LIKE 'tessel_records_%'");
    while (list.step())
        tables.push_back(list.getText(0));
    // Unsigned, so that identifiers may wrap the sum around.
    quint64 checksum = 0;
    for (const std::string& table : tables) {
        const KSQLite::KSqlStatement records(db, "SELECT * FROM \"" + table + '"');
        sqlite3_stmt* statement = records.handle();
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
