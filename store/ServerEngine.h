#pragma once
// The PostgreSQL half of the engine layer: one libpq connection for the process, its session
// settings, the prepared statements it keeps, and the server's errors as the store's errors.
// Only the store includes this.

#include <QString>
#include <QVariant>

#include "store/Engine.h"

#include <vector>

namespace kvt::engine::server {

/// True while a server connection is open.
bool IsOpen();
/// Connects with a libpq connection string or URI. Throws StoreError saying why not, with the
/// server's text and the connection without its password.
void Connect(const QString& connection);
void Disconnect();
/// False once the connection has dropped (it is opened again by the next statement).
bool Healthy();
/// "服务器 host:port 数据库 name 用户 user" of the open connection.
QString Describe();
/// The connection string without its password, for messages.
QString Redacted(const QString& connection);
/// How long a statement waits for a lock another workstation holds.
void SetLockTimeout(int milliseconds);

/// Runs the text with the transaction control that waits before it, in one round trip.
void ExecRaw(const QString& sql, bool writing);

// Transaction scopes (depth 0 the transaction, savepoints above). BEGIN, SAVEPOINT and RELEASE wait
// for the scope's first statement and go with it; a scope that sent nothing needs nothing sent.
void OpenScope(int depth);
/// At depth 0 commits; a transaction the server had already failed is reported, not taken for saved.
void CommitScope(int depth);
/// Rolls back what the scope sent; after a dropped connection there is nothing to roll back.
void RollBackScope(int depth);
int Changes();
qint64 TotalChanges();
std::vector<ColumnInfo> TableColumns(const QString& table);

// Statements on the server: run at the first step, or when their columns are first asked for.
ServerStatement* Prepare(const QString& sql);
void Free(ServerStatement* st);
void Bind(ServerStatement& st, int index, const QVariant& value);
bool Step(ServerStatement& st);
void Reset(ServerStatement& st);
int ColumnCount(ServerStatement& st);
QString ColumnName(ServerStatement& st, int c);
QString ColumnTable(ServerStatement& st, int c);
QString ColumnOrigin(ServerStatement& st, int c);
QString ColumnDeclType(ServerStatement& st, int c);
QVariant Value(const ServerStatement& st, int c);
const pg_result* Result(ServerStatement& st);

/// Type OIDs the program reads as whole numbers, numbers and dates.
enum class ValueKind { Integer, Boolean, Number, Date, Text };
ValueKind KindOfType(unsigned oid);

} // namespace kvt::engine::server
