// The bill's spreadsheet export: every cell and its type, and the workbook the user gets.

#include "bill/BillExport.h"
#include "controls/SpreadsheetSink.h"

#include "support/FakeDialogs.h"
#include "support/RecordingSink.h"
#include "support/UrlOpenRecorder.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using kvt::BillSnapshot;
using kvt::test::RecordingSink;

namespace {

const QStringList kFrameTitles = {"",     "编号", "商品名称", "玻璃款式", "见光宽", "见光高", "埋地",
                                  "总宽", "总高", "数量",     "门框附加", "备注",   "商品ID"};
const QStringList kDoorLeafTitles = {"",       "编号",     "商品名称", "数量",   "玻璃款式", "见光宽", "见光高",
                                     "现量宽", "现量高",   "门扇宽",   "门扇高", "玻璃宽",   "玻璃高", "门框附加",
                                     "备注",   "门框总宽", "门框总高", "商品ID", "门框ID"};

/// A bill with the given grid titles and rows - 1 lines; a line cell reads "r<row>c<column>",
/// the fixed column holds "fixed" so a stray write of it shows, and line 2 is left empty.
BillSnapshot bill(const QStringList& titles, int rows) {
    BillSnapshot b;
    b.billType = "1";
    b.billClass = "门框生产排单";
    b.client = "张三装饰";
    b.address = "北京路12号";
    b.date = "2021-01-14";
    b.installer = "李四";
    b.billId = "57";
    b.cells.append(titles);
    for (int r = 1; r < rows; ++r) {
        QStringList line{"fixed"};
        for (int c = 1; c < titles.size(); ++c)
            line << (r == 2 ? QString() : QStringLiteral("r%1c%2").arg(r).arg(c));
        b.cells.append(line);
    }
    return b;
}

} // namespace

class TestBillExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void header_data();
    void header();
    void grid_data();
    void grid();
    void gridWithoutRows();
    void workbookOpened();
    void workbookName_data();
    void workbookName();
    void noSpreadsheetApplication();

private:
    QTemporaryDir m_temp;
};

void TestBillExport::initTestCase() {
    QVERIFY(m_temp.isValid());
    // The exported workbooks go under the system's temporary folder: keep them inside this test's.
    qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
}

void TestBillExport::header_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("text");
    QTest::newRow("title") << "D1"
                           << "门框生产排单";
    QTest::newRow("client label") << "A3"
                                  << "客户名：";
    QTest::newRow("client") << "B3"
                            << "张三装饰";
    QTest::newRow("address label") << "A4"
                                   << "地址：";
    QTest::newRow("address") << "B4"
                             << "北京路12号";
    QTest::newRow("number label") << "F2"
                                  << "单据编号：";
    QTest::newRow("number") << "G2"
                            << "57";
    QTest::newRow("date label") << "F3"
                                << "单据日期：";
    QTest::newRow("date as text") << "G3"
                                  << "2021-01-14";
    QTest::newRow("installer label") << "F4"
                                     << "安装人员：";
    QTest::newRow("installer") << "G4"
                               << "李四";
}

void TestBillExport::header() {
    QFETCH(QString, address);
    QFETCH(QString, text);
    RecordingSink sink;
    kvt::ExportBillToSpreadsheet(sink, bill(kFrameTitles, 11));
    QCOMPARE(sink.text(address), text);
}

void TestBillExport::grid_data() {
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("range");
    QTest::newRow("frame layout, ten lines") << kFrameTitles << 11 << "A5:L15";
    QTest::newRow("frame layout with key") << (kFrameTitles + QStringList{"门框ID"}) << 4 << "A5:M8";
    QTest::newRow("door-leaf layout") << kDoorLeafTitles << 3 << "A5:R7";
    QTest::newRow("titles only") << kFrameTitles << 1 << "A5:L5";
}

void TestBillExport::grid() {
    QFETCH(QStringList, titles);
    QFETCH(int, rows);
    QFETCH(QString, range);
    const BillSnapshot b = bill(titles, rows);
    RecordingSink sink;
    kvt::ExportBillToSpreadsheet(sink, b);

    RecordingSink grid;
    for (auto it = sink.cells.cbegin(); it != sink.cells.cend(); ++it)
        if (it.key().first >= 5)
            grid.cells.insert(it.key(), it.value());
    QCOMPARE(grid.range(), range);
    QCOMPARE(grid.cells.size(), (titles.size() - 1) * rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 1; c < titles.size(); ++c) {
            const QString address = RecordingSink::name(r + 5, c);
            QVERIFY2(sink.at(address).kind == RecordingSink::Kind::Text, qPrintable(address));
            QCOMPARE(sink.text(address), b.cell(c, r));
        }

    // The header first, in its fixed order, then the grid column by column.
    QStringList expected{"D1", "A3", "B3", "A4", "B4", "F2", "G2", "F3", "G3", "F4", "G4"};
    for (int c = 1; c < titles.size(); ++c)
        for (int r = 0; r < rows; ++r)
            expected << RecordingSink::name(r + 5, c);
    QCOMPARE(sink.order, expected);
}

void TestBillExport::gridWithoutRows() {
    BillSnapshot b = bill(kFrameTitles, 1);
    b.cells.clear();
    RecordingSink sink;
    kvt::ExportBillToSpreadsheet(sink, b);
    QCOMPARE(sink.cells.size(), 11);
    QCOMPARE(sink.range(), QString("A1:G4"));
}

void TestBillExport::workbookOpened() {
    kvt::test::FakeDialogs dialogs;
    kvt::test::UrlOpenRecorder opener;
    QDesktopServices::setUrlHandler("file", &opener, "open");
    BillSnapshot b = bill(kDoorLeafTitles, 3);
    b.billClass = "---门扇生产排单---";
    kvt::SendBillToSpreadsheet(nullptr, b);
    kvt::SendBillToSpreadsheet(nullptr, b);
    QDesktopServices::unsetUrlHandler("file");

    QCOMPARE(dialogs.messages, QStringList());
    QCOMPARE(opener.opened.size(), 2);
    const QString first = opener.opened[0].toLocalFile();
    const QString second = opener.opened[1].toLocalFile();
    QCOMPARE(QFileInfo(first).fileName(), QString("单据57.xlsx"));
    // A workbook of this run the user may still have open is never replaced.
    QCOMPARE(QFileInfo(second).fileName(), QString("单据57(2).xlsx"));
    QVERIFY(QFileInfo(first).absolutePath().startsWith(QDir(m_temp.path()).canonicalPath()) ||
            QFileInfo(first).absolutePath().startsWith(m_temp.path()));

    QString error;
    const RecordingSink read = kvt::test::ReadWorkbook(first, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    RecordingSink written;
    kvt::ExportBillToSpreadsheet(written, b);
    // Empty texts leave empty cells; everything else comes back as the same text in the same place.
    for (auto it = written.cells.cbegin(); it != written.cells.cend(); ++it) {
        const QString address = RecordingSink::name(it.key().first, it.key().second);
        const QString text = it.value().value.toString();
        QCOMPARE(read.text(address), text.isEmpty() ? QString("<none>") : text);
    }
    QCOMPARE(read.text("D1"), QString("---门扇生产排单---"));
    QCOMPARE(read.text("R5"), QString("门框ID"));
    QCOMPARE(read.cells.size(), 11 + 18 * 2);
}

void TestBillExport::workbookName_data() {
    QTest::addColumn<QString>("billId");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("bill number") << "123"
                                 << "单据123.xlsx";
    QTest::newRow("no number") << ""
                               << "单据.xlsx";
    QTest::newRow("path separators") << "../../x"
                                     << "单据.._.._x.xlsx";
}

void TestBillExport::workbookName() {
    QFETCH(QString, billId);
    QFETCH(QString, fileName);
    BillSnapshot b;
    b.billId = billId;
    const QString path = kvt::NewSpreadsheetPath(kvt::BillSpreadsheetName(b));
    QCOMPARE(QFileInfo(path).fileName(), fileName);
    QCOMPARE(QFileInfo(path).absolutePath(), kvt::SpreadsheetFolder());
}

void TestBillExport::noSpreadsheetApplication() {
    // The headless test platform has no application to open a workbook with.
    kvt::test::FakeDialogs dialogs;
    BillSnapshot b = bill(kFrameTitles, 11);
    b.billId = "58";
    kvt::SendBillToSpreadsheet(nullptr, b);
    QCOMPARE(dialogs.messages, QStringList{"Excel没有安装！"});
    QCOMPARE(dialogs.captions, QStringList{"提示信息"});
    QCOMPARE(dialogs.icons.front(), kvt::DialogService::Icon::Information);
    QVERIFY(!QFileInfo::exists(QDir(kvt::SpreadsheetFolder()).filePath("单据58.xlsx")));
}

QTEST_MAIN(TestBillExport)
#include "test_bill_export.moc"
