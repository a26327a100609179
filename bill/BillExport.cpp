#include "bill/BillExport.h"

#include "controls/SpreadsheetSink.h"

namespace kvt {

void ExportBillToSpreadsheet(SpreadsheetSink& sink, const BillSnapshot& bill) {
    sink.writeText(1, 4, bill.billClass);
    sink.writeText(3, 1, QStringLiteral("客户名："));
    sink.writeText(3, 2, bill.client);
    sink.writeText(4, 1, QStringLiteral("地址："));
    sink.writeText(4, 2, bill.address);
    sink.writeText(2, 6, QStringLiteral("单据编号："));
    sink.writeText(2, 7, bill.billId);
    sink.writeText(3, 6, QStringLiteral("单据日期："));
    sink.writeText(3, 7, bill.date);
    sink.writeText(4, 6, QStringLiteral("安装人员："));
    sink.writeText(4, 7, bill.installer);

    const int rows = bill.rowCount();
    const int columns = bill.colCount();
    for (int c = 1; c < columns; ++c)
        for (int r = 0; r < rows; ++r)
            sink.writeText(r + 5, c, bill.cell(c, r));
}

QString BillSpreadsheetName(const BillSnapshot& bill) {
    return QStringLiteral("单据") + bill.billId.trimmed();
}

bool SendBillToSpreadsheet(QWidget* parent, const BillSnapshot& bill) {
    XlsxSink workbook;
    ExportBillToSpreadsheet(workbook, bill);
    return ShowInSpreadsheet(parent, workbook, BillSpreadsheetName(bill));
}

} // namespace kvt
