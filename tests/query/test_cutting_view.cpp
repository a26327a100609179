// The cutting list as the clerk and the saw see it, without a database: the rows of the tab, the
// export's cells, the editors' checks, the printed plan's pages and drawing, and one real PDF.

#include "controls/PrintSurface.h"
#include "query/CuttingRows.h"
#include "query/CuttingSheet.h"
#include "query/MaterialValues.h"

#include "support/PdfWords.h"
#include "support/RecordingSink.h"
#include "support/RecordingSurface.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kvt;
using test::RecordingSink;
using test::RecordingSurface;

namespace {

CutPiece piece(const char* name, cutting::Length length, qint64 bill, qint64 line) {
    CutPiece p;
    p.billId = bill;
    p.lineId = line;
    p.pieceId = 1;
    p.name = QString::fromUtf8(name);
    p.length = length;
    return p;
}

CutBar bar(qint64 offcut, cutting::Length length, std::vector<CutPiece> pieces, cutting::Length leftover, bool kept) {
    CutBar b;
    b.offcutId = offcut;
    b.length = length;
    b.pieces = std::move(pieces);
    b.leftover = leftover;
    b.kept = kept;
    return b;
}

/// Two materials: timber with one bar, three identical ones and an offcut whose leftover is
/// scrap; aluminium with one bar. Lengths in tenths of a millimetre, worked out by hand: a new
/// bar loses both trims and a kerf between two pieces.
CuttingPlan samplePlan() {
    CuttingPlan plan;
    MaterialPlan wood;
    wood.material = QStringLiteral("松木立框料 45×95");
    wood.stockLength = 60000;
    wood.kerf = 40;
    wood.trim = 100;
    wood.minOffcut = 5000;
    wood.lowerBound = 4;
    wood.newBars = 4;
    wood.offcutsUsed = 1;
    // 60000 - 2×100 - (21400 + 21400 + 9400) - 2×40 = 7520
    wood.bars.push_back(
        bar(0, 60000, {piece("立框", 21400, 12, 345), piece("立框", 21400, 12, 345), piece("上框", 9400, 12, 345)},
            7520, true));
    // 60000 - 200 - 2×21500 - 40 = 16760, three times
    for (int i = 0; i < 3; ++i)
        wood.bars.push_back(bar(0, 60000, {piece("立框", 21500, 13, 350), piece("立框", 21500, 13, 350)}, 16760, true));
    // an offcut of 900 mm, no trim: 9000 - 8005 = 995, under 最短余料
    wood.bars.push_back(bar(7, 9000, {piece("门扇横档", 8005, 14, 360)}, 995, false));
    MaterialPlan aluminium;
    aluminium.material = QStringLiteral("铝合金 6063");
    aluminium.stockLength = 65000;
    aluminium.kerf = 35;
    aluminium.trim = 50;
    aluminium.minOffcut = 3000;
    aluminium.lowerBound = 1;
    aluminium.newBars = 1;
    aluminium.bars.push_back(bar(0, 65000, {piece("边框", 30000, 15, 370)}, 34900, true));
    plan.materials = {wood, aluminium};
    NotCut whole;
    whole.billId = 16;
    whole.lineId = 380;
    whole.reason = QStringLiteral("商品没有部件");
    NotCut one;
    one.billId = 16;
    one.lineId = 381;
    one.pieceId = 5;
    one.piece = QStringLiteral("上框");
    one.reason = QStringLiteral("“门框总宽”为空或为0");
    plan.notCut = {whole, one};
    return plan;
}

QStringList flatten(const std::vector<PlanRow>& rows, int depth = 0) {
    QStringList out;
    for (const PlanRow& r : rows) {
        out << QString(depth, QLatin1Char('>')) + r.cells.join(QLatin1Char('|'));
        out << flatten(r.children, depth + 1);
    }
    return out;
}

/// Page breaks as "material:first+count", a "+" before a continued page.
QStringList pagesText(const std::vector<CutSheetPage>& pages) {
    QStringList out;
    for (const CutSheetPage& p : pages)
        out << QStringLiteral("%1%2:%3+%4").arg(p.continued ? "+" : "").arg(p.material).arg(p.firstRun).arg(p.runCount);
    return out;
}

} // namespace

class TestCuttingView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN")); }

    // --- the tab's rows ----------------------------------------------------------------------

    void rowsOnScreen() {
        QCOMPARE(flatten(CuttingPlanRows(samplePlan())),
                 (QStringList{
                     // 189205 of 249000 tenths cut: 76.0 %; kept 7520 + 3 × 16760
                     "松木立框料 45×95|10件|4根|1根|4根|76.0%|留用 5780",
                     ">1 新料 6000|立框 2140 (单据12)，立框 2140 (单据12)，上框 940 (单据12)|||||752 余料",
                     ">2–4 新料 6000 ×3|立框 2150 (单据13)，立框 2150 (单据13)|||||1676 余料",
                     ">5 余料7 900|门扇横档 800.5 (单据14)|||||99.5",
                     "铝合金 6063|1件|1根|0根|1根|46.2%|留用 3490",
                     ">1 新料 6500|边框 3000 (单据15)|||||3490 余料",
                     "不能下料（2）",
                     ">单据16 明细380|商品没有部件",
                     ">单据16 明细381|上框：“门框总宽”为空或为0",
                 }));
    }

    void emptyPlanShowsNothing() { QCOMPARE(flatten(CuttingPlanRows(CuttingPlan())), QStringList()); }

    // --- the export -----------------------------------------------------------------------

    void exportCells() {
        RecordingSink sink;
        ExportCuttingPlan(sink, samplePlan());
        QCOMPARE(sink.range(), QStringLiteral("A1:H14"));
        const QStringList titles{"材料", "原料", "来源", "部件", "长度", "单据", "明细", "说明"};
        for (int c = 0; c < titles.size(); ++c)
            QCOMPARE(sink.text(RecordingSink::name(1, c + 1)), titles[c]);
        // One row per piece of every physical bar: the three identical bars are bars 2, 3 and 4.
        auto row = [&](int r) {
            QStringList cells;
            for (int c = 1; c <= 8; ++c) {
                const QString at = RecordingSink::name(r, c);
                if (!sink.has(at))
                    cells << QString();
                else if (sink.at(at).kind == RecordingSink::Kind::Number)
                    cells << QStringLiteral("#") + QString::number(sink.at(at).value.toDouble());
                else
                    cells << sink.text(at);
            }
            return cells.join(QLatin1Char('|'));
        };
        QCOMPARE(row(2), QStringLiteral("松木立框料 45×95|#1|新料|立框|#2140|#12|#345|"));
        QCOMPARE(row(4), QStringLiteral("松木立框料 45×95|#1|新料|上框|#940|#12|#345|"));
        QCOMPARE(row(5), QStringLiteral("松木立框料 45×95|#2|新料|立框|#2150|#13|#350|"));
        QCOMPARE(row(10), QStringLiteral("松木立框料 45×95|#4|新料|立框|#2150|#13|#350|"));
        QCOMPARE(row(11), QStringLiteral("松木立框料 45×95|#5|余料7|门扇横档|#800.5|#14|#360|"));
        QCOMPARE(row(12), QStringLiteral("铝合金 6063|#1|新料|边框|#3000|#15|#370|"));
        QCOMPARE(row(13), QStringLiteral("不能下料|||||#16|#380|商品没有部件"));
        QCOMPARE(row(14), QStringLiteral("不能下料|||上框||#16|#381|“门框总宽”为空或为0"));
    }

    // --- the editors' checks --------------------------------------------------------------------

    void parseTenths_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("tenths");
        QTest::newRow("whole") << "6000" << true << qint64(60000);
        QTest::newRow("one decimal") << "4.5" << true << qint64(45);
        QTest::newRow("blanks around") << " 12 " << true << qint64(120);
        QTest::newRow("negative") << "-1" << true << qint64(-10);
        QTest::newRow("a trailing zero is no second decimal") << "4.50" << true << qint64(45);
        QTest::newRow("no whole part") << ".5" << true << qint64(5);
        QTest::newRow("a point at the end") << "5." << true << qint64(50);
        QTest::newRow("two decimals") << "4.25" << false << qint64(0);
        QTest::newRow("tenths and hundredths") << "0.05" << false << qint64(0);
        QTest::newRow("empty") << "" << false << qint64(0);
        QTest::newRow("a sign alone") << "-" << false << qint64(0);
        QTest::newRow("exponent") << "1e3" << false << qint64(0);
        QTest::newRow("thousands separator") << "6,000" << false << qint64(0);
        QTest::newRow("full-width digits") << "６０００" << false << qint64(0);
        QTest::newRow("unit typed") << "6000mm" << false << qint64(0);
    }
    void parseTenths() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(qint64, tenths);
        cutting::Length got = -99;
        QCOMPARE(ParseTenths(text, &got), ok);
        if (ok)
            QCOMPARE(got, tenths);
    }

    void materialChecks_data() {
        QTest::addColumn<QStringList>("values"); // name, stock length, kerf, trim, shortest offcut
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("message");
        QTest::newRow("good") << QStringList{"松木", "6000", "4", "10", "500"} << ""
                              << "";
        QTest::newRow("kerf and trim 0") << QStringList{"松木", "6000", "0", "0", "0"} << ""
                                         << "";
        QTest::newRow("one decimal everywhere") << QStringList{"松木", "5999.5", "3.5", "2999.7", "0.5"} << ""
                                                << "";
        QTest::newRow("negative kerf") << QStringList{"松木", "6000", "-1", "10", "500"} << "锯缝"
                                       << "材料“松木”的锯缝不能是负数（-1）。";
        QTest::newRow("negative trim") << QStringList{"松木", "6000", "4", "-0.5", "500"} << "端头余量"
                                       << "材料“松木”的端头余量不能是负数（-0.5）。";
        QTest::newRow("negative shortest offcut") << QStringList{"松木", "6000", "4", "10", "-500"} << "最短余料"
                                                  << "材料“松木”的最短余料不能是负数（-500）。";
        QTest::newRow("stock length two trims") << QStringList{"松木", "6000", "4", "3000", "500"} << "原料长度"
                                                << "材料“松木”的原料长度（6000）必须大于两端的端头余量之和（2×3000）。";
        QTest::newRow("stock length below two trims")
            << QStringList{"松木", "100", "4", "60", "500"} << "原料长度"
            << "材料“松木”的原料长度（100）必须大于两端的端头余量之和（2×60）。";
        QTest::newRow("stock length 0") << QStringList{"松木", "0", "4", "0", "500"} << "原料长度"
                                        << "材料“松木”的原料长度（0）必须大于两端的端头余量之和（2×0）。";
        QTest::newRow("stock length a tenth above two trims") << QStringList{"松木", "6000.1", "4", "3000", "500"} << ""
                                                              << "";
        QTest::newRow("two decimals") << QStringList{"松木", "6000", "4.25", "10", "500"} << "锯缝"
                                      << "材料“松木”的锯缝“4.25”不是长度：请填毫米数，最多一位小数。";
        QTest::newRow("no number") << QStringList{"松木", "六米", "4", "10", "500"} << "原料长度"
                                   << "材料“松木”的原料长度“六米”不是长度：请填毫米数，最多一位小数。";
        QTest::newRow("left empty") << QStringList{"松木", "6000", "4", "10", ""} << "最短余料"
                                    << "材料“松木”的最短余料“”不是长度：请填毫米数，最多一位小数。";
        QTest::newRow("no name") << QStringList{" ", "6000", "4", "10", "500"} << "材料名称"
                                 << "材料名称不能为空。";
    }
    void materialChecks() {
        QFETCH(QStringList, values);
        QFETCH(QString, field);
        QFETCH(QString, message);
        const MaterialValues v{values[0], values[1], values[2], values[3], values[4]};
        QCOMPARE(MaterialProblem(v), message);
        QCOMPARE(MaterialProblemField(v), field);
    }

    void offcutChecks_data() {
        QTest::addColumn<QString>("material");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("message");
        QTest::newRow("good") << "松木"
                              << "1200.5"
                              << ""
                              << "";
        QTest::newRow("unknown material") << "柚木"
                                          << "1200"
                                          << "材料名称"
                                          << "余料的材料“柚木”不存在。";
        QTest::newRow("no material") << ""
                                     << "1200"
                                     << "材料名称"
                                     << "余料的材料名称不能为空。";
        QTest::newRow("length 0") << "松木"
                                  << "0"
                                  << "长度"
                                  << "余料（松木）的长度“0”必须是大于0的毫米数，最多一位小数。";
        QTest::newRow("negative length") << "松木"
                                         << "-5"
                                         << "长度"
                                         << "余料（松木）的长度“-5”必须是大于0的毫米数，最多一位小数。";
        QTest::newRow("two decimals") << "松木"
                                      << "1200.25"
                                      << "长度"
                                      << "余料（松木）的长度“1200.25”必须是大于0的毫米数，最多一位小数。";
    }
    void offcutChecks() {
        QFETCH(QString, material);
        QFETCH(QString, length);
        QFETCH(QString, field);
        QFETCH(QString, message);
        const OffcutValues v{material, length};
        const QStringList materials{QStringLiteral("松木"), QStringLiteral("铝合金")};
        QCOMPARE(OffcutProblem(v, materials), message);
        QCOMPARE(OffcutProblemField(v, materials), field);
    }

    // --- the printed plan: pages -----------------------------------------------------------------

    void pages_data() {
        QTest::addColumn<QList<QList<int>>>("heights"); // per material, per run; page 100, header 20, footer 10
        QTest::addColumn<QStringList>("pages");
        QTest::newRow("all on one page") << QList<QList<int>>{{10, 10, 10}} << QStringList{"0:0+3"};
        QTest::newRow("filling the room exactly") << QList<QList<int>>{{35, 35}} << QStringList{"0:0+2"};
        QTest::newRow("one unit over") << QList<QList<int>>{{35, 36}} << QStringList{"0:0+1", "+0:1+1"};
        QTest::newRow("a run higher than a page stands alone")
            << QList<QList<int>>{{10, 80, 10}} << QStringList{"0:0+1", "+0:1+1", "+0:2+1"};
        QTest::newRow("the high run first") << QList<QList<int>>{{80, 10}} << QStringList{"0:0+1", "+0:1+1"};
        QTest::newRow("each material on a page of its own")
            << QList<QList<int>>{{10}, {10, 20}} << QStringList{"0:0+1", "1:0+2"};
        QTest::newRow("three pages of one material")
            << QList<QList<int>>{{30, 30, 30, 30, 30}, {5}} << QStringList{"0:0+2", "+0:2+2", "+0:4+1", "1:0+1"};
        QTest::newRow("a material without bars keeps its header") << QList<QList<int>>{{}} << QStringList{"0:0+0"};
        QTest::newRow("nothing to print") << QList<QList<int>>{} << QStringList{};
    }
    void pages() {
        QFETCH(QList<QList<int>>, heights);
        QFETCH(QStringList, pages);
        std::vector<std::vector<int>> h;
        for (const QList<int>& m : heights)
            h.emplace_back(m.begin(), m.end());
        QCOMPARE(pagesText(CutSheetPages(h, 100, 20, 10)), pages);
    }

    void wrapLabels_data() {
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QStringList>("lines"); // a character 10 wide, a line 100
        QTest::newRow("two fit exactly") << QStringList{"aaaa", "bbbb", "cccc"} << QStringList{"aaaa  bbbb", "cccc"};
        QTest::newRow("one too wide stands alone")
            << QStringList{"aa", "bbbbbbbbbbbb", "cc"} << QStringList{"aa", "bbbbbbbbbbbb", "cc"};
        QTest::newRow("none") << QStringList{} << QStringList{};
    }
    void wrapLabels() {
        QFETCH(QStringList, labels);
        QFETCH(QStringList, lines);
        QCOMPARE(WrapLabels(labels, 100, [](const QString& t) { return int(t.size()) * 10; }), lines);
    }

    // --- the printed plan: drawing --------------------------------------------------------------

    // Headers, bars and every piece's label, each material on pages of its own.
    void printedTexts() {
        RecordingSurface s;
        PrintCuttingPlan(s, samplePlan(), QDate(2026, 12, 9));
        QCOMPARE(s.count(RecordingSurface::Op::BeginJob), 1);
        QCOMPARE(s.count(RecordingSurface::Op::EndJob), 1);
        QCOMPARE(s.count(RecordingSurface::Op::NewPage), 1);
        const auto woodTitle = s.text(QStringLiteral("下料单  松木立框料 45×95"));
        QCOMPARE(woodTitle.page, 1);
        QCOMPARE(s.text(QStringLiteral("原料长度 6000 mm   锯缝 4 mm   端头余量 10 mm   共 5 根（新料 4 根，余料 1 根）"
                                       "   2026-12-09"))
                     .page,
                 1);
        QCOMPARE(s.text(QStringLiteral("下料单  铝合金 6063")).page, 2);
        QCOMPARE(
            s.text(QStringLiteral("原料长度 6500 mm   锯缝 3.5 mm   端头余量 5 mm   共 1 根（新料 1 根，余料 0 根）"
                                  "   2026-12-09"))
                .page,
            2);
        QCOMPARE(s.text(QStringLiteral("第1根  新料 6000   余下 752 余料")).page, 1);
        QCOMPARE(s.text(QStringLiteral("第2–4根  新料 6000  ×3   余下 1676 余料")).page, 1);
        QCOMPARE(s.text(QStringLiteral("第5根  余料7 900   余下 99.5")).page, 1);
        QCOMPARE(s.text(QStringLiteral("第1根  新料 6500   余下 3490 余料")).page, 2);
        QStringList drawn;
        for (const auto& c : s.texts())
            drawn << c.text;
        const QString all = drawn.join(QLatin1Char('\n'));
        for (const MaterialPlan& m : samplePlan().materials)
            for (const CutBar& b : m.bars)
                for (const CutPiece& p : b.pieces)
                    QVERIFY2(all.contains(PieceLabel(p)), qPrintable(PieceLabel(p)));
        QCOMPARE(s.text(QStringLiteral("第1页，共2页")).page, 1);
        QCOMPARE(s.text(QStringLiteral("第2页，共2页")).page, 2);
    }

    // A bar to scale: the stock length spans the page; the pieces start after the trim; a kerf
    // and the trims are filled bands; the leftover is hatched inside its part of the strip only.
    void barToScale() {
        RecordingSurface s;
        CuttingPlan plan = samplePlan();
        plan.materials.resize(1);
        plan.materials[0].bars.resize(1);
        PrintCuttingPlan(s, plan, QDate(2026, 12, 9));
        const double w = s.width - 1;
        auto x = [w](cutting::Length at) { return int(std::lround(double(at) * w / 60000.0)); };
        const QList<RecordingSurface::Call> lines = s.lines();
        // The strip's outline from 0 to the full width.
        int top = -1, bottom = -1;
        for (const auto& l : lines)
            if (qMin(l.at.x(), l.to.x()) == 0 && qMax(l.at.x(), l.to.x()) == x(60000) && l.at.y() == l.to.y()) {
                if (top < 0)
                    top = l.at.y();
                bottom = l.at.y();
            }
        QVERIFY(top >= 0 && bottom > top);
        auto verticalsIn = [&](int from, int to) {
            int n = 0;
            for (const auto& l : lines)
                if (l.at.x() == l.to.x() && l.at.x() >= from && l.at.x() <= to && qMin(l.at.y(), l.to.y()) == top &&
                    qMax(l.at.y(), l.to.y()) == bottom)
                    ++n;
            return n;
        };
        // Trim bands at both ends inside the bar, at least 0.5 mm wide (24 dots at 1200 dpi) however
        // thin to scale.
        const int half = int(std::lround(0.25 * 1200 / 25.4));
        QVERIFY(verticalsIn(0, 2 * half) >= 4);
        QVERIFY(verticalsIn(x(60000) - 2 * half, x(60000)) >= 4);
        for (const auto& l : lines)
            QVERIFY(l.at.x() >= 0 && l.to.x() >= 0);
        // The kerf between the two jambs, and the box of the first jamb from the trim on.
        const cutting::Length kerfAt = 100 + 21400;
        QVERIFY(verticalsIn(x(kerfAt) - half, x(kerfAt + 40) + half) >= 4);
        QVERIFY(verticalsIn(x(100), x(100)) >= 1);
        QVERIFY(verticalsIn(x(100 + 21400), x(100 + 21400)) >= 1);
        // Hatching: diagonals only between the end of the last piece and the far trim.
        const int restFrom = x(100 + 21400 + 40 + 21400 + 40 + 9400), restTo = x(59900);
        int diagonals = 0;
        for (const auto& l : lines) {
            if (l.at.x() == l.to.x() || l.at.y() == l.to.y())
                continue;
            ++diagonals;
            QVERIFY(l.at.x() >= restFrom && l.to.x() <= restTo);
            QVERIFY(l.at.y() <= bottom && l.to.y() >= top);
        }
        QVERIFY(diagonals > 10);
        // The pieces' names, lengths and bills inside their boxes.
        const auto name = s.text(QStringLiteral("上框"));
        QVERIFY(name.at.x() > x(100 + 2 * 21400 + 2 * 40) && name.at.x() < restFrom);
        QVERIFY(name.at.y() > top && name.at.y() < bottom);
        QVERIFY(s.text(QStringLiteral("单据12")).at.y() < bottom);
    }

    void emptyPlanPrintsNothing() {
        RecordingSurface s;
        PrintCuttingPlan(s, CuttingPlan(), QDate(2026, 12, 9));
        QCOMPARE(s.calls.size(), 0);
    }

    // The whole road into a real PDF: every piece and every bar read back.
    void pdfReadBack() {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("plan.pdf"));
        const CuttingPlan plan = samplePlan();
        PrintJobToPdf(
            pdf, [&](PrintSurface& s) { PrintCuttingPlan(s, plan, QDate(2026, 12, 9)); },
            PrintSurface::Orientation::Landscape, 300);
        const QList<test::PdfWord> words = test::PdfWords(pdf);
        QVERIFY(!words.isEmpty());
        QStringList seen;
        for (const test::PdfWord& w : words)
            seen << w.text;
        const QString all = seen.join(QLatin1Char(' '));
        for (const char* word : {"第1根", "第2–4根", "×3", "第5根", "余料7", "2026-12-09", "松木立框料", "铝合金",
                                 "第1页，共2页", "第2页，共2页"})
            QVERIFY2(seen.contains(QString::fromUtf8(word)), qPrintable(QString::fromUtf8(word) + " in " + all));
        for (const MaterialPlan& m : plan.materials)
            for (const CutBar& b : m.bars)
                for (const CutPiece& p : b.pieces)
                    QVERIFY2(all.contains(PieceLabel(p)), qPrintable(PieceLabel(p) + " in " + all));
        QCOMPARE(test::FindWord(words, QStringLiteral("铝合金"))->page, 2);
        if (qEnvironmentVariableIsSet("KVT_KEEP_PDF"))
            QFile::copy(pdf, qEnvironmentVariable("KVT_KEEP_PDF"));
    }
};

QTEST_MAIN(TestCuttingView)
#include "test_cutting_view.moc"
