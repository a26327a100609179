#pragma once
// Where a program of the folder finds its data: the database file, or the server kvt.ini names.
// Qt Core only: the windows and kvtweb both use it.

#include <QString>
#include <QStringList>

namespace kvt {

/// The database file for the program's command-line arguments (program name first): "kvt.db" in
/// the working folder, or "kvt.db" in the folder of --data-dir=DIR, where a leading "~" stands for
/// the home folder. Gives an empty path and sets error for arguments it does not know.
QString DatabasePathFromArguments(const QStringList& arguments, QString* error);

/// Where the program's data is: the database file at databasePath, unless the file kvt.ini beside
/// it says `[database]` `connection=` a PostgreSQL connection string or URI. Gives an empty text
/// and sets error when kvt.ini cannot be read, or holds a key it does not know.
QString DatabaseLocation(const QString& databasePath, QString* error);

} // namespace kvt
