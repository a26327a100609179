#pragma once
// What the bill window shows, taken as it is on screen: the input of the production
// sheets and of the bill's spreadsheet export.

#include <QString>
#include <QStringList>
#include <QVector>

namespace kvt {

struct BillSnapshot {
    QString billType;  ///< LabelbillType: "1", "2", "3" or empty
    QString billClass; ///< LabelBillClass: the title shown
    QString client;    ///< EditClient
    QString address;   ///< EditAddress
    QString date;      ///< DatePicker1 as "yyyy-mm-dd"
    QString installer; ///< EditSetup_man
    QString billId;    ///< EditBill_id
    /// Grid_Bill cells as cells[row][column]; row 0 holds the titles, column 0 is the fixed column.
    QVector<QStringList> cells;
    /// Grid_Bill column widths in pixels, by column.
    QVector<int> colWidths;

    int rowCount() const { return int(cells.size()); }
    int colCount() const { return cells.isEmpty() ? 0 : int(cells.front().size()); }
    /// Cell text, or "" outside the grid.
    QString cell(int column, int row) const
    {
        if (row < 0 || row >= cells.size() || column < 0 || column >= cells[row].size())
            return QString();
        return cells[row][column];
    }
};

} // namespace kvt
