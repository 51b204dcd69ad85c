#include "TextColumn.h"

#include "Errors.h"

#include <limits>

namespace {
constexpr size_t maxArenaBytes = std::numeric_limits<quint32>::max();
}

void TextColumn::reserve(size_t rows, size_t bytes)
{
    m_offsets.reserve(rows);
    m_lengths.reserve(rows);
    m_bytes.reserve(std::min(bytes, maxArenaBytes));
}

quint32 TextColumn::store(const char* utf8, size_t length)
{
    if (m_bytes.size() + length > maxArenaBytes) {
        compact();
        if (m_bytes.size() + length > maxArenaBytes)
            raiseError(QStringLiteral("the texts of one field exceed 4 GiB"));
    }
    const auto offset = static_cast<quint32>(m_bytes.size());
    // An empty value may come without bytes (a null pointer).
    if (length != 0)
        m_bytes.append(utf8, length);
    return offset;
}

void TextColumn::append(const char* utf8, size_t length)
{
    const quint32 offset = store(utf8, length);
    m_offsets.push_back(offset);
    m_lengths.push_back(static_cast<quint32>(length));
}

void TextColumn::set(size_t row, std::string_view utf8)
{
    if (utf8.size() <= m_lengths[row]) {
        // Fits in place: overwrite and give the tail up.
        std::copy(utf8.begin(), utf8.end(), m_bytes.begin() + m_offsets[row]);
        m_garbage += m_lengths[row] - utf8.size();
        m_lengths[row] = static_cast<quint32>(utf8.size());
    } else {
        // The copy keeps the bytes valid if utf8 points into the arena.
        const std::string copy(utf8);
        m_garbage += m_lengths[row];
        m_lengths[row] = 0;
        m_offsets[row] = store(copy.data(), copy.size());
        m_lengths[row] = static_cast<quint32>(copy.size());
    }
    if (m_garbage > 4096 && m_garbage * 2 > m_bytes.size())
        compact();
}

void TextColumn::popBack()
{
    if (m_offsets.empty())
        return;
    if (size_t(m_offsets.back()) + m_lengths.back() == m_bytes.size())
        m_bytes.resize(m_offsets.back());
    else
        m_garbage += m_lengths.back();
    m_offsets.pop_back();
    m_lengths.pop_back();
}

void TextColumn::compact()
{
    if (m_garbage == 0)
        return;
    std::string packed;
    packed.reserve(m_bytes.size() - m_garbage);
    for (size_t row = 0; row < m_offsets.size(); ++row) {
        const std::string_view text = view(row);
        m_offsets[row] = static_cast<quint32>(packed.size());
        packed.append(text.data(), text.size());
    }
    m_bytes.swap(packed);
    m_garbage = 0;
}
