#pragma once
// The one place that knows the engine: the shared connection and prepared statements.
// Everything above it speaks the program's dialect and QVariant values.

#include <QString>
#include <QVariant>

#include "store/StoreError.h"

#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kvt::engine {

/// The open connection; throws StoreError when no database is open.
sqlite3* Handle();
/// The engine's last message, as the engine gives it.
QString LastError();
/// The error to raise for an engine result code: a Chinese sentence saying what happened
/// (and, when writing, that nothing was saved), then the engine's text in brackets.
StoreError Failure(int code, const QString& engineText, bool writing);
/// Failure() for the connection's last error; inside a transaction it counts as writing.
StoreError LastFailure(bool writing);

/// A prepared statement in SQLite's dialect.
class Statement {
public:
    Statement(const QString& sqliteSql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int index, const QVariant& value); // 1-based
    /// Steps once; true when a row is there.
    bool step();
    void reset();
    int columnCount() const;
    QString columnName(int c) const;
    QString columnTable(int c) const;
    QString columnOrigin(int c) const;
    QString columnDeclType(int c) const;
    QVariant value(int c) const;
    sqlite3_stmt* raw() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
    QString m_sql;
};

/// Runs SQLite-dialect text (one or more statements, no rows wanted); a failure is reported as
/// one of a change that was not saved unless writing is false.
void ExecRaw(const QString& sqliteSql, bool writing = true);
/// Rows changed by the last statement.
int Changes();
/// Rows changed by every statement since the connection opened.
qint64 TotalChanges();
qint64 LastInsertRowid();

struct ColumnInfo {
    QString name;
    QString declType;
    bool primaryKey = false;
};
/// Columns of a table in their order.
std::vector<ColumnInfo> TableColumns(const QString& table);

} // namespace kvt::engine
