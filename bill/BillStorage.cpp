// Moving a bill between the bill window and the database: the new-bill save with its number,
// the saves of a saved bill's two views, the two loaders and the bill delete. Every save and
// the delete are one transaction: a refused value leaves the database and the window as they
// were, so the user can mend the input and save again.

#include "bill/BillSheets.h"
#include "bill/BillUnit.h"
#include "bill/DoorLeafSizes.h"

#include "controls/Dialogs.h"
#include "controls/QorControlUnit.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include <QDateEdit>
#include <QHash>
#include <QLabel>
#include <QLineEdit>

#include <limits>

namespace kvt {
namespace {

const QString kCounterSql = QStringLiteral("select * from 系统设置 where ID=\"历史单据ID\"");
/// The counter read to take a number: on a server the row stays locked until the save ends, so
/// that two workstations saving at once take numbers one after the other.
const QString kCounterTakenSql = kCounterSql + QStringLiteral(" for update");

/// The bill number shown, as the integer the statements need.
qint64 billNumber(const QString& text) {
    bool ok = false;
    const qint64 n = text.trimmed().toLongLong(&ok);
    if (!ok)
        throw StoreError(QStringLiteral("单据编号“%1”不是整数。").arg(text));
    return n;
}

/// Where a line field takes its value from: a grid column, or the bill number.
struct LineField {
    const char* field;
    int column; // kBillNumber: the bill number
};
constexpr int kBillNumber = -1;

/// What the frame saves write, in the order they assign it.
constexpr LineField kFrameLineFields[] = {{"商品ID", 12}, {"玻璃款式", 3},         {"门框附加", 10}, {"门框备注", 11},
                                          {"见光宽", 4},  {"见光高", 5},           {"门框总宽", 7},  {"门框总高", 8},
                                          {"埋地", 6},    {"单据ID", kBillNumber}, {"数量", 9}};
/// What the door-leaf save writes, in the order it assigns it.
constexpr LineField kDoorLeafLineFields[] = {
    {"数量", 3},      {"玻璃款式", 4},  {"见光宽", 5},           {"见光高", 6},  {"现量宽", 7},    {"现量高", 8},
    {"门扇宽", 9},    {"门扇高", 10},   {"玻璃宽", 11},          {"玻璃高", 12}, {"门框附加", 13}, {"门框备注", 14},
    {"门框总宽", 15}, {"门框总高", 16}, {"单据ID", kBillNumber}, {"商品ID", 18}};

/// Assigns grid row r to the current row of the line query; a refused value names the row as
/// well as the field.
template <size_t N>
void assignLine(DataQuery& lines, const TQorStringGrid& grid, int r, const QString& billId,
                const LineField (&fields)[N]) {
    try {
        for (const LineField& f : fields)
            lines.Field(QString::fromUtf8(f.field))
                .setString(f.column == kBillNumber ? billId : grid.Cells(f.column, r));
    } catch (const StoreError& e) {
        throw StoreError(QStringLiteral("第%1行：%2").arg(r).arg(e.message()));
    }
}

/// A save refused because another workstation saved the same bill first says so in the bill's terms.
[[noreturn]] void rethrowForBill(const StoreError& e, const QString& billId) {
    if (e.kind() == StoreError::Kind::Conflict)
        throw StoreError(QStringLiteral("单据%1已被其他用户修改，本次修改没有保存。请重新读取该单据。").arg(billId),
                         StoreError::Kind::Conflict);
    throw e;
}

/// The largest bill number: the counter cannot go past it.
constexpr qint64 kLastBillNumber = std::numeric_limits<qint64>::max();

/// The largest 门框ID given out so far, as text ("0" for none).
QString lastLineKey() {
    DataQuery q;
    q.SetSql(QStringLiteral("select max(门框ID) from 单据明细"));
    q.Open();
    return QString::number(q.RowCount() ? q.FieldAt(0).asInteger() : 0);
}

} // namespace

void TBillForm::assignHeaderFields(DataQuery& query, const QString& billId) const {
    query.Field(QStringLiteral("客户ID")).setString(LabelClentID->text());
    query.Field(QStringLiteral("客户地址")).setString(EditAddress->text());
    query.Field(QStringLiteral("单据日期")).setString(DatePicker1->date().toString(QStringLiteral("yyyy-MM-dd")));
    query.Field(QStringLiteral("安装人员ID")).setString(Label_setup_man_id->text());
    query.Field(QStringLiteral("单据ID")).setString(billId);
    query.Field(QStringLiteral("安装人员")).setString(EditSetup_man->text());
}

void TBillForm::requireHeader() const {
    if (LabelClentID->text().trimmed().isEmpty())
        throw StoreError(QStringLiteral("请先选择客户。"));
    if (Label_setup_man_id->text().trimmed().isEmpty())
        throw StoreError(QStringLiteral("请先选择安装人员。"));
}

DataQuery& TBillForm::savedHeader() {
    if (!m_savedHeader) {
        m_savedHeader = new DataQuery(this);
        m_savedHeader->setObjectName(QStringLiteral("savedHeader"));
    }
    return *m_savedHeader;
}

void TBillForm::readSavedHeader() {
    DataQuery& header = savedHeader();
    header.Close();
    bool ok = false;
    const qint64 id = EditBill_id->text().trimmed().toLongLong(&ok);
    if (!ok)
        return; // no bill number yet: the save reads the header then, and says what is wrong
    header.SetSql(QStringLiteral("select * from 历史单据 where 单据ID=") + QString::number(id));
    header.Open();
}

void TBillForm::updateSavedHeader(const QString& billId) {
    // The header goes through a query of its own, read when the bill was loaded: a refused
    // header must not cost the line query the appends and deletions made in the window, and a
    // header that another workstation saved meanwhile is not written over.
    DataQuery& header = savedHeader();
    if (!header.IsOpen() || header.RowCount() == 0 ||
        header.Field(QStringLiteral("单据ID")).asString() != QString::number(billNumber(billId))) {
        readSavedHeader();
        if (header.RowCount() == 0) // the bill is gone
            throw StoreError(QStringLiteral("数据已被其他用户修改，本次修改没有保存。"), StoreError::Kind::Conflict);
    }
    header.MoveFirst();
    header.EditRow();
    assignHeaderFields(header, billId);
    header.ApplyUpdates();
}

void TBillForm::SaveNewFrameBill() {
    requireHeader();
    const qint64 shown = billNumber(EditBill_id->text());
    qint64 used = shown;
    {
        TransactionScope tx;
        // The number is taken inside the transaction: another copy of the program may have
        // saved a bill under the number shown since this bill was opened. The counter row stays
        // in the line query to be moved on at the end.
        ADOQuery_bill->Close();
        ADOQuery_bill->SetSql(kCounterTakenSql);
        ADOQuery_bill->Open();
        // Header and lines only append, so they are opened on this bill alone: reading every bill
        // and every line of a large file first would make a save take seconds. The header query
        // opened on a number that is taken holds that bill: the next number is tried.
        DataQuery written;
        for (used = ADOQuery_bill->Field(QStringLiteral("值")).asInteger();; ++used) {
            if (used >= kLastBillNumber)
                throw StoreError(QStringLiteral("单据编号已用到最大值%1，不能再保存新单据。").arg(kLastBillNumber));
            written.Close();
            written.SetSql(QStringLiteral("select * from 历史单据 where 单据ID=") + QString::number(used));
            written.Open();
            if (written.RowCount() == 0)
                break;
        }
        const QString billId = QString::number(used);
        written.AppendRow();
        assignHeaderFields(written, billId);
        written.ApplyUpdates();

        written.Close();
        written.SetSql(QStringLiteral("select * from 单据明细 where 单据ID=") + billId);
        written.Open();
        for (int r = 1; r < Grid_Bill->RowCount(); ++r) {
            if (Grid_Bill->Cells(12, r).isEmpty())
                continue;
            written.AppendRow();
            assignLine(written, *Grid_Bill, r, billId, kFrameLineFields);
        }
        written.ApplyUpdates();

        ADOQuery_bill->EditRow();
        ADOQuery_bill->Field(QStringLiteral("值")).setInteger(used + 1);
        ADOQuery_bill->ApplyUpdates();
        tx.Commit();
    }
    EditBill_id->setText(QString::number(used));
    if (used != shown) {
        const QString renumbered = QStringLiteral("单据编号%1已被占用，本单据已保存为%2号。").arg(shown).arg(used);
        if (m_numberHandedOut == QString::number(shown)) {
            // A sheet or workbook under the old number now names another client's bill.
            const QString again =
                renumbered + QStringLiteral("已经打印或导出的单据上是%1号，现在重新打印生产排单吗？").arg(shown);
            if (ConfirmYesNo(this, again)) {
                // Saved whatever happens now: a failing print is shown as such, never as a refused save.
                const BillSnapshot saved = Snapshot();
                Guarded(this, [&] { PreviewBillSheet(this, saved); });
            }
        } else {
            ShowMessage(this, renumbered);
        }
    }
    close();
}

void TBillForm::SaveFrameBillChanges() {
    requireHeader();
    const QString billId = EditBill_id->text();
    try {
        TransactionScope tx;
        ADOQuery_bill->MoveFirst();
        for (int r = 1; r < Grid_Bill->RowCount(); ++r) {
            ADOQuery_bill->MoveToRow(r);
            ADOQuery_bill->EditRow();
            assignLine(*ADOQuery_bill, *Grid_Bill, r, billId, kFrameLineFields);
            ADOQuery_bill->PostRow();
        }
        ADOQuery_bill->ApplyUpdates();
        updateSavedHeader(billId);
        tx.Commit();
    } catch (const StoreError& e) {
        rethrowForBill(e, billId);
    }
    ADOQuery_bill->Close();
    savedHeader().Close();
    close();
}

void TBillForm::SaveDoorLeafBill() {
    requireHeader();
    const QString billId = EditBill_id->text();
    try {
        TransactionScope tx;
        bool addedWithoutProduct = false;
        for (int r = 1; r < Grid_Bill->RowCount(); ++r) {
            if (Grid_Bill->Cells(18, r).isEmpty()) {
                addedWithoutProduct = addedWithoutProduct || ADOQuery_bill->StateOf(r) == RowState::Inserted;
                continue;
            }
            ADOQuery_bill->MoveToRow(r);
            ADOQuery_bill->EditRow();
            assignLine(*ADOQuery_bill, *Grid_Bill, r, billId, kDoorLeafLineFields);
            ADOQuery_bill->PostRow();
        }
        // Like the frame saves, only lines with a product are written: a line added here and left
        // without one is taken out again, so the bill stays savable in its frame view. Keys only
        // grow, so the lines inserted now are those above the largest key before the apply.
        const QString lastKey = addedWithoutProduct ? lastLineKey() : QString();
        ADOQuery_bill->ApplyUpdates();
        if (addedWithoutProduct)
            Database::Exec(QStringLiteral("delete from 单据明细 where 单据ID=") + QString::number(billNumber(billId)) +
                           QStringLiteral(" and 商品ID is null and 门框ID>") + lastKey);
        updateSavedHeader(billId);
        tx.Commit();
    } catch (const StoreError& e) {
        rethrowForBill(e, billId);
    }
    ADOQuery_bill->Close();
    savedHeader().Close();
    close();
}

void TBillForm::LoadFrameLines() {
    SetupFrameGrid();
    Grid_Bill->SetColCount(Grid_Bill->ColCount() + 1);
    Grid_Bill->SetCells(13, 0, QStringLiteral("门框ID"));
    Grid_Bill->SetColWidths(13, 40);

    const int lines = ADOQuery_bill->RowCount();
    Grid_Bill->SetRowCount(lines + 1);
    static const char* const fields[] = {"自定义编号", "商品名称",        "玻璃款式", "见光宽", "见光高",
                                         "埋地",       "门框总宽",        "门框总高", "数量",   "门框附加",
                                         "门框备注",   "商品信息.商品ID", "门框ID"};
    for (int r = 1; r <= lines; ++r) {
        ADOQuery_bill->MoveToRow(r);
        for (int c = 1; c <= 13; ++c)
            Grid_Bill->SetCells(c, r, ADOQuery_bill->Field(QString::fromUtf8(fields[c - 1])).asString());
    }

    ADOQuery_bill->SetSql(QStringLiteral("select * from 单据明细 where 单据ID=") + EditBill_id->text() +
                          QStringLiteral(" order by 门框ID"));
    ADOQuery_bill->Open();
    if (ADOQuery_bill->RowCount() > 0)
        ADOQuery_bill->EditRow();
    readSavedHeader();
    markEntriesKept();
}

void TBillForm::LoadDoorLeafLines() {
    SetupDoorLeafGrid();
    readSavedHeader();

    // The number and name of the lines' products, read for these products alone: reading the
    // whole product list for a dozen lines would cost most of the load.
    QHash<qint64, std::pair<QString, QString>> products;
    QStringList ids;
    for (int r = 1; r <= ADOQuery_bill->RowCount(); ++r)
        if (!ADOQuery_bill->ValueAt(r, ADOQuery_bill->FieldIndex(QStringLiteral("商品ID"))).isNull()) {
            ADOQuery_bill->MoveToRow(r);
            ids << QString::number(ADOQuery_bill->Field(QStringLiteral("商品ID")).asInteger());
        }
    if (!ids.isEmpty()) {
        DataQuery shown;
        shown.SetSql(QStringLiteral("select 商品ID,自定义编号,商品名称 from 商品信息 where 商品ID in (") +
                     ids.join(QLatin1Char(',')) + QLatin1Char(')'));
        shown.Open();
        for (int r = 1; r <= shown.RowCount(); ++r)
            products.insert(shown.ValueAt(r, 0).toLongLong(), {shown.TextAt(r, 1), shown.TextAt(r, 2)});
    }

    const int lines = ADOQuery_bill->RowCount();
    Grid_Bill->SetRowCount(lines + 1);
    for (int r = 1; r <= lines; ++r) {
        ADOQuery_bill->MoveToRow(r);
        // A line whose product is gone shows no number and name rather than another product's.
        const auto product = products.value(ADOQuery_bill->Field(QStringLiteral("商品ID")).asInteger());
        const QStringList cells = doorLeafRow(*ADOQuery_bill, product.first, product.second);
        for (int c = 1; c <= 18; ++c)
            Grid_Bill->SetCells(c, r, cells[c]);
    }
    markEntriesKept();
}

void TBillForm::Button_del_billClick() {
    if (!ConfirmYesNo(this, QStringLiteral("确认要删除这张单据吗？")))
        return;
    const QString billId = QString::number(billNumber(EditBill_id->text()));
    {
        TransactionScope tx;
        ADOQuery_bill->SetSql(QStringLiteral("delete from 历史单据 where 单据ID=") + billId);
        ADOQuery_bill->Execute();
        ADOQuery_bill->SetSql(QStringLiteral("delete from 单据明细 where 单据ID=") + billId);
        ADOQuery_bill->Execute();
        tx.Commit();
    }
    close();
}

} // namespace kvt
