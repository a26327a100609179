// The glass order list on the query window's fourth tab, driven through the real window over
// bills with several glass styles and sizes, unfinished lines and bills outside the date range;
// its printout read back from a PDF, its export from the workbook.

#include "app/AppStart.h"
#include "controls/FormRegistry.h"
#include "controls/PrintSurface.h"
#include "controls/QorControlUnit.h"
#include "controls/QorDBGrid.h"
#include "query/QueryUnit.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "support/FakeDialogs.h"
#include "support/PdfWords.h"
#include "support/PrintPreview.h"
#include "support/RecordingSink.h"
#include "support/UrlOpenRecorder.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "support/QueryText.h"
#include "support/TestDatabase.h"

#include <memory>

using namespace kvt;
using test::Scalar;

namespace {

const QStringList kColumns = {"玻璃款式", "玻璃宽", "玻璃高", "块数", "面积(㎡)", "单据数"};

void addBill(int id, int client, const char* date) {
    Database::Exec(QStringLiteral("insert into 历史单据 (单据ID,客户ID,客户地址,单据日期,安装人员ID,安装人员) "
                                  "values (%1,%2,\"\",#%3#,9,\"刘师傅\")")
                       .arg(id)
                       .arg(client)
                       .arg(QString::fromLatin1(date)));
}

/// A line with its glass; an empty size text writes NULL.
void addLine(int bill, const char* style, const QString& width, const QString& height, const QString& quantity) {
    auto number = [](const QString& text) { return text.isEmpty() ? QStringLiteral("null") : text; };
    Database::Exec(QStringLiteral("insert into 单据明细 (单据ID,商品ID,数量,玻璃款式,见光宽,见光高,现量宽,现量高,"
                                  "门扇宽,门扇高,玻璃宽,玻璃高,门框总宽,门框总高,埋地,门框附加,门框备注) values "
                                  "(%1,1,%2,%3,800,2000,840,2020,834,2010,%4,%5,840,2035,20,\"\",\"\")")
                       .arg(bill)
                       .arg(quantity, SqlText(QString::fromUtf8(style)), number(width), number(height)));
}

void seed() {
    TransactionScope scope;
    // The lines' product: a door leaf with glass, so a line without its glass sizes is one to finish.
    Database::Exec(
        QStringLiteral("insert into 商品信息 (商品ID,自定义编号,商品名称,门扇玻璃宽公式,门扇玻璃高公式) values "
                       "(1,\"101\",\"玻璃门扇\",\"现量宽-100\",\"现量高-500\")"));
    Database::Exec(QStringLiteral("insert into 客户信息 (客户ID,自定义编号,客户名,客户电话,客户备注) values "
                                  "(1,\"1\",\"王建国\",\"\",\"\"), (2,\"2\",\"李秀英\",\"\",\"\"),"
                                  "(9,\"91\",\"刘师傅\",\"\",\"\")"));
    // The range of the tests is 2021-03-01 to 2021-03-10; 74 and 75 lie just outside it.
    addBill(71, 1, "2021-03-01");
    addBill(72, 2, "2021-03-05");
    addBill(73, 1, "2021-03-10");
    addBill(74, 1, "2021-02-28");
    addBill(75, 2, "2021-03-11");
    struct Line {
        int bill;
        const char* style;
        const char *width, *height, *quantity;
    };
    const Line lines[] = {
        {71, "磨砂", "400", "1500", "2"}, {71, "磨砂", "400", "1200", "1"},
        {71, "长虹", "350", "1500", "1"}, {71, "磨砂", "0", "0", "1"}, // not worked out yet
        {72, "磨砂", "400", "1500", "1"}, {72, "长虹", "350", "1500", "3"},
        {72, "", "300", "900", "1"},      {72, "长虹", "500", "", "1"}, // its height empty
        {73, "磨砂", "450", "1300", "1"}, {73, "磨砂", "400", "1500", "1"},
        {73, "长虹", "0", "800", "1"}, // its width 0
        {74, "磨砂", "400", "1500", "5"}, {74, "磨砂", "0", "0", "1"},
        {75, "长虹", "350", "1500", "4"},
    };
    for (const Line& l : lines)
        addLine(l.bill, l.style, QString::fromLatin1(l.width), QString::fromLatin1(l.height),
                QString::fromLatin1(l.quantity));
    scope.Commit();
}

} // namespace

class TestGlassList : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::FakeDialogs> m_dialogs;

    TFormQuery* form() const { return qobject_cast<TFormQuery*>(Form(QStringLiteral("FormQuery"))); }
    /// The database of the case: a file in its folder, or its schema on the test server.
    QString m_location;
    QString dbPath() const { return m_location; }

    /// The list's rows as "style|width|height|pieces|area|bills", the texts the grid shows.
    QStringList rows() const {
        const DataQuery* q = form()->ADOQuery1;
        return q->IsOpen() ? test::RowTexts(*q) : QStringList();
    }

    /// Picks a client the way the user does: its custom number typed, then a double-click.
    void pickClient(const char* number) {
        QTest::keyClicks(form()->Edit_client, QString::fromLatin1(number));
        QTest::mouseDClick(form()->Edit_client, Qt::LeftButton);
    }
    void setDates(const QDate& from, const QDate& to) {
        form()->CheckBox__add_date->setChecked(true);
        form()->DateTimePicker1->setDate(from);
        form()->DateTimePicker2->setDate(to);
    }
    void openGlassTab() {
        QTabBar* bar = form()->PageControl1->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(3).center());
    }
    void listGlass() {
        openGlassTab();
        QTest::mouseClick(form()->glass_list_Button, Qt::LeftButton);
    }

private slots:
    void initTestCase() { QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN")); }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_dialogs = std::make_unique<test::FakeDialogs>();
        m_location = test::FreshDatabaseFor(m_dir->filePath(QStringLiteral("kvt.db")));
        CreateForms(dbPath());
        seed();
        form()->show();
    }

    void cleanup() {
        DestroyForms();
        m_dialogs.reset();
        m_dir.reset();
    }

    void list_data() {
        QTest::addColumn<QString>("clientNumber");
        QTest::addColumn<bool>("dateFilter");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("note");
        const QDate d1(2021, 3, 1), d10(2021, 3, 10);
        // Empty style first, then by style; widths, then heights, from the largest down. 450 × 1300
        // and 350 × 1500 are halves of a hundredth of a square metre: they round up.
        QTest::newRow("date range, both ends included")
            << "" << true << d1 << d10
            << QStringList{"|300|900|1|0.27|1",      "磨砂|450|1300|1|0.59|1", "磨砂|400|1500|4|2.4|3",
                           "磨砂|400|1200|1|0.48|1", "长虹|350|1500|4|2.1|2",  "合计|||11|5.84|"}
            << "另有3条门扇尚未计算玻璃尺寸";
        QTest::newRow("one client in the range")
            << "1" << true << d1 << d10
            << QStringList{"磨砂|450|1300|1|0.59|1", "磨砂|400|1500|3|1.8|2", "磨砂|400|1200|1|0.48|1",
                           "长虹|350|1500|1|0.53|1", "合计|||6|3.4|"}
            << "另有2条门扇尚未计算玻璃尺寸";
        QTest::newRow("no filter: every bill")
            << "" << false << d1 << d1
            << QStringList{"|300|900|1|0.27|1",      "磨砂|450|1300|1|0.59|1", "磨砂|400|1500|9|5.4|4",
                           "磨砂|400|1200|1|0.48|1", "长虹|350|1500|8|4.2|3",  "合计|||20|10.94|"}
            << "另有4条门扇尚未计算玻璃尺寸";
        QTest::newRow("one client, every date")
            << "2" << false << d1 << d1
            << QStringList{"|300|900|1|0.27|1", "磨砂|400|1500|1|0.6|1", "长虹|350|1500|7|3.68|2", "合计|||9|4.55|"}
            << "另有1条门扇尚未计算玻璃尺寸";
        QTest::newRow("days without bills")
            << "" << true << QDate(2021, 3, 20) << QDate(2021, 3, 25) << QStringList{"合计|||0|0|"} << "";
    }

    void list() {
        QFETCH(QString, clientNumber);
        QFETCH(bool, dateFilter);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QStringList, expected);
        QFETCH(QString, note);
        if (!clientNumber.isEmpty()) {
            pickClient(clientNumber.toLatin1().constData());
            QCOMPARE(form()->Label_client_id->text(), clientNumber);
        }
        form()->CheckBox__add_date->setChecked(dateFilter);
        form()->DateTimePicker1->setDate(from);
        form()->DateTimePicker2->setDate(to);
        listGlass();
        QCOMPARE(m_dialogs->messages, QStringList());
        QCOMPARE(form()->ADOQuery1->FieldNames(), kColumns);
        QCOMPARE(rows(), expected);
        QCOMPARE(form()->Label_glass_note->text(), note);
        QCOMPARE(form()->Label_glass_note->isVisible(), !note.isEmpty());
    }

    // The note counts only lines that will get glass sizes: a line whose product lacks a glass
    // formula, or that has no product, never does, and adds nothing.
    void noteCountsOnlyLinesThatGetGlass_data() {
        QTest::addColumn<QString>("product"); // the line's product: its glass formulas, "" for no such product
        QTest::addColumn<bool>("everyBill");  // no filter, else the date range
        QTest::addColumn<int>("counted");     // the note's count
        QTest::newRow("both glass formulas") << "\"现量宽-90\",\"现量高-400\"" << false << 4;
        QTest::newRow("casing only, empty formulas") << "\"\",\"\"" << false << 3;
        QTest::newRow("no formulas at all") << "null,null" << false << 3;
        QTest::newRow("width formula only") << "\"现量宽-90\",\"\"" << false << 3;
        QTest::newRow("height formula only") << "null,\"现量高-400\"" << false << 3;
        QTest::newRow("formulas of spaces") << "\"  \",\" \"" << false << 3;
        QTest::newRow("no product") << "" << false << 3;
        QTest::newRow("every bill: both glass formulas") << "\"现量宽-90\",\"现量高-400\"" << true << 5;
        QTest::newRow("every bill: casing only") << "\"\",\"\"" << true << 4;
        QTest::newRow("every bill: no product") << "" << true << 4;
    }
    void noteCountsOnlyLinesThatGetGlass() {
        QFETCH(QString, product);
        QFETCH(bool, everyBill);
        QFETCH(int, counted);
        if (!product.isEmpty())
            Database::Exec(
                QStringLiteral("insert into 商品信息 (商品ID,自定义编号,商品名称,门扇玻璃宽公式,门扇玻璃高公式) "
                               "values (2,\"201\",\"窗套\",%1)")
                    .arg(product));
        Database::Exec(QStringLiteral("insert into 单据明细 (单据ID,商品ID,数量,玻璃款式,见光宽,见光高,现量宽,现量高,"
                                      "门扇宽,门扇高,玻璃宽,玻璃高,门框总宽,门框总高,埋地,门框附加,门框备注) values "
                                      "(72,2,1,\"\",800,2000,840,2020,0,0,0,0,840,2035,20,\"\",\"\")"));
        setDates(QDate(2021, 3, 1), QDate(2021, 3, 10));
        form()->CheckBox__add_date->setChecked(!everyBill);
        listGlass();
        QCOMPARE(m_dialogs->messages, QStringList());
        QCOMPARE(form()->Label_glass_note->text(), QStringLiteral("另有%1条门扇尚未计算玻璃尺寸").arg(counted));
    }

    // The area of a group: its lines' products summed, then rounded once to a hundredth of a
    // square metre, halves away from zero.
    void areaRounding_data() {
        QTest::addColumn<QStringList>("lines"); // "width height quantity" each
        QTest::addColumn<QString>("area");
        QTest::newRow("an exact half rounds up, not to even") << QStringList{"450 1300 1"} << "0.59";
        QTest::newRow("just below a half") << QStringList{"450 1299 1"} << "0.58";
        QTest::newRow("1.005, which is below it in binary") << QStringList{"1005 1000 1"} << "1.01";
        QTest::newRow("summed before rounding") << QStringList{"150 100 1", "150 100 1"} << "0.03";
        QTest::newRow("quantity counts") << QStringList{"400 500 3"} << "0.6";
        QTest::newRow("fractions whose product misses its half in binary") << QStringList{"1225.6 1562.5 1"} << "1.92";
        QTest::newRow("fraction of a millimetre") << QStringList{"100.5 200 1"} << "0.02";
        QTest::newRow("a negative quantity rounds away from zero too") << QStringList{"450 1300 -1"} << "-0.59";
    }

    void areaRounding() {
        QFETCH(QStringList, lines);
        QFETCH(QString, area);
        {
            TransactionScope scope;
            addBill(90, 1, "2030-01-01");
            for (const QString& line : lines) {
                const QStringList v = line.split(QLatin1Char(' '));
                addLine(90, "磨砂", v[0], v[1], v[2]);
            }
            scope.Commit();
        }
        setDates(QDate(2030, 1, 1), QDate(2030, 1, 1));
        listGlass();
        const QStringList list = rows();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].section(QLatin1Char('|'), 4, 4), area);
        QCOMPARE(list[1].section(QLatin1Char('|'), 4, 4), area);
    }

    void filterGroupFollowsTab() {
        QGroupBox* filter = form()->GroupBox1;
        QCOMPARE(filter->parentWidget(), form()->TabSheet1);
        openGlassTab();
        QCOMPARE(form()->PageControl1->currentWidget(), form()->TabSheet4);
        QCOMPARE(filter->parentWidget(), form()->TabSheet4);
        QVERIFY(filter->isVisible());
        QVERIFY(form()->glass_list_Button->isVisible());
        // The tab of unfinished work has no use for it; the first tab gets it back.
        form()->PageControl1->setCurrentIndex(1);
        QCOMPARE(filter->parentWidget(), form()->TabSheet4);
        form()->PageControl1->setCurrentIndex(0);
        QCOMPARE(filter->parentWidget(), form()->TabSheet1);
        QVERIFY(filter->isVisible());
        QVERIFY(form()->Button_query->isVisible());
    }

    void noteGoesWithTheList() {
        setDates(QDate(2021, 3, 1), QDate(2021, 3, 10));
        listGlass();
        QVERIFY(form()->Label_glass_note->isVisible());
        // Another list replaces it: the warning goes, and the bill list prints as "清单" again.
        form()->PageControl1->setCurrentIndex(0);
        QTest::mouseClick(form()->Button_query, Qt::LeftButton);
        QCOMPARE(form()->ADOQuery1->FieldIndex(QStringLiteral("玻璃款式")), -1);
        QVERIFY(!form()->Label_glass_note->isVisible());
        QCOMPARE(form()->Label_glass_note->text(), QString());
    }

    void typedClientNameIsNoPick() {
        setDates(QDate(2021, 3, 1), QDate(2021, 3, 10));
        listGlass();
        QVERIFY(form()->ADOQuery1->IsOpen());
        // A name typed by hand names no client yet: the list goes and the picker opens for it ...
        form()->Edit_client->setText(QStringLiteral("李"));
        QTest::mouseClick(form()->glass_list_Button, Qt::LeftButton);
        QVERIFY(!form()->ADOQuery1->IsOpen());
        QVERIFY(!form()->Label_glass_note->isVisible());
        QWidget* selection = Form(QStringLiteral("CGForm"));
        QVERIFY(selection->isVisible());
        QCOMPARE(Control<QLabel>(selection, QStringLiteral("LabelModol"))->text(), QStringLiteral("6"));
        // ... and the pick brings the glass list of that client's bills, not the bill list.
        QTest::mouseClick(Control<QPushButton>(selection, QStringLiteral("Button_yes")), Qt::LeftButton);
        QVERIFY(!selection->isVisible());
        QCOMPARE(form()->Label_client_id->text(), QStringLiteral("2"));
        QCOMPARE(m_dialogs->messages, QStringList());
        QCOMPARE(form()->ADOQuery1->FieldNames(), kColumns);
        QCOMPARE(rows(), (QStringList{"|300|900|1|0.27|1", "磨砂|400|1500|1|0.6|1", "长虹|350|1500|3|1.58|1",
                                      "合计|||5|2.45|"}));
        QCOMPARE(form()->Label_glass_note->text(), QStringLiteral("另有1条门扇尚未计算玻璃尺寸"));
    }

    void doubleClickOnTheListLoadsNoBill() {
        listGlass();
        QTest::mouseDClick(form()->QorDBGridQuery->viewport(), Qt::LeftButton, {},
                           form()->QorDBGridQuery->CellRect(0, 1).center());
        QCOMPARE(m_dialogs->messages,
                 QStringList{QStringLiteral("这是一个错误信息，很大原因是数据集没有\"单据ID\"这个字段。")});
        QVERIFY(!Form(QStringLiteral("BillForm"))->isVisible());
    }

    void printout_data() {
        QTest::addColumn<bool>("dateFilter");
        QTest::addColumn<QStringList>("titleWords");
        QTest::addColumn<QString>("footer");
        QTest::newRow("date range") << true << QStringList{"玻璃清单", "2021-03-01至2021-03-10"}
                                    << "另有3条门扇尚未计算玻璃尺寸";
        QTest::newRow("every bill") << false << QStringList{"玻璃清单", "全部"} << "另有4条门扇尚未计算玻璃尺寸";
    }

    void printout() {
        QFETCH(bool, dateFilter);
        QFETCH(QStringList, titleWords);
        QFETCH(QString, footer);
        form()->CheckBox__add_date->setChecked(dateFilter);
        form()->DateTimePicker1->setDate(QDate(2021, 3, 1));
        form()->DateTimePicker2->setDate(QDate(2021, 3, 10));
        listGlass();
        const QString pdf = m_dir->filePath(QStringLiteral("glass.pdf"));
        QCOMPARE(test::PrintThroughPreview(form()->print_Button, pdf), QStringLiteral("打印预览"));
        QCOMPARE(m_dialogs->messages, QStringList());
        const QList<test::PdfWord> words = test::PdfWords(pdf);
        QStringList all;
        for (const test::PdfWord& w : words)
            all << w.text;
        const QString seen = all.join(QLatin1Char(' '));
        QVERIFY2(seen.startsWith(titleWords.join(QLatin1Char(' ')) + QLatin1Char(' ')), qPrintable(seen));
        for (const char* word : {"玻璃款式", "玻璃宽", "玻璃高", "块数", "单据数", "磨砂", "长虹", "0.59", "第1页"})
            QVERIFY2(all.contains(QString::fromUtf8(word)), qPrintable(QString::fromUtf8(word) + " in " + seen));
        // The warning at the foot of the page, before the page number.
        const auto note = test::FindWord(words, footer);
        const auto page = test::FindWord(words, QStringLiteral("第1页"));
        QVERIFY2(note && page, qPrintable(seen));
        QVERIFY(qAbs(note->yMm - page->yMm) < 1);
        QVERIFY(note->xMaxMm < page->xMm);
        // 合计 is the last line, under the last style's, with the sums in their columns.
        const auto total = test::FindWord(words, QStringLiteral("合计"));
        QVERIFY(total);
        for (const test::PdfWord& w : words)
            if (w.text == QStringLiteral("长虹"))
                QVERIFY(w.yMm < total->yMm);
        const QString pieces = dateFilter ? QStringLiteral("11") : QStringLiteral("20");
        const QString area = dateFilter ? QStringLiteral("5.84") : QStringLiteral("10.94");
        const auto piecesWord = test::FindWord(words, pieces);
        const auto areaWord = test::FindWord(words, area);
        const auto piecesTitle = test::FindWord(words, QStringLiteral("块数"));
        QVERIFY2(piecesWord && areaWord && piecesTitle, qPrintable(seen));
        QVERIFY(qAbs(piecesWord->yMm - total->yMm) < 1);
        QVERIFY(qAbs(areaWord->yMm - total->yMm) < 1);
        QVERIFY(qAbs(piecesWord->xMm - piecesTitle->xMm) < 1);
    }

    void clientInTheTitle() {
        pickClient("1");
        setDates(QDate(2021, 3, 1), QDate(2021, 3, 10));
        listGlass();
        const QString pdf = m_dir->filePath(QStringLiteral("client.pdf"));
        QCOMPARE(test::PrintThroughPreview(form()->print_Button, pdf), QStringLiteral("打印预览"));
        QStringList all;
        for (const test::PdfWord& w : test::PdfWords(pdf))
            all << w.text;
        QCOMPARE(all.mid(0, 3), (QStringList{"玻璃清单", "2021-03-01至2021-03-10", "客户：王建国"}));
    }

    void exportReadBack() {
        setDates(QDate(2021, 3, 1), QDate(2021, 3, 10));
        listGlass();
        const QList<QUrl> opened =
            test::FilesOpenedBy([this] { QTest::mouseClick(form()->send_excel_Button, Qt::LeftButton); });
        QCOMPARE(m_dialogs->messages, QStringList());
        QCOMPARE(opened.size(), 1);
        QString error;
        const test::RecordingSink book = test::ReadWorkbook(opened[0].toLocalFile(), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(book.range(), QStringLiteral("A1:F7"));
        for (int c = 0; c < kColumns.size(); ++c)
            QCOMPARE(book.text(test::RecordingSink::name(1, c + 1)), kColumns[c]);
        using Kind = test::RecordingSink::Kind;
        // Sizes, pieces, areas and bill counts are numbers; an empty style and the sizes of 合计
        // are empty cells.
        QVERIFY(!book.has(QStringLiteral("A2")));
        const struct {
            const char* cell;
            double value;
        } numbers[] = {{"B2", 300}, {"C2", 900}, {"D2", 1}, {"E2", 0.27}, {"F2", 1},  {"B4", 400},
                       {"D4", 4},   {"E4", 2.4}, {"F4", 3}, {"E3", 0.59}, {"D7", 11}, {"E7", 5.84}};
        for (const auto& n : numbers) {
            const QString cell = QString::fromLatin1(n.cell);
            QVERIFY2(book.has(cell), n.cell);
            QCOMPARE(book.at(cell).kind, Kind::Number);
            QCOMPARE(book.at(cell).value.toDouble(), n.value);
        }
        QCOMPARE(book.text(QStringLiteral("A3")), QStringLiteral("磨砂"));
        QCOMPARE(book.text(QStringLiteral("A7")), QStringLiteral("合计"));
        for (const char* empty : {"B7", "C7", "F7"})
            QVERIFY2(!book.has(QString::fromLatin1(empty)), empty);
    }

    // A file made before the glass list gets its index when it is next opened; a file another
    // program holds locked opens without it, and the list still comes.
    void olderFilesGetTheIndex() {
        if (test::OnServer())
            QSKIP("about the database file itself");
        const QString hasIndex =
            QStringLiteral("select count(*) from sqlite_master where type=\"index\" and name=\"单据明细_玻璃\"");
        QCOMPARE(Scalar(hasIndex), QStringLiteral("1"));
        DestroyForms();
        Database::Open(dbPath());
        Database::Exec(QStringLiteral("drop index 单据明细_玻璃"));
        Database::Close();

        // The engine's own shell holds the file's write lock until it is told to let go.
        QProcess other;
        other.start(QStringLiteral("sqlite3"), {dbPath()});
        QVERIFY(other.waitForStarted());
        other.write("BEGIN IMMEDIATE;\n.print locked\n");
        while (!other.readAllStandardOutput().contains("locked"))
            QVERIFY(other.waitForReadyRead(10000));
        Database::SetBusyTimeout(50);
        CreateForms(dbPath());
        Database::SetBusyTimeout(10000);
        QCOMPARE(Scalar(hasIndex), QStringLiteral("0"));
        form()->show();
        listGlass();
        QCOMPARE(m_dialogs->messages, QStringList());
        QCOMPARE(rows().last(), QStringLiteral("合计|||20|10.94|"));
        other.write("ROLLBACK;\n.quit\n");
        other.closeWriteChannel();
        QVERIFY(other.waitForFinished(10000));

        DestroyForms();
        CreateForms(dbPath());
        QCOMPARE(Scalar(hasIndex), QStringLiteral("1"));
    }
};

QTEST_MAIN(TestGlassList)
#include "test_glass_list.moc"
