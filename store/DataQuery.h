#pragma once
// The query object every window owns: one statement, its whole result in memory,
// a current row, and row changes held pending until ApplyUpdates.

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

#include "store/StoreError.h"

namespace kvt {

class DataQuery;
struct ResultSet;
struct PendingSnapshot;

/// A handle to one column of the current row of a query (a "field").
/// Cheap to copy; valid while its query holds the same result.
class DataField {
public:
    DataField(DataQuery* query, int column) : m_query(query), m_column(column) {}

    /// Output name of the column ("单据ID", "历史单据.客户ID"); also the grid title.
    QString name() const;
    /// 0-based position in the result.
    int index() const { return m_column; }

    bool isNull() const;
    /// Value as text: numbers in plain decimal form (850, 850.5), dates "yyyy-mm-dd", NULL as "".
    QString asString() const;
    /// Value as a whole number; NULL is 0; text that is no integer throws StoreError.
    qint64 asInteger() const;
    /// Value as a number; NULL is 0; text that is no number throws StoreError.
    double asFloat() const;
    /// Value as a date; NULL gives an invalid QDate.
    QDate asDate() const;
    QVariant value() const;

    /// Assigns text, converted to the column's type (number columns refuse empty or
    /// non-numeric text with a StoreError naming the column and the value). Needs edit state.
    void setString(const QString& text);
    void setInteger(qint64 value);
    void setNull();

    /// Display attributes used by the data-bound grids.
    bool visible() const;
    void setVisible(bool visible);
    /// Position among the displayed columns (0-based); moving shifts the others.
    int displayIndex() const;
    void setDisplayIndex(int position);

private:
    DataQuery* m_query;
    int m_column;
};

/// State of one row of the held result.
enum class RowState { Unchanged, Modified, Inserted };

class DataQuery : public QObject {
    Q_OBJECT
public:
    explicit DataQuery(QObject* parent = nullptr);
    ~DataQuery() override;

    /// Replaces the statement; a held result is dropped first, with its pending changes.
    void SetSql(const QString& statement);
    QString Sql() const;
    /// Values for the statement's `?` in order, bound as they are when it is opened (a text stays
    /// text, whatever it holds); SetSql drops them.
    void SetParameters(const QVariantList& values);

    /// Runs the statement, which must return rows; holds all rows; the first row becomes current.
    void Open();
    /// Drops the held result and any pending changes.
    void Close();
    bool IsOpen() const;
    /// Runs the statement without keeping rows; returns the number of rows it changed.
    int Execute();

    /// Number of rows of the held result (0 when closed).
    int RowCount() const;
    /// 1-based number of the current row; 0 when there is none.
    int CurrentRow() const;
    /// Makes row n (1-based) current; ends an edit first. Out of range throws StoreError.
    void MoveToRow(int n);
    void MoveFirst();
    void MoveNext();
    /// True when the last MoveNext went past the last row, or the result is empty.
    bool Eof() const;
    /// Makes current the first row whose column equals value (exact); returns false and keeps
    /// the current row when none matches.
    bool FindRow(const QString& column, const QVariant& value);

    /// Field of the current row by output column name; an unknown name throws StoreError.
    DataField Field(const QString& name);
    /// Field of the current row by 0-based position.
    DataField FieldAt(int position);
    int FieldCount() const;
    /// Output column names in result order.
    QStringList FieldNames() const;
    /// -1 when the name is not in the result.
    int FieldIndex(const QString& name) const;

    /// Puts the current row into edit state.
    void EditRow();
    /// Adds an empty row after the last one, makes it current and puts it into edit state.
    void AppendRow();
    /// Ends the edit state of the current row, keeping its changes pending.
    void PostRow();
    /// Removes the current row from the result; the removal is pending.
    void DeleteRow();
    /// Writes every pending insert, change and delete in one transaction (all or nothing);
    /// inserts in row order and reads engine-assigned keys back into the rows. A changed or
    /// deleted row must still hold the values it was read with, else nothing is written and
    /// StoreError of kind Conflict is thrown. Within an enclosing TransactionScope the changes
    /// stay pending again if that scope rolls back.
    void ApplyUpdates();
    /// True when there are changes not yet applied.
    bool HasPendingChanges() const;
    /// A result over more than one table can be read but not changed.
    bool IsReadOnly() const;

    // Random access for grids and exports, without moving the current row.
    /// Value at 1-based row and 0-based column.
    QVariant ValueAt(int row, int column) const;
    /// Text as DataField::asString gives it, at 1-based row and 0-based column.
    QString TextAt(int row, int column) const;
    /// Appends that text to out, without a string of its own for a number (for texts made of many
    /// cells); into bytes, as UTF-8.
    void AppendTextAt(int row, int column, QString& out) const;
    void AppendTextAt(int row, int column, QByteArray& out) const;
    /// Assigns text to a cell of any row (puts that row into edit state first).
    void SetTextAt(int row, int column, const QString& text);
    /// True when the column holds dates (the bill date).
    bool IsDateColumn(int column) const;
    /// True when the column holds numbers (integer or number columns).
    bool IsNumericColumn(int column) const;
    RowState StateOf(int row) const;
    /// True when column holds the primary key of the table a changeable result comes from.
    bool IsKeyColumn(int column) const;

    /// Display attributes: visibility and display order of the columns.
    bool IsFieldVisible(int column) const;
    void SetFieldVisible(int column, bool visible);
    /// Columns to show, in display order (0-based result positions).
    QList<int> DisplayColumns() const;
    /// Moves a column to a display position (0-based among all columns).
    void SetDisplayIndex(int column, int position);
    int DisplayIndexOf(int column) const;

signals:
    /// The result was opened, closed or replaced: everything shown must be read again.
    void resultReset();
    /// A row was appended at 1-based position row.
    void rowAppended(int row);
    /// Row (1-based) was removed from the result.
    void rowRemoved(int row);
    /// A value of the row (1-based) changed.
    void rowChanged(int row);
    /// The current row moved (1-based, 0 for none).
    void currentRowChanged(int row);
    /// Visibility or order of the columns changed.
    void layoutChanged();

private:
    friend class DataField;
    template <typename Out>
    void appendText(int row, int column, Out& out) const;
    void restorePending(const PendingSnapshot& snapshot);
    /// Throws when the value would change the key of a row read from the table.
    void refuseKeyChange(int row, int column, const QVariant& value) const;
    std::unique_ptr<ResultSet> m_result;
    /// Counts the results held, so that work registered for one result never touches the next.
    quint64 m_generation = 0;
    QString m_sql;
    QVariantList m_parameters;
    int m_current = 0;
    bool m_eof = true;
};

} // namespace kvt
