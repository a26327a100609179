// Pictures of the program for its documentation: on a fresh demo database with its four weeks of
// bills, fills the windows the way a clerk does (two frame bills entered line by line, one of them
// measured and reopened), and saves each window as a PNG and both production sheets as PDF files.
//
//     kvtshots <folder for the PNG files> <folder for the PDF files>
//
// Runs headless (offscreen) unless a platform is chosen. Any message box the windows show along
// the way, and any step that does not end as expected, is reported and fails the run.

#include "app/AppStart.h"
#include "app/DemoBills.h"
#include "app/DemoData.h"
#include "app/MainFormUnit.h"
#include "bill/BillSheets.h"
#include "bill/BillUnit.h"
#include "bill/DoorLineUnit.h"
#include "controls/Dialogs.h"
#include "controls/FormRegistry.h"
#include "controls/PrintSurface.h"
#include "controls/QorControlUnit.h"
#include "controls/QorDBGrid.h"
#include "query/CuttingSheet.h"
#include "query/CuttingTab.h"
#include "query/QueryUnit.h"
#include "refdata/CGFormUnit.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>
#include <functional>

namespace kvt {
namespace {

int g_failures = 0;

void fail(const QString& what) {
    ++g_failures;
    std::fprintf(stderr, "kvtshots: %s\n", qUtf8Printable(what));
}

void expect(bool ok, const QString& what) {
    if (!ok)
        fail(what);
}

/// Message boxes are answered at once: a message is reported (nothing along the road should
/// show one), a question is answered Yes.
class AnsweringDialogs final : public DialogService {
public:
    void message(QWidget*, const QString& text, const QString&, Icon) override {
        fail(QStringLiteral("message box: ") + text);
    }
    bool confirm(QWidget*, const QString&, const QString&) override { return true; }
};

/// The offscreen platform's notes on what it cannot do (raise a window, and so on) are noise here.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QLatin1String("This plugin does not support")) ||
        text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, text)));
}

void settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

void pressKey(QWidget* target, int key, const QString& text = QString()) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &up);
}

void pressEnter(QWidget* target) {
    pressKey(target, Qt::Key_Return);
    settle();
}

int keyOf(QChar ch) {
    if (ch.isDigit())
        return Qt::Key_0 + ch.digitValue();
    return ch.toUpper().unicode();
}

/// Types text, one key at a time, into the widget keyTarget gives for each key (in the grid the
/// first key opens a cell editor, which takes the rest).
void typeVia(const std::function<QWidget*()>& keyTarget, const QString& text) {
    for (QChar ch : text)
        pressKey(keyTarget(), keyOf(ch), QString(ch));
}

void typeInto(QWidget* w, const QString& text) {
    typeVia([w] { return w; }, text);
}

/// The first value of a statement's result, as text.
QString scalar(const QString& statement) {
    DataQuery q;
    q.SetSql(statement);
    q.Open();
    return q.RowCount() ? q.FieldAt(0).asString() : QString();
}

template <class T> T* form(const char* name) {
    auto* w = qobject_cast<T*>(Form(QString::fromLatin1(name)));
    if (!w)
        throw StoreError(QStringLiteral("找不到窗口 %1").arg(QString::fromLatin1(name)));
    return w;
}

TBillForm* bill() {
    return form<TBillForm>("BillForm");
}
TCGForm* selection() {
    return form<TCGForm>("CGForm");
}
TFormQuery* queryWindow() {
    return form<TFormQuery>("FormQuery");
}

/// The widget a key in the bill grid goes to: its open cell editor, or the grid.
QWidget* gridKeyTarget() {
    TQorStringGrid* g = bill()->Grid_Bill;
    if (g->IsEditorOpen())
        for (QLineEdit* e : g->findChildren<QLineEdit*>())
            if (e->isVisible())
                return e;
    return g;
}

/// Types into the current cell of the bill grid and presses Enter there.
void enterInGrid(const QString& text) {
    typeVia(gridKeyTarget, text);
    pressEnter(gridKeyTarget());
}

class Shots {
public:
    Shots(const QString& pictures, const QString& sheets) : m_pictures(pictures), m_sheets(sheets) {}

    void run() {
        m_main = form<TMainForm>("MainForm");
        m_main->show();
        grab(m_main, "main-window");

        enterFirstBill();
        enterSecondBill();
        showBillList();
        checkDemoBillSizes();
        measureFirstBill();
        showGlassList();
        showCuttingList();
        showUnfinishedWork();
        showDoorLeavesNotWorkedOut();
        reopenFirstBillFrames();
        showFreeSql();
        editProducts();
    }

private:
    QString m_pictures, m_sheets;
    TMainForm* m_main = nullptr;
    qint64 m_firstBill = 0; ///< the number the first typed bill was saved under

    void grab(QWidget* w, const char* name) {
        settle();
        expect(w->isVisible(), QStringLiteral("%1: window not shown").arg(QString::fromLatin1(name)));
        const QString file = QDir(m_pictures).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
        if (!w->grab().save(file))
            fail(QStringLiteral("cannot write ") + file);
    }

    void printSheet(const char* name) {
        const BillSnapshot snapshot = bill()->Snapshot();
        const QString file = QDir(m_sheets).filePath(QString::fromLatin1(name) + QStringLiteral(".pdf"));
        PrintJobToPdf(file, [&](PrintSurface& s) { PrintBillSheet(s, snapshot); });
    }

    /// Picks a person in the header box: by custom number (an exact hit goes straight back),
    /// or by part of the name, then the row with that name in the list.
    void pickPerson(QLineEdit* box, const QString& typed, const QString& name, const char* picture = nullptr) {
        box->setFocus();
        typeInto(box, typed);
        pressEnter(box);
        if (box->text() == name)
            return;
        pickFromList(QStringLiteral("客户名"), name, picture);
        expect(box->text() == name, QStringLiteral("picked %1, box shows %2").arg(name, box->text()));
    }

    /// Moves down the selection list to the row whose field holds text, and takes it with Enter.
    void pickFromList(const QString& field, const QString& text, const char* picture) {
        TCGForm* cg = selection();
        expect(cg->isVisible(), QStringLiteral("selection window not shown for %1").arg(text));
        if (picture)
            grab(cg, picture);
        for (int i = 0; i < cg->CGQuery->RowCount() && cg->CGQuery->Field(field).asString() != text; ++i)
            pressKey(cg->CGDBGrid, Qt::Key_Down);
        expect(cg->CGQuery->Field(field).asString() == text, QStringLiteral("%1 not in the list").arg(text));
        pressEnter(cg->CGDBGrid);
    }

    struct FrameLine {
        QString product; ///< a custom number, or part of a name to pick from the list
        QString productName;
        QString glass, width, height, buried, quantity, extra, remark;
    };

    /// One frame line from its number cell to the next line, as typed. An empty extra opens
    /// the door casing line dialog, which is answered with a front casing line of two.
    void enterFrameLine(const FrameLine& line, const char* listPicture = nullptr, const char* dialogPicture = nullptr) {
        TBillForm* b = bill();
        TQorStringGrid* g = b->Grid_Bill;
        const int row = g->Row();
        expect(g->Col() == 1, QStringLiteral("line %1 starts in column %2").arg(row).arg(g->Col()));
        enterInGrid(line.product);
        if (g->Cells(2, row) != line.productName)
            pickFromList(QStringLiteral("商品名称"), line.productName, listPicture);
        expect(g->Cells(2, row) == line.productName,
               QStringLiteral("line %1: product %2, not %3").arg(row).arg(g->Cells(2, row), line.productName));
        expect(g->Col() == 3, QStringLiteral("line %1: product chosen, cursor in column %2").arg(row).arg(g->Col()));
        for (const QString* cell : {&line.glass, &line.width, &line.height, &line.buried})
            enterInGrid(*cell);
        expect(g->Col() == 8, QStringLiteral("line %1: sizes entered, cursor in column %2").arg(row).arg(g->Col()));
        expect(
            g->Cells(7, row).toInt() > 0 && g->Cells(8, row).toInt() > 0,
            QStringLiteral("line %1: sizes not computed (%2 × %3)").arg(row).arg(g->Cells(7, row), g->Cells(8, row)));
        pressEnter(gridKeyTarget());
        enterInGrid(line.quantity);
        if (line.extra.isEmpty()) {
            pressEnter(gridKeyTarget());
            auto* dialog = form<TForm_DoorLine>("Form_DoorLine");
            expect(dialog->isVisible(), QStringLiteral("line %1: door casing dialog not shown").arg(row));
            settle();
            dialog->RadioButton1->click();
            typeInto(dialog->Edit1, QStringLiteral("2"));
            if (dialogPicture)
                grab(dialog, dialogPicture);
            dialog->Button1->click();
            settle();
        } else {
            typeVia(gridKeyTarget, line.extra);
            pressEnter(gridKeyTarget());
        }
        expect(g->Col() == 11, QStringLiteral("line %1: extra done, cursor in column %2").arg(row).arg(g->Col()));
        enterInGrid(line.remark);
    }

    void enterFirstBill() {
        m_main->Button1->click();
        settle();
        TBillForm* b = bill();
        pickPerson(b->EditClient, QStringLiteral("王"), QStringLiteral("王建国"), "selection-pick-client");
        typeInto(b->EditAddress, QStringLiteral("西湖区文三路88号3单元502"));
        pressEnter(b->EditAddress);
        b->DatePicker1->setDate(QDate::currentDate());
        pressEnter(b->focusWidget());
        pickPerson(b->EditSetup_man, QStringLiteral("91"), QStringLiteral("刘师傅"));
        expect(b->Grid_Bill->hasFocus(), QStringLiteral("installer chosen, grid without focus"));

        enterFrameLine({"101", "实木单开门框", "平板", "900", "2100", "20", "1", "", "主卧"}, nullptr,
                       "door-casing-line");
        enterFrameLine({"102", "实木子母门框", "雕花", "1200", "2100", "20", "1", "无", "入户"});
        enterFrameLine({"门框", "铝合金玻璃门框", "长虹玻璃", "800", "2050", "15", "2", "正门线", "厨房、卫生间"},
                       "selection-pick-product");
        grab(b, "bill-new-frame");
        b->ButtonSave->click();
        settle();
        expect(!b->isVisible(), QStringLiteral("first bill not saved"));
        m_firstBill = scalar(QStringLiteral("select max(单据ID) from 历史单据")).toLongLong();
    }

    void enterSecondBill() {
        m_main->Button1->click();
        settle();
        TBillForm* b = bill();
        pickPerson(b->EditClient, QStringLiteral("3"), QStringLiteral("张伟装饰公司"));
        typeInto(b->EditAddress, QStringLiteral("滨江区江南大道1001号"));
        pressEnter(b->EditAddress);
        b->DatePicker1->setDate(QDate::currentDate());
        pressEnter(b->focusWidget());
        pickPerson(b->EditSetup_man, QStringLiteral("92"), QStringLiteral("陈师傅"));
        enterFrameLine({"201", "复合单开门框", "平板", "860", "2080", "10", "3", "无", "次卧"});
        enterFrameLine({"202", "复合推拉门框", "磨砂玻璃", "1500", "2200", "5", "1", "无", "阳台"});
        b->ButtonSave->click();
        settle();
        expect(!b->isVisible(), QStringLiteral("second bill not saved"));
    }

    /// The query window's first tab with every bill listed, the cursor on the given one (else the first).
    void listAllBills(qint64 current = 0) {
        TFormQuery* q = queryWindow();
        if (!q->isVisible())
            m_main->Button3->click();
        q->PageControl1->setCurrentWidget(q->TabSheet1);
        q->Button_query->click();
        settle();
        const int bills = scalar(QStringLiteral("select count(*) from 历史单据")).toInt();
        expect(bills > 2 && q->ADOQuery1->RowCount() == bills,
               QStringLiteral("bill list has %1 rows of %2").arg(q->ADOQuery1->RowCount()).arg(bills));
        if (current > 0)
            expect(q->ADOQuery1->FindRow(QStringLiteral("单据ID"), current),
                   QStringLiteral("bill %1 not listed").arg(current));
        settle();
    }

    void showBillList() {
        listAllBills();
        grab(queryWindow(), "query-bills");
    }

    /// The demo's oldest bill, measured and worked out when it was made, opened as door leaves: the
    /// measured sizes typed again give the door leaves and glass it holds.
    void checkDemoBillSizes() {
        listAllBills(1);
        queryWindow()->Button_load->click();
        settle();
        TBillForm* b = bill();
        TQorStringGrid* g = b->Grid_Bill;
        expect(b->isVisible() && g->RowCount() > 1, QStringLiteral("demo bill 1 not opened as door leaves"));
        g->setFocus();
        for (int r = 1; r < g->RowCount(); ++r) {
            QStringList stored;
            for (int c = 7; c <= 12; ++c)
                stored << g->Cells(c, r);
            g->SetCurrentCell(7, r);
            enterInGrid(stored[0]);
            enterInGrid(stored[1]);
            QStringList computed;
            for (int c = 7; c <= 12; ++c)
                computed << g->Cells(c, r);
            expect(computed == stored, QStringLiteral("demo bill 1, line %1: stored %2, the window computes %3")
                                           .arg(r)
                                           .arg(stored.join(QLatin1Char(' ')), computed.join(QLatin1Char(' '))));
        }
        b->ButtonExit->click();
        settle();
        expect(!b->isVisible(), QStringLiteral("demo bill 1 not closed"));
    }

    /// Opens the first bill as door leaves, enters the measured openings, prints and saves.
    void measureFirstBill() {
        listAllBills(m_firstBill);
        queryWindow()->Button_load->click();
        settle();
        TBillForm* b = bill();
        TQorStringGrid* g = b->Grid_Bill;
        expect(b->isVisible() && b->LabelbillType->text() == QLatin1String("2") && g->RowCount() == 4,
               QStringLiteral("door-leaf view not opened"));
        const char* measured[][2] = {{"905", "2112"}, {"1206", "2110"}, {"804", "2058"}};
        g->setFocus();
        for (int r = 1; r < g->RowCount() && r <= 3; ++r) {
            g->SetCurrentCell(7, r);
            enterInGrid(QString::fromLatin1(measured[r - 1][0]));
            enterInGrid(QString::fromLatin1(measured[r - 1][1]));
            expect(g->Cells(9, r).toInt() > 0 && g->Cells(10, r).toInt() > 0,
                   QStringLiteral("line %1: door leaf not computed").arg(r));
        }
        grab(b, "bill-door-leaf");
        printSheet("sheet-door-leaf");
        b->ButtonSave->click();
        settle();
        expect(!b->isVisible(), QStringLiteral("door leaves not saved"));
    }

    /// The glass order list of every bill, after the first bill's door leaves and glass were worked out.
    void showGlassList() {
        TFormQuery* q = queryWindow();
        if (!q->isVisible())
            m_main->Button3->click();
        q->PageControl1->setCurrentWidget(q->TabSheet4);
        q->glass_list_Button->click();
        settle();
        expect(q->ADOQuery1->RowCount() >= 2, QStringLiteral("glass list has %1 rows").arg(q->ADOQuery1->RowCount()));
        grab(q, "query-glass");
    }

    /// The cutting list of every bill on the tab 下料单 after 计算, and its printed plan.
    void showCuttingList() {
        TFormQuery* q = queryWindow();
        q->PageControl1->setCurrentWidget(q->CuttingTab);
        q->CheckBox__add_date->setChecked(false);
        q->CuttingTab->Button_cut_calc->click();
        while (q->CuttingTab->calculating())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        settle();
        const auto& plan = q->CuttingTab->plan();
        expect(plan && !plan->materials.empty(), QStringLiteral("cutting list has no materials"));
        grab(q, "query-cutting");
        const QString file = QDir(m_sheets).filePath(QStringLiteral("cutting-plan.pdf"));
        PrintJobToPdf(
            file, [&](PrintSurface& s) { PrintCuttingPlan(s, *plan, QDate::currentDate()); },
            PrintSurface::Orientation::Landscape);
    }

    void showUnfinishedWork() {
        TFormQuery* q = queryWindow();
        q->PageControl1->setCurrentWidget(q->TabSheet2);
        q->no_liang_query_Button->click();
        settle();
        const int open = scalar(QStringLiteral("select count(*) from 单据明细 where 现量宽=0 and 见光宽<>0")).toInt();
        expect(open > 2 && q->ADOQuery1->RowCount() == open,
               QStringLiteral("%1 frames listed as not measured, of %2").arg(q->ADOQuery1->RowCount()).arg(open));
        grab(q, "query-unfinished");
    }

    /// Openings measured whose door leaves are not worked out: the demo's 垭口套, which have none.
    void showDoorLeavesNotWorkedOut() {
        TFormQuery* q = queryWindow();
        q->PageControl1->setCurrentWidget(q->TabSheet2);
        q->no_door_Button->click();
        settle();
        expect(q->ADOQuery1->RowCount() > 0, QStringLiteral("no door leaves listed as not worked out"));
        grab(q, "query-door-leaves");
    }

    void reopenFirstBillFrames() {
        listAllBills(m_firstBill);
        queryWindow()->Button_kuang_load->click();
        settle();
        TBillForm* b = bill();
        expect(b->isVisible() && b->LabelbillType->text() == QLatin1String("3") && b->Grid_Bill->RowCount() == 4,
               QStringLiteral("frame view not opened"));
        grab(b, "bill-frame");
        printSheet("sheet-frame");
        b->ButtonExit->click();
        settle();
    }

    void showFreeSql() {
        TFormQuery* q = queryWindow();
        q->PageControl1->setCurrentWidget(q->TabSheet3);
        q->Edit1->setFocus();
        typeInto(q->Edit1, QStringLiteral("select 自定义编号,商品名称,外框宽公式,外框高公式 from 商品信息"));
        q->Button_exSQL->click();
        settle();
        expect(q->ADOQuery1->RowCount() == 6,
               QStringLiteral("free statement gave %1 rows").arg(q->ADOQuery1->RowCount()));
        grab(q, "query-sql");
        q->Button_exit->click();
    }

    void editProducts() {
        m_main->Button4->click();
        settle();
        TCGForm* cg = selection();
        pressEnter(cg->Edit_Find);
        expect(cg->CGQuery->RowCount() == 6, QStringLiteral("product editing lists %1").arg(cg->CGQuery->RowCount()));
        // The solid wood frame, whose pieces show under the list.
        expect(cg->CGQuery->FindRow(QStringLiteral("商品名称"), QStringLiteral("实木单开门框")),
               QStringLiteral("no solid wood frame"));
        grab(cg, "selection-edit-products");
        cg->Button_exit->click();
        settle();
    }
};

} // namespace
} // namespace kvt

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kvtshots <folder for pictures> <folder for sheets>\n");
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(kvt::quietHandler);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    kvt::InstallFontSubstitutions();
    const QString pictures = QString::fromLocal8Bit(argv[1]);
    const QString sheets = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(pictures);
    QDir().mkpath(sheets);

    QTemporaryDir dir;
    kvt::AnsweringDialogs dialogs;
    kvt::DialogService::setInstance(&dialogs);
    try {
        const QString db = dir.filePath(QStringLiteral("kvt.db"));
        kvt::Database::Open(db);
        kvt::SeedDemoData();
        kvt::SeedDemoBills(QDate::currentDate());
        kvt::Database::Close();
        kvt::CreateForms(db);
        kvt::Shots(pictures, sheets).run();
    } catch (const std::exception& e) {
        kvt::fail(QString::fromUtf8(e.what()));
    }
    kvt::DestroyForms();
    kvt::DialogService::setInstance(nullptr);
    return kvt::g_failures ? 1 : 0;
}
