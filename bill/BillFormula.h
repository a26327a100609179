#pragma once
// Line sizes from product formulas, without the window: a formula names columns of the bill
// grid by their titles between double quotes; each quoted title stands for that column's text
// in the line's own row. These are the Qt faces of expcalc/LineFormula.h.

#include <QString>
#include <QStringList>

#include <optional>

namespace kvt {

/// Index of the first of titles[1..] equal to name (exact match), or -1.
int findTitle(const QStringList& titles, const QString& name);

/// The formula with every quoted title replaced by rowCells[that column], verbatim; nullopt
/// when a quoted name is no title (an unclosed quote names the empty text, which is none).
std::optional<QString> substituteFields(const QString& formula, const QStringList& titles, const QStringList& rowCells);

/// value rounded to the nearest whole number, halves to the even neighbour (12.5 -> 12,
/// 13.5 -> 14, -2.5 -> -2); nullopt when it is not finite or outside 64 bits.
std::optional<qint64> roundHalfEven(double value);

/// The text a computed size cell receives: the evaluated formula rounded to a whole number,
/// or "0" when it cannot be evaluated.
QString evaluateSize(const QString& formula, const QStringList& titles, const QStringList& rowCells);

} // namespace kvt
