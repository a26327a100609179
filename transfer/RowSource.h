#pragma once
// A source of tables to copy from, read as a stream of rows: a database file or server opened
// read-only, or a foreign file format. The copy reads one row at a time and writes as it reads,
// so nothing here holds a whole table.

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <vector>

namespace kvt {

/// What a source column holds, as the copy writes it.
enum class ColumnKind {
    Integer, ///< whole numbers (QVariant qlonglong)
    Real,    ///< numbers (QVariant double, already holding the digits the source showed)
    Exact,   ///< exact decimals (QVariant QString of the decimal text, "12.50"), written as numbers
    Date,    ///< dates (QVariant QDate, or the text "yyyy-MM-dd" as a database holds it)
    Text,    ///< texts (QVariant QString; "" and NULL are different values)
};

struct SourceColumn {
    QString name;
    ColumnKind kind = ColumnKind::Text;
    /// The type as the source names it ("Long", "Single", "Memo", "INTEGER", ...), for reports.
    QString sourceType;
};

/// One row's values in the order of columns(); a null QVariant is NULL.
using SourceRow = std::vector<QVariant>;

class RowSource {
public:
    virtual ~RowSource() = default;

    /// The source as the user knows it (a file's path, or server, database and user).
    virtual QString describe() const = 0;
    /// Every table the source holds, in the source's order.
    virtual QStringList tables() const = 0;
    /// The table's columns in the source's order; throws StoreError when it has no such table.
    virtual std::vector<SourceColumn> columns(const QString& table) = 0;
    /// The table's row count, or -1 when the source cannot tell without reading it.
    virtual qint64 rowCount(const QString& table) = 0;
    /// Calls row once per row of the table, in the source's order, until it returns false.
    /// The row passed in is valid only during the call. Throws StoreError when reading fails; what
    /// row throws goes through unchanged. A table may be read more than once, with the same rows.
    virtual void readRows(const QString& table, const std::function<bool(const SourceRow&)>& row) = 0;
    /// The last key the table's numbering (its key column key) handed out, 0 when the source does
    /// not keep one: the copy then goes on from the highest key it read.
    virtual qint64 numberingPosition(const QString& table, const QString& key)
    {
        Q_UNUSED(table);
        Q_UNUSED(key);
        return 0;
    }
};

} // namespace kvt
