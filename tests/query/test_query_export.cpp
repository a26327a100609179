// The query result's spreadsheet export: typed cells of every field, read from a real database,
// and the workbook the user gets.

#include "controls/SpreadsheetSink.h"
#include "query/QueryExport.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include "support/FakeDialogs.h"
#include "support/RecordingSink.h"
#include "support/UrlOpenRecorder.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using kvt::DataQuery;
using kvt::test::RecordingSink;
using Kind = RecordingSink::Kind;

Q_DECLARE_METATYPE(RecordingSink::Kind)

namespace {

const QString kBillList = "select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID order by "
                          "单据日期,单据ID";
const QString kDateFirst = "select 单据日期,单据ID from 历史单据 order by 单据ID";
const QString kLines = "select 单据ID,见光宽,玻璃款式,门框附加 from 单据明细 order by 门框ID";

/// Bills 57 to 59: 58's client was deleted, 59 has no address and no installer.
const char* const kFixture[] = {
    "insert into 客户信息 (客户ID,自定义编号,客户名,客户电话) values (1,\"007\",\"张三装饰\",\"13800000000\")",
    "insert into 客户信息 (客户ID,自定义编号,客户名) values (2,\"008\",\"李四\")",
    "insert into 历史单据 (单据ID,客户ID,客户地址,单据日期,安装人员ID,安装人员) "
    "values (57,1,\"北京路12号\",\"2021-01-14\",2,\"李四\")",
    "insert into 历史单据 (单据ID,客户ID,客户地址,单据日期,安装人员ID,安装人员) "
    "values (58,9,\"\",\"2021-02-01\",2,\"李四\")",
    "insert into 历史单据 (单据ID,客户ID,单据日期,安装人员ID) values (59,1,\"2021-02-01\",null)",
    "insert into 单据明细 (单据ID,商品ID,数量,玻璃款式,见光宽,见光高,现量宽,现量高,门扇宽,门扇高,玻璃宽,玻璃高,"
    "门框总宽,门框总高,埋地,门框附加,门框备注) values (57,1,2,\"磨砂\",850.5,2000,0,0,0,0,0,0,0,0,0,\"单边\",\"\")",
    "insert into 单据明细 (单据ID,商品ID,数量,玻璃款式,见光宽,见光高,现量宽,现量高,门扇宽,门扇高,玻璃宽,玻璃高,"
    "门框总宽,门框总高,埋地,门框附加,门框备注) values (57,1,1,\"\",-12,2000,0,0,0,0,0,0,0,0,0,\"123\",\"\")",
    // Dates as other programs may have left them in the date column.
    "create table 日期 (序号 INTEGER PRIMARY KEY, 单据日期 DATE)",
    "insert into 日期 values (1,\"2021-03-04 08:30:00\")",
    "insert into 日期 values (2,\"2021-02-30\")",
    "insert into 日期 values (3,\"2021/03/04\")",
    "insert into 日期 values (4,\"2021-3-4\")",
    "insert into 日期 values (5,\" 2024-02-29 \")",
};
const QString kDates = "select 序号,单据日期 from 日期 order by 序号";

/// The column letter of a field of the result (its position plus one).
QString column(const DataQuery& query, const QString& field) {
    return RecordingSink::name(1, query.FieldIndex(field) + 1).chopped(1);
}

} // namespace

class TestQueryExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void values_data();
    void values();
    void everyFieldMovedOnesFirst();
    void emptyResult();
    void beforeAnyQuery();
    void workbookReadBack();
    void noSpreadsheetApplication();
    void largeResult();
    void workbookCellsInAnyOrder();
    void overlongTextsCut();

private:
    void open(DataQuery& query, const QString& statement);
    QTemporaryDir m_temp;
};

void TestQueryExport::initTestCase() {
    QVERIFY(m_temp.isValid());
    qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
    kvt::Database::Open(m_temp.filePath("kvt.db"));
    for (const char* statement : kFixture)
        kvt::Database::Exec(QString::fromUtf8(statement));
}

void TestQueryExport::open(DataQuery& query, const QString& statement) {
    query.Close();
    query.SetSql(statement);
    query.Open();
}

void TestQueryExport::values_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("record");
    QTest::addColumn<QString>("field");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QVariant>("value");
    auto row = [](const char* name, const QString& statement, int record, const char* field, Kind kind,
                  const QVariant& value) {
        QTest::newRow(name) << statement << record << QString::fromUtf8(field) << kind << value;
    };
    row("bill number", kBillList, 1, "单据ID", Kind::Number, 57.0);
    row("joined key", kBillList, 1, "历史单据.客户ID", Kind::Number, 1.0);
    row("address", kBillList, 1, "客户地址", Kind::Text, "北京路12号");
    row("bill date", kBillList, 1, "单据日期", Kind::Date, QDate(2021, 1, 14));
    row("custom number stays text", kBillList, 1, "自定义编号", Kind::Text, "007");
    row("phone stays text", kBillList, 1, "客户电话", Kind::Text, "13800000000");
    row("NULL remark", kBillList, 1, "客户备注", Kind::Empty, QVariant());
    row("empty address", kBillList, 2, "客户地址", Kind::Empty, QVariant());
    row("deleted client: name", kBillList, 2, "客户名", Kind::Empty, QVariant());
    row("deleted client: key", kBillList, 2, "客户信息.客户ID", Kind::Empty, QVariant());
    row("deleted client: own key kept", kBillList, 2, "历史单据.客户ID", Kind::Number, 9.0);
    row("no installer", kBillList, 3, "安装人员ID", Kind::Empty, QVariant());
    row("date first column", kDateFirst, 2, "单据日期", Kind::Date, QDate(2021, 2, 1));
    row("fractional size", kLines, 1, "见光宽", Kind::Number, 850.5);
    row("negative size", kLines, 2, "见光宽", Kind::Number, -12.0);
    row("number-like text", kLines, 2, "门框附加", Kind::Text, "123");
    row("empty text", kLines, 2, "玻璃款式", Kind::Empty, QVariant());
    row("date with a time of day", kDates, 1, "单据日期", Kind::Date, QDate(2021, 3, 4));
    row("day that does not exist", kDates, 2, "单据日期", Kind::Text, "2021-02-30");
    row("date with slashes", kDates, 3, "单据日期", Kind::Text, "2021/03/04");
    row("date without leading zeros", kDates, 4, "单据日期", Kind::Text, "2021-3-4");
    row("date between spaces", kDates, 5, "单据日期", Kind::Date, QDate(2024, 2, 29));
}

void TestQueryExport::values() {
    QFETCH(QString, statement);
    QFETCH(int, record);
    QFETCH(QString, field);
    QFETCH(Kind, kind);
    QFETCH(QVariant, value);
    DataQuery query;
    open(query, statement);
    RecordingSink sink;
    kvt::ExportQueryToSpreadsheet(sink, query);

    const QString address = column(query, field) + QString::number(record + 1);
    QVERIFY2(sink.has(address), qPrintable(address));
    const RecordingSink::Cell cell = sink.at(address);
    QCOMPARE(RecordingSink::kindName(cell.kind), RecordingSink::kindName(kind));
    QCOMPARE(cell.value, value);
}

void TestQueryExport::everyFieldMovedOnesFirst() {
    DataQuery query;
    open(query, kBillList);
    // What the grid hides is still written; what the window moved to the front comes first.
    query.SetFieldVisible(query.FieldIndex("单据ID"), false);
    query.SetFieldVisible(query.FieldIndex("客户电话"), false);
    query.SetDisplayIndex(query.FieldIndex("单据日期"), 0);
    query.SetDisplayIndex(query.FieldIndex("客户名"), 1);
    query.MoveToRow(2);
    RecordingSink sink;
    kvt::ExportQueryToSpreadsheet(sink, query);

    QStringList expected = query.FieldNames();
    expected.removeOne("单据日期");
    expected.removeOne("客户名");
    expected = QStringList{"单据日期", "客户名"} + expected;
    QStringList titles;
    for (int i = 1; sink.has(RecordingSink::name(1, i)); ++i)
        titles << sink.text(RecordingSink::name(1, i));
    QCOMPARE(titles, expected);
    QCOMPARE(sink.range(), "A1:" + RecordingSink::name(4, expected.size()));
    QCOMPARE(sink.cells.size(), expected.size() * 4);
    QCOMPARE(RecordingSink::kindName(sink.at("A2").kind), RecordingSink::kindName(Kind::Date));
    QCOMPARE(sink.at("A2").value, QVariant(QDate(2021, 1, 14)));
    QCOMPARE(sink.text("B2"), QString("张三装饰"));
    // The hidden bill number and phone, typed as they are, so each row can be traced to its bill.
    const QString bill = RecordingSink::name(1, expected.indexOf("单据ID") + 1).chopped(1);
    const QString phone = RecordingSink::name(1, expected.indexOf("客户电话") + 1).chopped(1);
    QCOMPARE(sink.at(bill + "2").value, QVariant(57.0));
    QCOMPARE(sink.at(bill + "4").value, QVariant(59.0));
    QCOMPARE(RecordingSink::kindName(sink.at(phone + "2").kind), RecordingSink::kindName(Kind::Text));
    QCOMPARE(sink.text(phone + "2"), QString("13800000000"));

    QCOMPARE(query.CurrentRow(), 3);
    QVERIFY(query.Eof());
}

void TestQueryExport::emptyResult() {
    DataQuery query;
    open(query, "select * from 历史单据 where 单据ID=0");
    RecordingSink sink;
    kvt::ExportQueryToSpreadsheet(sink, query);
    QCOMPARE(sink.range(), "A1:" + RecordingSink::name(1, query.FieldCount()));
    QCOMPARE(sink.cells.size(), query.FieldCount());
    QCOMPARE(sink.text("A1"), query.FieldNames().front());
}

void TestQueryExport::beforeAnyQuery() {
    DataQuery query;
    RecordingSink sink;
    kvt::ExportQueryToSpreadsheet(sink, query);
    QVERIFY(sink.cells.isEmpty());

    kvt::test::FakeDialogs dialogs;
    kvt::test::UrlOpenRecorder opener;
    QDesktopServices::setUrlHandler("file", &opener, "open");
    kvt::SendQueryToSpreadsheet(nullptr, query);
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(opener.opened.size(), 1);
    QString error;
    QVERIFY(kvt::test::ReadWorkbook(opener.opened[0].toLocalFile(), &error).cells.isEmpty());
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestQueryExport::workbookReadBack() {
    kvt::test::FakeDialogs dialogs;
    kvt::test::UrlOpenRecorder opener;
    QDesktopServices::setUrlHandler("file", &opener, "open");
    DataQuery query;
    open(query, kBillList);
    kvt::SendQueryToSpreadsheet(nullptr, query);
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(dialogs.messages, QStringList());
    QCOMPARE(opener.opened.size(), 1);
    // "清单.xlsx", or "清单(2).xlsx" when an earlier test of this run took that name.
    QVERIFY(QFileInfo(opener.opened[0].toLocalFile()).fileName().startsWith("清单"));
    QCOMPARE(query.CurrentRow(), 3);

    QString error;
    const RecordingSink read = kvt::test::ReadWorkbook(opener.opened[0].toLocalFile(), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    RecordingSink written;
    kvt::ExportQueryToSpreadsheet(written, query);
    int filled = 0;
    for (auto it = written.cells.cbegin(); it != written.cells.cend(); ++it) {
        const QString address = RecordingSink::name(it.key().first, it.key().second);
        if (it.value().kind == Kind::Empty) {
            QVERIFY2(!read.has(address), qPrintable(address));
            continue;
        }
        ++filled;
        QVERIFY2(read.has(address), qPrintable(address));
        QCOMPARE(RecordingSink::kindName(read.at(address).kind), RecordingSink::kindName(it.value().kind));
        QCOMPARE(read.at(address).value, it.value().value);
    }
    QCOMPARE(read.cells.size(), filled);
    QCOMPARE(read.at(column(query, "单据日期") + "2").value, QVariant(QDate(2021, 1, 14)));
    QCOMPARE(read.text(column(query, "客户名") + "2"), QString("张三装饰"));
}

void TestQueryExport::noSpreadsheetApplication() {
    // The headless test platform has no application to open a workbook with.
    kvt::test::FakeDialogs dialogs;
    DataQuery query;
    open(query, kBillList);
    query.MoveToRow(2);
    const QDir folder(kvt::SpreadsheetFolder());
    const QStringList before = folder.entryList(QDir::Files);
    kvt::SendQueryToSpreadsheet(nullptr, query);
    QCOMPARE(dialogs.messages, QStringList{"Excel没有安装！"});
    QCOMPARE(dialogs.captions, QStringList{"提示信息"});
    QCOMPARE(dialogs.icons.front(), kvt::DialogService::Icon::Information);
    QCOMPARE(query.CurrentRow(), 2);
    QCOMPARE(folder.entryList(QDir::Files), before);
}

void TestQueryExport::largeResult() {
    constexpr int kBills = 100000;
    QTemporaryDir dir;
    kvt::Database::Open(dir.filePath("large.db"));
    {
        kvt::TransactionScope scope;
        for (int id = 1; id <= kBills; ++id)
            kvt::Database::Exec(
                QStringLiteral("insert into 历史单据 (单据ID,客户ID,客户地址,单据日期,安装人员ID,安装人员) "
                               "values (%1,%2,\"南京路%1号\",\"2021-03-%3\",7,\"王五\")")
                    .arg(id)
                    .arg(id % 50)
                    .arg(1 + id % 28, 2, 10, QLatin1Char('0')));
        scope.Commit();
    }
    DataQuery query;
    open(query, kBillList);
    QCOMPARE(query.RowCount(), kBills);

    kvt::XlsxSink workbook;
    kvt::ExportQueryToSpreadsheet(workbook, query);
    const QString path = dir.filePath("large.xlsx");
    workbook.save(path);
    QCOMPARE(workbook.cellCount(), query.FieldCount() * (kBills + 1));
    QVERIFY(QFileInfo(path).size() > 0);

    query.Close();
    kvt::Database::Open(m_temp.filePath("kvt.db"));
}

// Cells handed over out of order reach the file by row and column; of a cell written twice the
// later value counts, an empty one included.
void TestQueryExport::workbookCellsInAnyOrder() {
    kvt::XlsxSink workbook;
    workbook.writeText(3, 2, "先");
    workbook.writeNumber(1, 1, 1);
    workbook.writeText(3, 2, "后");
    workbook.writeDate(2, 5, QDate(2021, 3, 4));
    workbook.writeEmpty(1, 1);
    workbook.writeText(2, 1, "门框");
    workbook.writeNumber(1, 3, 850.5);
    workbook.writeText(3, 1, "左");
    const QString path = m_temp.filePath("order.xlsx");
    workbook.save(path);
    QString error;
    const RecordingSink read = kvt::test::ReadWorkbook(path, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(read.cells.size(), 5);
    QVERIFY(!read.has("A1"));
    QCOMPARE(read.at("C1").value, QVariant(850.5));
    QCOMPARE(read.at("A2").value, QVariant(QStringLiteral("门框")));
    QCOMPARE(read.at("E2").value, QVariant(QDate(2021, 3, 4)));
    QCOMPARE(read.at("A3").value, QVariant(QStringLiteral("左")));
    QCOMPARE(read.at("B3").value, QVariant(QStringLiteral("后")));
}

// A text longer than a cell holds is cut to the limit, the rest of the export is written, and the
// user is told which cells were cut.
void TestQueryExport::overlongTextsCut() {
    const int limit = kvt::XlsxSink::kMaxCellText;
    const QString longText = QString(limit + 5000, QChar(u'长'));
    // A character of two UTF-16 units across the limit is dropped whole.
    const QString acrossLimit = QString(limit - 1, QLatin1Char('a')) + QString::fromUtf8("😀") + "tail";
    const QString exact = QString(limit, QLatin1Char('b'));
    kvt::Database::Exec("insert into 客户信息 (客户ID,自定义编号,客户名,客户备注) values (81,\"081\",\"长文\"," +
                        kvt::SqlText(longText) + ")");
    kvt::Database::Exec("insert into 客户信息 (客户ID,自定义编号,客户名,客户备注) values (82,\"082\",\"表情\"," +
                        kvt::SqlText(acrossLimit) + ")");
    kvt::Database::Exec("insert into 客户信息 (客户ID,自定义编号,客户名,客户备注) values (83,\"083\",\"刚好\"," +
                        kvt::SqlText(exact) + ")");

    kvt::test::FakeDialogs dialogs;
    kvt::test::UrlOpenRecorder opener;
    QDesktopServices::setUrlHandler("file", &opener, "open");
    DataQuery query;
    open(query, "select 客户ID,客户名,客户备注 from 客户信息 where 客户ID>80 order by 客户ID");
    kvt::SendQueryToSpreadsheet(nullptr, query);
    QDesktopServices::unsetUrlHandler("file");
    kvt::Database::Exec("delete from 客户信息 where 客户ID>80");

    QCOMPARE(opener.opened.size(), 1);
    QCOMPARE(dialogs.messages, QStringList{"以下单元格的文字超过32767个字符，只写入了前32767个字符：C2、C3。"});
    QString error;
    const RecordingSink read = kvt::test::ReadWorkbook(opener.opened[0].toLocalFile(), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(read.text("C2"), longText.left(limit));
    QCOMPARE(read.text("C3"), acrossLimit.left(limit - 1));
    QCOMPARE(read.text("C4"), exact);
    QCOMPARE(read.text("B2"), QString("长文"));
    QCOMPARE(read.text("B4"), QString("刚好"));
    QCOMPARE(read.at("A4").value, QVariant(83.0));
}

QTEST_MAIN(TestQueryExport)
#include "test_query_export.moc"
