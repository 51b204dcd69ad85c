#pragma once

#include <QtGlobal>

#include <string>
#include <string_view>
#include <vector>

// The texts of one field, kept as UTF-8 in one byte arena with an offset and
// a length per record: a few bytes per value instead of a QString each.
// Replacing a value appends the new bytes; the arena is compacted once more
// than half of it is no longer referenced.
class TextColumn
{
public:
    size_t size() const { return m_offsets.size(); }
    void reserve(size_t rows, size_t bytes);
    void append(const char* utf8, size_t length);
    void append(std::string_view utf8) { append(utf8.data(), utf8.size()); }
    void set(size_t row, std::string_view utf8);
    void popBack();
    std::string_view view(size_t row) const
    {
        return std::string_view(m_bytes.data() + m_offsets[row], m_lengths[row]);
    }
    size_t byteCount() const { return m_bytes.size() - m_garbage; }

private:
    quint32 store(const char* utf8, size_t length);
    void compact();

    std::string m_bytes;
    std::vector<quint32> m_offsets;
    std::vector<quint32> m_lengths;
    size_t m_garbage = 0;
};
