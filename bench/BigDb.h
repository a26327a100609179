#pragma once
// A large, realistic database for the benchmarks: years of a busy workshop's bills.

#include <QString>
#include <QStringList>

#include <cstddef>
#include <string>

struct sqlite3;

namespace kvt::bench {

struct BigDbSize {
    int bills = 100000;
    int lines = 1000000;
    int products = 2000;
    int clients = 5000;
};

/// Creates (or reuses, when it exists with the same sizes) the database at path.
void MakeBigDatabase(const QString& path, const BigDbSize& size = {});

/// Path of the shared benchmark database (under the build folder, made once).
QString BigDatabasePath();

/// What a bare step loop read: the bytes of the values, and a sum over them so none is skipped.
struct StepLoopResult {
    std::size_t valueBytes = 0;
    unsigned long long sum = 0;
    std::size_t rows = 0;
};

/// The least work that reads a statement's result: its own read-only connection to path, and a
/// sqlite3_step loop that reads each value once with sqlite3_column_* and keeps none of them.
StepLoopResult StepLoop(const QString& path, const std::string& sql);
/// The same loop on a connection already open (for cases whose program keeps its connection).
StepLoopResult StepLoop(sqlite3* db, const std::string& sql);

/// Counts the statements (the program's dialect) whose plan reads a table through instead of using
/// an index, writing every plan to stderr. With tables given, only a scan of one of them counts.
int CountFullScans(const QString& path, const QStringList& statements, const QStringList& tables = {});

/// Heap bytes in use now, large blocks that malloc maps by themselves included.
std::size_t HeapInUse();

} // namespace kvt::bench
