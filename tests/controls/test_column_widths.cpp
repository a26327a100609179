// Column widths from column titles: the keyword rule, and its application to a data grid.

#include "controls/ColumnWidths.h"
#include "controls/QorDBGrid.h"
#include "store/Database.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

using namespace kvt;

class TestColumnWidths : public QObject {
    Q_OBJECT
private slots:
    void rule_data();
    void rule();
    void appliedToGrid();
    void scaledForTheFont_data();
    void scaledForTheFont();
};

void TestColumnWidths::rule_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("width"); // 0: no keyword, the column keeps its width

    QTest::newRow("date") << "单据日期" << 80;
    QTest::newRow("name") << "客户名" << 200;
    QTest::newRow("id then person") << "安装人员ID" << 80;
    QTest::newRow("width then formula") << "外框宽公式" << 200;
    QTest::newRow("height then formula") << "外框高公式" << 200;
    QTest::newRow("number") << "自定义编号" << 60;
    QTest::newRow("frame total width") << "门框总宽" << 50;
    QTest::newRow("description") << "商品说明" << 100;
    QTest::newRow("product id") << "商品ID" << 40;
    QTest::newRow("leaf width") << "门扇宽" << 50;
    QTest::newRow("product name") << "商品名称" << 200;
    QTest::newRow("qualified id") << "历史单据.客户ID" << 40;
    QTest::newRow("telephone only") << "客户电话" << 100;
    QTest::newRow("quantity") << "数量" << 40;
    QTest::newRow("remark") << "客户备注" << 200;
    QTest::newRow("extra") << "门框附加" << 200;
    QTest::newRow("buried after height") << "埋地高" << 40;
    QTest::newRow("style") << "玻璃款式" << 100;
    QTest::newRow("address") << "客户地址" << 200;
    QTest::newRow("colour after name") << "颜色名" << 50;
    QTest::newRow("key of a line") << "门框ID" << 40;
    QTest::newRow("latin") << "total" << 0;
    QTest::newRow("lower-case id") << "id" << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestColumnWidths::rule() {
    QFETCH(QString, title);
    QFETCH(int, width);
    QCOMPARE(ColumnWidthForTitle(title), width);
}

void TestColumnWidths::appliedToGrid() {
    TQorDBGrid grid;
    SetColumnWidthsByTitle(&grid); // no query: nothing to do
    SetColumnWidthsByTitle(nullptr);

    DataQuery q;
    grid.SetDataQuery(&q);
    SetColumnWidthsByTitle(&grid); // closed query: no columns
    QCOMPARE(grid.ColumnCount(), 0);

    QTemporaryDir dir;
    Database::Open(dir.filePath("kvt.db"));
    Database::Exec("insert into 客户信息 (自定义编号,客户名,客户电话) values (\"A1\",\"甲\",\"123\")");
    Database::Exec("insert into 历史单据 (客户ID,单据日期) values (1,#2024-01-02#)");

    // A joined list (with a qualified column name) and a column of a free statement.
    q.SetSql("select * from 历史单据,客户信息 where 历史单据.客户ID=客户信息.客户ID");
    q.Open();
    QMap<QString, int> want{{"单据日期", 80}, {"历史单据.客户ID", 40}, {"客户电话", 100},
                            {"客户名", 200},  {"安装人员ID", 80},      {"客户地址", 200}};
    SetColumnWidthsByTitle(&grid);
    for (int c = 0; c < grid.ColumnCount(); ++c)
        if (want.contains(grid.ColumnTitle(c)))
            QCOMPARE(grid.ColumnWidth(c), GridColumnWidth(grid, want.take(grid.ColumnTitle(c))));
    QVERIFY2(want.isEmpty(), qPrintable(QStringList(want.keys()).join(",")));

    q.SetSql("select 客户名 as total, 客户电话 from 客户信息");
    q.Open();
    QCOMPARE(grid.ColumnCount(), 2);
    grid.SetColumnWidth(0, 77);
    SetColumnWidthsByTitle(&grid);
    SetColumnWidthsByTitle(&grid); // twice is the same as once
    QCOMPARE(grid.ColumnWidth(0), 77);
    QCOMPARE(grid.ColumnWidth(1), GridColumnWidth(grid, 100));
    q.Close();
    Database::Close();
}

// The rule's widths are meant for a font whose digits are half its pixel size; in the font the
// grid really uses, the texts that fit by the rule must fit too, within the cell's margins.
void TestColumnWidths::scaledForTheFont_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text"); // fits the rule's width in the intended font
    QTest::newRow("half-width digits, date") << "AR PL UMing CN" << 16 << "单据日期"
                                             << "2026-03-14";
    QTest::newRow("wide digits, date") << "WenQuanYi Micro Hei" << 16 << "单据日期"
                                       << "2026-03-14";
    QTest::newRow("wide digits, key") << "WenQuanYi Micro Hei" << 16 << "门框ID"
                                      << "12345";
    QTest::newRow("wide digits, number") << "WenQuanYi Micro Hei" << 16 << "自定义编号"
                                         << "1234567";
}

void TestColumnWidths::scaledForTheFont() {
    QFETCH(QString, family);
    QFETCH(int, pixels);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFont font(family);
    font.setPixelSize(pixels);
    if (QFontInfo(font).family() != family)
        QSKIP("font not installed");

    QTemporaryDir dir;
    Database::Open(dir.filePath("kvt.db"));
    Database::Exec("insert into 单据明细 (单据ID) values (1)");
    DataQuery q;
    q.SetSql(QStringLiteral("select 单据ID as %1 from 单据明细").arg(title));
    q.Open();
    TQorDBGrid grid;
    grid.setFont(font);
    grid.SetDataQuery(&q);
    SetColumnWidthsByTitle(&grid);

    // The rule itself is unchanged ...
    const int ruleWidth = ColumnWidthForTitle(title);
    QVERIFY(ruleWidth > 0);
    const double scale = ColumnWidthScale(font);
    QVERIFY(scale >= 1);
    QFontMetricsF metrics(font);
    if (family == QLatin1String("AR PL UMing CN") && metrics.horizontalAdvance(QLatin1Char('0')) * 2 == pixels)
        QCOMPARE(scale, 1.0);
    // ... and the grid's column holds the text with the margins the cell keeps around it.
    const int margin = 2 * (grid.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &grid) + 1);
    QCOMPARE(grid.ColumnWidth(0), GridColumnWidth(grid, ruleWidth));
    QVERIFY2(text.size() * pixels / 2 <= ruleWidth, "the text fits by the rule");
    QVERIFY2(grid.ColumnWidth(0) >= metrics.horizontalAdvance(text) + margin,
             qPrintable(QString::number(grid.ColumnWidth(0))));
    QVERIFY(grid.ColumnWidth(0) >= std::ceil(ruleWidth * scale));
    q.Close();
    Database::Close();
}

QTEST_MAIN(TestColumnWidths)
#include "test_column_widths.moc"
