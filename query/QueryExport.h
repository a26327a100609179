#pragma once
// The query result copied into a new spreadsheet, typed: numbers, dates and empty values kept.

class QWidget;

namespace kvt {

class DataQuery;
class SpreadsheetSink;

/// Writes every field of the result, those the grid hides included: the fields moved to the front in the
/// order the grid shows them, then the others in the result's order; the name in row 1, the value of record k
/// in row k + 1. Numbers stay numbers, dates dates, NULL and empty texts
/// empty cells. A query that has not run writes nothing. Leaves the last record current.
void ExportQueryToSpreadsheet(SpreadsheetSink& sink, DataQuery& query);

/// Writes the result into a new workbook "清单" and opens it in the spreadsheet application.
/// When there is none a message is shown and the current record stays where it was.
void SendQueryToSpreadsheet(QWidget* parent, DataQuery& query);

} // namespace kvt
