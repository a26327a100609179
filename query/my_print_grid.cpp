// Grid printing bound to the query objects and the data grids that show them.

#include "controls/QorDBGrid.h"
#include "query/my_print.h"
#include "store/DataQuery.h"

namespace kvt {

void DataQueryRecords::First() {
    m_query.MoveFirst();
}

void DataQueryRecords::Next() {
    m_query.MoveNext();
}

bool DataQueryRecords::Eof() const {
    return m_query.Eof();
}

QString DataQueryRecords::DisplayText(int field) {
    return m_query.FieldAt(field).asString();
}

void PrintGrid(PrintSurface& printer, const QList<PrintColumn>& columns, DataQuery& data, const QString& title,
               const QString& footerText) {
    DataQueryRecords records(data);
    TPrnOut(printer).PrintGrid(columns, records, title, footerText);
}

void PreviewPrintGrid(QWidget* parent, const QList<PrintColumn>& columns, DataQuery& data, const QString& title,
                      const QString& footerText) {
    PreviewPrintJob(parent, "打印预览", [&](PrintSurface& s) { PrintGrid(s, columns, data, title, footerText); });
}

QList<PrintColumn> PrintColumnsOf(const TQorDBGrid& grid) {
    QList<PrintColumn> columns;
    const DataQuery* data = grid.dataQuery();
    if (!data)
        return columns;
    const QList<int> fields = data->DisplayColumns();
    for (int i = 0; i < grid.ColumnCount() && i < fields.size(); ++i)
        columns << PrintColumn{grid.ColumnTitle(i), grid.ColumnWidth(i), fields[i]};
    return columns;
}

void PrintGrid(PrintSurface& printer, TQorDBGrid& grid, const QString& title, const QString& footerText) {
    if (DataQuery* data = grid.dataQuery())
        PrintGrid(printer, PrintColumnsOf(grid), *data, title, footerText);
}

void PreviewPrintGrid(QWidget* parent, TQorDBGrid& grid, const QString& title, const QString& footerText) {
    if (DataQuery* data = grid.dataQuery())
        PreviewPrintGrid(parent, PrintColumnsOf(grid), *data, title, footerText);
}

} // namespace kvt
