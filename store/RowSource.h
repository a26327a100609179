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
    Date,    ///< dates (QVariant QDate)
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
    /// The row passed in is valid only during the call. Throws StoreError when reading fails.
    virtual void readRows(const QString& table, const std::function<bool(const SourceRow&)>& row) = 0;
};

} // namespace kvt
