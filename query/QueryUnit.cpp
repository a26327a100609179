#include "query/QueryUnit.h"

#include "controls/ColumnWidths.h"
#include "controls/Dialogs.h"
#include "controls/FormRegistry.h"
#include "controls/QorDBGrid.h"
#include "controls/QorControlUnit.h"
#include "query/CuttingTab.h"
#include "query/GlassList.h"
#include "query/QueryExport.h"
#include "query/my_print.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kvt {
namespace {

const QString kBillForm = QStringLiteral("BillForm");
const QString kSelectionForm = QStringLiteral("CGForm");

const QString kBillListSelect =
    QStringLiteral("select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID");
const QString kBillListOrder = QStringLiteral(" order by 单据日期,单据ID");

/// The message of a failed door-leaf load, whatever failed.
const QString kDoorLeafLoadError = QStringLiteral("这是一个错误信息，很大原因是数据集没有\"单据ID\"这个字段。");

void bringToFront(QWidget* form) {
    form->show();
    form->raise();
    form->activateWindow();
}

/// The carrier text as a client id; false when it holds no whole number.
bool clientIdOf(const QString& text, qint64& id) {
    bool ok = false;
    id = text.trimmed().toLongLong(&ok);
    return ok;
}

} // namespace

// --- statements ----------------------------------------------------------------------------

QString SqlDate(const QDate& date) {
    return QLatin1Char('#') + date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('#');
}

QString BillListSql(bool clientFilter, bool dateFilter, const QDate& from, const QDate& to, const QString& clientId) {
    if (!clientFilter && !dateFilter)
        return kBillListSelect + kBillListOrder;
    if (clientFilter && dateFilter)
        return kBillListSelect + QStringLiteral("  where (单据日期 BETWEEN ") + SqlDate(from) +
               QStringLiteral(" and ") + SqlDate(to) + QStringLiteral(") and (历史单据.客户ID=") + clientId +
               QLatin1Char(')') + kBillListOrder;
    if (clientFilter)
        return kBillListSelect + QStringLiteral(" where 历史单据.客户ID=") + clientId + kBillListOrder;
    return kBillListSelect + QStringLiteral(" where 单据日期 BETWEEN ") + SqlDate(from) + QStringLiteral(" AND ") +
           SqlDate(to) + kBillListOrder;
}

QString BillHeaderSql(qint64 billId) {
    return kBillListSelect + QStringLiteral(" where 单据ID=") + QString::number(billId);
}

QString BillLinesSql(qint64 billId) {
    return QStringLiteral("select * from 单据明细 where 单据ID=") + QString::number(billId) +
           QStringLiteral(" order by 门框ID");
}

QString BillFrameLinesSql(qint64 billId) {
    return QStringLiteral("select * from 单据明细 left join 商品信息 on 单据明细.商品ID=商品信息.商品ID where "
                          "单据明细.单据ID=") +
           QString::number(billId) + QStringLiteral(" order by 门框ID");
}

QString FramesNotMeasuredSql() {
    return QStringLiteral("select 历史单据.单据ID,见光宽,现量宽,单据日期,客户名,客户地址 ") +
           QStringLiteral("from (历史单据 left join 单据明细 on 历史单据.单据ID=单据明细.单据ID) left join 客户信息 on "
                          "历史单据.客户ID=客户信息.客户ID") +
           QStringLiteral(" where (现量宽=0) and (见光宽)<>0 order by 历史单据.单据日期,历史单据.单据ID");
}

QString DoorLeavesNotCutSql() {
    return QStringLiteral("select 单据ID,商品名称,现量宽,现量高 from 单据明细 left join 商品信息 on "
                          "单据明细.商品ID=商品信息.商品ID where (门扇宽=0) and (现量宽>0) order by 门框ID");
}

bool HoldsSeveralStatements(const QString& text) {
    enum class In { Code, Quoted, LineComment, BlockComment };
    In in = In::Code;
    QChar closing;      // the character that ends the quoted text
    bool ended = false; // a statement ended with a semicolon
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        switch (in) {
        case In::Quoted:
            if (c == closing) {
                if (next == closing && closing != QLatin1Char(']'))
                    ++i; // a doubled quote stands for itself
                else
                    in = In::Code;
            }
            break;
        case In::LineComment:
            if (c == QLatin1Char('\n'))
                in = In::Code;
            break;
        case In::BlockComment:
            if (c == QLatin1Char('*') && next == QLatin1Char('/')) {
                in = In::Code;
                ++i;
            }
            break;
        case In::Code:
            if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
                in = In::LineComment;
                ++i;
            } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
                in = In::BlockComment;
                ++i;
            } else if (c.isSpace()) {
            } else if (ended) {
                return true; // more than blanks after the end of a statement
            } else if (c == QLatin1Char(';')) {
                ended = true;
            } else if (c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QLatin1Char('`')) {
                in = In::Quoted;
                closing = c;
            } else if (c == QLatin1Char('[')) {
                in = In::Quoted;
                closing = QLatin1Char(']');
            }
            break;
        }
    }
    return false;
}

FreeSqlOutcome RunFreeSql(DataQuery& query, const QString& statement) {
    // The engine would run only the first of several statements and report success for all.
    if (HoldsSeveralStatements(statement))
        throw StoreError(QStringLiteral("一次只能执行一条SQL语句。"));
    query.Close();
    query.SetSql(statement);
    {
        // First as a row-returning statement. Whatever that attempt did to the database is
        // rolled back unless it really gave a result, so no statement is carried out twice.
        TransactionScope probe;
        bool opened = false;
        try {
            query.Open();
            opened = query.FieldCount() > 0;
        } catch (const StoreError&) {
            opened = false;
        }
        if (opened) {
            probe.Commit();
            return {true, 0};
        }
        query.Close();
    }
    // Then as a statement without rows, all or nothing: an engine error changes nothing.
    TransactionScope scope;
    FreeSqlOutcome outcome;
    outcome.rowsChanged = query.Execute();
    scope.Commit();
    query.Close();
    return outcome;
}

// --- the window ----------------------------------------------------------------------------

TFormQuery::TFormQuery(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FormQuery"));
    setWindowTitle(QStringLiteral("查询窗口"));
    ADOQuery1 = new DataQuery(this);
    ADOQuery1->setObjectName(QStringLiteral("ADOQuery1"));
    buildControls();
    wireHandlers();
    resize(900, 600);
}

void TFormQuery::buildControls() {
    auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    auto button = [&](QWidget* owner, const char* name, const char* caption) {
        return named(new QPushButton(QString::fromUtf8(caption), owner), name);
    };
    auto datePicker = [&](QWidget* owner, const char* name) {
        auto* picker = named(new QDateEdit(QDate(2021, 1, 14), owner), name);
        picker->setCalendarPopup(true);
        picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        return picker;
    };

    PageControl1 = named(new QTabWidget(this), "PageControl1");
    TabSheet1 = named(new QWidget, "TabSheet1");
    TabSheet2 = named(new QWidget, "TabSheet2");
    TabSheet3 = named(new QWidget, "TabSheet3");
    TabSheet4 = named(new QWidget, "TabSheet4");
    PageControl1->addTab(TabSheet1, QStringLiteral("门框与门扇查询"));
    PageControl1->addTab(TabSheet2, QStringLiteral("门框查询"));
    PageControl1->addTab(TabSheet3, QStringLiteral("sql语句功能"));
    PageControl1->addTab(TabSheet4, QStringLiteral("玻璃清单"));
    CuttingTab = new TCuttingTab(
        [this](GlassListFilter& filter) { return listFilter(filter, &TFormQuery::cuttingCalcAfterPick, false); });
    PageControl1->addTab(CuttingTab, QStringLiteral("下料单"));

    // Tab 1: the filter group and the bill buttons.
    GroupBox1 = named(new QGroupBox(QStringLiteral("查询条件"), TabSheet1), "GroupBox1");
    Label3 = named(new QLabel(QStringLiteral("客户名："), GroupBox1), "Label3");
    Edit_client = named(new QLineEdit(GroupBox1), "Edit_client");
    CheckBox__add_date = named(new QCheckBox(QStringLiteral("日期过滤"), GroupBox1), "CheckBox__add_date");
    Label2 = named(new QLabel(QStringLiteral("从"), GroupBox1), "Label2");
    DateTimePicker1 = datePicker(GroupBox1, "DateTimePicker1");
    Label1 = named(new QLabel(QStringLiteral("至"), GroupBox1), "Label1");
    DateTimePicker2 = datePicker(GroupBox1, "DateTimePicker2");
    auto* filter = new QGridLayout(GroupBox1);
    filter->addWidget(Label3, 0, 0);
    filter->addWidget(Edit_client, 0, 1, 1, 3);
    filter->addWidget(CheckBox__add_date, 0, 4);
    filter->addWidget(Label2, 1, 0);
    filter->addWidget(DateTimePicker1, 1, 1);
    filter->addWidget(Label1, 1, 2);
    filter->addWidget(DateTimePicker2, 1, 3);

    Button_query = button(TabSheet1, "Button_query", "查询");
    Button_load = button(TabSheet1, "Button_load", "读取门扇信息");
    Button_kuang_load = button(TabSheet1, "Button_kuang_load", "读取门框信息");
    auto* billButtons = new QVBoxLayout;
    billButtons->addWidget(Button_query);
    billButtons->addWidget(Button_load);
    billButtons->addWidget(Button_kuang_load);
    auto* tab1 = new QHBoxLayout(TabSheet1);
    tab1->addWidget(GroupBox1, 1);
    tab1->addLayout(billButtons);

    // Tab 2: unfinished work.
    no_liang_query_Button = button(TabSheet2, "no_liang_query_Button", "没量门框查询");
    no_door_Button = button(TabSheet2, "no_door_Button", "门扇没开查询");
    auto* tab2 = new QHBoxLayout(TabSheet2);
    tab2->addWidget(no_liang_query_Button);
    tab2->addWidget(no_door_Button);
    tab2->addStretch(1);

    // Tab 3: free SQL.
    Edit1 = named(new QLineEdit(TabSheet3), "Edit1");
    Button_exSQL = button(TabSheet3, "Button_exSQL", "执行SQL");
    Label4 = named(new QLabel(QStringLiteral("注意：这个功能是给维护人员用的，慎重使用。如果是select语句则无所谓。"
                                             "                        "),
                              TabSheet3),
                   "Label4");
    auto* tab3 = new QGridLayout(TabSheet3);
    tab3->addWidget(Edit1, 0, 0);
    tab3->addWidget(Button_exSQL, 0, 1);
    tab3->addWidget(Label4, 1, 0, 1, 2);

    // Tab 4: the glass order list; the filter group of tab 1 joins it while it is shown.
    glass_list_Button = button(TabSheet4, "glass_list_Button", "玻璃清单查询");
    auto* glassButtons = new QVBoxLayout;
    glassButtons->addWidget(glass_list_Button);
    glassButtons->addStretch(1);
    auto* tab4 = new QHBoxLayout(TabSheet4);
    tab4->addLayout(glassButtons);

    send_excel_Button = button(this, "send_excel_Button", "传送至EXCEL");
    print_Button = button(this, "print_Button", "打印");
    Button_exit = button(this, "Button_exit", "退出");

    Label_client_id = named(new QLabel(this), "Label_client_id");
    Label_client_id->hide();
    query_modle_Label = named(new QLabel(this), "query_modle_Label");
    query_modle_Label->hide();
    Label_glass_note = named(new QLabel(this), "Label_glass_note");
    Label_glass_note->setStyleSheet(QStringLiteral("color: #c00000;"));
    Label_glass_note->hide();

    QorDBGridQuery = named(new TQorDBGrid(this), "QorDBGridQuery");
    QorDBGridQuery->SetDataQuery(ADOQuery1);
    QorDBGridQuery->SetReadOnly(true);
    QFont gridFont(QStringLiteral("宋体"));
    gridFont.setPixelSize(16);
    QorDBGridQuery->setFont(gridFont);
    QorDBGridQuery->SetSelCellColor(QColor(0, 0, 128));
    QorDBGridQuery->SetSelCellFontColor(Qt::white);
    QorDBGridQuery->SetSelRowColor(QColor(0, 128, 0));
    QorDBGridQuery->SetSelRowFontColor(Qt::white);

    auto* commands = new QHBoxLayout;
    commands->addStretch(1);
    commands->addWidget(send_excel_Button);
    commands->addWidget(print_Button);
    commands->addWidget(Button_exit);
    auto* page = new QVBoxLayout(this);
    page->addWidget(PageControl1);
    page->addLayout(commands);
    page->addWidget(QorDBGridQuery, 1);
    page->addWidget(Label_glass_note);

    Edit_client->installEventFilter(this);
}

void TFormQuery::wireHandlers() {
    auto wire = [this](QPushButton* b, void (TFormQuery::*handler)()) {
        connect(b, &QPushButton::clicked, this,
                [this, handler] { Guarded(this, [this, handler] { (this->*handler)(); }); });
    };
    wire(Button_query, &TFormQuery::Button_queryClick);
    wire(Button_load, &TFormQuery::Button_loadClick);
    wire(Button_kuang_load, &TFormQuery::Button_kuang_loadClick);
    wire(no_liang_query_Button, &TFormQuery::no_liang_query_ButtonClick);
    wire(no_door_Button, &TFormQuery::no_door_ButtonClick);
    wire(Button_exSQL, &TFormQuery::Button_exSQLClick);
    wire(glass_list_Button, &TFormQuery::glass_list_ButtonClick);
    wire(print_Button, &TFormQuery::print_ButtonClick);
    wire(send_excel_Button, &TFormQuery::send_excel_ButtonClick);
    wire(Button_exit, &TFormQuery::Button_exitClick);
    connect(QorDBGridQuery, &TQorDBGrid::dblClick, this,
            [this] { Guarded(this, [this] { QorDBGridQueryDblClick(); }); });
    // A name typed by hand is no picked client: the filter's key goes with the pick.
    connect(Edit_client, &QLineEdit::textEdited, Label_client_id, &QLabel::clear);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TFormQuery::moveFilterToTab);
    // Whatever replaces or closes the result, the glass list's title and note go with it.
    connect(ADOQuery1, &DataQuery::resultReset, this, [this] {
        m_glassTitle.clear();
        m_glassNote.clear();
        Label_glass_note->clear();
        Label_glass_note->hide();
    });
}

void TFormQuery::moveFilterToTab(int index) {
    QWidget* page = PageControl1->widget(index);
    // The cutting list shows its plan on its tab: the result grid gives it the room.
    const bool cutting = page == CuttingTab;
    // The window's print and export work on the result grid, which the plan covers meanwhile.
    QorDBGridQuery->setVisible(!cutting);
    print_Button->setVisible(!cutting);
    send_excel_Button->setVisible(!cutting);
    Label_glass_note->setVisible(!cutting && !m_glassNote.isEmpty());
    static_cast<QBoxLayout*>(layout())->setStretchFactor(PageControl1, cutting ? 1 : 0);
    if ((page != TabSheet1 && page != TabSheet4 && !cutting) || GroupBox1->parentWidget() == page)
        return;
    if (QLayout* from = GroupBox1->parentWidget()->layout())
        from->removeWidget(GroupBox1);
    QBoxLayout* place = cutting ? CuttingTab->FilterPlace : qobject_cast<QBoxLayout*>(page->layout());
    place->insertWidget(0, GroupBox1, 1);
    GroupBox1->show();
}

void TFormQuery::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Restoring a minimised window is no new showing.
    if (!event->spontaneous())
        Guarded(this, [this] { FormShow(); });
}

bool TFormQuery::eventFilter(QObject* watched, QEvent* event) {
    if (m_queryOnPick && event->type() == QEvent::Hide && watched == FindForm(kSelectionForm)) {
        // The client picker closed: with a pick for this window (written before it closes), the
        // query runs; without one (退出, or a pick for another window) the list stays empty.
        const auto query = m_queryOnPick;
        m_queryOnPick = nullptr;
        watched->removeEventFilter(this);
        qint64 clientId = 0;
        const bool picked = Control<QLabel>(static_cast<QWidget*>(watched), QStringLiteral("LabelModol"))->text() ==
                                QLatin1String("6") &&
                            !Edit_client->text().isEmpty() && clientIdOf(Label_client_id->text(), clientId);
        if (picked && isVisible())
            Guarded(this, [this, query] { (this->*query)(); });
        return false;
    }
    if (watched == Edit_client && event->type() == QEvent::MouseButtonDblClick) {
        Guarded(this, [this] { Edit_clientDblClick(); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TFormQuery::runQuery(const QString& statement) {
    ADOQuery1->Close();
    ADOQuery1->SetSql(statement);
    ADOQuery1->Open();
}

void TFormQuery::FormShow() {
    Edit_client->clear();
}

void TFormQuery::Button_queryClick() {
    const bool clientFilter = !Edit_client->text().isEmpty();
    qint64 clientId = 0;
    if (clientFilter && !clientIdOf(Label_client_id->text(), clientId)) {
        // A name without a picked client: let the user pick it first. The old list would read as
        // that client's bills, so it goes; the pick, when it comes back, runs the query.
        ADOQuery1->Close();
        QWidget* selection = Form(kSelectionForm);
        m_queryOnPick = &TFormQuery::Button_queryClick;
        selection->installEventFilter(this);
        Edit_clientDblClick();
        return;
    }
    runQuery(BillListSql(clientFilter, CheckBox__add_date->isChecked(), DateTimePicker1->date(),
                         DateTimePicker2->date(), QString::number(clientId)));

    for (const char* name :
         {"历史单据.客户ID", "安装人员ID", "单据ID", "客户电话", "客户备注", "自定义编号", "客户信息.客户ID"}) {
        const int column = ADOQuery1->FieldIndex(QString::fromUtf8(name));
        if (column >= 0)
            ADOQuery1->SetFieldVisible(column, false);
    }
    int position = 0;
    for (const char* name : {"单据日期", "客户名", "客户地址"}) {
        const int column = ADOQuery1->FieldIndex(QString::fromUtf8(name));
        if (column >= 0)
            ADOQuery1->SetDisplayIndex(column, position);
        ++position;
    }
    SetColumnWidthsByTitle(QorDBGridQuery);
}

void TFormQuery::Edit_clientDblClick() {
    QWidget* selection = Form(kSelectionForm);
    Control<QLabel>(selection, QStringLiteral("LabelModol"))->setText(QStringLiteral("6"));
    Control<QLabel>(selection, QStringLiteral("Label_title"))->setText(QStringLiteral("客户信息"));
    bringToFront(selection);
    auto* find = Control<QLineEdit>(selection, QStringLiteral("Edit_Find"));
    find->setText(Edit_client->text());
    // The same search as the user pressing Enter in the search box.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(find, &enter);
}

qint64 TFormQuery::currentBillId() {
    DataField field = ADOQuery1->Field(QStringLiteral("单据ID"));
    if (ADOQuery1->CurrentRow() == 0 || field.isNull())
        throw StoreError(QStringLiteral("没有选中的单据"));
    return field.asInteger();
}

void TFormQuery::fillBillHeader(QWidget* bill, DataQuery& billQuery, qint64 billId) {
    billQuery.Close();
    billQuery.SetSql(BillHeaderSql(billId));
    billQuery.Open();
    if (billQuery.RowCount() == 0)
        throw StoreError(QStringLiteral("单据%1不存在").arg(billId));
    Control<QLineEdit>(bill, QStringLiteral("EditBill_id"))->setText(QString::number(billId));
    // The bill's own client key, so a bill whose client row is gone keeps its client.
    Control<QLabel>(bill, QStringLiteral("LabelClentID"))
        ->setText(billQuery.Field(QStringLiteral("历史单据.客户ID")).asString());
    Control<QLineEdit>(bill, QStringLiteral("EditClient"))
        ->setText(billQuery.Field(QStringLiteral("客户名")).asString());
    Control<QLabel>(bill, QStringLiteral("Label_setup_man_id"))
        ->setText(billQuery.Field(QStringLiteral("安装人员ID")).asString());
    const QDate date = billQuery.Field(QStringLiteral("单据日期")).asDate();
    if (date.isValid())
        Control<QDateEdit>(bill, QStringLiteral("DatePicker1"))->setDate(date);
    Control<QLineEdit>(bill, QStringLiteral("EditSetup_man"))
        ->setText(billQuery.Field(QStringLiteral("安装人员")).asString());
    Control<QLineEdit>(bill, QStringLiteral("EditAddress"))
        ->setText(billQuery.Field(QStringLiteral("客户地址")).asString());
}

void TFormQuery::showBillForEditing(QWidget* bill, DataQuery& billQuery) {
    bringToFront(bill);
    if (billQuery.RowCount() > 0)
        billQuery.EditRow();
}

void TFormQuery::LoadDoorLeafBill() {
    // The bill number comes first: a result without one leaves the bill window untouched.
    const qint64 billId = currentBillId();
    QWidget* bill = Form(kBillForm);
    auto* billQuery = Control<DataQuery>(bill, QStringLiteral("ADOQuery_bill"));
    fillBillHeader(bill, *billQuery, billId);
    Control<QLabel>(bill, QStringLiteral("LabelbillType"))->setText(QStringLiteral("2"));
    billQuery->Close();
    billQuery->SetSql(BillLinesSql(billId));
    billQuery->Open();
    CallFormMethod(kBillForm, "LoadDoorLeafLines");
    showBillForEditing(bill, *billQuery);
    Control<QLabel>(bill, QStringLiteral("LabelBillClass"))->setText(QStringLiteral("---门扇生产排单---"));
}

void TFormQuery::Button_loadClick() {
    try {
        LoadDoorLeafBill();
        QWidget* bill = Form(kBillForm);
        Control<QPushButton>(bill, QStringLiteral("Button_add_new"))->setEnabled(true);
        Control<QPushButton>(bill, QStringLiteral("Button_dele"))->setEnabled(true);
    } catch (const std::exception&) {
        ShowMessage(this, kDoorLeafLoadError);
    }
}

void TFormQuery::QorDBGridQueryDblClick() {
    Button_loadClick();
}

void TFormQuery::Button_kuang_loadClick() {
    const qint64 billId = currentBillId();
    QWidget* bill = Form(kBillForm);
    auto* billQuery = Control<DataQuery>(bill, QStringLiteral("ADOQuery_bill"));
    for (const char* name : {"Button_del_bill", "Button_add_new", "Button_dele"})
        Control<QPushButton>(bill, QString::fromLatin1(name))->setVisible(true);
    Control<QLabel>(bill, QStringLiteral("LabelBillClass"))->setText(QStringLiteral("门框生产排单"));
    fillBillHeader(bill, *billQuery, billId);
    Control<QLabel>(bill, QStringLiteral("LabelbillType"))->setText(QStringLiteral("3"));
    billQuery->Close();
    billQuery->SetSql(BillFrameLinesSql(billId));
    billQuery->Open();
    CallFormMethod(kBillForm, "LoadFrameLines");
    showBillForEditing(bill, *billQuery);
    // A saved bill can be deleted from its frame view, also after a new bill switched that off.
    for (const char* name : {"Button_del_bill", "Button_add_new", "Button_dele"})
        Control<QPushButton>(bill, QString::fromLatin1(name))->setEnabled(true);
}

void TFormQuery::no_liang_query_ButtonClick() {
    query_modle_Label->setText(QStringLiteral("3"));
    runQuery(FramesNotMeasuredSql());
    const int measured = ADOQuery1->FieldIndex(QStringLiteral("现量宽"));
    if (measured >= 0)
        ADOQuery1->SetFieldVisible(measured, false);
    SetColumnWidthsByTitle(QorDBGridQuery);
}

void TFormQuery::no_door_ButtonClick() {
    runQuery(DoorLeavesNotCutSql());
    query_modle_Label->setText(QStringLiteral("4"));
    SetColumnWidthsByTitle(QorDBGridQuery);
}

void TFormQuery::Button_exSQLClick() {
    const FreeSqlOutcome outcome = RunFreeSql(*ADOQuery1, Edit1->text());
    SetColumnWidthsByTitle(QorDBGridQuery);
    if (!outcome.returnedRows)
        ShowMessage(this, QStringLiteral("SQL语句已执行，影响%1条记录。").arg(outcome.rowsChanged));
}

bool TFormQuery::listFilter(GlassListFilter& filter, void (TFormQuery::*again)(), bool dropResult) {
    filter.byClient = !Edit_client->text().isEmpty();
    if (filter.byClient && !clientIdOf(Label_client_id->text(), filter.clientId)) {
        // The old result would read as that client's: it goes before the picker can bring the new one.
        if (dropResult)
            ADOQuery1->Close();
        m_queryOnPick = again;
        Form(kSelectionForm)->installEventFilter(this);
        Edit_clientDblClick();
        return false;
    }
    filter.byDate = CheckBox__add_date->isChecked();
    filter.from = DateTimePicker1->date();
    filter.to = DateTimePicker2->date();
    return true;
}

void TFormQuery::cuttingCalcAfterPick() {
    CuttingTab->Button_cut_calcClick();
}

void TFormQuery::glass_list_ButtonClick() {
    GlassListFilter filter;
    // A name without a picked client: no list until the client is picked, then this one.
    if (!listFilter(filter, &TFormQuery::glass_list_ButtonClick, true))
        return;
    // Counted first: should the count fail, no list is shown without its warning.
    const int unfinished = CountUnfinishedGlassLines(filter);
    runQuery(GlassListSql(filter));
    SetColumnWidthsByTitle(QorDBGridQuery);
    m_glassTitle = GlassListTitle(filter, Edit_client->text());
    m_glassNote = UnfinishedGlassNote(unfinished);
    Label_glass_note->setText(m_glassNote);
    Label_glass_note->setVisible(!m_glassNote.isEmpty());
}

void TFormQuery::print_ButtonClick() {
    // The glass list carries its own title, and its warning at the foot of every page.
    if (!m_glassTitle.isEmpty())
        PreviewPrintGrid(this, *QorDBGridQuery, m_glassTitle, m_glassNote);
    else
        PreviewPrintGrid(this, *QorDBGridQuery, QStringLiteral("清单"), QString());
}

void TFormQuery::send_excel_ButtonClick() {
    SendQueryToSpreadsheet(this, *ADOQuery1);
}

void TFormQuery::Button_exitClick() {
    close();
}

} // namespace kvt
