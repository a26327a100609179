#pragma once
// A large, realistic database for the benchmarks: years of a busy workshop's bills.

#include <QString>

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

} // namespace kvt::bench
