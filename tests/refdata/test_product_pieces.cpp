// A product's pieces as the product editor checks them before a save, without any window: the
// length formula on the sample line after the product's own formulas, and each refusal.

#include "query/CuttingList.h"
#include "refdata/ProductPieces.h"

#include <QtTest>

using namespace kvt;

namespace {

const QString Q = QStringLiteral("\"");

/// A wooden frame whose width and height come from its formulas, and a door leaf and glass from
/// the measured sizes (sample line: 见光宽 900, 见光高 2100, 埋地 20, 现量宽 905, 现量高 2112).
ProductSample frame() {
    ProductSample p;
    p.number = QStringLiteral("101");
    p.name = QStringLiteral("实木门框");
    p.id = QStringLiteral("7");
    p.formulas = {Q + "见光宽" + Q + "+40", Q + "见光高" + Q + "+" + Q + "埋地" + Q + "+15",
                  Q + "现量宽" + Q + "-6",  Q + "门扇宽" + Q + "-200",
                  Q + "现量高" + Q + "-12", Q + "门扇高" + Q + "-900"};
    return p;
}

PieceValues piece(const QString& formula, const QString& count = QStringLiteral("2"),
                  const QString& material = QStringLiteral("松木 45×95"),
                  const QString& name = QStringLiteral("立框")) {
    return {name, material, count, formula};
}

const QStringList kMaterials{QStringLiteral("松木 45×95"), QStringLiteral("铝合金 6063")};

} // namespace

Q_DECLARE_METATYPE(PieceValues)

class TestProductPieces : public QObject {
    Q_OBJECT
private slots:
    // Every title a piece may name, from the frame and the door-leaf layouts alike, with the
    // product's computed sizes; the value rounded as the bill rounds a size (halves to even).
    void lengthOnTheSampleLine_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<qint64>("length");
        QTest::newRow("frame width computed") << Q + "总宽" + Q + "-10" << qint64(930);
        QTest::newRow("the same by its door-leaf title") << Q + "门框总宽" + Q + "-10" << qint64(930);
        QTest::newRow("frame height computed") << Q + "总高" + Q << qint64(2135);
        QTest::newRow("frame height, door-leaf title") << Q + "门框总高" + Q + "-5" << qint64(2130);
        QTest::newRow("typed sizes") << Q + "见光高" + Q + "+" + Q + "埋地" + Q << qint64(2120);
        QTest::newRow("measured sizes") << Q + "现量宽" + Q + "+" + Q + "现量高" + Q << qint64(3017);
        QTest::newRow("door leaf") << Q + "门扇宽" + Q + "-" + Q + "门扇高" + Q << qint64(899 - 2100);
        QTest::newRow("glass") << Q + "玻璃宽" + Q + "+" + Q + "玻璃高" + Q << qint64(699 + 1200);
        QTest::newRow("quantity") << Q + "数量" + Q + "*100" << qint64(100);
        QTest::newRow("a half rounds to even, down") << Q + "见光宽" + Q + "/8" << qint64(112);
        QTest::newRow("a half rounds to even, up") << Q + "见光宽" + Q + "/4+0.5" << qint64(226);
        QTest::newRow("the calculator's functions") << "max(" + Q + "见光宽" + Q + ",1000)" << qint64(1000);
    }
    void lengthOnTheSampleLine() {
        QFETCH(QString, formula);
        QFETCH(qint64, length);
        qint64 got = -1;
        const SampleResult r = TryPieceFormula(frame(), formula, &got);
        QVERIFY2(r.evaluates, qPrintable(r.messages));
        QCOMPARE(got, length);
        QCOMPARE(r.unknownTitles, QStringList());
        QCOMPARE(CheckPiece(frame(), piece(formula), kMaterials).size(), 0);
        // The cutting list reads the same value from a line holding the sample's sizes.
        const SampleOutcome line = TrySample(frame());
        QStringList cells;
        for (const QString& title : PieceFormulaTitles())
            cells << line.valueOf(title);
        const PieceLengthResult plan = PieceLength(formula, cells);
        if (length > 0) {
            QVERIFY2(plan.ok, qPrintable(plan.reason));
            QCOMPARE(plan.length, length * 10);
        }
    }

    // Each refusal names its field; the first refusal is what the clerk is told.
    void refusals_data() {
        QTest::addColumn<PieceValues>("values");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("message");
        const QString f = Q + "总高" + Q + "-5";
        QTest::newRow("no name") << piece(f, "2", "松木 45×95", "  ") << "部件名称"
                                 << "商品“实木门框”有一个部件没有部件名称。";
        QTest::newRow("no material") << piece(f, "2", "") << "材料名称"
                                     << "商品“实木门框”的部件“立框”没有材料名称。";
        QTest::newRow("material that does not exist")
            << piece(f, "2", "柚木 45×95") << "材料名称"
            << "商品“实木门框”的部件“立框”的材料“柚木 45×95”不存在，请先在材料表中添加。";
        QTest::newRow("material differing in a space")
            << piece(f, "2", "松木 45×95 ") << "材料名称"
            << "商品“实木门框”的部件“立框”的材料“松木 45×95 ”不存在，请先在材料表中添加。";
        QTest::newRow("count 0") << piece(f, "0") << "件数"
                                 << "商品“实木门框”的部件“立框”的件数必须是不小于1的整数（现在是“0”）。";
        QTest::newRow("count negative") << piece(f, "-1") << "件数"
                                        << "商品“实木门框”的部件“立框”的件数必须是不小于1的整数（现在是“-1”）。";
        QTest::newRow("count a fraction") << piece(f, "1.5") << "件数"
                                          << "商品“实木门框”的部件“立框”的件数必须是不小于1的整数（现在是“1.5”）。";
        QTest::newRow("count empty") << piece(f, "") << "件数"
                                     << "商品“实木门框”的部件“立框”的件数必须是不小于1的整数（现在是“”）。";
        QTest::newRow("no formula") << piece(" ") << "长度公式"
                                    << "商品“实木门框”的部件“立框”没有长度公式。";
        QTest::newRow("formula the calculator refuses")
            << piece(Q + "总高" + Q + "+*5") << "长度公式"
            << "商品“实木门框”的部件“立框”的长度公式不能计算：表达式中运算符前后有误！;";
        QTest::newRow("unclosed quote") << piece(Q + "总高-5") << "长度公式"
                                        << "商品“实木门框”的部件“立框”的长度公式不能计算：双引号不成对;";
        QTest::newRow("empty quotes") << piece(Q + Q + "+5") << "长度公式"
                                      << "商品“实木门框”的部件“立框”的长度公式不能计算：双引号中没有列名;";
        QTest::newRow("a bill's text cell")
            << piece(Q + "商品名称" + Q + "+5") << "长度公式"
            << "商品“实木门框”的部件“立框”的长度公式用到了“商品名称”，单据中没有这个尺寸。";
        QTest::newRow("no title of a line")
            << piece(Q + "门宽" + Q + "-" + Q + "框厚" + Q) << "长度公式"
            << "商品“实木门框”的部件“立框”的长度公式用到了“门宽”、“框厚”，单据中没有这个尺寸。";
    }
    void refusals() {
        QFETCH(PieceValues, values);
        QFETCH(QString, field);
        QFETCH(QString, message);
        const QList<PieceFinding> findings = CheckPiece(frame(), values, kMaterials);
        QVERIFY(!findings.isEmpty());
        QCOMPARE(findings.first().field, field);
        QCOMPARE(findings.first().text, message);
    }

    // A product's own formula that fails leaves its size 0 on the line, as in the bill.
    void sizeOfAFailingProductFormulaIsZero() {
        ProductSample p = frame();
        p.formulas[0] = QStringLiteral("1/0");
        qint64 length = -1;
        QVERIFY(TryPieceFormula(p, Q + "总宽" + Q + "+3", &length).evaluates);
        QCOMPARE(length, qint64(3));
    }
};

QTEST_APPLESS_MAIN(TestProductPieces)
#include "test_product_pieces.moc"
