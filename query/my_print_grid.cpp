// Grid printing bound to the query objects and the data grids that show them.

#include "controls/QorDBGrid.h"
#include "query/my_print.h"
#include "store/DataQuery.h"

#include <QProgressDialog>

namespace kvt {

void DataQueryRecords::First() {
    m_row = 1;
}

void DataQueryRecords::Next() {
    ++m_row;
}

bool DataQueryRecords::Eof() const {
    return m_row > m_query.RowCount();
}

QString DataQueryRecords::DisplayText(int field) {
    return m_query.TextAt(m_row, field);
}

int DataQueryRecords::Count() const {
    return m_query.RowCount();
}

void PrintGrid(PrintSurface& printer, const QList<PrintColumn>& columns, DataQuery& data, const QString& title,
               const QString& footerText) {
    DataQueryRecords records(data);
    TPrnOut(printer).PrintGrid(columns, records, title, footerText);
}

void PreviewPrintGrid(QWidget* parent, const QList<PrintColumn>& columns, DataQuery& data, const QString& title,
                      const QString& footerText) {
    PreviewPrintJob(parent, "打印预览", [&](PrintSurface& s) {
        DataQueryRecords records(data);
        TPrnOut job(s);
        // A list of thousands of records takes a while: the clerk sees how far it is and may stop it.
        QProgressDialog progress(QStringLiteral("正在准备打印……"), QStringLiteral("取消"), 0, records.Count(), parent);
        progress.setWindowTitle(QStringLiteral("打印"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(700);
        job.Progress = [&progress](int done, int) {
            if (done % 50 == 0)
                progress.setValue(done);
            return !progress.wasCanceled();
        };
        job.PrintGrid(columns, records, title, footerText);
    });
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
