#pragma once
// A door-leaf line's computed sizes without the window: the bill window's Enter in "现量宽" and
// "现量高" and the measurer's page both compute them here, on the cells of the door-leaf layout.

#include <QString>
#include <QStringList>

namespace kvt {

class DataQuery;

/// A product's four door-leaf formulas.
struct DoorLeafFormulas {
    QString leafWidth;
    QString leafHeight;
    QString glassWidth;
    QString glassHeight;
};

/// The formulas of the current row of a query over 商品信息.
DoorLeafFormulas doorLeafFormulas(DataQuery& product);

/// Titles of the door-leaf layout, by column (column 0 is the fixed empty one).
QStringList doorLeafTitles();

/// The 单据明细 fields the door-leaf layout shows in columns 3 to 18, in column order.
const QStringList& doorLeafLineFields();

/// The door-leaf layout's cells of the current row of a query over 单据明细, with the product's
/// number and name in columns 1 and 2.
QStringList doorLeafRow(DataQuery& lines, const QString& productNumber, const QString& productName);

/// Writes into row (door-leaf layout cells) the leaf and glass widths (widths) or heights that the
/// formulas give; leaves the row alone when the measured cell is "0", and a cell whose formula is
/// empty. The glass formula sees the leaf size just computed.
void fillDoorLeafSizes(QStringList& row, const DoorLeafFormulas& formulas, bool widths);

} // namespace kvt
