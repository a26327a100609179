#pragma once
#include <QDate>

namespace kvt {

/// Saves four weeks of bills up to today into the open database, which holds the demo's catalogue,
/// clients and installers (SeedDemoData): some measured and worked out, some not; the bill counter
/// moves on past them. Gives the number of bills saved.
int SeedDemoBills(const QDate& today);

} // namespace kvt
