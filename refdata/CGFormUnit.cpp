#include "refdata/CGFormUnit.h"

#include "controls/ColumnWidths.h"
#include "controls/Dialogs.h"
#include "controls/FormRegistry.h"
#include "controls/QorControlUnit.h"
#include "controls/QorDBGrid.h"
#include "refdata/FormulaTestUnit.h"
#include "refdata/ProductPiecesPanel.h"
#include "refdata/SelectionSql.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kvt {
namespace {

bool isEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

const QString kBillForm = QStringLiteral("BillForm");
const QString kQueryForm = QStringLiteral("FormQuery");

// Bill grid columns the product choice writes.
constexpr int kNumberColumn = 1;
constexpr int kNameColumn = 2;
constexpr int kFrameGoodsIdColumn = 12;
constexpr int kDoorGoodsIdColumn = 18;
constexpr int kDoorQuantityColumn = 3;

/// A choice goes back only to a caller that is still open: a window left meanwhile (退出, 保存)
/// has been emptied and would come back without its bill.
bool callerOpen(const QString& formName) {
    return Form(formName)->isVisible();
}

constexpr int kHeight = 520;
/// Product editing shows the pieces of the current product under the buttons.
constexpr int kHeightWithPieces = 700;

} // namespace

TCGForm::TCGForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CGForm"));
    setWindowTitle(QStringLiteral("信息选择与编辑窗口"));
    resize(736, kHeight);

    QFont song(QStringLiteral("宋体"));

    Label1 = new QLabel(QStringLiteral("搜索输入："), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(32, 80); // sized to its text when the window is first shown

    Edit_Find = new QLineEdit(this);
    Edit_Find->setObjectName(QStringLiteral("Edit_Find"));
    Edit_Find->setGeometry(128, 80, 121, 24);
    Edit_Find->installEventFilter(this);

    Label_title = new QLabel(this);
    Label_title->setObjectName(QStringLiteral("Label_title"));
    QFont titleFont = song;
    titleFont.setPixelSize(37);
    Label_title->setFont(titleFont);
    Label_title->setGeometry(256, 16, 440, 48);

    LabelModol = new QLabel(this);
    LabelModol->setObjectName(QStringLiteral("LabelModol"));
    LabelModol->hide();

    CGQuery = new DataQuery(this);
    CGQuery->setObjectName(QStringLiteral("CGQuery"));

    CGDBGrid = new TQorDBGrid(this);
    CGDBGrid->setObjectName(QStringLiteral("CGDBGrid"));
    QFont gridFont = song;
    gridFont.setPixelSize(16);
    CGDBGrid->setFont(gridFont);
    CGDBGrid->setGeometry(16, 120, 697, 321);
    CGDBGrid->SetSelCellColor(QColor(0, 0, 128));
    CGDBGrid->SetSelCellFontColor(Qt::white);
    CGDBGrid->SetSelRowColor(QColor(0, 128, 0));
    CGDBGrid->SetSelRowFontColor(Qt::white);
    CGDBGrid->SetReadOnly(true);
    CGDBGrid->SetDataQuery(CGQuery);

    auto button = [this](const char* name, const QString& caption, int left) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(left, 472, 75, 25);
        return b;
    };
    Button_yes = button("Button_yes", QStringLiteral("确定"), 288);
    Button_save = button("Button_save", QStringLiteral("保存"), 368);
    Button_save->hide();
    Button_formula_test = button("Button_formula_test", QStringLiteral("公式测试"), 448);
    Button_formula_test->hide();
    Button_exit = button("Button_exit", QStringLiteral("退出"), 632);

    // Below the buttons, shown only while products are edited; the window grows to hold it.
    Panel_pieces = new TProductPiecesPanel(CGQuery, this);
    Panel_pieces->setGeometry(16, 510, 697, 180);
    Panel_pieces->hide();

    connect(Button_yes, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button_yesClick(); }); });
    connect(Button_save, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button_saveClick(); }); });
    connect(Button_formula_test, &QPushButton::clicked, this,
            [this] { Guarded(this, [this] { Button_formula_testClick(); }); });
    connect(Button_exit, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button_exitClick(); }); });
    connect(CGDBGrid, &TQorDBGrid::keyDown, this, [this](int& key, Qt::KeyboardModifiers modifiers) {
        Guarded(this, [&] { CGDBGrid_keydown(key, modifiers); });
    });
    connect(CGDBGrid, &TQorDBGrid::dblClick, this, [this] { Guarded(this, [this] { CGDBGridDblClick(); }); });

    // The list holds the products until the first search replaces them. It is read when the
    // window is first shown, not at start-up: showing the window starts from a closed list anyway.
    CGQuery->SetSql(QStringLiteral("select * from 商品信息"));
}

QString TCGForm::mode() const {
    return LabelModol->text();
}

QString TCGForm::unsavedTable() const {
    if (!isVisible() || !CGQuery->IsOpen() || (!CGQuery->HasPendingChanges() && !Panel_pieces->hasPendingChanges()))
        return QString();
    if (mode() == QLatin1String("4"))
        return QStringLiteral("客户信息");
    if (mode() == QLatin1String("5"))
        return QStringLiteral("商品信息");
    return QString();
}

// --- opening and closing -------------------------------------------------------------------

void TCGForm::showEvent(QShowEvent* event) {
    if (!m_captionFitted) {
        Label1->adjustSize();
        m_captionFitted = true;
    }
    QWidget::showEvent(event);
    if (!event->spontaneous())
        Guarded(this, [this] { CGForm_show(); });
}

void TCGForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        Guarded(this, [this] { CGForm_close(); });
}

void TCGForm::CGForm_show() {
    CGQuery->Close();
    const QString m = mode();
    if (m == QLatin1String("1") || m == QLatin1String("6")) {
        Label_title->setText(QStringLiteral("客户信息"));
    } else if (m == QLatin1String("2")) {
        Label_title->setText(QStringLiteral("安装人员"));
    } else if (m == QLatin1String("3") || m == QLatin1String("7")) {
        Label_title->setText(QStringLiteral("商品信息"));
    } else if (m == QLatin1String("4") || m == QLatin1String("5")) {
        CGDBGrid->SetReadOnly(false);
        Button_save->show();
        Button_formula_test->setVisible(m == QLatin1String("5"));
    }
    const bool pieces = m == QLatin1String("5");
    resize(width(), pieces ? kHeightWithPieces : kHeight);
    Panel_pieces->setVisible(pieces);
    Panel_pieces->setEditing(pieces);
}

void TCGForm::CGForm_close() {
    CGDBGrid->SetReadOnly(true);
    Button_save->hide();
    Button_formula_test->hide();
    Panel_pieces->setEditing(false);
    Panel_pieces->hide();
}

void TCGForm::Button_exitClick() {
    close();
}

void TCGForm::returnTo(const QString& formName) {
    QWidget* caller = Form(formName);
    caller->show();
    caller->raise();
    caller->activateWindow();
    close();
}

// --- the search box ------------------------------------------------------------------------

bool TCGForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit_Find) {
        if (event->type() == QEvent::KeyPress) {
            auto* ke = static_cast<QKeyEvent*>(event);
            int key = ke->key();
            const bool enter = isEnter(key);
            Guarded(this, [&] { Edit_Find_keydown(key, ke->modifiers()); });
            return enter || key == 0;
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            Guarded(this, [this] { Edit_FindDblClick(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TCGForm::Edit_Find_keydown(int& key, Qt::KeyboardModifiers) {
    if (isEnter(key)) {
        const QString m = mode();
        if (m == QLatin1String("1") || m == QLatin1String("6"))
            clent_find();
        else if (m == QLatin1String("2"))
            set_man_find();
        else if (m == QLatin1String("3") || m == QLatin1String("7"))
            goods_find();
        else if (m == QLatin1String("4"))
            client_edit_find();
        else if (m == QLatin1String("5"))
            goods_edit_find();
        Edit_Find->clear();
    }
    SetColumnWidthsByTitle(CGDBGrid);
}

void TCGForm::Edit_FindDblClick() {
    int key = Qt::Key_Return;
    Edit_Find_keydown(key, Qt::NoModifier);
}

// --- searches ------------------------------------------------------------------------------

void TCGForm::openList(const QString& statement, void (TCGForm::*widths)()) {
    CGQuery->Close();
    CGQuery->SetSql(statement);
    CGQuery->Open();
    (this->*widths)();
    CGDBGrid->setFocus();
}

void TCGForm::personFind(const QString& formName, const QString& nameBox, const QString& idCarrier) {
    const QString typed = Edit_Find->text();
    if (typed.isEmpty()) {
        openList(ClientListSql(), &TCGForm::CGDBGrid_set_colwide_client);
        return;
    }
    CGQuery->Close();
    CGQuery->SetSql(ClientByNumberSql(typed));
    CGQuery->Open();
    if (CGQuery->RowCount() == 1) {
        if (!callerOpen(formName)) {
            close();
            return;
        }
        const QString name = CGQuery->Field(QStringLiteral("客户名")).asString();
        const QString id = QString::number(CGQuery->Field(QStringLiteral("客户ID")).asInteger());
        Control<QLineEdit>(formName, nameBox)->setText(name);
        Control<QLabel>(formName, idCarrier)->setText(id);
        returnTo(formName);
        return;
    }
    openList(ClientByNameSql(typed), &TCGForm::CGDBGrid_set_colwide_client);
}

void TCGForm::clent_find() {
    if (mode() == QLatin1String("6"))
        personFind(kQueryForm, QStringLiteral("Edit_client"), QStringLiteral("Label_client_id"));
    else
        personFind(kBillForm, QStringLiteral("EditClient"), QStringLiteral("LabelClentID"));
}

void TCGForm::set_man_find() {
    personFind(kBillForm, QStringLiteral("EditSetup_man"), QStringLiteral("Label_setup_man_id"));
}

void TCGForm::goods_find() {
    const QString typed = Edit_Find->text();
    if (typed.isEmpty()) {
        openList(GoodsListSql(), &TCGForm::CGDBGrid_set_colwide_goods);
        return;
    }
    CGQuery->Close();
    CGQuery->SetSql(GoodsByNumberSql(typed));
    CGQuery->Open();
    if (CGQuery->RowCount() == 1) {
        if (!callerOpen(kBillForm)) {
            close();
            return;
        }
        // A "select *" row: read by name, which is where the table keeps these columns.
        const QString number = CGQuery->Field(QStringLiteral("自定义编号")).asString();
        const QString name = CGQuery->Field(QStringLiteral("商品名称")).asString();
        const QString id = CGQuery->Field(QStringLiteral("商品ID")).asString();
        if (mode() == QLatin1String("7")) {
            writeGoods(number, name, id, kDoorGoodsIdColumn);
            returnTo(kBillForm);
            Control<TQorStringGrid>(kBillForm, QStringLiteral("Grid_Bill"))->SetCol(kDoorQuantityColumn);
        } else {
            writeGoods(number, name, id, kFrameGoodsIdColumn);
            CallFormMethod(kBillForm, "FillFrameLineDefaults");
            returnTo(kBillForm);
        }
        return;
    }
    openList(GoodsByNameSql(typed), &TCGForm::CGDBGrid_set_colwide_goods);
}

void TCGForm::client_edit_find() {
    CGQuery->Close();
    CGQuery->SetSql(ClientEditSql(Edit_Find->text()));
    CGQuery->Open();
    Edit_Find->clear();
}

void TCGForm::goods_edit_find() {
    Panel_pieces->clear();
    CGQuery->Close();
    CGQuery->SetSql(GoodsEditSql(Edit_Find->text()));
    CGQuery->Open();
    Edit_Find->clear();
}

void TCGForm::CGDBGrid_set_colwide_client() {
    const int widths[] = {40, 160, 40};
    for (int c = 0; c < 3 && c < CGDBGrid->ColumnCount(); ++c)
        CGDBGrid->SetColumnWidth(c, widths[c]);
}

void TCGForm::CGDBGrid_set_colwide_goods() {
    const int widths[] = {40, 160, 140, 40};
    for (int c = 0; c < 4 && c < CGDBGrid->ColumnCount(); ++c)
        CGDBGrid->SetColumnWidth(c, widths[c]);
}

// --- choosing from the list ----------------------------------------------------------------

QString TCGForm::shownText(int shownColumn) const {
    const QList<int> shown = CGQuery->DisplayColumns();
    if (shownColumn >= shown.size())
        throw StoreError(QStringLiteral("列表没有第%1列").arg(shownColumn + 1));
    return CGQuery->TextAt(CGQuery->CurrentRow(), shown.at(shownColumn));
}

QString TCGForm::shownInteger(int shownColumn) const {
    const QList<int> shown = CGQuery->DisplayColumns();
    if (shownColumn >= shown.size())
        throw StoreError(QStringLiteral("列表没有第%1列").arg(shownColumn + 1));
    return QString::number(CGQuery->FieldAt(shown.at(shownColumn)).asInteger());
}

void TCGForm::CGDBGrid_keydown(int& key, Qt::KeyboardModifiers) {
    if (!CGQuery->IsOpen())
        return;
    if (isEnter(key)) {
        // An empty list offers nothing to choose.
        if (CGQuery->CurrentRow() == 0)
            return;
        const QString m = mode();
        const bool picking = m == QLatin1String("1") || m == QLatin1String("2") || m == QLatin1String("3") ||
                             m == QLatin1String("6") || m == QLatin1String("7");
        if (picking && !callerOpen(m == QLatin1String("6") ? kQueryForm : kBillForm)) {
            key = 0;
            close();
            return;
        }
        if (m == QLatin1String("1"))
            CGDBGrid_writ_client();
        else if (m == QLatin1String("2"))
            CGDBGrid_writ_setup_man();
        else if (m == QLatin1String("3"))
            CGDBGrid_writ_goods();
        else if (m == QLatin1String("6"))
            CGDBGrid_writ_query_client();
        else if (m == QLatin1String("7"))
            CGDBGrid_writ_door_goods();
        else
            return;
        key = 0;
        return;
    }
    // Arrows, the wheel and the editing gestures (Insert, Ctrl+Delete) are the grid's own.
}

void TCGForm::CGDBGridDblClick() {
    int key = Qt::Key_Return;
    CGDBGrid_keydown(key, Qt::NoModifier);
}

void TCGForm::Button_yesClick() {
    int key = Qt::Key_Return;
    CGDBGrid_keydown(key, Qt::NoModifier);
}

void TCGForm::CGDBGrid_writ_client() {
    const QString name = shownText(1);
    const QString id = shownInteger(2);
    Control<QLineEdit>(kBillForm, QStringLiteral("EditClient"))->setText(name);
    Control<QLabel>(kBillForm, QStringLiteral("LabelClentID"))->setText(id);
    returnTo(kBillForm);
}

void TCGForm::CGDBGrid_writ_setup_man() {
    const QString name = shownText(1);
    const QString id = shownInteger(2);
    Control<QLineEdit>(kBillForm, QStringLiteral("EditSetup_man"))->setText(name);
    Control<QLabel>(kBillForm, QStringLiteral("Label_setup_man_id"))->setText(id);
    returnTo(kBillForm);
}

void TCGForm::writeGoods(const QString& number, const QString& name, const QString& id, int idColumn) {
    auto* grid = Control<TQorStringGrid>(kBillForm, QStringLiteral("Grid_Bill"));
    const int row = grid->Row();
    grid->SetCells(kNumberColumn, row, number);
    grid->SetCells(kNameColumn, row, name);
    grid->SetCells(idColumn, row, id);
}

void TCGForm::CGDBGrid_writ_goods() {
    writeGoods(shownText(0), shownText(1), shownInteger(3), kFrameGoodsIdColumn);
    CallFormMethod(kBillForm, "FillFrameLineDefaults");
    returnTo(kBillForm);
}

void TCGForm::CGDBGrid_writ_query_client() {
    const QString name = CGQuery->Field(QStringLiteral("客户名")).asString();
    const QString id = CGQuery->Field(QStringLiteral("客户ID")).asString();
    Control<QLineEdit>(kQueryForm, QStringLiteral("Edit_client"))->setText(name);
    Control<QLabel>(kQueryForm, QStringLiteral("Label_client_id"))->setText(id);
    returnTo(kQueryForm);
}

void TCGForm::CGDBGrid_writ_door_goods() {
    writeGoods(shownText(0), shownText(1), shownInteger(3), kDoorGoodsIdColumn);
    returnTo(kBillForm);
    Control<TQorStringGrid>(kBillForm, QStringLiteral("Grid_Bill"))->SetCol(kDoorQuantityColumn);
}

// --- editing the tables --------------------------------------------------------------------

void TCGForm::Button_saveClick() {
    // Leaving the grid drops a row that was added and left empty, as the grid does itself.
    if (CGDBGrid->hasFocus() || Panel_pieces->CGDBGrid_pieces->hasFocus())
        Button_save->setFocus(Qt::OtherFocusReason);
    const bool products = mode() == QLatin1String("5");
    if (products && (!CheckFormulasBeforeSave(this, CGDBGrid) || !Panel_pieces->checkBeforeSave(this)))
        return;
    if (CGQuery->IsOpen()) {
        try {
            // The products and their pieces together, or nothing.
            TransactionScope scope;
            CGQuery->ApplyUpdates();
            if (products)
                Panel_pieces->applyUpdates();
            scope.Commit();
        } catch (const StoreError& e) {
            if (e.kind() != StoreError::Kind::Conflict)
                throw;
            throw StoreError(QStringLiteral("数据已被其他用户修改，本次修改没有保存。请重新查询。"), e.kind());
        }
    }
    if (mode() == QLatin1String("5")) {
        // The bill window looks products up in its own query: read the saved table again.
        auto* goods = Form(kBillForm)->findChild<DataQuery*>(QStringLiteral("ADOQuery_goods"));
        if (!goods)
            throw StoreError(QStringLiteral("找不到控件 ADOQuery_goods"));
        goods->Close();
        goods->SetSql(QStringLiteral("select * from 商品信息 "));
        goods->Open();
    }
}

void TCGForm::Button_formula_testClick() {
    if (mode() == QLatin1String("5"))
        OpenFormulaTest(this, CGQuery);
}

} // namespace kvt
