// The cutting list without its window: piece lengths from the products' formulas, the reasons a
// line waits, offcuts and leftovers, the plan checked bar by bar by a checker of its own, and the
// confirmation against a second workstation and a kill. Runs on a file and on the test server.

#include "query/CuttingList.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "store/StoreError.h"

#include "support/QueryText.h"
#include "support/TestDatabase.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>
#include <set>
#include <tuple>

using namespace kvt;
using test::Scalar;

namespace {

int count(const QString& table, const QString& where = QString()) {
    return Scalar(QStringLiteral("select count(*) from %1 %2").arg(table, where)).toInt();
}

void addMaterial(const char* name, int stock, double kerf, double trim, double minOffcut) {
    Database::Exec(QStringLiteral("insert into 材料 (材料名称,原料长度,锯缝,端头余量,最短余料) values (%1,%2,%3,%4,%5)")
                       .arg(SqlText(QString::fromUtf8(name)))
                       .arg(stock)
                       .arg(kerf)
                       .arg(trim)
                       .arg(minOffcut));
}

void addPiece(int product, const char* name, const QString& material, int perLine, const QString& formula) {
    Database::Exec(
        QStringLiteral("insert into 商品部件 (商品ID,部件名称,材料名称,件数,长度公式) values (%1,%2,%3,%4,%5)")
            .arg(product)
            .arg(SqlText(QString::fromUtf8(name)), SqlText(material))
            .arg(perLine)
            .arg(SqlText(formula)));
}

qint64 addOffcut(const char* material, double length) {
    Database::Exec(QStringLiteral("insert into 余料 (材料名称,长度,来源,入库日期) values (%1,%2,\"架上\",#2021-02-01#)")
                       .arg(SqlText(QString::fromUtf8(material)))
                       .arg(length));
    return Scalar(QStringLiteral("select max(余料ID) from 余料")).toLongLong();
}

void addBill(int id, const char* date) {
    Database::Exec(QStringLiteral("insert into 历史单据 (单据ID,客户ID,客户地址,单据日期,安装人员ID,安装人员) "
                                  "values (%1,1,\"\",#%2#,9,\"刘师傅\")")
                       .arg(id)
                       .arg(QString::fromLatin1(date)));
}

/// A line of a bill; values by column, an empty text writing NULL. Returns its 门框ID.
qint64 addLine(int bill, int product, const QMap<QString, QString>& values) {
    QMap<QString, QString> v{{"数量", "1"},       {"见光宽", "860"},    {"见光高", "2080"}, {"埋地", "20"},
                             {"门框总宽", "900"}, {"门框总高", "2100"}, {"现量宽", "0"},    {"现量高", "0"},
                             {"门扇宽", "0"},     {"门扇高", "0"},      {"玻璃宽", "0"},    {"玻璃高", "0"}};
    for (auto it = values.begin(); it != values.end(); ++it)
        v[it.key()] = it.value();
    QStringList names{"单据ID", "商品ID"}, texts{QString::number(bill), QString::number(product)};
    for (auto it = v.begin(); it != v.end(); ++it) {
        names << it.key();
        texts << (it.value().isEmpty() ? QStringLiteral("null") : it.value());
    }
    Database::Exec(QStringLiteral("insert into 单据明细 (%1) values (%2)").arg(names.join(','), texts.join(',')));
    return Scalar(QStringLiteral("select max(门框ID) from 单据明细")).toLongLong();
}

CuttingListFilter march() {
    CuttingListFilter f;
    f.byDate = true;
    f.from = QDate(2021, 3, 1);
    f.to = QDate(2021, 3, 10);
    return f;
}

using PieceKey = std::tuple<qint64, qint64, int>; // line, piece, ordinal

/// Checks a plan as the saw would: every bar holds its pieces with the kerf between them and, on a
/// new bar, the trim at both ends; its leftover is what is left and is kept exactly when it reaches
/// the shortest offcut worth keeping; the counts add up. Gives the pieces cut.
void checkPlan(const CuttingPlan& plan, std::multiset<PieceKey>& pieces) {
    pieces.clear();
    for (const MaterialPlan& m : plan.materials) {
        int newBars = 0, offcuts = 0;
        for (const CutBar& bar : m.bars) {
            const bool fresh = bar.offcutId == 0;
            (fresh ? newBars : offcuts) += 1;
            if (fresh)
                QCOMPARE(bar.length, m.stockLength);
            cutting::Length used = fresh ? 2 * m.trim : 0;
            for (size_t i = 0; i < bar.pieces.size(); ++i) {
                used += bar.pieces[i].length + (i ? m.kerf : 0);
                if (i)
                    QVERIFY(bar.pieces[i - 1].length >= bar.pieces[i].length);
                pieces.insert({bar.pieces[i].lineId, bar.pieces[i].pieceId, bar.pieces[i].ordinal});
            }
            QVERIFY(!bar.pieces.empty());
            QVERIFY(used + bar.leftover == bar.length);
            QVERIFY(bar.leftover >= 0);
            QVERIFY(bar.kept == (bar.leftover > 0 && bar.leftover >= m.minOffcut));
        }
        QVERIFY(newBars == m.newBars);
        QVERIFY(offcuts == m.offcutsUsed);
        QVERIFY(m.newBars <= m.lowerBound + 1);
    }
}

std::multiset<PieceKey> piecesOf(const CuttingPlan& plan) {
    std::multiset<PieceKey> pieces;
    checkPlan(plan, pieces);
    return pieces;
}

} // namespace

class TestCuttingList : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_location;

    /// Two materials, a wooden frame (two jambs, one head) and a door leaf (two stiles, three rails).
    void seed() {
        TransactionScope scope;
        addMaterial("松木立框料", 6000, 4, 10, 500);
        addMaterial("松木门扇料", 6000, 4, 10, 500);
        addMaterial("铝框料", 3000, 0, 0, 500);
        addPiece(1, "立框", QStringLiteral("松木立框料"), 2, QStringLiteral("\"总高\"-5"));
        addPiece(1, "上框", QStringLiteral("松木立框料"), 1, QStringLiteral("\"门框总宽\""));
        addPiece(2, "门扇立梃", QStringLiteral("松木门扇料"), 2, QStringLiteral("\"门扇高\""));
        addPiece(2, "门扇横档", QStringLiteral("松木门扇料"), 3, QStringLiteral("\"门扇宽\"-100"));
        addBill(12, "2021-03-02");
        addBill(13, "2021-03-05");
        addBill(14, "2021-04-01");
        scope.Commit();
    }

    /// The lines of the plain plan: bill 12 one frame, bill 13 two frames and a door leaf, bill 14
    /// (out of the range) one frame.
    void seedLines() {
        addLine(12, 1, {{"门框总宽", "900"}, {"门框总高", "2100"}});
        addLine(13, 1, {{"数量", "2"}, {"门框总宽", "1000"}, {"门框总高", "2150"}});
        addLine(13, 2, {{"门扇宽", "600"}, {"门扇高", "1900"}});
        addLine(14, 1, {});
    }

    /// Four aluminium pieces of 1000 on bill 12, and an offcut of 1000 that saves a bar: its 余料ID.
    qint64 aluminium() {
        addPiece(60, "铝框", QStringLiteral("铝框料"), 1, QStringLiteral("\"总宽\""));
        addLine(12, 60, {{"数量", "4"}, {"门框总宽", "1000"}});
        return addOffcut("铝框料", 1000);
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_location = test::FreshDatabaseFor(m_dir->filePath(QStringLiteral("kvt.db")));
        Database::Open(m_location);
        seed();
    }

    void cleanup() {
        Database::Close();
        m_dir.reset();
    }

    // --- lengths ------------------------------------------------------------------------------

    void pieceLength_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("millimetres"); // 0: refused
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* tag, const char* formula, const char* title, const char* value, int mm,
                            const char* reason = "") {
            QTest::newRow(tag) << QString::fromUtf8(formula) << QString::fromUtf8(title) << QString::fromUtf8(value)
                               << mm << QString::fromUtf8(reason);
        };
        // The frame layout's and the door-leaf layout's titles of the same value.
        row("总宽", "\"总宽\"+40", "门框总宽", "900", 940);
        row("门框总宽", "\"门框总宽\"+40", "门框总宽", "900", 940);
        row("总高", "\"总高\"-5", "门框总高", "2100", 2095);
        row("门框总高", "\"门框总高\"-5", "门框总高", "2100", 2095);
        row("见光宽", "\"见光宽\"*2", "见光宽", "450.5", 901);
        row("现量高", "\"现量高\"-\"埋地\"", "现量高", "2030", 2010);
        row("玻璃宽", "\"玻璃宽\"+50", "玻璃宽", "700", 750);
        // The bill's rounding: halves to the even neighbour.
        row("half down to even", "\"门扇宽\"/2", "门扇宽", "2141", 1070);
        row("half up to even", "\"门扇宽\"/2", "门扇宽", "2143", 1072);
        row("above half", "\"门扇宽\"/3", "门扇宽", "2000", 667);
        // Refused, never guessed.
        row("needed size 0", "\"门扇宽\"-100", "门扇宽", "0", 0, "“门扇宽”为空或为0");
        row("needed size empty", "\"门扇宽\"-100", "门扇宽", "", 0, "“门扇宽”为空或为0");
        row("no title of the line", "\"备注\"+1", "门扇宽", "800", 0, "“备注”不是单据的列");
        row("unclosed quote", "\"门扇宽-100", "门扇宽", "800", 0, "不是单据的列");
        row("does not evaluate", "\"门扇宽\"*/2", "门扇宽", "800", 0, "长度公式不能计算");
        row("division by zero", "\"门扇宽\"/(1-1)", "门扇宽", "800", 0, "长度公式不能计算");
        row("not above 0", "\"门扇宽\"-800", "门扇宽", "800", 0, "不是合理的长度");
        row("rounds to 0", "\"门扇宽\"/2000", "门扇宽", "800", 0, "不是合理的长度");
        row("empty formula", " ", "门扇宽", "800", 0, "没有长度公式");
    }
    void pieceLength() {
        QFETCH(QString, formula);
        QFETCH(QString, title);
        QFETCH(QString, value);
        QFETCH(int, millimetres);
        QFETCH(QString, reason);
        // Every value 20, the one under test as given (总宽 is 门框总宽, 总高 门框总高).
        const QStringList& titles = PieceFormulaTitles();
        QStringList cells;
        for (const QString& t : titles)
            cells << (t == title || QStringLiteral("门框") + t == title ? value : QStringLiteral("20"));
        const PieceLengthResult r = PieceLength(formula, cells);
        QCOMPARE(r.ok, millimetres > 0);
        if (r.ok)
            QCOMPARE(r.length, cutting::Length(millimetres) * 10);
        else
            QVERIFY2(r.reason.contains(reason), qPrintable(r.reason));
    }

    void lengthText_data() {
        QTest::addColumn<qlonglong>("tenths");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 21400LL << "2140";
        QTest::newRow("a decimal") << 21405LL << "2140.5";
        QTest::newRow("below 1") << 5LL << "0.5";
        QTest::newRow("0") << 0LL << "0";
    }
    void lengthText() {
        QFETCH(qlonglong, tenths);
        QFETCH(QString, text);
        QCOMPARE(LengthText(tenths), text);
    }

    // --- the plan -----------------------------------------------------------------------------

    // Every piece of the range's lines once, on as few bars as the known optimum, mapped back to its
    // bill and line; the bill outside the range stays out.
    void planCutsEveryPieceOfTheChosenBills() {
        seedLines();
        const CuttingPlan plan = PlanCuttingList(march(), 2.0);
        QVERIFY(plan.notCut.empty());
        QCOMPARE(plan.materials.size(), size_t(2));
        QCOMPARE(plan.materials[0].material, QStringLiteral("松木立框料"));
        QCOMPARE(plan.materials[1].material, QStringLiteral("松木门扇料"));
        const std::multiset<PieceKey> pieces = piecesOf(plan);
        if (QTest::currentTestFailed())
            return;
        const qint64 first = Scalar(QStringLiteral("select min(门框ID) from 单据明细")).toLongLong();
        const qint64 jamb = 1, head = 2, stile = 3, rail = 4;
        const std::multiset<PieceKey> expected = {{first, jamb, 1},      {first, jamb, 2},      {first, head, 1},
                                                  {first + 1, jamb, 1},  {first + 1, jamb, 2},  {first + 1, jamb, 3},
                                                  {first + 1, jamb, 4},  {first + 1, head, 1},  {first + 1, head, 2},
                                                  {first + 2, stile, 1}, {first + 2, stile, 2}, {first + 2, rail, 1},
                                                  {first + 2, rail, 2},  {first + 2, rail, 3}};
        QCOMPARE(pieces, expected);
        // 2145 ×4, 2095 ×2, 1000 ×2 and 900 on bars of 5980 usable: three bars, no fewer possible.
        QCOMPARE(plan.materials[0].newBars, 3);
        QCOMPARE(plan.materials[0].pieceCount(), 9);
        // Two stiles of 1900 and three rails of 500 on one bar, 664 left and kept.
        QCOMPARE(plan.materials[1].newBars, 1);
        QCOMPARE(plan.materials[1].bars[0].leftover, cutting::Length((6000 - 20 - 3800 - 1500 - 4 * 4) * 10));
        QVERIFY(plan.materials[1].bars[0].kept);
        QCOMPARE(PieceLabel(plan.materials[1].bars[0].pieces[0]), QStringLiteral("门扇立梃 1900 (单据13)"));
        for (const CutBar& bar : plan.materials[0].bars)
            for (const CutPiece& p : bar.pieces)
                QCOMPARE(p.billId, p.lineId == first ? 12 : 13);
    }

    void identicalBarsAreRuns() {
        // Five equal frames of one bill: their jambs make equal bars, shown as one.
        for (int i = 0; i < 5; ++i)
            addLine(12, 1, {{"门框总宽", "900"}, {"门框总高", "2960"}});
        const CuttingPlan plan = PlanCuttingList(march(), 2.0);
        piecesOf(plan);
        if (QTest::currentTestFailed())
            return;
        const MaterialPlan& m = plan.materials.at(0);
        const std::vector<BarRun> runs = IdenticalBarRuns(m.bars);
        int bars = 0;
        for (const BarRun& r : runs) {
            QCOMPARE(r.first, bars);
            bars += r.count;
        }
        QCOMPARE(bars, int(m.bars.size()));
        QVERIFY2(std::any_of(runs.begin(), runs.end(), [](const BarRun& r) { return r.count >= 2; }),
                 "jambs of 2955 two to a bar make equal bars");
        for (const BarRun& r : runs)
            for (int i = r.first + 1; i < r.first + r.count; ++i)
                QCOMPARE(PieceLabel(m.bars[size_t(i)].pieces[0]), PieceLabel(m.bars[size_t(r.first)].pieces[0]));
    }

    // A piece that cannot be cut yet waits with its reason, never with a guessed length; the line's
    // other pieces are cut. A line without a product's pieces or a whole quantity waits whole.
    void notCutReasons_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("material");
        QTest::addColumn<QString>("leafWidth");
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<QString>("piece"); // "" for the whole line
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* tag, const char* formula, const char* material, const char* width,
                            const char* quantity, const char* piece, const char* reason) {
            QTest::newRow(tag) << QString::fromUtf8(formula) << QString::fromUtf8(material) << QString::fromUtf8(width)
                               << QString::fromUtf8(quantity) << QString::fromUtf8(piece) << QString::fromUtf8(reason);
        };
        const char* const wood = "松木立框料";
        row("formula fails", "\"门扇宽\"*/2", wood, "800", "1", "门扇横档", "长度公式不能计算");
        row("size still 0", "\"门扇宽\"-100", wood, "0", "1", "门扇横档", "“门扇宽”为空或为0");
        row("size still empty", "\"门扇宽\"-100", wood, "", "1", "门扇横档", "“门扇宽”为空或为0");
        row("title of no line", "\"颜色\"", wood, "800", "1", "门扇横档", "“颜色”不是单据的列");
        row("longer than a bar", "\"门扇宽\"*10", wood, "800", "1", "门扇横档", "比原料");
        row("material unknown", "\"门扇宽\"", "橡木料", "800", "1", "门扇横档", "材料“橡木料”不存在");
        row("no material", "\"门扇宽\"", "", "800", "1", "门扇横档", "没有填写材料");
        row("quantity 0", "\"门扇宽\"", wood, "800", "0", "", "数量“0”不是正整数");
        row("quantity a fraction", "\"门扇宽\"", wood, "800", "1.5", "", "不是正整数");
        row("product without pieces", "", wood, "800", "1", "", "商品没有部件");
    }
    void notCutReasons() {
        QFETCH(QString, formula);
        QFETCH(QString, material);
        QFETCH(QString, leafWidth);
        QFETCH(QString, quantity);
        QFETCH(QString, piece);
        QFETCH(QString, reason);
        if (!formula.isEmpty()) {
            addPiece(50, "上框", QStringLiteral("松木立框料"), 1, QStringLiteral("\"总宽\""));
            addPiece(50, "门扇横档", material, 1, formula);
        }
        const qint64 good = addLine(12, 1, {});
        const qint64 waiting = addLine(12, 50, {{"门扇宽", leafWidth}, {"数量", quantity}});
        const CuttingPlan plan = PlanCuttingList(march(), 1.0);
        QCOMPARE(plan.notCut.size(), size_t(1));
        const NotCut& n = plan.notCut[0];
        QCOMPARE(n.billId, 12);
        QCOMPARE(n.lineId, waiting);
        QCOMPARE(n.piece, piece);
        QCOMPARE(n.pieceId == 0, piece.isEmpty());
        QVERIFY2(n.reason.contains(reason), qPrintable(n.reason));
        // The other line whole, and the waiting line's head unless the whole line waits.
        const std::multiset<PieceKey> pieces = piecesOf(plan);
        std::multiset<PieceKey> expected = {{good, 1, 1}, {good, 1, 2}, {good, 2, 1}};
        if (!piece.isEmpty())
            expected.insert(
                {waiting, Scalar(QStringLiteral("select min(部件ID) from 商品部件 where 商品ID=50")).toLongLong(), 1});
        QCOMPARE(pieces, expected);
    }

    // Offcuts in stock go first where that saves a new bar, a piece longer than a new bar goes onto
    // an offcut long enough, and two such pieces for one offcut leave the second line waiting.
    void offcuts_data() {
        QTest::addColumn<QList<int>>("pieces"); // mm, one line each
        QTest::addColumn<QList<int>>("offcuts");
        QTest::addColumn<int>("newBars");
        QTest::addColumn<int>("offcutsUsed");
        QTest::addColumn<int>("waiting");
        QTest::newRow("an offcut saves a bar") << QList<int>{1000, 1000, 1000, 1000} << QList<int>{1000} << 1 << 1 << 0;
        QTest::newRow("an offcut that saves no bar stays")
            << QList<int>{1000, 1000, 1000} << QList<int>{1500} << 1 << 0 << 0;
        QTest::newRow("longer than a bar, on an offcut") << QList<int>{3500} << QList<int>{4000} << 0 << 1 << 0;
        QTest::newRow("one long offcut for two long pieces")
            << QList<int>{3500, 3600} << QList<int>{4000} << 0 << 1 << 1;
    }
    void offcuts() {
        QFETCH(QList<int>, pieces);
        QFETCH(QList<int>, offcuts);
        QFETCH(int, newBars);
        QFETCH(int, offcutsUsed);
        QFETCH(int, waiting);
        addPiece(60, "铝框", QStringLiteral("铝框料"), 1, QStringLiteral("\"总宽\""));
        for (int p : pieces)
            addLine(12, 60, {{"门框总宽", QString::number(p)}});
        std::map<qint64, int> ids;
        for (int o : offcuts)
            ids[addOffcut("铝框料", o)] = o;
        const CuttingPlan plan = PlanCuttingList(march(), 2.0);
        QCOMPARE(int(plan.notCut.size()), waiting);
        if (waiting)
            QVERIFY2(plan.notCut[0].reason.contains(QStringLiteral("余料")), qPrintable(plan.notCut[0].reason));
        const std::multiset<PieceKey> cut = piecesOf(plan);
        QCOMPARE(int(cut.size()), int(pieces.size()) - waiting);
        QCOMPARE(plan.materials.size(), size_t(1));
        const MaterialPlan& m = plan.materials[0];
        QCOMPARE(m.newBars, newBars);
        QCOMPARE(m.offcutsUsed, offcutsUsed);
        for (const CutBar& bar : m.bars)
            if (bar.offcutId)
                QCOMPARE(cutting::Length(ids.at(bar.offcutId)) * 10, bar.length);
        // The offcuts are cut first.
        QCOMPARE(m.bars[0].offcutId != 0, offcutsUsed > 0);
    }

    // The leftover goes back on the rack when it reaches 最短余料, else it is scrap.
    void leftoverKeptOrScrapped_data() {
        QTest::addColumn<int>("piece");
        QTest::addColumn<int>("leftover");
        QTest::addColumn<bool>("kept");
        QTest::newRow("longer than the shortest kept") << 2400 << 600 << true;
        QTest::newRow("exactly the shortest kept") << 2500 << 500 << true;
        QTest::newRow("shorter") << 2600 << 400 << false;
        QTest::newRow("nothing left") << 3000 << 0 << false;
    }
    void leftoverKeptOrScrapped() {
        QFETCH(int, piece);
        QFETCH(int, leftover);
        QFETCH(bool, kept);
        addPiece(60, "铝框", QStringLiteral("铝框料"), 1, QStringLiteral("\"总宽\""));
        addLine(12, 60, {{"门框总宽", QString::number(piece)}});
        const CuttingPlan plan = PlanCuttingList(march(), 1.0);
        piecesOf(plan);
        if (QTest::currentTestFailed())
            return;
        const CutBar& bar = plan.materials.at(0).bars.at(0);
        QCOMPARE(bar.leftover, cutting::Length(leftover) * 10);
        QCOMPARE(bar.kept, kept);
        QCOMPARE(plan.materials[0].leftoverKept(), kept ? cutting::Length(leftover) * 10 : 0);
        ConfirmCuttingPlan(plan);
        QCOMPARE(count(QStringLiteral("余料")), kept ? 1 : 0);
        if (kept)
            QCOMPARE(Scalar(QStringLiteral("select 长度 from 余料")), QString::number(leftover));
    }

    // --- confirming ---------------------------------------------------------------------------

    // The plan recorded piece by piece, its offcut gone from the rack and its leftovers on it; the
    // lines cut are not offered again, a frame added to a line afterwards is.
    void confirmRecordsThePlan() {
        seedLines();
        const qint64 offcut = aluminium();
        const CuttingPlan plan = PlanCuttingList(march(), 2.0);
        int pieces = 0, kept = 0, usedOffcuts = 0;
        for (const MaterialPlan& m : plan.materials) {
            pieces += m.pieceCount();
            usedOffcuts += m.offcutsUsed;
            for (const CutBar& b : m.bars)
                kept += b.kept ? 1 : 0;
        }
        QCOMPARE(usedOffcuts, 1);
        QCOMPARE(ConfirmCuttingPlan(plan), 1);
        QCOMPARE(count(QStringLiteral("下料记录")), pieces);
        QCOMPARE(count(QStringLiteral("下料记录"), QStringLiteral("where 下料单号=1")), pieces);
        QCOMPARE(count(QStringLiteral("余料"), QStringLiteral("where 余料ID=%1").arg(offcut)), 0);
        QCOMPARE(count(QStringLiteral("余料"), QStringLiteral("where 来源=\"下料单1\"")), kept);
        QCOMPARE(count(QStringLiteral("下料记录"), QStringLiteral("where 余料ID=%1").arg(offcut)), 1);

        const CuttingPlan again = PlanCuttingList(march(), 1.0);
        QVERIFY(again.materials.empty());
        QVERIFY(again.notCut.empty());

        // A second frame on bill 12's line: only its new pieces are offered.
        const qint64 line = Scalar(QStringLiteral("select min(门框ID) from 单据明细")).toLongLong();
        Database::Exec(QStringLiteral("update 单据明细 set 数量=2 where 门框ID=%1").arg(line));
        const CuttingPlan more = PlanCuttingList(march(), 1.0);
        const std::multiset<PieceKey> offered = piecesOf(more);
        QCOMPARE(offered, (std::multiset<PieceKey>{{line, 1, 3}, {line, 1, 4}, {line, 2, 2}}));
        QCOMPARE(ConfirmCuttingPlan(more), 2);
    }

    void confirmRefusedWhenTheDataMovedOn_data() {
        QTest::addColumn<QString>("meanwhile");
        QTest::newRow("a piece confirmed meanwhile")
            << "insert into 下料记录 (下料单号,下料日期,门框ID,部件ID,序号,材料名称,长度,原料序号) "
               "select 7,#2021-03-03#,min(门框ID),1,2,\"松木立框料\",2095,1 from 单据明细";
        QTest::newRow("the offcut used is gone") << "delete from 余料";
        QTest::newRow("the offcut used was lengthened") << "update 余料 set 长度=2000";
    }
    void confirmRefusedWhenTheDataMovedOn() {
        QFETCH(QString, meanwhile);
        seedLines();
        aluminium();
        const CuttingPlan plan = PlanCuttingList(march(), 1.0);
        Database::Exec(meanwhile);
        const int records = count(QStringLiteral("下料记录")), offcuts = count(QStringLiteral("余料"));
        try {
            ConfirmCuttingPlan(plan);
            QFAIL("confirmed a plan of yesterday's data");
        } catch (const StoreError& e) {
            QCOMPARE(e.kind(), StoreError::Kind::Conflict);
            QVERIFY2(e.message().contains(QStringLiteral("请重新计算")), qPrintable(e.message()));
        }
        QCOMPARE(count(QStringLiteral("下料记录")), records);
        QCOMPARE(count(QStringLiteral("余料")), offcuts);
        // Computed again, it confirms.
        ConfirmCuttingPlan(PlanCuttingList(march(), 1.0));
    }

    void emptyPlanIsNotConfirmed() {
        try {
            ConfirmCuttingPlan(CuttingPlan{});
            QFAIL("confirmed nothing");
        } catch (const StoreError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("没有")), qPrintable(e.message()));
        }
        QCOMPARE(count(QStringLiteral("下料记录")), 0);
    }

    // Two workstations plan the same lines and confirm at the same moment: one is recorded, the
    // other refused; the records are the one plan's, never a mixture.
    void twoWorkstationsConfirmTheSameLines() {
        for (int i = 0; i < 20; ++i)
            addLine(13, 1 + i % 2, {{"门扇宽", "800"}, {"门扇高", "2000"}, {"门框总高", QString::number(2000 + i)}});
        addOffcut("松木门扇料", 2100);
        const int offcutsBefore = count(QStringLiteral("余料"));
        Database::Close();
        QProcess first, second;
        for (QProcess* p : {&first, &second}) {
            p->start(QStringLiteral(KVT_CUTLIST_CHILD), {m_location});
            QVERIFY(p->waitForStarted());
        }
        int pieces = 0;
        for (QProcess* p : {&first, &second}) {
            QVERIFY(p->waitForReadyRead(60000));
            const QString line = QString::fromUtf8(p->readLine()).trimmed();
            QVERIFY2(line.startsWith(QStringLiteral("planned ")), qPrintable(line));
            pieces = line.mid(8).toInt();
        }
        QVERIFY(pieces > 0);
        for (QProcess* p : {&first, &second})
            p->write("go\n");
        QStringList outcomes;
        for (QProcess* p : {&first, &second}) {
            QVERIFY(p->waitForFinished(60000));
            QCOMPARE(p->exitCode(), 0);
            outcomes << QString::fromUtf8(p->readAllStandardOutput()).trimmed();
        }
        outcomes.sort();
        QVERIFY2(outcomes[0].startsWith(QStringLiteral("confirmed 1")), qPrintable(outcomes.join('|')));
        QVERIFY2(outcomes[1].startsWith(QStringLiteral("conflict")), qPrintable(outcomes.join('|')));
        Database::Open(m_location);
        QCOMPARE(count(QStringLiteral("下料记录")), pieces);
        QCOMPARE(count(QStringLiteral("下料记录"), QStringLiteral("where 下料单号=1")), pieces);
        // An offcut used is gone from the rack once.
        QCOMPARE(count(QStringLiteral("余料"), QStringLiteral("where 来源=\"架上\"")) +
                     Scalar(QStringLiteral("select count(distinct 余料ID) from 下料记录")).toInt(),
                 offcutsBefore);
    }

    // Killed at random moments while it confirms: the plan is recorded whole or not at all, with its
    // offcut and leftovers alike.
    void killDuringConfirmLeavesNothingHalfWritten() {
        for (int i = 0; i < 150; ++i)
            addLine(
                13, 1 + i % 2,
                {{"门扇宽", QString::number(700 + i)}, {"门扇高", "2000"}, {"门框总高", QString::number(2000 + i)}});
        addOffcut("松木门扇料", 2100);
        Database::Close();
        int whole = 0, none = 0;
        int pieces = 0, kept = -1;
        for (int round = 0; round < 12; ++round) {
            QProcess child;
            child.start(QStringLiteral(KVT_CUTLIST_CHILD), {m_location});
            QVERIFY(child.waitForStarted());
            QVERIFY(child.waitForReadyRead(60000));
            pieces = QString::fromUtf8(child.readLine()).trimmed().mid(8).toInt();
            child.write("go\n");
            child.waitForBytesWritten();
            QTest::qWait(int(QRandomGenerator::global()->bounded(0, 60)));
            if (child.state() != QProcess::NotRunning) {
                child.kill();
                QVERIFY(child.waitForFinished());
            }

            Database::Open(m_location);
            if (!test::OnServer())
                QCOMPARE(Scalar(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
            const int records = count(QStringLiteral("下料记录"));
            const int rack = count(QStringLiteral("余料"), QStringLiteral("where 来源=\"架上\""));
            const int leftovers = count(QStringLiteral("余料"), QStringLiteral("where 来源=\"下料单1\""));
            const int used = Scalar(QStringLiteral("select count(distinct 余料ID) from 下料记录")).toInt();
            QCOMPARE(rack + used, 1);
            if (records == 0) {
                ++none;
                QCOMPARE(leftovers, 0);
            } else {
                ++whole;
                QCOMPARE(records, pieces);
                if (kept >= 0)
                    QCOMPARE(leftovers, kept);
                kept = leftovers;
                // Back to before the confirmation for the next round.
                TransactionScope scope;
                Database::Exec(QStringLiteral("delete from 下料记录"));
                Database::Exec(QStringLiteral("delete from 余料"));
                addOffcut("松木门扇料", 2100);
                scope.Commit();
            }
            Database::Close();
        }
        qInfo("confirmations whole: %d, not at all: %d", whole, none);
        Database::Open(m_location);
    }

    // --- the tables ---------------------------------------------------------------------------

    void tablesRefuseUnsoundRows_data() {
        QTest::addColumn<QString>("statement");
        QTest::newRow("a material's name twice")
            << "insert into 材料 (材料名称,原料长度,锯缝,端头余量,最短余料) values (\"铝框料\",6000,3,0,500)";
        QTest::newRow("a negative kerf")
            << "insert into 材料 (材料名称,原料长度,锯缝,端头余量,最短余料) values (\"新料\",6000,-1,0,500)";
        QTest::newRow("no length beyond the trims")
            << "insert into 材料 (材料名称,原料长度,锯缝,端头余量,最短余料) values (\"新料\",100,3,50,500)";
        QTest::newRow("a count of 0") << "insert into 商品部件 (商品ID,部件名称,材料名称,件数,长度公式) values "
                                         "(1,\"中横档\",\"松木门扇料\",0,\"500\")";
        QTest::newRow("an offcut of no length") << "insert into 余料 (材料名称,长度) values (\"铝框料\",0)";
        QTest::newRow("a piece recorded twice")
            << "insert into 下料记录 (下料单号,门框ID,部件ID,序号) values (1,5,1,1),(2,5,1,1)";
    }
    void tablesRefuseUnsoundRows() {
        QFETCH(QString, statement);
        try {
            Database::Exec(statement);
            QFAIL("taken");
        } catch (const StoreError& e) {
            QCOMPARE(e.kind(), StoreError::Kind::Constraint);
        }
    }

    // --- kvtcut --from ------------------------------------------------------------------------

    void kvtcutPrintsThePlanAsJson() {
        seedLines();
        const qint64 waiting = addLine(12, 2, {}); // a door leaf not measured yet
        addPiece(60, "铝框", QStringLiteral("铝框料"), 1, QStringLiteral("\"总宽\""));
        addLine(12, 60, {{"数量", "4"}, {"门框总宽", "1000"}});
        const qint64 offcut = addOffcut("铝框料", 1000.5);
        const int records = count(QStringLiteral("下料记录"));
        Database::Close();
        QString dataDir = m_dir->path();
        if (test::OnServer()) {
            QFile ini(m_dir->filePath(QStringLiteral("kvt.ini")));
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[database]\nconnection=" + m_location.toUtf8() + "\n");
        }
        QProcess kvtcut;
        kvtcut.start(QStringLiteral(KVT_KVTCUT),
                     {QStringLiteral("--from"), QStringLiteral("2021-03-01"), QStringLiteral("--to"),
                      QStringLiteral("2021-03-10"), QStringLiteral("--data-dir"), dataDir});
        QVERIFY(kvtcut.waitForFinished(60000));
        QCOMPARE(kvtcut.exitCode(), 0);
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(kvtcut.readAllStandardOutput(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        const QJsonArray materials = doc.object().value(QStringLiteral("materials")).toArray();
        QCOMPARE(materials.size(), 3);
        const QJsonObject frame = materials[0].toObject();
        QCOMPARE(frame.value(QStringLiteral("material")).toString(), QStringLiteral("松木立框料"));
        QCOMPARE(frame.value(QStringLiteral("stock_length")).toDouble(), 6000.0);
        QCOMPARE(frame.value(QStringLiteral("kerf")).toDouble(), 4.0);
        QCOMPARE(frame.value(QStringLiteral("trim")).toDouble(), 10.0);
        QCOMPARE(frame.value(QStringLiteral("min_offcut")).toDouble(), 500.0);
        QCOMPARE(frame.value(QStringLiteral("new_bars")).toInt(), 3);
        QCOMPARE(frame.value(QStringLiteral("bars")).toArray().size(), 3);
        int jambs = 0;
        for (const QJsonValue& bar : frame.value(QStringLiteral("bars")).toArray()) {
            QCOMPARE(bar.toObject().value(QStringLiteral("source")).toString(), QStringLiteral("stock"));
            QCOMPARE(bar.toObject().value(QStringLiteral("length")).toDouble(), 6000.0);
            for (const QJsonValue& p : bar.toObject().value(QStringLiteral("pieces")).toArray())
                if (p.toObject().value(QStringLiteral("piece")).toString() == QStringLiteral("立框"))
                    ++jambs;
        }
        QCOMPARE(jambs, 6);
        const QJsonObject metal = materials[2].toObject();
        QCOMPARE(metal.value(QStringLiteral("material")).toString(), QStringLiteral("铝框料"));
        QCOMPARE(metal.value(QStringLiteral("offcuts_used")).toInt(), 1);
        QCOMPARE(metal.value(QStringLiteral("new_bars")).toInt(), 1);
        QCOMPARE(metal.value(QStringLiteral("lower_bound")).toInt(), 1);
        const QJsonObject onOffcut = metal.value(QStringLiteral("bars")).toArray()[0].toObject();
        QCOMPARE(onOffcut.value(QStringLiteral("source")).toInteger(), offcut);
        QCOMPARE(onOffcut.value(QStringLiteral("length")).toDouble(), 1000.5);
        QCOMPARE(onOffcut.value(QStringLiteral("leftover")).toDouble(), 0.5);
        QCOMPARE(onOffcut.value(QStringLiteral("kept")).toBool(), false);
        const QJsonArray notCut = doc.object().value(QStringLiteral("not_cut")).toArray();
        QCOMPARE(notCut.size(), 2);
        for (const QJsonValue& n : notCut) {
            QCOMPARE(n.toObject().value(QStringLiteral("bill")).toInt(), 12);
            QCOMPARE(n.toObject().value(QStringLiteral("line")).toInteger(), waiting);
            QVERIFY(n.toObject().value(QStringLiteral("reason")).toString().contains(QStringLiteral("为空或为0")));
        }
        // It changed nothing.
        Database::Open(m_location);
        QCOMPARE(count(QStringLiteral("下料记录")), records);
        QCOMPARE(count(QStringLiteral("余料"), QStringLiteral("where 余料ID=%1").arg(offcut)), 1);
    }
};

QTEST_GUILESS_MAIN(TestCuttingList)
#include "test_cutting_list.moc"
