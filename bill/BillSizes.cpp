// The bill window's size computations: Enter in "见光宽" and "埋地" (frame layout) or in
// "现量宽" and "现量高" (door-leaf layout) evaluates the line's product formulas.

#include "bill/BillFormula.h"
#include "bill/BillUnit.h"
#include "bill/DoorLeafSizes.h"

#include "controls/QorControlUnit.h"
#include "store/DataQuery.h"

namespace kvt {
namespace {

/// A product ID typed or stored as text; a clear refusal when it is none.
qint64 productIdOfCell(const QString& text, int row) {
    bool ok = false;
    const qint64 id = text.trimmed().toLongLong(&ok);
    if (!ok)
        throw StoreError(QStringLiteral("第%1行的商品ID“%2”不是整数，请先为这一行选择商品。").arg(row).arg(text));
    return id;
}

} // namespace

void TBillForm::FindColumnByTitle(const QString& name, int& column) const {
    const int found = findTitle(gridTitles(), name);
    if (found >= 0)
        column = found;
}

QString TBillForm::SubstituteFormulaFields(const QString& formula, int row, bool* ok) const {
    const std::optional<QString> prepared = substituteFields(formula, gridTitles(), gridRow(row));
    if (ok)
        *ok = prepared.has_value();
    return prepared.value_or(QString());
}

bool TBillForm::findProduct(qint64 productId) {
    // The product is read as it stands now, by its key: a formula edited in the selection window,
    // or on another workstation, counts from the next computation on.
    ADOQuery_goods->Close();
    ADOQuery_goods->SetSql(QStringLiteral("select * from 商品信息 where 商品ID=") + QString::number(productId));
    ADOQuery_goods->Open();
    return ADOQuery_goods->RowCount() > 0;
}

void TBillForm::computeFrameSize(int row, bool width) {
    const qint64 id = productIdOfCell(Grid_Bill->Cells(12, row), row);
    if (!findProduct(id))
        return;
    const QString formula =
        ADOQuery_goods->Field(width ? QStringLiteral("外框宽公式") : QStringLiteral("外框高公式")).asString();
    const int entered = width ? 4 : 6;
    const int target = width ? 7 : 8;
    if (formula.isEmpty() || Grid_Bill->Cells(entered, row) == QLatin1String("0"))
        return;
    Grid_Bill->SetCells(target, row, evaluateSize(formula, gridTitles(), gridRow(row)));
}

void TBillForm::computeDoorLeafSizes(int row, bool widths) {
    // The product stored with the line counts; a line added since the load has none stored yet
    // and takes the product chosen into its "商品ID" cell.
    ADOQuery_bill->MoveToRow(row);
    const DataField stored = ADOQuery_bill->Field(QStringLiteral("商品ID"));
    const qint64 id = stored.isNull() || stored.asInteger() == 0 ? productIdOfCell(Grid_Bill->Cells(18, row), row)
                                                                 : stored.asInteger();
    if (!findProduct(id))
        return;
    QStringList cells = gridRow(row);
    fillDoorLeafSizes(cells, doorLeafFormulas(*ADOQuery_goods), widths);
    for (const int c : {widths ? 9 : 10, widths ? 11 : 12})
        Grid_Bill->SetCells(c, row, cells[c]);
}

} // namespace kvt
