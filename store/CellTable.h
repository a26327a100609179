#pragma once
// The values of a held result, kept compact: per cell one kind byte and one 8-byte payload
// (a whole number, a number, or a text), texts as UTF-8 in one pool per result. Rows live in
// fixed-size chunks addressed by a slot number, and the pool in blocks each twice the size of the
// one before, so the table only grows and nothing is copied while a large result is read.
// QVariant and QString are made only when a value is asked for.

#include <QByteArrayView>
#include <QVariant>
#include <QtGlobal>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace kvt {

class CellTable {
public:
    /// Kind byte of a cell. Texts of up to eight bytes sit in the payload itself, their length in the kind.
    enum Kind : quint8 { Null = 0, Integer = 1, Real = 2, PooledText = 3, InlineText = 16 };
    static constexpr int kInlineMax = 8;

    explicit CellTable(int columns);

    int columnCount() const { return m_columns; }
    quint32 slotCount() const { return m_slots; }

    /// Adds a row slot; its cells are all NULL.
    quint32 addSlot()
    {
        const quint32 slot = addSlotUninitialised();
        std::memset(kinds(slot), Null, size_t(m_columns));
        return slot;
    }
    /// Adds a row slot whose cells the caller writes, every one of them.
    quint32 addSlotUninitialised()
    {
        if ((m_slots & m_chunkMask) == 0)
            addChunk();
        return m_slots++;
    }

    /// The kind bytes and payloads of one slot's cells, column by column.
    quint8* kinds(quint32 slot) { return chunkOf(slot) + kindOffset(slot); }
    const quint8* kinds(quint32 slot) const { return chunkOf(slot) + kindOffset(slot); }
    quint64* payloads(quint32 slot) { return reinterpret_cast<quint64*>(chunkOf(slot)) + payloadIndex(slot); }
    const quint64* payloads(quint32 slot) const
    {
        return reinterpret_cast<const quint64*>(chunkOf(slot)) + payloadIndex(slot);
    }

    Kind kind(quint32 slot, int column) const { return Kind(kinds(slot)[column]); }
    bool isNull(quint32 slot, int column) const { return kind(slot, column) == Null; }
    bool isText(quint32 slot, int column) const { return kind(slot, column) >= PooledText; }
    qint64 integer(quint32 slot, int column) const;
    double real(quint32 slot, int column) const;
    /// UTF-8 bytes of a text cell; valid until the next text is stored.
    QByteArrayView text(quint32 slot, int column) const;

    void setNull(quint32 slot, int column) { kinds(slot)[column] = Null; }
    void setInteger(quint32 slot, int column, qint64 value)
    {
        kinds(slot)[column] = Integer;
        std::memcpy(&payloads(slot)[column], &value, sizeof value);
    }
    void setReal(quint32 slot, int column, double value)
    {
        kinds(slot)[column] = Real;
        std::memcpy(&payloads(slot)[column], &value, sizeof value);
    }
    /// Stores a text; a text replacing another leaves the old bytes unused in the pool.
    void setText(quint32 slot, int column, const char* utf8, size_t length);

    /// Cell as the store hands values out: invalid for NULL, qint64, double or QString.
    QVariant value(quint32 slot, int column) const;
    /// Stores a value of those types (anything else as its text).
    void setValue(quint32 slot, int column, const QVariant& value);

    /// Gives back growth room once a result has been read in full.
    void trim();

private:
    quint8* chunkOf(quint32 slot) { return m_chunks[slot >> m_chunkShift].get(); }
    const quint8* chunkOf(quint32 slot) const { return m_chunks[slot >> m_chunkShift].get(); }
    size_t payloadIndex(quint32 slot) const { return size_t(slot & m_chunkMask) * size_t(m_columns); }
    size_t kindOffset(quint32 slot) const
    {
        return size_t(m_chunkRows) * size_t(m_columns) * sizeof(quint64) +
               size_t(slot & m_chunkMask) * size_t(m_columns);
    }
    void addChunk();
    /// The pool's block k holds kFirstBlock << k bytes and starts at pool offset
    /// kFirstBlock * (2^k - 1): an offset finds its block without a search.
    static constexpr size_t kFirstBlock = 4096;
    static int blockOf(size_t offset) { return int(std::bit_width(offset / kFirstBlock + 1)) - 1; }
    static size_t blockStart(int block) { return kFirstBlock * ((size_t(1) << block) - 1); }
    /// Where a text of length bytes goes, its block made when it is new; skips to a later block when
    /// it does not fit whole into the current one.
    char* poolPlace(size_t length, size_t& offset);
    struct FreeBlock {
        void operator()(char* p) const { std::free(p); }
    };

    int m_columns;
    quint32 m_chunkRows;
    quint32 m_chunkShift;
    quint32 m_chunkMask;
    quint32 m_slots = 0;
    std::vector<std::unique_ptr<quint8[]>> m_chunks; // payloads of all rows of the chunk, then their kinds
    std::vector<std::unique_ptr<char, FreeBlock>> m_blocks; // UTF-8 of the longer texts (null: skipped)
    std::vector<size_t> m_blockBytes;                       // what each block holds (less once trimmed)
    size_t m_poolUsed = 0;                                  // pool offset of the next text
    char* m_tail = nullptr;                                 // where it goes in the current block
    size_t m_tailRoom = 0;                                  // and the bytes left there
};

} // namespace kvt
