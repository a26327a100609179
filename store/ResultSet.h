#pragma once
// The held result of a query, shared by the query's own files: the cells, the order of the rows,
// each row's state and what was changed in it, and the conversions of its values. Private to the
// store; only the query's files include it. It knows no engine.

#include "store/CellTable.h"
#include "store/DataQuery.h"

#include <QDate>
#include <QHash>
#include <QString>
#include <QVariant>

#include <memory>
#include <unordered_map>
#include <vector>

namespace kvt {

namespace result {

enum class Kind { Integer, Number, Text, Date };

struct Column {
    QString name;   // output name
    QString table;  // table it comes from ("" for an expression)
    QString origin; // its name in that table
    Kind kind = Kind::Text;
    bool visible = true;
};

/// What a row read from the table has had changed: the columns, and every value as read, to
/// find the row again and to check that nobody else changed it meanwhile.
struct RowChange {
    std::vector<bool> columns;
    std::vector<QVariant> original;
};

/// A column's kind from its declared type, else from sample, the cell kind of its first non-NULL
/// value (CellTable::Null when none).
Kind kindOf(const QString& declType, quint8 sample);
/// A number in plain decimal form: 850, 850.5.
QString plainNumber(double v);
/// A value as DataField::asString gives it.
QString textOf(const QVariant& v, Kind kind);
/// True when text is a finite number, given in out.
bool parseNumber(const QString& text, double& out);
/// A date as the program writes it or as a clerk types it; an invalid QDate when it is none.
QDate parseDate(const QString& text);

} // namespace result

struct ResultSet {
    explicit ResultSet(int columns) : cells(columns) {}

    std::vector<result::Column> cols;
    CellTable cells;
    std::vector<quint32> order;                     // result rows in order: their slots in cells
    std::vector<quint8> states;                     // RowState of each slot
    std::unordered_map<quint32, result::RowChange> changes; // slots of changed rows read from the table
    int pendingRows = 0;                            // rows in the result that are changed or inserted
    std::vector<std::vector<QVariant>> deleted;     // rows removed from the result, as they were read
    QString table;                                  // the one table a changeable result comes from
    int keyColumn = -1;                             // result column holding its primary key
    QString keyName;                                // that key's name in the table
    bool editing = false;
    std::vector<int> display; // display order: result columns
    QHash<QString, int> byName;

    bool readOnly() const { return table.isEmpty() || keyColumn < 0; }

    int rowCount() const { return int(order.size()); }
    quint32 slotOf(int row) const { return order[size_t(row - 1)]; }
    RowState stateOf(quint32 slot) const { return RowState(states[slot]); }
    QVariant value(int row, int column) const { return cells.value(slotOf(row), column); }

    /// Every value of the row as it was read.
    std::vector<QVariant> originalOf(quint32 slot) const
    {
        const auto it = changes.find(slot);
        if (it != changes.end())
            return it->second.original;
        std::vector<QVariant> v(cols.size());
        for (size_t c = 0; c < cols.size(); ++c)
            v[c] = cells.value(slot, int(c));
        return v;
    }

    /// Primary key the row was read with (for rows read from the table).
    QVariant keyOf(quint32 slot) const
    {
        const auto it = changes.find(slot);
        if (it != changes.end())
            return it->second.original[size_t(keyColumn)];
        return keyColumn >= 0 ? cells.value(slot, keyColumn) : QVariant();
    }

    /// Counts the rows of the result that wait to be written.
    void recountPending()
    {
        pendingRows = 0;
        for (const quint32 slot : order)
            if (stateOf(slot) != RowState::Unchanged)
                ++pendingRows;
    }

    /// Stores a changed value and marks its row and column as changed.
    void assign(int row, int column, const QVariant& v)
    {
        const quint32 slot = slotOf(row);
        if (stateOf(slot) != RowState::Inserted) {
            auto [it, added] = changes.try_emplace(slot);
            if (added) {
                it->second.columns.resize(cols.size());
                it->second.original.resize(cols.size());
                for (size_t c = 0; c < cols.size(); ++c)
                    it->second.original[c] = cells.value(slot, int(c));
            }
            it->second.columns[size_t(column)] = true;
            if (stateOf(slot) == RowState::Unchanged) {
                states[slot] = quint8(RowState::Modified);
                ++pendingRows;
            }
        }
        cells.setValue(slot, column, v);
    }
};

/// The pending state of a result as it was before an apply, to go back to should the
/// transaction around the apply roll back.
struct PendingSnapshot {
    std::vector<quint8> states;
    std::unordered_map<quint32, result::RowChange> changes;
    std::vector<std::vector<QVariant>> deleted;
    /// Inserted rows' values before the engine's were read back into them.
    std::vector<std::pair<quint32, std::vector<QVariant>>> inserted;
};

/// Throws unless a result is held.
inline void needOpen(const std::unique_ptr<ResultSet>& rs)
{
    if (!rs)
        throw StoreError(QStringLiteral("数据集没有打开"));
}

} // namespace kvt
