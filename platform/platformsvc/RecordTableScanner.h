#pragma once

#include <QtGlobal>

#include <stdexcept>
#include <string>
#include <vector>

namespace PlatformSvcComm {

// Thrown when a file does not look the way the scanner expects; the caller
// then reads the table through SQLite instead.
struct UnexpectedLayout : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// Reads the records of one SQLite table b-tree straight from the mapped file,
// in rowid order, without SQLite: the comparison of two model files only needs
// each record's stored bytes, and decoding every value through SQLite costs
// as much as loading the model. Follows the documented SQLite file format
// (b-tree pages, cells, overflow chains, record encoding).
class RecordTableScanner
{
public:
    // `file` is the whole database file, `rootPage` the table's root page.
    RecordTableScanner(const uchar* file, qint64 size, quint32 rootPage);

    // Moves to the next record; false at the end.
    bool next();

    // The current record's stored form (header and body), valid until next().
    const uchar* payload() const { return m_payload; }
    qint64 payloadSize() const { return m_payloadSize; }

    // The integer stored in column `column` of the current record.
    qint64 integerColumn(int column) const;
    // The columns from `first` on, as header serial types followed by their
    // bytes: two records hold equal values there exactly when these are equal.
    std::string columnsFrom(int first) const;

private:
    struct Level;

    const uchar* page(quint32 number) const;
    const uchar* btreeHeader(const uchar* page) const;
    quint32 nextChild(Level& level) const;
    void descend(quint32 number);
    bool nextLeaf();
    void readCell(const uchar* leaf, int cell);

    const uchar* m_file;
    qint64 m_size;
    quint32 m_pageSize;
    quint32 m_usable;
    quint32 m_pageCount;
    // Interior pages on the way down, with the next child to visit.
    struct Level
    {
        const uchar* page;
        int next;
    };
    std::vector<Level> m_path;
    const uchar* m_leaf { nullptr };
    int m_cell { 0 };
    int m_cellCount { 0 };
    const uchar* m_payload { nullptr };
    qint64 m_payloadSize { 0 };
    std::string m_spill; // a payload gathered from its overflow pages
};

} // namespace PlatformSvcComm
