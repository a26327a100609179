#include "bill/BillUnit.h"

#include "bill/BillExport.h"
#include "bill/BillSheets.h"
#include "controls/Dialogs.h"
#include "controls/FormRegistry.h"
#include "controls/QorControlUnit.h"
#include "expcalc/LineFormula.h"
#include "store/DataQuery.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QVBoxLayout>

#include <array>

namespace kvt {
namespace {

// Column widths of the two layouts, whose titles are in expcalc/LineFormula.h.
const int kFrameWidths[] = {20, 40, 180, 80, 50, 50, 50, 50, 50, 40, 140, 140, 40};

const int kDoorLeafWidths[] = {20, 40, 180, 40, 80, 80, 80, 50, 50, 50, 50, 50, 50, 180, 180, 60, 60, 60, 60};

/// Lines a bill can have in the grid, title row included.
constexpr int kMaxGridRows = 13;

bool isEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The selection window, reached through the registry. Each caller sets these in its own order.
QWidget* selectionForm() {
    return Form(QStringLiteral("CGForm"));
}

void setSelectionMode(const char* mode) {
    Control<QLabel>(selectionForm(), QStringLiteral("LabelModol"))->setText(QString::fromLatin1(mode));
}

void setSelectionSearchText(const QString& text) {
    Control<QLineEdit>(selectionForm(), QStringLiteral("Edit_Find"))->setText(text);
}

void showWindow(QWidget* w) {
    w->show();
    w->raise();
    w->activateWindow();
}

void showSelection() {
    showWindow(selectionForm());
}

/// Runs the selection window's search as if the user pressed Enter in its search box.
void runSelectionSearch() {
    QLineEdit* find = Control<QLineEdit>(selectionForm(), QStringLiteral("Edit_Find"));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(find, &press);
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* caption = "") {
    auto* l = new QLabel(QString::fromUtf8(caption), parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QLineEdit* makeEdit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

TBillForm::TBillForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("BillForm"));
    setWindowTitle(QStringLiteral("开单窗口"));
    resize(976, 566);
    buildControls();
    wireHandlers();

    ADOQuery_bill = new DataQuery(this);
    ADOQuery_bill->setObjectName(QStringLiteral("ADOQuery_bill"));
    ADOQuery_bill->SetSql(QStringLiteral("select * from 单据明细 left join 商品信息 on "
                                         "单据明细.门框ID=商品信息.商品ID where 单据明细.单据ID=3"));
    ADOQuery_bill->Open();
    ADOQuery_goods = new DataQuery(this);
    ADOQuery_goods->setObjectName(QStringLiteral("ADOQuery_goods"));
    // Read a product at a time, when a size is computed (findProduct): nothing to read at start-up.
    ADOQuery_goods->SetSql(QStringLiteral("select * from 商品信息 "));
}

void TBillForm::buildControls() {
    QFont titleFont(QStringLiteral("宋体"));
    titleFont.setPixelSize(37);
    LabelBillClass = makeLabel(this, "LabelBillClass");
    LabelBillClass->setFont(titleFont);
    LabelBillClass->setAlignment(Qt::AlignCenter);

    LabelClient = makeLabel(this, "LabelClient", "客户名：");
    Label3 = makeLabel(this, "Label3", "地址：");
    Label7 = makeLabel(this, "Label7", "单据编号：");
    Label5 = makeLabel(this, "Label5", "单据日期：");
    Label6 = makeLabel(this, "Label6", "安装人员：");
    LabelbillType = makeLabel(this, "LabelbillType");
    LabelClentID = makeLabel(this, "LabelClentID");
    Label_setup_man_id = makeLabel(this, "Label_setup_man_id");

    EditClient = makeEdit(this, "EditClient");
    EditAddress = makeEdit(this, "EditAddress");
    EditAddress->setFixedWidth(505);
    EditBill_id = makeEdit(this, "EditBill_id");
    EditBill_id->setEnabled(false);
    EditSetup_man = makeEdit(this, "EditSetup_man");

    DatePicker1 = new QDateEdit(this);
    DatePicker1->setObjectName(QStringLiteral("DatePicker1"));
    DatePicker1->setCalendarPopup(true);
    DatePicker1->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat));

    Grid_Bill = new TQorStringGrid(this);
    Grid_Bill->setObjectName(QStringLiteral("Grid_Bill"));
    QFont gridFont(QStringLiteral("宋体"));
    gridFont.setPixelSize(14);
    Grid_Bill->setFont(gridFont);
    Grid_Bill->setMinimumSize(933, 357);
    Grid_Bill->SetSelCellColor(QColor(0, 0, 255));
    Grid_Bill->SetSelCellFontColor(QColor(255, 255, 255));
    Grid_Bill->SetSelRowColor(QColor(0, 128, 0));
    Grid_Bill->SetSelRowFontColor(QColor(255, 255, 255));
    Grid_Bill->SetEditing(true);

    Button_del_bill = makeButton(this, "Button_del_bill", "删除单据");
    ButtonSave = makeButton(this, "ButtonSave", "保存");
    Button_add_new = makeButton(this, "Button_add_new", "新增");
    Button_dele = makeButton(this, "Button_dele", "删除单条记录");
    send_excel = makeButton(this, "send_excel", "发送至EXCEL");
    ButtonPrint = makeButton(this, "ButtonPrint", "打印");
    ButtonExit = makeButton(this, "ButtonExit", "退出");

    // Header: client and address on the left, number, date and installer on the right.
    auto* header = new QGridLayout;
    header->addWidget(LabelClient, 0, 0);
    header->addWidget(EditClient, 0, 1);
    header->addWidget(Label3, 1, 0);
    header->addWidget(EditAddress, 1, 1, 1, 2, Qt::AlignLeft);
    header->setColumnStretch(2, 1);
    header->addWidget(Label7, 0, 3);
    header->addWidget(EditBill_id, 0, 4);
    header->addWidget(Label5, 1, 3);
    header->addWidget(DatePicker1, 1, 4);
    header->addWidget(Label6, 2, 3);
    header->addWidget(EditSetup_man, 2, 4);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b :
         {Button_del_bill, ButtonSave, Button_add_new, Button_dele, send_excel, ButtonPrint, ButtonExit})
        buttons->addWidget(b);

    auto* main = new QVBoxLayout(this);
    main->addWidget(LabelBillClass);
    main->addLayout(header);
    main->addWidget(Grid_Bill, 1);
    main->addLayout(buttons);

    // Hidden after the layout has them, so they never take space.
    LabelbillType->hide();
    LabelClentID->hide();
    Label_setup_man_id->hide();

    const std::array<QWidget*, 13> tabOrder = {EditClient,  Grid_Bill,       EditAddress, EditSetup_man, ButtonExit,
                                               ButtonPrint, ButtonSave,      EditBill_id, DatePicker1,   Button_add_new,
                                               Button_dele, Button_del_bill, send_excel};
    for (size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void TBillForm::wireHandlers() {
    for (QObject* o : {static_cast<QObject*>(EditClient), static_cast<QObject*>(EditAddress),
                       static_cast<QObject*>(DatePicker1), static_cast<QObject*>(EditSetup_man)})
        o->installEventFilter(this);
    if (QLineEdit* dateText = DatePicker1->findChild<QLineEdit*>())
        dateText->installEventFilter(this);

    connect(Grid_Bill, &TQorStringGrid::keyDown, this, [this](int& key, Qt::KeyboardModifiers modifiers) {
        Guarded(this, [&] { Grid_Bill_key_down(key, modifiers); });
    });
    connect(Grid_Bill, &TQorStringGrid::selectCell, this, [this](int col, int row, bool& canSelect) {
        Guarded(this, [&] { grid_bill_selectcell(col, row, canSelect); });
    });
    connect(Grid_Bill, &TQorStringGrid::dblClick, this,
            [this](int, int) { Guarded(this, [this] { Grid_BillDblClick(); }); });

    auto wire = [this](QPushButton* b, void (TBillForm::*handler)()) {
        connect(b, &QPushButton::clicked, this,
                [this, handler] { Guarded(this, [this, handler] { (this->*handler)(); }); });
    };
    // The bill delete asks its own question before it closes the window.
    connect(Button_del_bill, &QPushButton::clicked, this, [this] {
        const QScopedValueRollback<bool> onPurpose(m_closingByCommand, true);
        Guarded(this, [this] { Button_del_billClick(); });
    });
    wire(ButtonSave, &TBillForm::ButtonSaveClick);
    wire(Button_add_new, &TBillForm::Button_add_newClick);
    wire(Button_dele, &TBillForm::Button_deleClick);
    wire(send_excel, &TBillForm::send_excelClick);
    wire(ButtonPrint, &TBillForm::ButtonPrintClick);
    wire(ButtonExit, &TBillForm::ButtonExitClick);
}

bool TBillForm::eventFilter(QObject* watched, QEvent* event) {
    const bool dateBox = watched == DatePicker1 || watched->parent() == DatePicker1;
    if (event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        int key = ke->key();
        const Qt::KeyboardModifiers mods = ke->modifiers();
        if (watched == EditClient)
            Guarded(this, [&] { editClentOnkeydown(key, mods); });
        else if (watched == EditAddress)
            Guarded(this, [&] { EditAddress_key_down(key, mods); });
        else if (dateBox)
            Guarded(this, [&] { DatePicker_keydown(key, mods); });
        else if (watched == EditSetup_man)
            Guarded(this, [&] { EditSetup_man_key_down(key, mods); });
        return key == 0;
    }
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == EditClient) {
            Guarded(this, [this] { EditClientDblClick(); });
            return true;
        }
        if (watched == EditSetup_man) {
            Guarded(this, [this] { EditSetup_manDblClick(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QString TBillForm::kind() const {
    return LabelbillType->text();
}

QStringList TBillForm::gridTitles() const {
    return gridRow(0);
}

QStringList TBillForm::gridRow(int row) const {
    QStringList cells;
    for (int c = 0; c < Grid_Bill->ColCount(); ++c)
        cells << Grid_Bill->Cells(c, row);
    return cells;
}

// ---- Layouts and line defaults ----------------------------------------------------------

void TBillForm::SetupFrameGrid() {
    static_assert(std::size(kFrameWidths) == expcalc::FrameTitles.size());
    const int cols = int(std::size(kFrameWidths));
    Grid_Bill->SetColCount(cols);
    Grid_Bill->SetRowCount(11);
    for (int c = 0; c < cols; ++c) {
        Grid_Bill->SetColWidths(c, kFrameWidths[c]);
        Grid_Bill->SetCells(c, 0, QString::fromUtf8(expcalc::FrameTitles[std::size_t(c)]));
    }
}

void TBillForm::SetupDoorLeafGrid() {
    LabelBillClass->setText(QStringLiteral("Door Detail"));
    static_assert(std::size(kDoorLeafWidths) == expcalc::DoorLeafTitles.size());
    const int cols = int(std::size(kDoorLeafWidths));
    Grid_Bill->SetColCount(cols);
    Grid_Bill->SetRowCount(ADOQuery_bill->RowCount() + 1);
    for (int c = 0; c < cols; ++c) {
        Grid_Bill->SetColWidths(c, kDoorLeafWidths[c]);
        Grid_Bill->SetCells(c, 0, QString::fromUtf8(expcalc::DoorLeafTitles[std::size_t(c)]));
    }
}

void TBillForm::FillFrameLineDefaults() {
    const int r = Grid_Bill->Row();
    auto fill = [&](int col, const char* text) {
        if (col < Grid_Bill->ColCount() && Grid_Bill->Cells(col, r).isEmpty())
            Grid_Bill->SetCells(col, r, QString::fromLatin1(text));
    };
    fill(3, " ");
    for (int c = 4; c <= 8; ++c)
        fill(c, "0");
    fill(9, "1");
    fill(10, " ");
    fill(11, " ");
}

void TBillForm::FillDoorLeafLineDefaults() {
    const int r = Grid_Bill->Row();
    const int last = std::min(16, Grid_Bill->ColCount() - 1);
    for (int c = 3; c <= last; ++c) {
        if (!Grid_Bill->Cells(c, r).isEmpty())
            continue;
        const bool blank = c == 4 || c == 13 || c == 14;
        Grid_Bill->SetCells(c, r, blank ? QStringLiteral(" ") : QStringLiteral("0"));
    }
}

// ---- Opening and closing ----------------------------------------------------------------

void TBillForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Only a hidden window that is shown opens a new bill; restoring a minimised one does not.
    if (!event->spontaneous())
        Guarded(this, [this] { form_show(); });
}

void TBillForm::form_show() {
    if (kind() != QLatin1String("1"))
        return;
    DatePicker1->setDate(QDate::currentDate());
    SetupFrameGrid();
    EditClient->setFocus();
    ADOQuery_bill->Close();
    ADOQuery_bill->SetSql(QStringLiteral("select * from 系统设置 where ID=\"历史单据ID\""));
    ADOQuery_bill->Open();
    EditBill_id->setText(QString::number(ADOQuery_bill->FieldAt(1).asInteger()));
    m_numberHandedOut.clear();
    markEntriesKept();
}

void TBillForm::FormActivate() {}

QStringList TBillForm::entryState() const {
    QStringList state = {kind(),
                         EditClient->text(),
                         LabelClentID->text(),
                         EditAddress->text(),
                         DatePicker1->date().toString(Qt::ISODate),
                         EditSetup_man->text(),
                         Label_setup_man_id->text(),
                         EditBill_id->text(),
                         QString::number(Grid_Bill->RowCount()),
                         QString::number(Grid_Bill->ColCount())};
    for (int r = 0; r < Grid_Bill->RowCount(); ++r)
        state += gridRow(r);
    return state;
}

void TBillForm::markEntriesKept() {
    m_keptEntries = entryState();
}

bool TBillForm::hasUnsavedEntries() const {
    return isVisible() && entryState() != m_keptEntries;
}

bool TBillForm::confirmLeaving() {
    return !hasUnsavedEntries() || ConfirmYesNo(this, QStringLiteral("单据尚未保存，确定退出吗？"));
}

void TBillForm::closeEvent(QCloseEvent* event) {
    // The frame's close box asks like 退出; the window's own closes (saves, bill delete, 退出
    // after its question) do not ask again.
    if (!m_closingByCommand && isVisible()) {
        bool leave = true;
        Guarded(this, [&] { leave = confirmLeaving(); });
        if (!leave) {
            event->ignore();
            return;
        }
    }
    BillForm_close();
    event->accept();
}

void TBillForm::BillForm_close() {
    m_numberHandedOut.clear();
    Grid_Bill->ClearCells();
    for (QLineEdit* e : {EditClient, EditBill_id, EditSetup_man, EditAddress})
        e->clear();
    for (QLabel* l : {LabelClentID, Label_setup_man_id, LabelbillType})
        l->clear();
}

void TBillForm::ButtonExitClick() {
    const QString k = kind();
    if ((k == QLatin1String("1") || k == QLatin1String("2") || k == QLatin1String("3")) && confirmLeaving()) {
        const QScopedValueRollback<bool> onPurpose(m_closingByCommand, true);
        close();
    }
}

// ---- Header keyboard flow ---------------------------------------------------------------

void TBillForm::editClentOnkeydown(int& key, Qt::KeyboardModifiers) {
    if (!isEnter(key))
        return;
    key = 0;
    setSelectionMode("1");
    EditAddress->setFocus();
    showSelection();
    setSelectionSearchText(EditClient->text());
    runSelectionSearch();
}

void TBillForm::EditClientDblClick() {
    int key = Qt::Key_Return;
    editClentOnkeydown(key, Qt::NoModifier);
}

void TBillForm::EditAddress_key_down(int& key, Qt::KeyboardModifiers) {
    if (!isEnter(key))
        return;
    key = 0;
    DatePicker1->setFocus();
}

void TBillForm::DatePicker_keydown(int& key, Qt::KeyboardModifiers) {
    if (!isEnter(key))
        return;
    key = 0;
    EditSetup_man->setFocus();
}

void TBillForm::EditSetup_man_key_down(int& key, Qt::KeyboardModifiers) {
    if (!isEnter(key))
        return;
    key = 0;
    setSelectionMode("2");
    Grid_Bill->setFocus();
    Grid_Bill->SetCurrentCell(1, 1);
    showSelection();
    setSelectionSearchText(EditSetup_man->text());
    runSelectionSearch();
}

void TBillForm::EditSetup_manDblClick() {
    int key = Qt::Key_Return;
    EditSetup_man_key_down(key, Qt::NoModifier);
}

// ---- The grid ---------------------------------------------------------------------------

void TBillForm::grid_bill_selectcell(int col, int, bool&) {
    const QString k = kind();
    if (k == QLatin1String("1") || k == QLatin1String("3"))
        Grid_Bill->SetEditing(!(col == 2 || col == 12 || col == 13));
    else if (k == QLatin1String("2"))
        Grid_Bill->SetEditing(!(col == 2 || col == 17 || col == 18));
}

void TBillForm::Grid_Bill_key_down(int& key, Qt::KeyboardModifiers) {
    if (!isEnter(key))
        return;
    const QString k = kind();
    if (k == QLatin1String("1") || k == QLatin1String("3")) {
        key = 0;
        FrameGridEnter();
    } else if (k == QLatin1String("2")) {
        key = 0;
        DoorLeafGridEnter();
    }
}

void TBillForm::FrameGridEnter() {
    const int c = Grid_Bill->Col();
    const int r = Grid_Bill->Row();
    switch (c) {
    case 1:
        setSelectionMode("3");
        Grid_Bill->SetCol(3);
        setSelectionSearchText(Grid_Bill->Cells(1, r));
        showSelection();
        runSelectionSearch();
        break;
    case 4:
        computeFrameSize(r, true);
        Grid_Bill->SetCol(5);
        break;
    case 6:
        computeFrameSize(r, false);
        Grid_Bill->SetCol(8);
        break;
    case 10: {
        const QString extra = Grid_Bill->Cells(10, r);
        if (extra.isEmpty() || extra == QLatin1String(" "))
            showWindow(Form(QStringLiteral("Form_DoorLine")));
        Grid_Bill->SetCol(11);
        break;
    }
    case 11:
        Grid_Bill->SetCol(1);
        if (r < Grid_Bill->RowCount() - 1)
            Grid_Bill->SetRow(r + 1);
        break;
    case 2:
    case 3:
    case 5:
    case 7:
    case 8:
    case 9:
        Grid_Bill->SetCol(c + 1);
        break;
    default:
        break;
    }
}

void TBillForm::DoorLeafGridEnter() {
    const int r = Grid_Bill->Row();
    FillDoorLeafLineDefaults();
    const int c = Grid_Bill->Col();
    switch (c) {
    case 1:
        setSelectionMode("7");
        setSelectionSearchText(Grid_Bill->Cells(1, r));
        showSelection();
        runSelectionSearch();
        break;
    case 7:
        if (!Grid_Bill->Cells(18, r).isEmpty())
            computeDoorLeafSizes(r, true);
        Grid_Bill->SetCol(8);
        break;
    case 8:
        if (!Grid_Bill->Cells(18, r).isEmpty())
            computeDoorLeafSizes(r, false);
        Grid_Bill->SetCol(9);
        break;
    case 16:
        if (r < Grid_Bill->RowCount() - 1) {
            Grid_Bill->SetRow(r + 1);
            Grid_Bill->SetCol(1);
        }
        break;
    default:
        if ((c >= 3 && c <= 6) || (c >= 9 && c <= 15))
            Grid_Bill->SetCol(c + 1);
        break;
    }
}

void TBillForm::Grid_BillDblClick() {
    const int c = Grid_Bill->Col();
    if (c == 1) {
        int key = Qt::Key_Return;
        Grid_Bill_key_down(key, Qt::NoModifier);
    } else if (c == 11 || c == 12) {
        // A new frame bill's line query holds the counter row, which takes no lines.
        if (kind() == QLatin1String("1"))
            return;
        addLineLikeCurrent();
    }
}

void TBillForm::addLineLikeCurrent() {
    const int r = Grid_Bill->Row();
    if (Grid_Bill->RowCount() >= kMaxGridRows) {
        ShowMessage(this, QStringLiteral("行数已满，不能再添加了，另开单吧！"));
        return;
    }
    ADOQuery_bill->AppendRow();
    ADOQuery_bill->Field(QStringLiteral("埋地")).setInteger(0);
    // The line belongs to this bill even when it is saved without a product.
    if (ADOQuery_bill->FieldIndex(QStringLiteral("单据ID")) >= 0 && !EditBill_id->text().isEmpty())
        ADOQuery_bill->Field(QStringLiteral("单据ID")).setString(EditBill_id->text());
    ADOQuery_bill->PostRow();

    const int newRow = Grid_Bill->RowCount();
    Grid_Bill->SetRowCount(newRow + 1);
    Grid_Bill->SetRow(newRow);
    Grid_Bill->SetCol(1);
    Grid_Bill->SetCells(1, newRow, QStringLiteral("厘"));
    int key = Qt::Key_Return;
    Grid_Bill_key_down(key, Qt::NoModifier);
    Grid_Bill->SetCells(11, newRow, Grid_Bill->Cells(11, r));
    // In the frame layout column 12 is the line's product: a product the search has already
    // written stays, so the line is saved with the product its number and name show. In the
    // door-leaf layout columns 11 and 12 are glass sizes and are copied as they are.
    const bool frameLayout = kind() != QLatin1String("2");
    if (!frameLayout || Grid_Bill->Cells(12, newRow).isEmpty())
        Grid_Bill->SetCells(12, newRow, Grid_Bill->Cells(12, r));
}

// ---- Line commands ----------------------------------------------------------------------

void TBillForm::Button_add_newClick() {
    if (Grid_Bill->RowCount() >= kMaxGridRows) {
        ShowMessage(this, QStringLiteral("行数已满，不可再加了！"));
        return;
    }
    const QString k = kind();
    if (k == QLatin1String("3")) {
        const int newRow = Grid_Bill->RowCount();
        Grid_Bill->SetRowCount(newRow + 1);
        ADOQuery_bill->AppendRow();
        ADOQuery_bill->Field(QStringLiteral("单据ID")).setString(EditBill_id->text());
        Grid_Bill->SetCol(1);
        Grid_Bill->SetRow(newRow);
        FillFrameLineDefaults();
        ADOQuery_bill->PostRow();
        Grid_Bill->setFocus();
    } else if (k == QLatin1String("2")) {
        const int newRow = Grid_Bill->RowCount();
        Grid_Bill->SetRowCount(newRow + 1);
        Grid_Bill->SetRow(newRow);
        FillDoorLeafLineDefaults();
        ADOQuery_bill->AppendRow();
        ADOQuery_bill->Field(QStringLiteral("单据ID")).setString(EditBill_id->text());
        Grid_Bill->SetCol(1);
        Grid_Bill->SetRow(newRow);
        ADOQuery_bill->PostRow();
        Grid_Bill->setFocus();
    }
}

void TBillForm::Button_deleClick() {
    if (!ConfirmYesNo(this, QStringLiteral("确认要删除这条记录吗？")))
        return;
    const int r = Grid_Bill->Row();
    const int rows = Grid_Bill->RowCount();
    if (r < 1 || r >= rows)
        return;
    ADOQuery_bill->MoveToRow(r);
    ADOQuery_bill->DeleteRow();
    for (int c = 1; c < Grid_Bill->ColCount(); ++c) {
        for (int row = r; row < rows - 1; ++row)
            Grid_Bill->SetCells(c, row, Grid_Bill->Cells(c, row + 1));
        Grid_Bill->SetCells(c, rows - 1, QString());
    }
    Grid_Bill->SetRowCount(rows - 1);
}

// ---- Save, print, export ----------------------------------------------------------------

namespace {
/// A refused save's message, ending with what became of the bill: nothing was written and the
/// window keeps it.
QString refusedSaveText(const QString& message) {
    static const QString kSentenceEnds = QStringLiteral("。！？.!?");
    QString text = message.trimmed();
    if (!text.isEmpty() && !kSentenceEnds.contains(text.back()))
        text += QStringLiteral("。");
    return text + QStringLiteral("本单据没有保存。");
}
} // namespace

void TBillForm::ButtonSaveClick() {
    const QString k = kind();
    const QScopedValueRollback<bool> onPurpose(m_closingByCommand, true);
    try {
        if (k == QLatin1String("1"))
            SaveNewFrameBill();
        else if (k == QLatin1String("3"))
            SaveFrameBillChanges();
        else if (k == QLatin1String("2"))
            SaveDoorLeafBill();
    } catch (const StoreError& e) {
        throw StoreError(refusedSaveText(e.message()), e.kind());
    } catch (const std::exception& e) {
        throw StoreError(refusedSaveText(QString::fromUtf8(e.what())));
    }
}

void TBillForm::ButtonPrintClick() {
    // Turns a portrait printer to landscape, then shows the sheet of the bill's kind.
    const BillSnapshot shown = Snapshot();
    if (PreviewBillSheet(this, shown))
        noteNumberHandedOut(shown);
}

void TBillForm::send_excelClick() {
    const BillSnapshot shown = Snapshot();
    if (SendBillToSpreadsheet(this, shown))
        noteNumberHandedOut(shown);
}

void TBillForm::noteNumberHandedOut(const BillSnapshot& shown) {
    if (shown.billType == QLatin1String("1"))
        m_numberHandedOut = shown.billId;
}

BillSnapshot TBillForm::Snapshot() const {
    BillSnapshot s;
    s.billType = LabelbillType->text();
    s.billClass = LabelBillClass->text();
    s.client = EditClient->text();
    s.address = EditAddress->text();
    s.date = DatePicker1->date().toString(QStringLiteral("yyyy-MM-dd"));
    s.installer = EditSetup_man->text();
    s.billId = EditBill_id->text();
    for (int r = 0; r < Grid_Bill->RowCount(); ++r)
        s.cells.push_back(gridRow(r));
    for (int c = 0; c < Grid_Bill->ColCount(); ++c)
        s.colWidths.push_back(Grid_Bill->ColWidths(c));
    return s;
}

} // namespace kvt
