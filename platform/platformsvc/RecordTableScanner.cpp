#include "RecordTableScanner.h"

#include <cstring>

namespace PlatformSvcComm {

namespace {

constexpr uchar kTableInterior = 0x05;
constexpr uchar kTableLeaf = 0x0D;
constexpr int kMaxDepth = 64;

quint32 be16(const uchar* p)
{
    return (quint32(p[0]) << 8) | p[1];
}

quint32 be32(const uchar* p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
}

// An SQLite varint at p, never reading past end; returns the bytes used.
int varint(const uchar* p, const uchar* end, quint64* value)
{
    quint64 v = 0;
    for (int i = 0; i < 8; ++i) {
        if (p + i >= end)
            throw UnexpectedLayout("varint past the end");
        v = (v << 7) | (p[i] & 0x7f);
        if (!(p[i] & 0x80)) {
            *value = v;
            return i + 1;
        }
    }
    if (p + 8 >= end)
        throw UnexpectedLayout("varint past the end");
    *value = (v << 8) | p[8];
    return 9;
}

qint64 serialSize(quint64 type)
{
    static const qint64 sizes[] = { 0, 1, 2, 3, 4, 6, 8, 8, 0, 0 };
    if (type < 10)
        return sizes[type];
    if (type < 12)
        throw UnexpectedLayout("reserved serial type");
    return qint64((type - 12) / 2);
}

// Where a column of a record starts: its serial type in the record header and
// its bytes in the body.
struct RecordColumn
{
    const uchar* type;
    const uchar* headerEnd;
    const uchar* body;
    const uchar* end;
};

RecordColumn seekColumn(const uchar* record, qint64 size, int column)
{
    const uchar* end = record + size;
    quint64 headerSize = 0;
    const uchar* type = record + varint(record, end, &headerSize);
    const uchar* headerEnd = record + headerSize;
    if (headerEnd > end)
        throw UnexpectedLayout("record header too long");
    const uchar* body = headerEnd;
    for (int c = 0; c < column; ++c) {
        if (type >= headerEnd)
            throw UnexpectedLayout("record has too few columns");
        quint64 serialType = 0;
        type += varint(type, headerEnd, &serialType);
        body += serialSize(serialType);
        if (body > end)
            throw UnexpectedLayout("record body too short");
    }
    return { type, headerEnd, body, end };
}

} // namespace

RecordTableScanner::RecordTableScanner(const uchar* file, qint64 size, quint32 rootPage)
    : m_file(file)
    , m_size(size)
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

const uchar* RecordTableScanner::page(quint32 number) const
{
    if (number < 1 || number > m_pageCount)
        throw UnexpectedLayout("page number out of range");
    return m_file + qint64(number - 1) * m_pageSize;
}

// Page 1 starts with the database header; its b-tree header follows it.
const uchar* RecordTableScanner::btreeHeader(const uchar* page) const
{
    return page == m_file ? page + 100 : page;
}

// The child of an interior page that comes after those already visited, and
// moves the level on past it: the cells' left children in order, then the
// right-most child.
quint32 RecordTableScanner::nextChild(Level& level) const
{
    const uchar* header = btreeHeader(level.page);
    const int cells = int(be16(header + 3));
    const int child = level.next++;
    if (child == cells)
        return be32(header + 8);
    const quint32 offset = be16(header + 12 + 2 * child);
    if (offset + 4 > m_usable)
        throw UnexpectedLayout("cell outside its page");
    return be32(level.page + offset);
}

// Goes down to the leftmost leaf below page `number`.
void RecordTableScanner::descend(quint32 number)
{
    for (;;) {
        const uchar* p = page(number);
        const uchar* header = btreeHeader(p);
        if (header[0] == kTableLeaf) {
            m_leaf = p;
            m_cell = 0;
            m_cellCount = int(be16(header + 3));
            return;
        }
        if (header[0] != kTableInterior || m_path.size() >= kMaxDepth)
            throw UnexpectedLayout("not a table b-tree page");
        m_path.push_back({ p, 0 });
        number = nextChild(m_path.back());
    }
}

bool RecordTableScanner::nextLeaf()
{
    while (!m_path.empty()) {
        Level& level = m_path.back();
        if (level.next > int(be16(btreeHeader(level.page) + 3))) {
            m_path.pop_back();
            continue;
        }
        descend(nextChild(level));
        return true;
    }
    return false;
}

bool RecordTableScanner::next()
{
    while (m_cell >= m_cellCount) {
        if (!nextLeaf())
            return false;
    }
    readCell(m_leaf, m_cell++);
    return true;
}

void RecordTableScanner::readCell(const uchar* leaf, int cell)
{
    const uchar* header = btreeHeader(leaf);
    const uchar* pageEnd = leaf + m_usable;
    const quint32 offset = be16(header + 8 + 2 * cell);
    if (offset < 8 || offset >= m_usable)
        throw UnexpectedLayout("cell outside its page");
    const uchar* p = leaf + offset;
    quint64 total = 0;
    quint64 rowid = 0;
    p += varint(p, pageEnd, &total);
    p += varint(p, pageEnd, &rowid);
    if (total > quint64(m_size))
        throw UnexpectedLayout("payload larger than the file");

    const quint64 maxLocal = m_usable - 35;
    if (total <= maxLocal) {
        if (p + total > pageEnd)
            throw UnexpectedLayout("payload outside its page");
        m_payload = p;
        m_payloadSize = qint64(total);
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
    quint32 hops = 0;
    while (m_spill.size() < total) {
        if (++hops > m_pageCount)
            throw UnexpectedLayout("overflow chain loops");
        const uchar* o = page(overflow);
        const size_t take = std::min<size_t>(m_usable - 4, size_t(total) - m_spill.size());
        m_spill.append(reinterpret_cast<const char*>(o + 4), take);
        overflow = be32(o);
    }
    m_payload = reinterpret_cast<const uchar*>(m_spill.data());
    m_payloadSize = qint64(total);
}

qint64 RecordTableScanner::integerColumn(int column) const
{
    const RecordColumn at = seekColumn(m_payload, m_payloadSize, column);
    if (at.type >= at.headerEnd)
        throw UnexpectedLayout("record has too few columns");
    quint64 type = 0;
    varint(at.type, at.headerEnd, &type);
    const qint64 size = serialSize(type);
    if (at.body + size > at.end)
        throw UnexpectedLayout("record body too short");
    if (type == 8 || type == 9)
        return qint64(type - 8);
    if (type < 1 || type > 6)
        throw UnexpectedLayout("column holds no integer");
    qint64 value = (at.body[0] & 0x80) ? -1 : 0;
    for (qint64 i = 0; i < size; ++i)
        value = qint64(quint64(value) << 8) | at.body[i];
    return value;
}

std::string RecordTableScanner::columnsFrom(int first) const
{
    const RecordColumn at = seekColumn(m_payload, m_payloadSize, first);
    // The length of the serial types first, so that header and body bytes
    // cannot be mistaken for each other.
    const quint32 typesLength = quint32(at.headerEnd - at.type);
    std::string bytes(reinterpret_cast<const char*>(&typesLength), sizeof typesLength);
    bytes.append(reinterpret_cast<const char*>(at.type), typesLength);
    bytes.append(reinterpret_cast<const char*>(at.body), size_t(at.end - at.body));
    return bytes;
}

} // namespace PlatformSvcComm
