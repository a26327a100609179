// One bill on its whole way through the real windows, in the order a clerk works: a new frame
// bill entered from the main window, saved, found again in the query window, measured in the
// door-leaf view, reworked in the frame view, printed and exported. The steps share one
// database and run in order; each checks what the windows show and what the file holds.

#include "app/AppStart.h"
#include "controls/FormRegistry.h"
#include "controls/PrintSurface.h"
#include "controls/QorControlUnit.h"
#include "controls/QorDBGrid.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "support/FakeDialogs.h"
#include "support/PdfWords.h"
#include "support/PrintPreview.h"
#include "support/QueryText.h"
#include "support/RecordingSink.h"
#include "support/TestDatabase.h"
#include "support/UrlOpenRecorder.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <memory>

using namespace kvt;
using test::Scalar;

namespace {

QWidget* mainForm() {
    return Form(QStringLiteral("MainForm"));
}
QWidget* bill() {
    return Form(QStringLiteral("BillForm"));
}
QWidget* cg() {
    return Form(QStringLiteral("CGForm"));
}
QWidget* query() {
    return Form(QStringLiteral("FormQuery"));
}
QWidget* doorLine() {
    return Form(QStringLiteral("Form_DoorLine"));
}
template <class T> T* in(QWidget* form, const char* name) {
    T* c = Control<T>(form, QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s in %s", name, qPrintable(form->objectName()));
    return c;
}
TQorStringGrid* grid() {
    return in<TQorStringGrid>(bill(), "Grid_Bill");
}
QString label(QWidget* form, const char* name) {
    return in<QLabel>(form, name)->text();
}
void click(QWidget* form, const char* button) {
    QTest::mouseClick(in<QPushButton>(form, button), Qt::LeftButton);
}

/// Rows of a statement as lists of texts, one list per row, fields as named.
QList<QStringList> rows(const QString& statement, const QStringList& fields) {
    DataQuery q;
    q.SetSql(statement);
    q.Open();
    QList<QStringList> out;
    for (int r = 1; r <= q.RowCount(); ++r) {
        QStringList row;
        for (const QString& f : fields)
            row << q.TextAt(r, q.FieldIndex(f));
        out << row;
    }
    return out;
}
/// Types a text key by key; characters beyond ASCII arrive as key events carrying their text,
/// as an input method delivers them.
void typeKeys(QWidget* w, const QString& text) {
    for (QChar ch : text) {
        if (ch.unicode() < 128)
            QTest::keyClicks(w, QString(ch));
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

/// What keys go to in the bill grid: its open cell editor, or the grid itself.
QWidget* gridKeys() {
    if (grid()->IsEditorOpen())
        for (QLineEdit* e : grid()->findChildren<QLineEdit*>())
            if (e->isVisible())
                return e;
    return grid();
}
void enterInGrid() {
    QTest::keyClick(gridKeys(), Qt::Key_Return);
}
/// Types into the current cell as the user does: the first key replaces what the cell held.
void typeInGrid(const QString& text) {
    for (QChar ch : text)
        typeKeys(gridKeys(), QString(ch));
}
/// Types a value into the current cell and presses Enter.
void typeEnter(const QString& text) {
    typeInGrid(text);
    enterInGrid();
}
/// The row of the bill grid, columns 1 to the last, as texts.
QStringList gridRow(int r) {
    QStringList out;
    for (int c = 1; c < grid()->ColCount(); ++c)
        out << grid()->Cells(c, r);
    return out;
}
QString cellUnder(const QString& title, int r) {
    for (int c = 1; c < grid()->ColCount(); ++c)
        if (grid()->Cells(c, 0) == title)
            return grid()->Cells(c, r);
    return QStringLiteral("<no column %1>").arg(title);
}

/// Clicks the row of the query window's result that shows the bill, as the user picks it.
bool clickBillInList(const QString& billId) {
    auto* list = in<TQorDBGrid>(query(), "QorDBGridQuery");
    DataQuery* q = query()->findChild<DataQuery*>(QStringLiteral("ADOQuery1"));
    const int idColumn = q->FieldIndex(QStringLiteral("单据ID"));
    for (int r = 1; r <= q->RowCount(); ++r) {
        if (q->TextAt(r, idColumn) != billId)
            continue;
        const QModelIndex cell = list->model()->index(r - 1, 0);
        list->scrollTo(cell);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(cell).center());
        return q->CurrentRow() == r;
    }
    return false;
}

/// Presses a print button of a window and prints from the preview it shows into a PDF file.
QString printThroughPreview(QWidget* form, const char* button, const QString& pdf) {
    return test::PrintThroughPreview(in<QPushButton>(form, button), pdf);
}

const QStringList kFrameTitles = {"编号", "商品名称", "玻璃款式", "见光宽",   "见光高", "埋地",
                                  "总宽", "总高",     "数量",     "门框附加", "备注",   "商品ID"};
const QStringList kLineFields = {"商品ID",   "玻璃款式", "见光宽",   "见光高",   "埋地",   "门框总宽",
                                 "门框总高", "数量",     "门框附加", "门框备注", "现量宽", "现量高",
                                 "门扇宽",   "门扇高",   "玻璃宽",   "玻璃高"};

} // namespace

class TestRoad : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<test::FakeDialogs> m_dialogs;
    QString m_billId;
    QString m_clientId, m_installerId;
    QMap<QString, QString> m_productId; // by custom number

    QString linesSql() const {
        return QStringLiteral("select * from 单据明细 where 单据ID=%1 order by 门框ID").arg(m_billId);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_dir.path()));
        QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN"));
        m_dialogs = std::make_unique<test::FakeDialogs>();
        CreateForms(test::FreshDatabaseFor(m_dir.filePath(QStringLiteral("kvt.db"))));
        // On a server the main window says which database takes the bills; on a file it is as ever.
        const QString title = Form(QStringLiteral("MainForm"))->windowTitle();
        if (test::OnServer())
            QVERIFY2(title.startsWith(QStringLiteral("主窗口 - 服务器 ")) && title.contains(QStringLiteral("用户 ")),
                     qPrintable(title));
        else
            QCOMPARE(title, QStringLiteral("主窗口"));

        TransactionScope seed;
        struct Product {
            const char *number, *name, *width, *height, *leafWidth, *leafHeight, *glassWidth, *glassHeight;
        };
        // 201 has no door-leaf formulas: its leaf sizes are never computed.
        const Product products[] = {
            {"101", "实木单开门框", "\"见光宽\"+40", "\"见光高\"+\"埋地\"+20", "\"现量宽\"-6", "\"现量高\"-10",
             "\"现量宽\"-200", "(\"现量高\"-10)/2"},
            {"102", "实木子母门框", "\"见光宽\"+60", "\"见光高\"+\"埋地\"+30", "(\"现量宽\"-10)/2", "\"现量高\"-8",
             "(\"现量宽\"-10)/2-150", "\"现量高\"-8-400"},
            {"201", "复合单开门框", "\"见光宽\"+45.5", "\"见光高\"+\"埋地\"", "", "", "", ""},
            {"301", "铝合金门框", "\"见光宽\"", "\"见光高\"", "", "", "", ""},
        };
        for (const Product& p : products) {
            Database::Exec(QStringLiteral("insert into 商品信息 (自定义编号,商品名称,商品说明,外框宽公式,外框高公式,"
                                          "门扇宽公式,门扇高公式,门扇玻璃宽公式,门扇玻璃高公式) values "
                                          "(%1,%2,\"\",%3,%4,%5,%6,%7,%8)")
                               .arg(SqlText(QString::fromUtf8(p.number)), SqlText(QString::fromUtf8(p.name)),
                                    SqlText(QString::fromUtf8(p.width)), SqlText(QString::fromUtf8(p.height)),
                                    SqlText(QString::fromUtf8(p.leafWidth)), SqlText(QString::fromUtf8(p.leafHeight)),
                                    SqlText(QString::fromUtf8(p.glassWidth)),
                                    SqlText(QString::fromUtf8(p.glassHeight))));
            m_productId[QString::fromUtf8(p.number)] = Scalar(
                QStringLiteral("select 商品ID from 商品信息 where 自定义编号=") + SqlText(QString::fromUtf8(p.number)));
        }
        const char* people[][2] = {
            {"1", "王建国"}, {"2", "李秀英"}, {"11", "王建华"}, {"91", "刘师傅"}, {"92", "刘小军"}};
        for (auto& p : people)
            Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (%1,%2)")
                               .arg(SqlText(QString::fromUtf8(p[0])), SqlText(QString::fromUtf8(p[1]))));
        m_clientId = Scalar(QStringLiteral("select 客户ID from 客户信息 where 客户名=\"王建国\""));
        m_installerId = Scalar(QStringLiteral("select 客户ID from 客户信息 where 客户名=\"刘师傅\""));
        // An earlier bill of another client, so the query window lists more than ours.
        Database::Exec(
            QStringLiteral("insert into 历史单据 (单据ID,客户ID,客户地址,单据日期,安装人员ID,安装人员) values "
                           "(1,%1,\"西街2号\",#2020-05-06#,%2,\"刘师傅\")")
                .arg(Scalar(QStringLiteral("select 客户ID from 客户信息 where 客户名=\"李秀英\"")), m_installerId));
        Database::Exec(
            QStringLiteral("insert into 单据明细 (单据ID,商品ID,见光宽,见光高,数量) values (1,%1,700,1900,1)")
                .arg(m_productId["101"]));
        Database::Exec(QStringLiteral("update 系统设置 set 值=27 where ID=\"历史单据ID\""));
        seed.Commit();
        mainForm()->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainForm()));
    }
    void cleanupTestCase() {
        DestroyForms();
        m_dialogs.reset();
    }
    void cleanup() {
        // No step of the road may end in an error message.
        QCOMPARE(m_dialogs->messages, QStringList());
    }

    void newFrameBill() {
        click(mainForm(), "Button1");
        QVERIFY(QTest::qWaitForWindowActive(bill()));
        QCOMPARE(label(bill(), "LabelbillType"), QStringLiteral("1"));
        QCOMPARE(label(bill(), "LabelBillClass"), QStringLiteral("门框生产排单"));
        QCOMPARE(in<QLineEdit>(bill(), "EditBill_id")->text(), QStringLiteral("27"));
        QCOMPARE(in<QDateEdit>(bill(), "DatePicker1")->date(), QDate::currentDate());
        QCOMPARE(grid()->ColCount(), 13);
        QCOMPARE(grid()->RowCount(), 11);
        QCOMPARE(gridRow(0), kFrameTitles);
        QCOMPARE(QApplication::focusWidget(), in<QLineEdit>(bill(), "EditClient"));
        for (const char* off : {"Button_del_bill", "Button_add_new", "Button_dele"})
            QVERIFY2(!in<QPushButton>(bill(), off)->isEnabled(), off);
        m_billId = QStringLiteral("27");
    }

    void clientByNumberInstallerByName() {
        // The client's custom number hands the client back at once.
        auto* client = in<QLineEdit>(bill(), "EditClient");
        QTest::keyClicks(client, QStringLiteral("1"));
        QTest::keyClick(client, Qt::Key_Return);
        QVERIFY(!cg()->isVisible());
        QCOMPARE(client->text(), QStringLiteral("王建国"));
        QCOMPARE(label(bill(), "LabelClentID"), m_clientId);
        auto* address = in<QLineEdit>(bill(), "EditAddress");
        QCOMPARE(QApplication::focusWidget(), address);

        typeKeys(address, QStringLiteral("东街1号3单元"));
        QTest::keyClick(address, Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // through the date

        // Part of the installer's name lists the two matches; the user takes the first.
        auto* installer = in<QLineEdit>(bill(), "EditSetup_man");
        QCOMPARE(QApplication::focusWidget(), installer);
        installer->setText(QStringLiteral("刘"));
        QTest::keyClick(installer, Qt::Key_Return);
        QVERIFY(cg()->isVisible());
        QCOMPARE(label(cg(), "LabelModol"), QStringLiteral("2"));
        auto* list = in<TQorDBGrid>(cg(), "CGDBGrid");
        DataQuery* found = cg()->findChild<DataQuery*>(QStringLiteral("CGQuery"));
        QCOMPARE(found->RowCount(), 2);
        QCOMPARE(found->TextAt(1, found->FieldIndex(QStringLiteral("客户名"))), QStringLiteral("刘小军"));
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(!cg()->isVisible());
        QCOMPARE(installer->text(), QStringLiteral("刘师傅"));
        QCOMPARE(label(bill(), "Label_setup_man_id"), m_installerId);
        QCOMPARE(grid()->Col(), 1);
        QCOMPARE(grid()->Row(), 1);
    }

    // Three lines whose products are picked by number; the sizes come from the formulas as the
    // cursor passes their trigger columns.
    void threeLines_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QStringList>("typed"); // 玻璃款式, 见光宽, 见光高, 埋地, 总高 (empty: as computed), 数量
        QTest::addColumn<QStringList>("expected"); // the whole row after the remark
        const QString e;
        QTest::newRow("line 1") << 1 << "101" << QStringList{"磨砂", "900", "2000", "20", "", "2"}
                                << QStringList{"101",  "实木单开门框", "磨砂", "900",
                                               "2000", "20",           "940",  "2040",
                                               "2",    "正门线加2斗",  "左开", m_productId.value("101")};
        QTest::newRow("line 2") << 2 << "102" << QStringList{"平板", "1200", "2100", "15", "", "1"}
                                << QStringList{"102",  "实木子母门框", "平板", "1200",
                                               "2100", "15",           "1260", "2145",
                                               "1",    "无",           "子母", m_productId.value("102")};
        // 800 + 45.5 rounds to the even 846; no buried depth computes no height, the clerk types it.
        QTest::newRow("line 3") << 3 << "201" << QStringList{"长虹", "800", "1950", "0", "1950", "3"}
                                << QStringList{"201", "复合单开门框", "长虹", "800", "1950", "0",
                                               "846", "1950",         "3",    "无",  "厨房", m_productId.value("201")};
    }
    void threeLines() {
        QFETCH(int, row);
        QFETCH(QString, number);
        QFETCH(QStringList, typed);
        QFETCH(QStringList, expected);
        QCOMPARE(grid()->Row(), row);
        QCOMPARE(grid()->Col(), 1);
        grid()->setFocus();
        typeEnter(number);
        QVERIFY(!cg()->isVisible());
        QCOMPARE(grid()->Col(), 3);
        QCOMPARE(grid()->Cells(9, row), QStringLiteral("1")); // the product's defaults
        typeEnter(typed[0]);                                  // 玻璃款式
        typeEnter(typed[1]);                                  // 见光宽: 总宽 computed
        QCOMPARE(grid()->Col(), 5);
        typeEnter(typed[2]); // 见光高
        typeEnter(typed[3]); // 埋地: 总高 computed, 总宽 passed over
        QCOMPARE(grid()->Col(), 8);
        if (typed[4].isEmpty())
            enterInGrid();
        else
            typeEnter(typed[4]);
        typeEnter(typed[5]);
        QCOMPARE(grid()->Col(), 10);

        // 门框附加 holds the default space: Enter opens the door casing line dialog.
        enterInGrid();
        QVERIFY(QTest::qWaitForWindowActive(doorLine()));
        QCOMPARE(grid()->Col(), 11);
        if (row == 1) {
            QTest::mouseClick(in<QRadioButton>(doorLine(), "RadioButton1"), Qt::LeftButton);
            auto* count = in<QLineEdit>(doorLine(), "Edit1");
            QTest::keyClicks(count, QStringLiteral("2"));
            QTest::keyClick(count, Qt::Key_Return);
        } else {
            click(doorLine(), "Button1");
        }
        QVERIFY(!doorLine()->isVisible());
        bill()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(bill()));
        grid()->setFocus();
        typeEnter(expected[10]); // 备注, then on to the next row
        QCOMPARE(gridRow(row), expected);
        QCOMPARE(grid()->Row(), row + 1);
        QCOMPARE(grid()->Col(), 1);
    }

    void saveNewBill() {
        click(bill(), "ButtonSave");
        QVERIFY(!bill()->isVisible());
        QCOMPARE(label(bill(), "LabelbillType"), QString()); // the close emptied the window
        QCOMPARE(Scalar(QStringLiteral("select 值 from 系统设置 where ID=\"历史单据ID\"")), QStringLiteral("28"));
        const QStringList header = {"客户ID", "客户地址", "单据日期", "安装人员ID", "安装人员"};
        QCOMPARE(rows(QStringLiteral("select * from 历史单据 where 单据ID=27"), header),
                 QList<QStringList>({{m_clientId, "东街1号3单元", QDate::currentDate().toString(Qt::ISODate),
                                      m_installerId, "刘师傅"}}));
        QCOMPARE(rows(linesSql(), kLineFields),
                 QList<QStringList>({{m_productId["101"], "磨砂", "900", "2000", "20", "940", "2040", "2",
                                      "正门线加2斗", "左开", "0", "0", "0", "0", "0", "0"},
                                     {m_productId["102"], "平板", "1200", "2100", "15", "1260", "2145", "1", "无",
                                      "子母", "0", "0", "0", "0", "0", "0"},
                                     {m_productId["201"], "长虹", "800", "1950", "0", "846", "1950", "3", "无", "厨房",
                                      "0", "0", "0", "0", "0", "0"}}));
    }

    void queryWindowListsBill() {
        click(mainForm(), "Button3");
        QVERIFY(QTest::qWaitForWindowActive(query()));
        // Today's bills only.
        in<QCheckBox>(query(), "CheckBox__add_date")->setChecked(true);
        in<QDateEdit>(query(), "DateTimePicker1")->setDate(QDate::currentDate());
        in<QDateEdit>(query(), "DateTimePicker2")->setDate(QDate::currentDate());
        click(query(), "Button_query");
        DataQuery* q = query()->findChild<DataQuery*>(QStringLiteral("ADOQuery1"));
        QCOMPARE(q->RowCount(), 1);
        QCOMPARE(q->Field(QStringLiteral("客户名")).asString(), QStringLiteral("王建国"));
        // And all bills, ours among them.
        in<QCheckBox>(query(), "CheckBox__add_date")->setChecked(false);
        click(query(), "Button_query");
        QCOMPARE(q->RowCount(), 2);

        // The frames nobody measured yet: ours, all three lines.
        click(query(), "no_liang_query_Button");
        QCOMPARE(label(query(), "query_modle_Label"), QStringLiteral("3"));
        QCOMPARE(rows(q->Sql(), {"单据ID"}).count(QStringList{"27"}), 3);
    }

    void doorLeafView() {
        click(query(), "Button_query");
        QVERIFY(clickBillInList(m_billId));
        click(query(), "Button_load");
        QVERIFY(QTest::qWaitForWindowActive(bill()));
        QCOMPARE(label(bill(), "LabelbillType"), QStringLiteral("2"));
        QCOMPARE(label(bill(), "LabelBillClass"), QStringLiteral("---门扇生产排单---"));
        QCOMPARE(in<QLineEdit>(bill(), "EditBill_id")->text(), m_billId);
        QCOMPARE(in<QLineEdit>(bill(), "EditClient")->text(), QStringLiteral("王建国"));
        QCOMPARE(in<QLineEdit>(bill(), "EditSetup_man")->text(), QStringLiteral("刘师傅"));
        QCOMPARE(in<QLineEdit>(bill(), "EditAddress")->text(), QStringLiteral("东街1号3单元"));
        QCOMPARE(grid()->ColCount(), 19);
        QCOMPARE(grid()->RowCount(), 4);
        QCOMPARE(cellUnder(QStringLiteral("商品名称"), 2), QStringLiteral("实木子母门框"));
        QCOMPARE(cellUnder(QStringLiteral("门框总宽"), 3), QStringLiteral("846"));
        QCOMPARE(cellUnder(QStringLiteral("门框附加"), 1), QStringLiteral("正门线加2斗"));
    }

    // Measured sizes give the door-leaf and glass sizes; halves round to even.
    void measuredSizes_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QStringList>("sizes"); // 门扇宽, 门扇高, 玻璃宽, 玻璃高
        QTest::newRow("line 1") << 1 << "880"
                                << "2015" << QStringList{"874", "2005", "680", "1002"};
        QTest::newRow("line 2") << 2 << "1185"
                                << "2090" << QStringList{"588", "2082", "438", "1682"};
        QTest::newRow("no leaf formulas") << 3 << "790"
                                          << "1940" << QStringList{"0", "0", "0", "0"};
    }
    void measuredSizes() {
        QFETCH(int, row);
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(QStringList, sizes);
        QVERIFY(grid()->SetCurrentCell(7, row)); // a click on 现量宽
        grid()->setFocus();
        typeEnter(width);
        QCOMPARE(grid()->Col(), 8);
        typeEnter(height);
        QCOMPARE(grid()->Col(), 9);
        QCOMPARE(QStringList(
                     {grid()->Cells(9, row), grid()->Cells(10, row), grid()->Cells(11, row), grid()->Cells(12, row)}),
                 sizes);
    }

    void saveDoorLeaves() {
        click(bill(), "ButtonSave");
        QVERIFY(!bill()->isVisible());
        QCOMPARE(rows(linesSql(), kLineFields),
                 QList<QStringList>({{m_productId["101"], "磨砂", "900", "2000", "20", "940", "2040", "2",
                                      "正门线加2斗", "左开", "880", "2015", "874", "2005", "680", "1002"},
                                     {m_productId["102"], "平板", "1200", "2100", "15", "1260", "2145", "1", "无",
                                      "子母", "1185", "2090", "588", "2082", "438", "1682"},
                                     {m_productId["201"], "长虹", "800", "1950", "0", "846", "1950", "3", "无", "厨房",
                                      "790", "1940", "0", "0", "0", "0"}}));
        // Measured now: the query for unmeasured frames no longer finds our lines.
        click(query(), "no_liang_query_Button");
        QCOMPARE(rows(query()->findChild<DataQuery*>(QStringLiteral("ADOQuery1"))->Sql(), {"单据ID"})
                     .count(QStringList{"27"}),
                 0);
    }

    // The frame view: line 3 deleted, a new line for product 301 added, the header changed.
    void frameViewRework() {
        click(query(), "Button_query");
        QVERIFY(clickBillInList(m_billId));
        click(query(), "Button_kuang_load");
        QVERIFY(QTest::qWaitForWindowActive(bill()));
        QCOMPARE(label(bill(), "LabelbillType"), QStringLiteral("3"));
        QCOMPARE(label(bill(), "LabelBillClass"), QStringLiteral("门框生产排单"));
        QCOMPARE(grid()->ColCount(), 14);
        QCOMPARE(grid()->RowCount(), 4);
        QCOMPARE(grid()->Cells(13, 0), QStringLiteral("门框ID"));
        QCOMPARE(gridRow(3).mid(0, 12), (QStringList{"201", "复合单开门框", "长虹", "800", "1950", "0", "846", "1950",
                                                     "3", "无", "厨房", m_productId["201"]}));
        const QString keptKeys = grid()->Cells(13, 1) + QLatin1Char(',') + grid()->Cells(13, 2);

        QVERIFY(grid()->SetCurrentCell(4, 3));
        m_dialogs->answers = {true};
        click(bill(), "Button_dele");
        QCOMPARE(m_dialogs->questions, QStringList{"确认要删除这条记录吗？"});
        QCOMPARE(grid()->RowCount(), 3);

        click(bill(), "Button_add_new");
        QCOMPARE(grid()->RowCount(), 4);
        QCOMPARE(grid()->Row(), 3);
        QCOMPARE(grid()->Col(), 1);
        typeEnter(QStringLiteral("301"));
        QVERIFY(!cg()->isVisible());
        QCOMPARE(grid()->Cells(2, 3), QStringLiteral("铝合金门框"));
        typeEnter(QStringLiteral("玻璃"));
        typeEnter(QStringLiteral("750"));
        typeEnter(QStringLiteral("1900"));
        typeEnter(QStringLiteral("10"));
        QCOMPARE(gridRow(3).mid(0, 12), (QStringList{"301", "铝合金门框", "玻璃", "750", "1900", "10", "750", "1900",
                                                     "1", " ", " ", m_productId["301"]}));
        in<QLineEdit>(bill(), "EditAddress")->setText(QStringLiteral("东街1号4单元"));

        click(bill(), "ButtonSave");
        QVERIFY(!bill()->isVisible());
        QCOMPARE(Scalar(QStringLiteral("select 客户地址 from 历史单据 where 单据ID=27")),
                 QStringLiteral("东街1号4单元"));
        QCOMPARE(Scalar(QStringLiteral("select 值 from 系统设置 where ID=\"历史单据ID\"")), QStringLiteral("28"));
        const QList<QStringList> lines = rows(linesSql(), QStringList{"门框ID"} + kLineFields);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0][0] + QLatin1Char(',') + lines[1][0], keptKeys);
        // The kept lines keep their measured and door-leaf sizes; the new one has the defaults.
        QCOMPARE(lines[0].mid(1), (QStringList{m_productId["101"], "磨砂", "900", "2000", "20", "940", "2040", "2",
                                               "正门线加2斗", "左开", "880", "2015", "874", "2005", "680", "1002"}));
        QCOMPARE(lines[2].mid(1), (QStringList{m_productId["301"], "玻璃", "750", "1900", "10", "750", "1900", "1", " ",
                                               " ", "0", "0", "0", "0", "0", "0"}));
        QCOMPARE(Scalar(QStringLiteral("select count(*) from 单据明细 where 商品ID=%1").arg(m_productId["201"])),
                 QStringLiteral("0"));
        // The earlier bill is untouched.
        QCOMPARE(Scalar(QStringLiteral("select count(*) from 单据明细 where 单据ID=1")), QStringLiteral("1"));
    }

    // Both production sheets through the print command into PDF files, read back as text.
    void sheetsToPdf_data() {
        QTest::addColumn<QString>("button"); // the query window's load
        QTest::addColumn<QStringList>("words");
        const QStringList header = {"单据编号:27", "客户名称:王建国", "安装人员:刘师傅", "送货地址:东街1号4单元",
                                    "单据日期:" + QDate::currentDate().toString(Qt::ISODate)};
        QTest::newRow("frame sheet") << "Button_kuang_load"
                                     << header + QStringList{"门框生产排单", "实木单开门框", "900×2000",   "940×2040",
                                                             "正门线加2斗",  "1260×2145",    "铝合金门框", "750×1900"};
        QTest::newRow("door-leaf sheet") << "Button_load"
                                         << header + QStringList{"---门扇生产排单---", "实木子母门框", "880×2015",
                                                                 "874×2005",           "680×1002",     "1185×2090",
                                                                 "588×2082",           "438×1682"};
    }
    void sheetsToPdf() {
        QFETCH(QString, button);
        QFETCH(QStringList, words);
        click(query(), "Button_query");
        QVERIFY(clickBillInList(m_billId));
        click(query(), button.toLatin1().constData());
        QVERIFY(QTest::qWaitForWindowActive(bill()));
        const QString pdf = m_dir.filePath(button + QStringLiteral(".pdf"));
        const QString title = printThroughPreview(bill(), "ButtonPrint", pdf);
        QVERIFY2(!title.startsWith(QStringLiteral("no ")), qPrintable(title));
        QVERIFY(QFileInfo(pdf).size() > 0);
        const QList<test::PdfWord> printed = test::PdfWords(pdf);
        QStringList all;
        for (const test::PdfWord& w : printed)
            all << w.text;
        for (const QString& w : words)
            QVERIFY2(test::FindWord(printed, w),
                     qPrintable(w + QStringLiteral(" not in: ") + all.join(QLatin1Char(' '))));
        QVERIFY(!all.contains(QStringLiteral("复合单开门框"))); // the deleted line
        click(bill(), "ButtonExit");
        QVERIFY(!bill()->isVisible());
    }

    // The query window's list on paper: the columns the grid shows, in its order, every bill.
    void queryPrint() {
        click(query(), "Button_query");
        const QString pdf = m_dir.filePath(QStringLiteral("list.pdf"));
        QCOMPARE(printThroughPreview(query(), "print_Button", pdf), QStringLiteral("打印预览"));
        const QList<test::PdfWord> printed = test::PdfWords(pdf);
        QStringList all;
        for (const test::PdfWord& w : printed)
            all << w.text;
        for (const char* word : {"清单", "王建国", "东街1号4单元", "李秀英", "西街2号", "第1页"})
            QVERIFY2(all.contains(QString::fromUtf8(word)), qPrintable(all.join(QLatin1Char(' '))));
        for (const char* hidden : {"安装人员ID", "客户电话", "客户备注"})
            QVERIFY2(!all.contains(QString::fromUtf8(hidden)), hidden);
        const auto date = test::FindWord(printed, QStringLiteral("单据日期"));
        const auto name = test::FindWord(printed, QStringLiteral("客户名"));
        const auto address = test::FindWord(printed, QStringLiteral("客户地址"));
        QVERIFY(date && name && address);
        QVERIFY(date->xMm < name->xMm && name->xMm < address->xMm);
        // The older bill first, as the list is ordered by date.
        QVERIFY(test::FindWord(printed, QStringLiteral("李秀英"))->yMm <
                test::FindWord(printed, QStringLiteral("王建国"))->yMm);
    }

    // The query result into a workbook: every bill of the list, our client's name among them.
    void queryExport() {
        click(query(), "Button_query");
        test::UrlOpenRecorder opener;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
        click(query(), "send_excel_Button");
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(opener.opened.size(), 1);
        QString error;
        const test::RecordingSink book = test::ReadWorkbook(opener.opened[0].toLocalFile(), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QStringList texts;
        for (auto it = book.cells.cbegin(); it != book.cells.cend(); ++it)
            texts << it->value.toString();
        QVERIFY(texts.contains(QStringLiteral("王建国")));
        QVERIFY(texts.contains(QStringLiteral("东街1号4单元")));
        QVERIFY(texts.contains(QStringLiteral("李秀英")));
    }
};

QTEST_MAIN(TestRoad)
#include "test_road.moc"
