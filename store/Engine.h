#pragma once
// The one place that knows the engines: the shared connection (a SQLite file or a PostgreSQL
// server) and prepared statements. Everything above it speaks the program's dialect and QVariant
// values; statements handed to this layer are in the open engine's dialect (Translate), with `?`
// marking parameters on both engines.

#include <QString>
#include <QVariant>

#include "store/StoreError.h"

#include <vector>

struct sqlite3;
struct sqlite3_stmt;
struct pg_result;

namespace kvt::engine {

struct ServerStatement;

/// True when the open database is a PostgreSQL server rather than a file.
bool IsServer();
/// The open SQLite connection; throws StoreError when no file is open (also on a server).
sqlite3* Handle();
/// A statement of the program's dialect in the open engine's dialect.
QString Translate(const QString& statement);
/// Depth of the open transaction scopes (0 outside any).
int TransactionDepth();
/// "a IS b" that holds for two NULLs as well, the right side a parameter: " IS ?" on SQLite.
QString NullSafeEqualsParameter();
/// The same for a table's primary key, so that the row is reached by the key's index: " = ?" on a
/// server, whose keys are never NULL and whose IS NOT DISTINCT FROM no index serves; " IS ?" on SQLite,
/// whose index serves it and which allows a NULL in a key that is not an integer.
QString KeyEqualsParameter();
/// The engine's last message, as the engine gives it.
QString LastError();
/// The error to raise for an engine result code: a Chinese sentence saying what happened
/// (and, when writing, that nothing was saved), then the engine's text in brackets.
StoreError Failure(int code, const QString& engineText, bool writing);
/// Failure() for the connection's last error; inside a transaction it counts as writing.
StoreError LastFailure(bool writing);

/// A prepared statement in the open engine's dialect. On a server it runs at the first step (or
/// when its columns are first asked for), and its rows are then held by the client library.
class Statement {
public:
    Statement(const QString& engineSql);
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
    /// The SQLite statement; nullptr on a server.
    sqlite3_stmt* raw() const { return m_stmt; }
    /// On a server: the whole result (run first when it has not run yet); nullptr on a file.
    const pg_result* serverResult();

private:
    sqlite3_stmt* m_stmt = nullptr;
    ServerStatement* m_server = nullptr;
    QString m_sql;
};

/// Runs engine-dialect text (one or more statements, no rows wanted); a failure is reported as
/// one of a change that was not saved unless writing is false.
void ExecRaw(const QString& engineSql, bool writing = true);
/// Rows changed by the last statement.
int Changes();
/// Rows changed by every statement since the connection opened.
qint64 TotalChanges();

struct ColumnInfo {
    QString name;
    QString declType;
    bool primaryKey = false;
};
/// Columns of a table in their order.
std::vector<ColumnInfo> TableColumns(const QString& table);

} // namespace kvt::engine
