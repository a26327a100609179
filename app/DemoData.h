#pragma once
#include <QString>

namespace kvt {

/// Fills the open database with a small catalogue, clients and installers to try the program on.
void SeedDemoData();

} // namespace kvt
