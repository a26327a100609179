#pragma once
// The server engine: one libpq connection and what belongs to it. It owns the server's schema (the
// five tables, set up in one transaction in an empty database), its session settings, the
// translation into PostgreSQL's dialect, the prepared statements it keeps, transaction control
// that waits to travel with the next statement, and the server's errors as the store's errors. It
// may call libpq and the dialect translation; nothing else of the store includes libpq-fe.h. Only
// the store includes this.

#include "store/Engine.h"

namespace kvt::engine {

/// Opens the server's database as the program uses it: the five tables set up when it holds no
/// tables; a database with other tables but not these, a standby, or one this user may not change,
/// is refused. Throws StoreError saying why, never with the password.
std::unique_ptr<Engine> OpenServer(const QString& connection, int lockTimeout);
/// Connects to the server's database without setting anything up (for reading it).
std::unique_ptr<Engine> ConnectServer(const QString& connection, int lockTimeout);
/// The connection string without its password, for messages.
QString RedactedConnection(const QString& connection);

} // namespace kvt::engine
