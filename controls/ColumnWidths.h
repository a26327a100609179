#pragma once
// Column widths of data grids that show freely chosen results, taken from the column titles.

#include <QString>

namespace kvt {

class TQorDBGrid;

/// Width in pixels that the keyword rule gives a column with this title; 0 when the title holds
/// none of the keywords (the column then keeps its width). Keywords are tested in a fixed order
/// and each one found overrides the earlier ones, so the last match wins.
int ColumnWidthForTitle(const QString& title);

/// Sets every shown column's width from its title by the keyword rule; nothing else changes.
void SetColumnWidthsByTitle(TQorDBGrid* grid);

} // namespace kvt
