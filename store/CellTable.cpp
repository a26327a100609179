#include "store/CellTable.h"

#include "store/StoreError.h"

#include <QString>

#include <algorithm>
#include <bit>
#include <limits>

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
    if (k == PooledText)
        return QByteArrayView(m_pool.data() + (*p & 0xFFFFFFFFu), qsizetype(*p >> 32));
    return {};
}

void CellTable::setInteger(quint32 slot, int column, qint64 value)
{
    kinds(slot)[column] = Integer;
    std::memcpy(&payloads(slot)[column], &value, sizeof value);
}

void CellTable::setReal(quint32 slot, int column, double value)
{
    kinds(slot)[column] = Real;
    std::memcpy(&payloads(slot)[column], &value, sizeof value);
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
    // Offset and length share the payload, 32 bits each.
    const size_t offset = m_pool.size();
    if (length > std::numeric_limits<quint32>::max() || offset > std::numeric_limits<quint32>::max() - length)
        throw StoreError(QStringLiteral("查询结果的文字太多，请缩小查询范围"));
    m_pool.append(utf8, length);
    *p = quint64(offset) | (quint64(length) << 32);
    kinds(slot)[column] = PooledText;
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
    if (m_pool.capacity() - m_pool.size() > m_pool.size() / 8 + 4096)
        m_pool.shrink_to_fit();
    m_chunks.shrink_to_fit();
}

} // namespace kvt
