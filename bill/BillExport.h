#pragma once
// The bill on screen copied into a new spreadsheet: header labels and values, then the line grid.

#include "bill/BillSnapshot.h"

class QWidget;

namespace kvt {

class SpreadsheetSink;

/// Writes the bill as text: the title in D1, the header labels and values in A3:B4 and F2:G4,
/// then every grid column but the fixed one, column by column, titles in row 5 and grid row r
/// in row r + 5 (grid column 1 in column A).
void ExportBillToSpreadsheet(SpreadsheetSink& sink, const BillSnapshot& bill);

/// The file name of the bill's workbook without extension: "单据" and the bill number.
QString BillSpreadsheetName(const BillSnapshot& bill);

/// Writes the bill into a new workbook and opens it in the spreadsheet application (a message
/// when there is none). A workbook that cannot be saved throws. True when the workbook was opened.
bool SendBillToSpreadsheet(QWidget* parent, const BillSnapshot& bill);

} // namespace kvt
