#pragma once
// Where a database is, as the user gives it: a file's path, or a PostgreSQL server's connection
// string or URI. Plain text work, no engine opened.

#include <QString>

namespace kvt {

/// True when location names a PostgreSQL server (a libpq URI or keyword=value pairs) rather
/// than a database file.
bool IsServerConnection(const QString& location);

/// A location for messages: the file's path, or the connection without its password.
QString DescribeLocation(const QString& location);

} // namespace kvt
