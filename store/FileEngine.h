#pragma once
// The file engine: one SQLite connection and what belongs to it. It owns the file's schema (the
// five tables, made in one transaction when the file is new), the journal chosen for the disk the
// file is on, the translation into SQLite's dialect, the statements and their rows, and the
// engine's result codes as the store's errors. It may call SQLite and the dialect translation;
// nothing else of the store includes sqlite3.h. Only the store includes this.

#include "store/Engine.h"

namespace kvt::engine {

/// Opens the database file at path as the program does: made with the tables when it does not
/// exist or is empty, refused when it cannot be written or holds no database of ours.
std::unique_ptr<Engine> OpenFile(const QString& path, int busyTimeout);
/// Opens the file at path read-only, as it is: never made, never set up; refused when it holds no
/// database of ours.
std::unique_ptr<Engine> OpenFileForReading(const QString& path);
/// Reads the file at path through a connection of its own and gives what is wrong with it ("" when
/// nothing is): every page read, the structure of every table and index checked.
QString QuickCheckFile(const QString& path);

} // namespace kvt::engine
