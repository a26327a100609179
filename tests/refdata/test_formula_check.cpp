// A product's formulas on the sample line, without any window: what the editor's save says
// about them and what each formula gives.

#include "refdata/FormulaCheck.h"

#include <QtTest>

using namespace kvt;

namespace {

// Indexes into kSizeFormulas.
enum { FrameWidth, FrameHeight, LeafWidth, GlassWidth, LeafHeight, GlassHeight };

ProductSample product(std::initializer_list<std::pair<int, QString>> formulas) {
    ProductSample p;
    p.number = QStringLiteral("101");
    p.name = QStringLiteral("木门");
    p.id = QStringLiteral("7");
    for (const auto& [i, f] : formulas)
        p.formulas[std::size_t(i)] = f;
    return p;
}

const QString Q = QStringLiteral("\"");

QString refusal(const char* field, const QString& messages) {
    return QStringLiteral("商品“木门”的%1不能计算：%2").arg(QString::fromUtf8(field), messages);
}
QString question(const char* field, const QString& title, const char* layout) {
    return QStringLiteral("商品“木门”的%1用到了“%2”，%3中没有这一列，计算时按0计。仍然保存吗？")
        .arg(QString::fromUtf8(field), title, QString::fromUtf8(layout));
}

} // namespace

Q_DECLARE_METATYPE(ProductSample)

class TestFormulaCheck : public QObject {
    Q_OBJECT
private slots:
    void check_data() {
        QTest::addColumn<ProductSample>("product");
        QTest::addColumn<QStringList>("findings");
        QTest::newRow("no formulas") << product({}) << QStringList();
        QTest::newRow("all six evaluate")
            << product({{FrameWidth, Q + "见光宽" + Q + "+40"},
                        {FrameHeight, Q + "见光高" + Q + "+" + Q + "埋地" + Q},
                        {LeafWidth, Q + "门框总宽" + Q + "/2-" + Q + "现量宽" + Q + "/100"},
                        {GlassWidth, Q + "门扇宽" + Q + "-100"},
                        {LeafHeight, Q + "现量高" + Q + "-12"},
                        {GlassHeight, "roundto(" + Q + "门扇高" + Q + "*2/3,0)"}})
            << QStringList();
        QTest::newRow("calculator refuses")
            << product({{FrameWidth, Q + "见光宽" + Q + "+*40"}})
            << QStringList{refusal("外框宽公式", QStringLiteral("表达式中运算符前后有误！;"))};
        QTest::newRow("several messages") << product({{LeafHeight, "sqrt(4,5)+x"}})
                                          << QStringList{refusal("门扇高公式", QStringLiteral("函数参数个数不符！;"))};
        QTest::newRow("division by a sample size")
            << product({{FrameHeight, "1/(" + Q + "埋地" + Q + "-20)"}})
            << QStringList{refusal("外框高公式", QStringLiteral("除数不能为零!;"))};
        QTest::newRow("fault without a message")
            << product({{FrameWidth, "0^-1"}}) << QStringList{refusal("外框宽公式", QStringLiteral("运算出错;"))};
        QTest::newRow("too large for a size")
            << product({{FrameWidth, "10^20"}})
            << QStringList{refusal("外框宽公式", QStringLiteral("结果超出整数范围;"))};
        QTest::newRow("unclosed quote") << product({{FrameWidth, Q + "见光宽"}})
                                        << QStringList{refusal("外框宽公式", QStringLiteral("双引号不成对;"))};
        QTest::newRow("empty quotes") << product({{GlassWidth, Q + Q + "+1"}})
                                      << QStringList{refusal("门扇玻璃宽公式", QStringLiteral("双引号中没有列名;"))};
        QTest::newRow("unknown title") << product({{FrameHeight, Q + "见光高" + Q + "+" + Q + "宽度" + Q}})
                                       << QStringList{question("外框高公式", QStringLiteral("宽度"), "门框单据")};
        QTest::newRow("door-leaf title in a frame formula")
            << product({{FrameWidth, Q + "现量宽" + Q + "+10"}})
            << QStringList{question("外框宽公式", QStringLiteral("现量宽"), "门框单据")};
        QTest::newRow("frame title in a door-leaf formula")
            << product({{LeafWidth, Q + "总宽" + Q + "-5"}})
            << QStringList{question("门扇宽公式", QStringLiteral("总宽"), "门扇单据")};
        QTest::newRow("two unknown titles, one named twice")
            << product({{GlassHeight, Q + "甲" + Q + "+" + Q + "乙" + Q + "+" + Q + "甲" + Q}})
            << QStringList{question("门扇玻璃高公式", QStringLiteral("甲"), "门扇单据"),
                           question("门扇玻璃高公式", QStringLiteral("乙"), "门扇单据")};
        QTest::newRow("unknown title that cannot be evaluated either")
            << product({{FrameWidth, Q + "宽" + Q + "+*1"}})
            << QStringList{refusal("外框宽公式", QStringLiteral("表达式中运算符前后有误！;"))};
        QTest::newRow("refusals first, then questions in column order")
            << product({{FrameWidth, Q + "宽" + Q}, {GlassWidth, Q + "高" + Q}, {LeafHeight, "2+"}})
            << QStringList{refusal("门扇高公式", QStringLiteral("表达式中尾字符有误！;")),
                           question("外框宽公式", QStringLiteral("宽"), "门框单据"),
                           question("门扇玻璃宽公式", QStringLiteral("高"), "门扇单据")};
    }
    void check() {
        QFETCH(ProductSample, product);
        QStringList texts;
        for (const FormulaFinding& f : CheckProductFormulas(product))
            texts << f.text;
        QTEST(texts, "findings");
    }

    // Each size as the bill writes it, in the order the bill computes them.
    void sample_data() {
        QTest::addColumn<ProductSample>("product");
        QTest::addColumn<QStringList>("values"); // title, value pairs
        QTest::addColumn<QStringList>("cells");  // by kSizeFormulas; "-" when the bill computes nothing
        const ProductSample all = product({{FrameWidth, Q + "见光宽" + Q + "+40"},
                                           {FrameHeight, Q + "见光高" + Q + "+" + Q + "总宽" + Q + "/100"},
                                           {LeafWidth, Q + "门框总宽" + Q + "-" + Q + "现量宽" + Q + "/10"},
                                           {GlassWidth, Q + "门扇宽" + Q + "-100"},
                                           {LeafHeight, Q + "现量高" + Q + "/2"},
                                           {GlassHeight, Q + "门扇高" + Q + "-" + Q + "数量" + Q}});
        QTest::newRow("defaults") << all << QStringList() << QStringList{"940", "2109", "850", "750", "1056", "1055"};
        QTest::newRow("typed sizes") << all << QStringList{"见光宽", "1000", "现量高", "2113"}
                                     << QStringList{"1040", "2110", "950", "850", "1056", "1055"};
        QTest::newRow("trigger 0 computes nothing")
            << all << QStringList{"埋地", "0", "现量宽", "0"} << QStringList{"940", "-", "-", "-", "1056", "1055"};
        QTest::newRow("a failure writes 0") << product({{FrameWidth, "x"}, {LeafWidth, Q + "宽" + Q}}) << QStringList()
                                            << QStringList{"0", "-", "0", "-", "-", "-"};
        QTest::newRow("an emptied cell on the door-leaf line counts as 0")
            << product({{LeafWidth, "1+" + Q + "门扇高" + Q}, {LeafHeight, "2" + Q + "玻璃款式" + Q}})
            << QStringList{"玻璃款式", ""} << QStringList{"-", "-", "1", "-", "2", "-"};
    }
    void sample() {
        QFETCH(ProductSample, product);
        QFETCH(QStringList, values);
        QFETCH(QStringList, cells);
        SampleValues set;
        for (int i = 0; i + 1 < values.size(); i += 2)
            set.insert(values[i], values[i + 1]);
        const SampleOutcome out = TrySample(product, set);
        QStringList got;
        for (const SampleResult& r : out.results)
            got << (r.computed ? r.cell : QStringLiteral("-"));
        QCOMPARE(got, cells);
    }

    void namedTitles() {
        const ProductSample p =
            product({{FrameWidth, Q + "见光宽" + Q + "+" + Q + "备注" + Q},
                     {LeafWidth, Q + "门框总宽" + Q + "+" + Q + "总宽" + Q + "+" + Q + "见光宽" + Q}});
        QCOMPARE(NamedTitles(p.formulas), (QStringList{"见光宽", "备注", "门框总宽"}));
    }
};

QTEST_GUILESS_MAIN(TestFormulaCheck)
#include "test_formula_check.moc"
