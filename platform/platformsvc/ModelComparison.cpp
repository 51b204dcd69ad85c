#include "LocalCentralStore.h"

#include <bimcore/platform/tessel/internal/ModelFileLayout.h>

#include <bimcore/platform/ksqlite/KSqlDatabase.h>
#include <bimcore/platform/ksqlite/KSqlException.h>
#include <bimcore/platform/ksqlite/KSqlStatement.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace PlatformSvcComm {

namespace {

using KSQLite::KSqlDatabase;
using KSQLite::KSqlException;
using KSQLite::KSqlStatement;

// The new model is the connection's main database and the old one is attached
// under this name, so that one statement can read both.
constexpr const char* kOld = "prior";

std::atomic<long> s_fallbacks { 0 };

[[noreturn]] void fail(const QString& path, const QString& what, const char* reason = nullptr)
{
    QString text
        = QStringLiteral("The model file \"%1\" %2").arg(QDir::toNativeSeparators(path), what);
    if (reason)
        text += QStringLiteral(" (%1)").arg(QString::fromUtf8(reason));
    throw std::runtime_error((text + QLatin1Char('.')).toStdString());
}

// --- Reading record tables straight from the file --------------------------

// The file does not look the way the scanner expects: SQLite reads the table.
struct UnexpectedLayout : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

quint32 be16(const uchar* p)
{
    return (quint32(p[0]) << 8) | p[1];
}

quint32 be32(const uchar* p)
{
    return (be16(p) << 16) | be16(p + 2);
}

// Kept out of line, so that the loops that read varints stay small.
[[noreturn]] Q_NEVER_INLINE void varintPastEnd()
{
    throw UnexpectedLayout("varint past the end");
}

// The varint at p, never read past end; returns the bytes it takes. Two
// varints are read for every record, most of them a byte or two long.
inline int varint(const uchar* p, const uchar* end, quint64* value)
{
    if (Q_LIKELY(end - p >= 9)) {
        if (!(p[0] & 0x80)) {
            *value = p[0];
            return 1;
        }
        if (!(p[1] & 0x80)) {
            *value = (quint64(p[0] & 0x7f) << 7) | p[1];
            return 2;
        }
    }
    quint64 v = 0;
    for (int i = 0; i < 9; ++i) {
        if (p + i >= end)
            varintPastEnd();
        if (i == 8) {
            *value = (v << 8) | p[8];
            return 9;
        }
        v = (v << 7) | (p[i] & 0x7f);
        if (!(p[i] & 0x80)) {
            *value = v;
            return i + 1;
        }
    }
    return 0;
}

qint64 serialSize(quint64 type)
{
    static const qint64 sizes[] = { 0, 1, 2, 3, 4, 6, 8, 8, 0, 0 };
    if (type == 10 || type == 11)
        throw UnexpectedLayout("reserved serial type");
    return type < 10 ? sizes[type] : qint64((type - 12) / 2);
}

// The records of one table b-tree in rowid order, read from the mapped file
// by the documented file format (pages, cells, overflow chains, record
// encoding). Comparing two models needs only each record's stored bytes,
// while decoding every value through SQLite costs as much as a model load.
class RecordScanner
{
public:
    RecordScanner(const uchar* file, qint64 size, quint32 rootPage)
        : m_file(file)
    {
        if (size < 100 || std::memcmp(file, "SQLite format 3", 16) != 0)
            throw UnexpectedLayout("no SQLite header");
        // A database in WAL mode may have pages that are not in the file yet.
        if (file[18] != 1 || file[19] != 1)
            throw UnexpectedLayout("not in rollback-journal mode");
        m_pageSize = be16(file + 16) == 1 ? 65536 : be16(file + 16);
        if (m_pageSize < 512 || (m_pageSize & (m_pageSize - 1)))
            throw UnexpectedLayout("bad page size");
        m_usable = m_pageSize - file[20];
        if (m_usable < 480)
            throw UnexpectedLayout("bad usable size");
        m_pageCount = quint32(size / m_pageSize);
        descend(rootPage);
    }

    // Moves to the next record; false at the end.
    bool next()
    {
        while (m_cell >= m_cellCount) {
            if (m_path.empty())
                return false;
            Level& level = m_path.back();
            if (level.next > int(be16(header(level.page) + 3)))
                m_path.pop_back();
            else
                descend(nextChild(level));
        }
        readCell(m_cell++);
        return true;
    }

    // The current record's stored form (header and body), valid until next().
    const uchar* payload() const { return m_payload; }
    qint64 payloadSize() const { return m_payloadSize; }
    qint64 rowid() const { return qint64(m_rowid); }

    // The integer in column `column` of the current record.
    qint64 integerColumn(int column) const
    {
        const uchar* end = m_payload + m_payloadSize;
        quint64 headerSize = 0;
        const uchar* type = m_payload + varint(m_payload, end, &headerSize);
        const uchar* headerEnd = m_payload + headerSize;
        const uchar* body = headerEnd;
        quint64 serialType = 0;
        for (int c = 0; c <= column; ++c) {
            if (type >= headerEnd || headerEnd > end || body > end)
                throw UnexpectedLayout("record has too few columns");
            type += varint(type, headerEnd, &serialType);
            if (c < column)
                body += std::min<qint64>(serialSize(serialType), end - body + 1);
        }
        if (serialType == 8 || serialType == 9)
            return qint64(serialType - 8);
        const qint64 size = serialType >= 1 && serialType <= 6 ? serialSize(serialType) : 0;
        if (size == 0 || body + size > end)
            throw UnexpectedLayout("column holds no integer");
        qint64 value = (body[0] & 0x80) ? -1 : 0;
        for (qint64 i = 0; i < size; ++i)
            value = qint64(quint64(value) << 8) | body[i];
        return value;
    }

private:
    // An interior page on the way down, with the next child to visit.
    struct Level
    {
        const uchar* page;
        int next;
    };

    const uchar* page(quint32 number) const
    {
        if (number < 1 || number > m_pageCount)
            throw UnexpectedLayout("page number out of range");
        return m_file + qint64(number - 1) * m_pageSize;
    }

    // Page 1 starts with the database header; its b-tree header follows it.
    const uchar* header(const uchar* page) const { return page == m_file ? page + 100 : page; }

    // The children of an interior page in order: the cells' left children,
    // then the right-most child.
    quint32 nextChild(Level& level) const
    {
        const uchar* h = header(level.page);
        const int child = level.next++;
        if (child == int(be16(h + 3)))
            return be32(h + 8);
        const quint32 offset = be16(h + 12 + 2 * child);
        if (offset + 4 > m_usable)
            throw UnexpectedLayout("cell outside its page");
        return be32(level.page + offset);
    }

    // Goes down to the leftmost leaf below page `number`.
    void descend(quint32 number)
    {
        for (;;) {
            const uchar* p = page(number);
            const uchar kind = header(p)[0];
            if (kind == 0x0D) { // table leaf
                m_leaf = p;
                m_cell = 0;
                m_cellCount = int(be16(header(p) + 3));
                return;
            }
            if (kind != 0x05 || m_path.size() >= 64) // table interior
                throw UnexpectedLayout("not a table b-tree page");
            m_path.push_back({ p, 0 });
            number = nextChild(m_path.back());
        }
    }

    void readCell(int cell)
    {
        const uchar* pageEnd = m_leaf + m_usable;
        const quint32 offset = be16(header(m_leaf) + 8 + 2 * cell);
        if (offset < 8 || offset >= m_usable)
            throw UnexpectedLayout("cell outside its page");
        const uchar* p = m_leaf + offset;
        quint64 total = 0;
        p += varint(p, pageEnd, &total);
        p += varint(p, pageEnd, &m_rowid);
        if (total > quint64(m_pageCount) * m_pageSize)
            throw UnexpectedLayout("payload larger than the file");
        m_payloadSize = qint64(total);
        const quint64 maxLocal = m_usable - 35;
        if (total <= maxLocal) {
            if (p + total > pageEnd)
                throw UnexpectedLayout("payload outside its page");
            m_payload = p;
            return;
        }
        const quint64 minLocal = (quint64(m_usable - 12) * 32 / 255) - 23;
        quint64 local = minLocal + (total - minLocal) % (m_usable - 4);
        if (local > maxLocal)
            local = minLocal;
        if (p + local + 4 > pageEnd)
            throw UnexpectedLayout("payload outside its page");
        m_spill.assign(reinterpret_cast<const char*>(p), size_t(local));
        quint32 overflow = be32(p + local);
        for (quint32 hops = 0; m_spill.size() < total; ++hops) {
            if (hops >= m_pageCount)
                throw UnexpectedLayout("overflow chain loops");
            const uchar* o = page(overflow);
            const size_t take = std::min<size_t>(m_usable - 4, size_t(total) - m_spill.size());
            m_spill.append(reinterpret_cast<const char*>(o + 4), take);
            overflow = be32(o);
        }
        m_payload = reinterpret_cast<const uchar*>(m_spill.data());
    }

    const uchar* m_file;
    quint32 m_pageSize;
    quint32 m_usable;
    quint32 m_pageCount;
    std::vector<Level> m_path;
    const uchar* m_leaf { nullptr };
    int m_cell { 0 };
    int m_cellCount { 0 };
    const uchar* m_payload { nullptr };
    qint64 m_payloadSize { 0 };
    quint64 m_rowid { 0 };
    std::string m_spill; // a payload gathered from its overflow pages
};

// A whole file mapped for reading, or nothing. The scanner reads every page,
// and mapping them all in one call costs a fraction of a fault every few
// pages.
class MappedFile
{
public:
    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile()
    {
        if (m_data)
            ::munmap(const_cast<uchar*>(m_data), size_t(m_size));
    }

    void map(const QString& path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat st;
        if (::fstat(fd, &st) == 0 && st.st_size > 0) {
            void* data
                = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
            if (data != MAP_FAILED) {
                m_data = static_cast<const uchar*>(data);
                m_size = st.st_size;
            }
        }
        ::close(fd);
    }

    const uchar* data() const { return m_data; }
    qint64 size() const { return m_size; }

private:
    const uchar* m_data { nullptr };
    qint64 m_size { 0 };
};

// --- The two models --------------------------------------------------------

struct TableEntry
{
    int position { 0 };
    QString name;
    std::string signature; // field names and data types, in order
    int fieldCount { 0 };
};

// (database name, table name) -> table
using Catalog = std::map<std::pair<QString, QString>, TableEntry>;

// Records that met no counterpart at their position: identifier -> position.
using Unpaired = std::unordered_map<quint64, qint64>;

// Checks the layout of the model in `schema` and reads its catalog.
Catalog readCatalog(const KSqlDatabase& db, const std::string& schema, const QString& path)
{
    auto pragma = [&](const char* name) {
        KSqlStatement statement(db, "PRAGMA " + schema + '.' + name);
        return statement.step() ? statement.getInt64(0) : 0;
    };
    if (pragma("application_id") != ModelFileLayout::applicationId
        || pragma("user_version") != ModelFileLayout::version)
        fail(path, QStringLiteral("is no model file of a known layout"));

    Catalog catalog;
    KSqlStatement tables(db,
        "SELECT t.position, d.name, t.name, f.name, f.data_type FROM " + schema
            + ".tessel_tables AS t JOIN " + schema
            + ".tessel_databases AS d ON d.position = t.database_position LEFT JOIN " + schema
            + ".tessel_fields AS f ON f.table_position = t.position ORDER BY t.position, "
              "f.position");
    while (tables.step()) {
        const QString name = QString::fromStdString(tables.getText(2));
        TableEntry& entry = catalog[{ QString::fromStdString(tables.getText(1)), name }];
        entry.position = tables.getInt(0);
        entry.name = name;
        if (!tables.isNull(3)) {
            entry.signature += tables.getText(3) + ':' + std::to_string(tables.getInt64(4)) + ';';
            ++entry.fieldCount;
        }
    }
    return catalog;
}

std::string recordTable(const char* schema, int position)
{
    return std::string(schema) + '.' + ModelFileLayout::recordTableName(position).toStdString();
}

// The new model with the old one attached, and both files mapped for the
// scanner.
class Models
{
public:
    Models(const QString& oldModel, const QString& newModel)
    {
        QString reading = newModel; // names the file that cannot be read
        try {
            m_db.Open(QFileInfo(newModel).absoluteFilePath().toStdString(), false);
            // Reading through a mapping saves a copy of every page.
            m_db.exec("PRAGMA mmap_size = 2147418112");
            m_newCatalog = readCatalog(m_db, "main", newModel);
            if (oldModel.isEmpty())
                return;
            reading = oldModel;
            KSqlStatement attach(m_db, std::string("ATTACH ?1 AS ") + kOld);
            attach.bindText(1, QFileInfo(oldModel).absoluteFilePath().toStdString());
            attach.execute();
            m_oldCatalog = readCatalog(m_db, kOld, oldModel);
        } catch (const KSqlException& e) {
            fail(reading, QStringLiteral("cannot be read"), e.what());
        }
        m_oldFile.map(oldModel);
        m_newFile.map(newModel);
    }

    TableChangeMap compare()
    {
        TableChangeMap changes;
        auto keep = [&changes](const QString& table, RecordChangeMap& records) {
            if (!records.empty())
                changes[table.toStdWString()].merge(records);
        };
        for (const auto& [key, newTable] : m_newCatalog) {
            RecordChangeMap records;
            const auto oldTable = m_oldCatalog.find(key);
            if (oldTable == m_oldCatalog.end())
                listAll(recordTable("main", newTable.position), RecordAdded, records);
            else
                compareTable(oldTable->second, newTable, records);
            keep(newTable.name, records);
        }
        for (const auto& [key, oldTable] : m_oldCatalog) {
            RecordChangeMap records;
            if (!m_newCatalog.count(key))
                listAll(recordTable(kOld, oldTable.position), RecordRemoved, records);
            keep(oldTable.name, records);
        }
        return changes;
    }

private:
    void listAll(const std::string& table, RecordChange change, RecordChangeMap& out) const
    {
        KSqlStatement ids(m_db, "SELECT id FROM " + table);
        while (ids.step())
            out[quint64(ids.getInt64(0))] = change;
    }

    void compareTable(const TableEntry& oldTable, const TableEntry& newTable, RecordChangeMap& out)
    {
        const bool sameFields = oldTable.signature == newTable.signature;
        // True when the values of the records o and n are the same.
        std::string same = sameFields ? "1" : "0";
        for (int field = 0; sameFields && field < newTable.fieldCount; ++field) {
            const std::string column = ModelFileLayout::fieldColumnName(field).toStdString();
            same += " AND o." + column + " IS n." + column;
        }
        const std::string oldRecords = recordTable(kOld, oldTable.position);
        const std::string newRecords = recordTable("main", newTable.position);
        Unpaired oldUnpaired;
        Unpaired newUnpaired;
        try {
            if (qEnvironmentVariableIsSet("BIMCORE_COMPARE_PLAIN")) // benchmarks and tests
                throw UnexpectedLayout("asked for SQLite");
            scan(oldTable, newTable, sameFields, out, oldUnpaired, newUnpaired);
        } catch (const UnexpectedLayout&) {
            ++s_fallbacks;
            out.clear();
            oldUnpaired.clear();
            newUnpaired.clear();
            compareInSqlite(oldRecords, newRecords, same, out, oldUnpaired, newUnpaired);
        }

        // The records that were out of step, matched by identifier.
        KSqlStatement pair(m_db,
            "SELECT " + same + " FROM " + newRecords + " AS n, " + oldRecords
                + " AS o WHERE n.position = ?1 AND o.position = ?2");
        for (const auto& [id, position] : newUnpaired) {
            const auto counterpart = oldUnpaired.find(id);
            if (counterpart == oldUnpaired.end()) {
                out[id] = RecordAdded;
                continue;
            }
            pair.reset();
            pair.bindInt64(1, position);
            pair.bindInt64(2, counterpart->second);
            if (!pair.step() || pair.getInt(0) == 0)
                out[id] = RecordChanged;
            oldUnpaired.erase(counterpart);
        }
        for (const auto& record : oldUnpaired)
            out[record.first] = RecordRemoved;
    }

    // Walks both record tables side by side. A revision keeps the order of
    // its records, so a record's counterpart is usually at the same step, and
    // equal stored bytes mean equal values.
    void scan(const TableEntry& oldTable, const TableEntry& newTable, bool sameFields,
        RecordChangeMap& out, Unpaired& oldUnpaired, Unpaired& newUnpaired) const
    {
        RecordScanner oldRecords = scanner(m_oldFile, kOld, oldTable.position);
        RecordScanner newRecords = scanner(m_newFile, "main", newTable.position);
        bool oldMore = oldRecords.next();
        bool newMore = newRecords.next();
        for (; oldMore && newMore; oldMore = oldRecords.next(), newMore = newRecords.next()) {
            const bool sameBytes = oldRecords.payloadSize() == newRecords.payloadSize()
                && std::memcmp(
                       oldRecords.payload(), newRecords.payload(), size_t(oldRecords.payloadSize()))
                    == 0;
            if (sameBytes && sameFields)
                continue;
            const quint64 oldId = quint64(oldRecords.integerColumn(1));
            const quint64 newId = quint64(newRecords.integerColumn(1));
            if (oldId == newId) {
                out[newId] = RecordChanged;
            } else {
                oldUnpaired.emplace(oldId, oldRecords.rowid());
                newUnpaired.emplace(newId, newRecords.rowid());
            }
        }
        for (; oldMore; oldMore = oldRecords.next())
            oldUnpaired.emplace(quint64(oldRecords.integerColumn(1)), oldRecords.rowid());
        for (; newMore; newMore = newRecords.next())
            newUnpaired.emplace(quint64(newRecords.integerColumn(1)), newRecords.rowid());
    }

    RecordScanner scanner(const MappedFile& file, const char* schema, int position) const
    {
        if (!file.data())
            throw UnexpectedLayout("file not mapped");
        KSqlStatement root(m_db,
            std::string("SELECT rootpage FROM ") + schema
                + ".sqlite_schema WHERE type = 'table' AND name = ?1");
        root.bindText(1, ModelFileLayout::recordTableName(position).toStdString());
        return RecordScanner(file.data(), file.size(), root.step() ? quint32(root.getInt64(0)) : 0);
    }

    // The same walk inside SQLite, which pairs the records by position and
    // hands back only those that differ. Positions are the records' indexes:
    // the old records past the new model's last position have no partner.
    void compareInSqlite(const std::string& oldRecords, const std::string& newRecords,
        const std::string& same, RecordChangeMap& out, Unpaired& oldUnpaired,
        Unpaired& newUnpaired) const
    {
        KSqlStatement paired(m_db,
            "SELECT n.position, n.id, o.position, o.id FROM " + newRecords + " AS n LEFT JOIN "
                + oldRecords + " AS o ON o.position = n.position WHERE o.id IS NOT n.id OR NOT ("
                + same + ") UNION ALL SELECT NULL, NULL, position, id FROM " + oldRecords
                + " WHERE position > ifnull((SELECT max(position) FROM " + newRecords + "), -1)");
        while (paired.step()) {
            if (!paired.isNull(1) && !paired.isNull(3)
                && paired.getInt64(1) == paired.getInt64(3)) {
                out[quint64(paired.getInt64(1))] = RecordChanged;
                continue;
            }
            if (!paired.isNull(1))
                newUnpaired.emplace(quint64(paired.getInt64(1)), paired.getInt64(0));
            if (!paired.isNull(3))
                oldUnpaired.emplace(quint64(paired.getInt64(3)), paired.getInt64(2));
        }
    }

    KSqlDatabase m_db;
    Catalog m_oldCatalog;
    Catalog m_newCatalog;
    MappedFile m_oldFile;
    MappedFile m_newFile;
};

} // namespace

long directScanFallbacks()
{
    return s_fallbacks.load();
}

void checkModelFile(const QString& model)
{
    Models(QString(), model);
}

TableChangeMap compareModelFiles(const QString& oldModel, const QString& newModel)
{
    return Models(oldModel, newModel).compare();
}

} // namespace PlatformSvcComm
