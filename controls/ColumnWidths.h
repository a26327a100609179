#pragma once
// Column widths of data grids that show freely chosen results, taken from the column titles.

#include <QString>

class QFont;

namespace kvt {

class TQorDBGrid;

/// Width in pixels that the keyword rule gives a column with this title; 0 when the title holds
/// none of the keywords (the column then keeps its width). Keywords are tested in a fixed order
/// and each one found overrides the earlier ones, so the last match wins.
int ColumnWidthForTitle(const QString& title);

/// How much wider than the rule's widths a grid in this font must be. The rule's widths are
/// meant for a font whose digits are half as wide as its pixel size; a font with wider digits
/// gets them scaled by that ratio, so a text that fits by the rule fits here. Never below 1.
double ColumnWidthScale(const QFont& font);

/// The on-screen width for a column the rule makes width pixels wide: scaled for the grid's font
/// (ColumnWidthScale) and widened by the margins the grid leaves around a cell's text, which the
/// rule's widths do not count.
int GridColumnWidth(const TQorDBGrid& grid, int width);

/// Sets every shown column's width from its title by the keyword rule (GridColumnWidth); nothing
/// else changes.
void SetColumnWidthsByTitle(TQorDBGrid* grid);

} // namespace kvt
