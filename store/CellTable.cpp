// See CellTable.h. Plain memory: no engine, no Qt beyond the values handed out.
#include "store/CellTable.h"

#include "store/StoreError.h"

#include <QString>

#include <algorithm>
#include <bit>
#include <limits>
#include <new>

namespace kvt {

namespace {

// Bytes of one chunk, a size the heap hands out without a mapping of its own.
constexpr size_t kChunkBytes = 32 * 1024;

quint32 chunkRowsFor(int columns)
{
    const size_t perRow = size_t(std::max(columns, 1)) * (sizeof(quint64) + 1);
    const size_t rows = std::clamp<size_t>(kChunkBytes / perRow, 4, 4096);
    return quint32(std::bit_floor(rows));
}

} // namespace

CellTable::CellTable(int columns)
    : m_columns(columns), m_chunkRows(chunkRowsFor(columns)), m_chunkShift(quint32(std::countr_zero(m_chunkRows))),
      m_chunkMask(m_chunkRows - 1)
{
}

void CellTable::addChunk()
{
    const size_t cells = size_t(m_chunkRows) * size_t(m_columns);
    // Payloads first keeps them aligned; cells are written before they are read.
    m_chunks.emplace_back(new quint8[cells * (sizeof(quint64) + 1)]);
}

qint64 CellTable::integer(quint32 slot, int column) const
{
    qint64 v;
    std::memcpy(&v, &payloads(slot)[column], sizeof v);
    return v;
}

double CellTable::real(quint32 slot, int column) const
{
    double v;
    std::memcpy(&v, &payloads(slot)[column], sizeof v);
    return v;
}

QByteArrayView CellTable::text(quint32 slot, int column) const
{
    const quint8 k = kinds(slot)[column];
    const quint64* p = &payloads(slot)[column];
    if (k >= InlineText)
        return QByteArrayView(reinterpret_cast<const char*>(p), k - InlineText);
    if (k == PooledText) {
        const size_t offset = *p & 0xFFFFFFFFu;
        const int block = blockOf(offset);
        return QByteArrayView(m_blocks[size_t(block)].get() + (offset - blockStart(block)), qsizetype(*p >> 32));
    }
    return {};
}

void CellTable::setText(quint32 slot, int column, const char* utf8, size_t length)
{
    quint64* p = &payloads(slot)[column];
    if (length <= size_t(kInlineMax)) {
        *p = 0;
        if (length)
            std::memcpy(p, utf8, length);
        kinds(slot)[column] = quint8(InlineText + length);
        return;
    }
    size_t offset = m_poolUsed;
    if (length <= m_tailRoom) {
        std::memcpy(m_tail, utf8, length);
        m_tail += length;
        m_tailRoom -= length;
        m_poolUsed += length;
    } else {
        std::memcpy(poolPlace(length, offset), utf8, length);
    }
    // Offset and length share the payload, 32 bits each.
    *p = quint64(offset) | (quint64(length) << 32);
    kinds(slot)[column] = PooledText;
}

char* CellTable::poolPlace(size_t length, size_t& offset)
{
    offset = m_poolUsed;
    int block = blockOf(offset);
    const auto room = [&] {
        return size_t(block) < m_blockBytes.size() ? m_blockBytes[size_t(block)] : kFirstBlock << block;
    };
    if (offset - blockStart(block) + length > room()) {
        do
            ++block;
        while ((kFirstBlock << block) < length);
        offset = blockStart(block);
    }
    if (length > std::numeric_limits<quint32>::max() || offset > std::numeric_limits<quint32>::max() - length)
        throw StoreError(QStringLiteral("查询结果的文字太多，请缩小查询范围"));
    if (size_t(block) >= m_blocks.size()) {
        m_blocks.resize(size_t(block) + 1);
        m_blockBytes.resize(size_t(block) + 1, 0);
    }
    if (!m_blocks[size_t(block)]) {
        char* made = static_cast<char*>(std::malloc(kFirstBlock << block));
        if (!made)
            throw std::bad_alloc();
        m_blocks[size_t(block)].reset(made);
        m_blockBytes[size_t(block)] = kFirstBlock << block;
    }
    m_poolUsed = offset + length;
    char* at = m_blocks[size_t(block)].get() + (offset - blockStart(block));
    m_tail = at + length;
    m_tailRoom = m_blockBytes[size_t(block)] - (offset - blockStart(block)) - length;
    return at;
}

QVariant CellTable::value(quint32 slot, int column) const
{
    switch (kind(slot, column)) {
    case Null: return QVariant();
    case Integer: return QVariant(integer(slot, column));
    case Real: return QVariant(real(slot, column));
    default: {
        const QByteArrayView t = text(slot, column);
        return QVariant(QString::fromUtf8(t.data(), t.size()));
    }
    }
}

void CellTable::setValue(quint32 slot, int column, const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        setNull(slot, column);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool: setInteger(slot, column, value.toLongLong()); break;
    case QMetaType::Double: setReal(slot, column, value.toDouble()); break;
    default: {
        const QByteArray t = value.toString().toUtf8();
        setText(slot, column, t.constData(), size_t(t.size()));
    }
    }
}

void CellTable::trim()
{
    // The last block gives back what it does not hold yet; shrinking it keeps it in place.
    if (m_poolUsed > 0) {
        const int block = blockOf(m_poolUsed - 1);
        const size_t used = m_poolUsed - blockStart(block);
        if (size_t(block) < m_blocks.size() && m_blocks[size_t(block)] && used + 4096 < m_blockBytes[size_t(block)]) {
            if (char* kept = static_cast<char*>(std::realloc(m_blocks[size_t(block)].get(), used))) {
                (void)m_blocks[size_t(block)].release();
                m_blocks[size_t(block)].reset(kept);
                m_blockBytes[size_t(block)] = used;
                m_tail = nullptr;
                m_tailRoom = 0;
            }
        }
    }
    m_chunks.shrink_to_fit();
}

} // namespace kvt
