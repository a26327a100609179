// The cutting optimiser as the cutting list calls it: kerf and trim worked out by hand, exact lengths,
// offcuts, bad problems, the time limit, the pricing knapsack, and standard instances of known optimum.
// Every plan made here goes through the checker, which is written apart from the optimiser.
#include "cutting/GeneratedProblems.h"
#include "cutting/PlanCheck.h"

#include "cutting/Cutting.h"
#include "cutting/InstanceFile.h"
#include "cutting/Knapsack.h"
#include "cutting/Model.h"

#include <QtTest>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>

using namespace kvt::cutting;

Q_DECLARE_METATYPE(Problem)

namespace {

// Millimetres as the optimiser's tenths.
constexpr Length mm(double millimetres) {
    return static_cast<Length>(millimetres * 10 + (millimetres >= 0 ? 0.5 : -0.5));
}

Problem problemOf(double stock, double kerf, double trim, std::initializer_list<std::pair<double, int>> pieces,
                  std::initializer_list<std::pair<double, int>> offcuts = {}) {
    Problem p;
    p.stockLength = mm(stock);
    p.kerf = mm(kerf);
    p.trim = mm(trim);
    for (const auto& [length, count] : pieces)
        p.pieces.push_back({mm(length), count});
    for (const auto& [length, count] : offcuts)
        p.offcuts.push_back({mm(length), count});
    p.timeLimitSeconds = 10;
    return p;
}

// Solves and checks the plan; a plan the checker refuses fails the test at once.
Plan checkedSolve(const Problem& problem) {
    const Plan plan = solve(problem);
    const std::string error = check::planError(problem, plan);
    if (!error.empty())
        qFatal("plan refused by the checker: %s", error.c_str());
    const Plan ffd = firstFitDecreasing(problem);
    const std::string ffdError = check::planError(problem, ffd);
    if (!ffdError.empty())
        qFatal("first-fit plan refused by the checker: %s", ffdError.c_str());
    if (plan.newBars > ffd.newBars && plan.unplaced.empty())
        qFatal("solve used %d bars, first fit decreasing %d", plan.newBars, ffd.newBars);
    return plan;
}

// The fewest new bars for a tiny problem, by trying every way to lay the pieces (longest first) onto
// offcuts and new bars: the yardstick for the optimiser with offcuts. -1 when some piece fits nowhere.
int bruteForceBars(const Problem& problem) {
    std::vector<Length> pieces;
    for (const Demand& d : problem.pieces)
        pieces.insert(pieces.end(), d.count, d.length);
    std::sort(pieces.rbegin(), pieces.rend());
    struct Bar {
        Length room; // what is left, a kerf ahead of every piece but the first counted as used up front
        int offcut;  // -1 for a new bar
        bool empty;
    };
    std::vector<Bar> bars;
    std::vector<int> offcutsLeft;
    for (const Offcut& o : problem.offcuts)
        offcutsLeft.push_back(o.count);
    const Length usable = problem.stockLength - 2 * problem.trim;
    int best = -1;
    std::function<void(std::size_t, int)> place = [&](std::size_t next, int newBars) {
        if (best >= 0 && newBars >= best)
            return;
        if (next == pieces.size()) {
            best = newBars;
            return;
        }
        const Length piece = pieces[next];
        // By index: the bars opened deeper down move the vector.
        for (std::size_t b = 0; b < bars.size(); ++b) {
            const Length need = piece + (bars[b].empty ? 0 : problem.kerf);
            if (need <= bars[b].room) {
                const Bar saved = bars[b];
                bars[b].room -= need;
                bars[b].empty = false;
                place(next + 1, newBars);
                bars[b] = saved;
            }
        }
        for (std::size_t o = 0; o < problem.offcuts.size(); ++o) {
            if (offcutsLeft[o] > 0 && piece <= problem.offcuts[o].length) {
                --offcutsLeft[o];
                bars.push_back({problem.offcuts[o].length - piece, static_cast<int>(o), false});
                place(next + 1, newBars);
                bars.pop_back();
                ++offcutsLeft[o];
            }
        }
        if (piece <= usable) {
            bars.push_back({usable - piece, -1, false});
            place(next + 1, newBars + 1);
            bars.pop_back();
        }
    };
    place(0, 0);
    return best;
}

/// Five of the field's standard instances (Falkenauer's uniform and triplet sets, from the BPPLIB
/// collection) with their known optima, kept beside this test.
QString instanceFolder() {
    return qEnvironmentVariable("KVT_SOURCE_DIR") + QStringLiteral("/tests/cutting/instances");
}

} // namespace

class TestCutting : public QObject {
    Q_OBJECT

private slots:
    void byHand_data();
    void byHand();
    void leftoverOfAPattern();
    void badProblems_data();
    void badProblems();
    void offcuts_data();
    void offcuts();
    void offcutsAgainstBruteForce();
    void pieceOnlyAnOffcutTakes();
    void offcutsOnKnownOptimum();
    void settleToTheDemand_data();
    void settleToTheDemand();
    void knapsackWaysAgree();
    void standardInstances_data();
    void standardInstances();
    void longBarsOfKnownOptimum();
    void manyDistinctLengths();
    void sameProblemSamePlan();
    void timeLimitKeepsBestSoFar();
    void parseInstance_data();
    void parseInstance();
    void millimetresText_data();
    void millimetresText();
};

// Bars, kerf and trim worked out by hand; lengths in millimetres.
void TestCutting::byHand_data() {
    QTest::addColumn<double>("stock");
    QTest::addColumn<double>("kerf");
    QTest::addColumn<double>("trim");
    QTest::addColumn<QList<double>>("pieces"); // one entry per piece
    QTest::addColumn<int>("bars");

    // Exactness: pieces that add up to the bar, and 0.1 mm over.
    QTest::newRow("sum is the bar") << 6000.0 << 0.0 << 0.0 << QList<double>{2000, 2000, 2000} << 1;
    QTest::newRow("0.1 mm over") << 6000.0 << 0.0 << 0.0 << QList<double>{2000, 2000, 2000.1} << 2;
    QTest::newRow("tenths add up") << 1000.0 << 0.0 << 0.0 << QList<double>{333.3, 333.3, 333.4} << 1;
    // Kerf: only between pieces, never after the last.
    QTest::newRow("fits without the last kerf")
        << 1000.0 << 5.0 << 0.0 << QList<double>{330, 330, 330} << 1; // 990 + 2 kerfs = 1000
    QTest::newRow("one kerf too many") << 1000.0 << 5.0 << 0.0 << QList<double>{330.1, 330, 330} << 2;
    QTest::newRow("kerf of one decimal") << 1000.0 << 0.1 << 0.0 << QList<double>{499.9, 500} << 1;
    QTest::newRow("kerf of one decimal, over") << 1000.0 << 0.1 << 0.0 << QList<double>{500, 500} << 2;
    QTest::newRow("single piece has no kerf") << 1000.0 << 50.0 << 0.0 << QList<double>{1000} << 1;
    // Trim: off both ends of every new bar.
    QTest::newRow("trim both ends") << 1000.0 << 0.0 << 10.0 << QList<double>{490, 490} << 1;
    QTest::newRow("trim both ends, over") << 1000.0 << 0.0 << 10.0 << QList<double>{490, 490.1} << 2;
    QTest::newRow("trim and kerf") << 6000.0 << 4.0 << 10.0 << QList<double>{2990, 2986} << 1; // 5976+4 = 5980
    QTest::newRow("trim and kerf, over") << 6000.0 << 4.0 << 10.0 << QList<double>{2990, 2986.1} << 2;
    QTest::newRow("trim eats nearly all") << 100.0 << 0.0 << 49.9 << QList<double>{0.2, 0.1, 0.1} << 2;
    // 10 x 597 + 9 kerfs = 5997 > 5990: nine to a bar.
    QTest::newRow("many of one length") << 6000.0 << 3.0 << 5.0 << QList<double>(100, 597.0) << 12;
}

void TestCutting::byHand() {
    QFETCH(double, stock);
    QFETCH(double, kerf);
    QFETCH(double, trim);
    QFETCH(QList<double>, pieces);
    QFETCH(int, bars);
    Problem problem = problemOf(stock, kerf, trim, {});
    std::map<Length, int> counts;
    for (double piece : pieces)
        ++counts[mm(piece)];
    for (const auto& [length, count] : counts)
        problem.pieces.push_back({length, count});
    QCOMPARE(QString::fromStdString(problemError(problem)), QString());
    const Plan plan = checkedSolve(problem);
    QCOMPARE(plan.newBars, bars);
    QCOMPARE(plan.lowerBound, bars);
    QVERIFY(plan.optimal);
}

void TestCutting::leftoverOfAPattern() {
    const Problem problem = problemOf(6000, 4, 10, {{2000, 2}}, {{2500, 1}});
    QCOMPARE(leftover(problem, Pattern{1, -1, {mm(2000), mm(2000)}}), mm(6000 - 20 - 4000 - 4));
    QCOMPARE(leftover(problem, Pattern{1, 0, {mm(2000)}}), mm(500)); // no trim on an offcut
    QCOMPARE(leftover(problem, Pattern{1, -1, {}}), mm(5980));
}

void TestCutting::badProblems_data() {
    QTest::addColumn<double>("stock");
    QTest::addColumn<double>("kerf");
    QTest::addColumn<double>("trim");
    QTest::addColumn<double>("piece");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("offcut"); // 0: none
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero bar") << 0.0 << 0.0 << 0.0 << 100.0 << 1 << 0.0 << "原料长度";
    QTest::newRow("negative bar") << -6000.0 << 0.0 << 0.0 << 100.0 << 1 << 0.0 << "原料长度";
    QTest::newRow("negative kerf") << 6000.0 << -1.0 << 0.0 << 100.0 << 1 << 0.0 << "锯缝";
    QTest::newRow("negative trim") << 6000.0 << 0.0 << -1.0 << 100.0 << 1 << 0.0 << "修边";
    QTest::newRow("trim leaves nothing") << 6000.0 << 0.0 << 3000.0 << 100.0 << 1 << 0.0 << "没有可用长度";
    QTest::newRow("zero piece") << 6000.0 << 0.0 << 0.0 << 0.0 << 1 << 0.0 << "长度必须大于零";
    QTest::newRow("negative piece") << 6000.0 << 0.0 << 0.0 << -5.0 << 1 << 0.0 << "长度必须大于零";
    QTest::newRow("zero count") << 6000.0 << 0.0 << 0.0 << 100.0 << 0 << 0.0 << "数量必须大于零";
    QTest::newRow("negative count") << 6000.0 << 0.0 << 0.0 << 100.0 << -2 << 0.0 << "数量必须大于零";
    QTest::newRow("piece over the bar") << 6000.0 << 0.0 << 0.0 << 6000.1 << 1 << 0.0 << "还长";
    QTest::newRow("piece over the trimmed bar") << 6000.0 << 0.0 << 10.0 << 5980.1 << 1 << 0.0 << "还长";
    QTest::newRow("piece over bar and offcut") << 6000.0 << 0.0 << 0.0 << 6500.0 << 1 << 6400.0 << "余料";
    QTest::newRow("zero offcut") << 6000.0 << 0.0 << 0.0 << 100.0 << 1 << -1.0 << "余料";
    QTest::newRow("absurd bar") << 1e7 << 0.0 << 0.0 << 100.0 << 1 << 0.0 << "不能超过";
    QTest::newRow("too many pieces") << 6000.0 << 0.0 << 0.0 << 100.0 << 100001 << 0.0 << "件";
    // And what is fine: kerf longer than a piece, a piece the size of the bar, one only an offcut takes.
    QTest::newRow("kerf longer than piece") << 6000.0 << 50.0 << 0.0 << 10.0 << 3 << 0.0 << "";
    QTest::newRow("piece is the usable bar") << 6000.0 << 0.0 << 10.0 << 5980.0 << 1 << 0.0 << "";
    QTest::newRow("piece fits the offcut") << 6000.0 << 0.0 << 0.0 << 6500.0 << 1 << 6500.0 << "";
}

void TestCutting::badProblems() {
    QFETCH(double, stock);
    QFETCH(double, kerf);
    QFETCH(double, trim);
    QFETCH(double, piece);
    QFETCH(int, count);
    QFETCH(double, offcut);
    QFETCH(QString, expected);
    Problem problem = problemOf(stock, kerf, trim, {});
    problem.pieces.push_back({mm(piece), count});
    if (offcut != 0)
        problem.offcuts.push_back({mm(offcut), 1});
    const QString error = QString::fromStdString(problemError(problem));
    if (expected.isEmpty()) {
        QCOMPARE(error, QString());
        checkedSolve(problem);
    } else {
        QVERIFY2(error.contains(expected), qPrintable(error));
    }
}

// Offcuts: used where they save a new bar, within their counts, no trim, kerf as on a bar; left on the
// rack where they save nothing.
void TestCutting::offcuts_data() {
    QTest::addColumn<Problem>("problem");
    QTest::addColumn<int>("newBars");
    QTest::addColumn<int>("offcutsUsed");
    QTest::addColumn<int>("lowerBound");

    QTest::newRow("offcut saves a bar") << problemOf(1000, 0, 0, {{600, 2}}, {{650, 1}}) << 1 << 1 << 1;
    QTest::newRow("offcut saves nothing") << problemOf(1000, 0, 0, {{300, 3}}, {{400, 1}}) << 1 << 0 << 1;
    QTest::newRow("counts limit") << problemOf(1000, 0, 0, {{600, 4}}, {{650, 2}}) << 2 << 2 << 2;
    QTest::newRow("no trim on offcut") << problemOf(1000, 0, 10, {{600, 1}}, {{600, 1}}) << 0 << 1 << 0;
    QTest::newRow("kerf on offcut") << problemOf(1000, 5, 0, {{500, 2}}, {{1000, 1}}) << 1 << 1 << 1;
    QTest::newRow("kerf on offcut, fits") << problemOf(1000, 5, 0, {{500, 2}}, {{1005, 1}}) << 0 << 1 << 0;
    QTest::newRow("bound counts offcuts") << problemOf(1000, 0, 0, {{500, 10}}, {{500, 4}}) << 3 << 4 << 3;
    QTest::newRow("shorter offcut suffices")
        << problemOf(1000, 0, 0, {{600, 1}, {1000, 1}}, {{900, 1}, {650, 1}}) << 1 << 1 << 1;
    // A 2500 on each 2600, a 1200 on the 1300; 2 x 2500 + 2 x 1200 + 3 kerfs = 7412 need two bars of 5980.
    // The 1300 saves nothing then: the 1200 fits in what the two bars leave.
    QTest::newRow("two kinds") << problemOf(6000, 4, 10, {{2500, 4}, {1200, 3}}, {{2600, 2}, {1300, 1}}) << 2 << 2 << 2;
}

void TestCutting::offcuts() {
    QFETCH(Problem, problem);
    QFETCH(int, newBars);
    QFETCH(int, offcutsUsed);
    QFETCH(int, lowerBound);
    const Plan plan = checkedSolve(problem);
    QCOMPARE(plan.newBars, newBars);
    QCOMPARE(plan.offcutsUsed, offcutsUsed);
    QCOMPARE(plan.lowerBound, lowerBound);
    QVERIFY(plan.optimal);
    if (QByteArray(QTest::currentDataTag()) == "shorter offcut suffices") {
        // The 600 goes on the 650 and leaves the 900 on the rack.
        const auto onOffcut =
            std::find_if(plan.patterns.begin(), plan.patterns.end(), [](const Pattern& p) { return p.offcut >= 0; });
        QCOMPARE(onOffcut->offcut, 1);
    }
}

// Small random problems with offcuts against trying every way: as few new bars, and a bound that
// holds.
void TestCutting::offcutsAgainstBruteForce() {
    std::mt19937 random(34);
    for (int round = 0; round < 40; ++round) {
        Problem problem;
        problem.stockLength = 10 * std::uniform_int_distribution<Length>(80, 120)(random);
        problem.kerf = 10 * std::uniform_int_distribution<Length>(0, 3)(random);
        problem.trim = 10 * std::uniform_int_distribution<Length>(0, 2)(random);
        const int kinds = std::uniform_int_distribution<int>(1, 4)(random);
        for (int k = 0; k < kinds; ++k)
            problem.pieces.push_back({10 * std::uniform_int_distribution<Length>(15, 70)(random),
                                      std::uniform_int_distribution<int>(1, 2)(random)});
        const int offcutKinds = std::uniform_int_distribution<int>(0, 2)(random);
        for (int k = 0; k < offcutKinds; ++k)
            problem.offcuts.push_back({10 * std::uniform_int_distribution<Length>(20, 90)(random),
                                       std::uniform_int_distribution<int>(1, 2)(random)});
        if (!problemError(problem).empty())
            continue;
        const int best = bruteForceBars(problem);
        const Plan plan = checkedSolve(problem);
        QVERIFY(best >= 0);
        QCOMPARE(plan.newBars, best);
        QVERIFY2(plan.lowerBound <= best, qPrintable(QStringLiteral("round %1").arg(round)));
    }
}

// A piece longer than the bar goes on the one offcut that takes it; a second such piece has nowhere
// to go and is reported, not dropped.
void TestCutting::pieceOnlyAnOffcutTakes() {
    const Problem fits = problemOf(6000, 4, 10, {{6200, 1}, {1000, 2}}, {{8208, 1}}); // 6200 + 2 x 1004
    const Plan plan = checkedSolve(fits);
    QCOMPARE(plan.newBars, 0);
    QCOMPARE(plan.offcutsUsed, 1);
    QVERIFY(plan.unplaced.empty());

    const Problem tooMany = problemOf(6000, 0, 0, {{6200, 2}, {1000, 2}}, {{6500, 1}});
    QCOMPARE(QString::fromStdString(problemError(tooMany)), QString());
    const Plan short1 = checkedSolve(tooMany);
    QCOMPARE(short1.unplaced.size(), std::size_t(1));
    QCOMPARE(short1.unplaced[0].length, mm(6200));
    QCOMPARE(short1.unplaced[0].count, 1);
    QVERIFY(!short1.optimal);
}

// Wasteless problems of known optimum with full-length offcuts on the rack: each offcut saves a whole
// bar, and the bound, which prices the offcuts' rows too, never claims more.
void TestCutting::offcutsOnKnownOptimum() {
    for (unsigned seed : {3u, 4u, 5u}) {
        generated::KnownProblem known = generated::wasteless(seed, 40, 10'000, 2, 4, 1'000);
        known.problem.offcuts = {{known.problem.stockLength, 3}, {2'000, 2}};
        const Plan plan = checkedSolve(known.problem);
        QCOMPARE(plan.lowerBound, known.optimum - 3);
        QCOMPARE(plan.newBars, known.optimum - 3);
    }
}

// Bars of a plan made to cut the demand exactly: a surplus piece cut shorter where a shorter one is
// missing, what is too much taken off, what is missing into the bars' room and then onto the
// fullest new bars. Lengths in millimetres; a bar is its offcut (or -1) and its pieces.
using Bars = std::vector<std::pair<int, std::vector<double>>>;
Q_DECLARE_METATYPE(Bars)

void TestCutting::settleToTheDemand_data() {
    QTest::addColumn<Problem>("problem");
    QTest::addColumn<Bars>("bars");
    QTest::addColumn<int>("newBars");
    QTest::addColumn<int>("offcutsUsed");

    QTest::newRow("longer piece cut shorter")
        << problemOf(1000, 0, 0, {{500, 1}, {400, 1}}) << Bars{{-1, {500, 500}}} << 1 << 0;
    QTest::newRow("surpluses to the shortages below them") << problemOf(1000, 0, 0, {{900, 1}, {800, 1}, {500, 1}})
                                                           << Bars{{-1, {900}}, {-1, {900}}, {-1, {900}}} << 3 << 0;
    QTest::newRow("too much comes off") << problemOf(1000, 0, 0, {{500, 1}}) << Bars{{-1, {500}}, {-1, {500}}} << 1
                                        << 0;
    QTest::newRow("missing into the room, then a new bar")
        << problemOf(1000, 0, 0, {{600, 1}, {300, 1}, {900, 1}}) << Bars{{-1, {600}}} << 2 << 0;
    QTest::newRow("kerf counted in the room")
        << problemOf(1000, 10, 0, {{600, 1}, {400, 1}}) << Bars{{-1, {600}}} << 2 << 0;
    // First fit decreasing takes three bars: 500+400, 300+300+250, 250.
    QTest::newRow("new bars filled fullest")
        << problemOf(1000, 0, 0, {{500, 1}, {400, 1}, {300, 2}, {250, 2}}) << Bars{} << 2 << 0;
    QTest::newRow("an offcut used up stays used")
        << problemOf(1000, 0, 0, {{600, 2}}, {{650, 1}}) << Bars{{0, {600}}} << 1 << 1;
}

void TestCutting::settleToTheDemand() {
    QFETCH(Problem, problem);
    QFETCH(Bars, bars);
    QFETCH(int, newBars);
    QFETCH(int, offcutsUsed);
    const Model model(problem);
    std::vector<int> available;
    for (const Bin& bin : model.bins)
        available.push_back(bin.limit);
    std::vector<Cut> cuts;
    for (const auto& [offcut, lengths] : bars) {
        Cut cut;
        cut.bin = offcut + 1;
        if (cut.bin > 0)
            --available[cut.bin];
        for (double length : lengths) {
            const int item =
                int(std::find(model.length.begin(), model.length.end(), mm(length)) - model.length.begin());
            auto at = std::lower_bound(cut.items.begin(), cut.items.end(), std::pair<int, int>{item, 0});
            if (at != cut.items.end() && at->first == item)
                ++at->second;
            else
                cut.items.insert(at, {item, 1});
        }
        cuts.push_back(cut);
    }
    const Plan plan = model.toPlan(model.settle(cuts, available));
    QCOMPARE(QString::fromStdString(check::planError(problem, plan)), QString());
    QVERIFY(plan.unplaced.empty());
    QCOMPARE(plan.newBars, newBars);
    QCOMPARE(plan.offcutsUsed, offcutsUsed);
}

// Dynamic programming and branch and bound find the same best value on random knapsacks.
void TestCutting::knapsackWaysAgree() {
    std::mt19937 random(7);
    const Deadline noLimit(3600);
    for (int round = 0; round < 200; ++round) {
        std::vector<KnapsackItem> items;
        const int n = std::uniform_int_distribution<int>(1, 12)(random);
        const Length capacity = std::uniform_int_distribution<Length>(10, 300)(random);
        for (int i = 0; i < n; ++i)
            items.push_back({i, std::uniform_int_distribution<Length>(1, 120)(random),
                             std::uniform_real_distribution<double>(-0.1, 1.0)(random),
                             std::uniform_int_distribution<int>(0, 4)(random)});
        const KnapsackResult table = knapsackByDynamicProgramming(items, capacity);
        const KnapsackResult search = knapsackByBranchAndBound(items, capacity, noLimit);
        QVERIFY2(std::abs(table.value - search.value) < 1e-9, qPrintable(QStringLiteral("round %1").arg(round)));
        for (const KnapsackResult* r : {&table, &search}) {
            Length weight = 0;
            double value = 0;
            for (const auto& [item, count] : r->items) {
                QVERIFY(count <= items[item].bound);
                weight += items[item].weight * count;
                value += items[item].value * count;
            }
            QVERIFY(weight <= capacity);
            QVERIFY(std::abs(value - r->value) < 1e-9 || r->items.empty());
        }
    }
}

// A handful of the standard instances, small enough to keep the suite quick, reach their known optimum.
void TestCutting::standardInstances_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("optimum");
    QTest::newRow("u120_00") << "Falkenauer_U/Falkenauer_u120_00.txt" << 48;
    QTest::newRow("u250_07") << "Falkenauer_U/Falkenauer_u250_07.txt" << 0;
    QTest::newRow("u500_01") << "Falkenauer_U/Falkenauer_u500_01.txt" << 0;
    QTest::newRow("t60_00") << "Falkenauer_T/Falkenauer_t60_00.txt" << 20;
    QTest::newRow("t120_00") << "Falkenauer_T/Falkenauer_t120_00.txt" << 40;
}

void TestCutting::standardInstances() {
    QFETCH(QString, file);
    QFETCH(int, optimum);
    const QString folder = instanceFolder();
    QVERIFY(QFileInfo(folder + "/bounds.tsv").exists());
    // The optimum as bounds.tsv records it.
    std::ifstream bounds((folder + "/bounds.tsv").toStdString());
    std::string name, header;
    std::getline(bounds, header);
    int lower = 0, known = -1, best = -1;
    while (bounds >> name >> lower >> known)
        if (name == QFileInfo(file).completeBaseName().toStdString())
            best = known;
    QVERIFY(best > 0);
    if (optimum > 0)
        QCOMPARE(best, optimum);
    Problem problem;
    std::string error;
    QVERIFY(readInstance((folder + "/" + file).toStdString(), problem, error));
    problem.timeLimitSeconds = 60;
    const Plan plan = checkedSolve(problem);
    QCOMPARE(plan.newBars, best);
    QCOMPARE(plan.lowerBound, best);
    QVERIFY(plan.optimal);
    QVERIFY(firstFitDecreasing(problem).newBars >= best);
}

// Long bars (100 m, whole millimetres) that hold 3 to 5 pieces: pricing by branch and bound.
void TestCutting::longBarsOfKnownOptimum() {
    for (unsigned seed : {1u, 2u}) {
        generated::KnownProblem known = generated::wasteless(seed, 12, 1'000'000, 3, 5, 50'000);
        known.problem.timeLimitSeconds = 60;
        const Plan plan = checkedSolve(known.problem);
        QCOMPARE(plan.newBars, known.optimum);
        QCOMPARE(plan.lowerBound, known.optimum);
    }
}

// A workshop's order of windows: per window two jambs of one length and a head, lengths to the
// millimetre, so that nearly every length is a length of its own (some 750 of 2,000 pieces). The
// relaxation has to be solved through for its bound, and the plan has to come within a bar of it.
void TestCutting::manyDistinctLengths() {
    std::mt19937 random(2026);
    std::map<Length, int> counts;
    for (int window = 0; window < 667; ++window) {
        counts[mm(std::uniform_int_distribution<int>(1950, 2399)(random))] += 2;
        ++counts[mm(std::uniform_int_distribution<int>(700, 1299)(random))];
    }
    Problem problem = problemOf(5980, 4, 0, {});
    Length total = 0;
    for (const auto& [length, count] : counts) {
        problem.pieces.push_back({length, count});
        total += (length + problem.kerf) * count;
    }
    QVERIFY(problem.pieces.size() > 600);
    problem.timeLimitSeconds = 60;
    const Plan plan = checkedSolve(problem);
    // No bar holds more than its length and one kerf past the end in pieces and kerfs.
    const Length perBar = problem.stockLength + problem.kerf;
    QVERIFY(plan.lowerBound >= (total + perBar - 1) / perBar);
    QVERIFY2(plan.newBars <= plan.lowerBound + 1,
             qPrintable(QStringLiteral("%1 bars, bound %2").arg(plan.newBars).arg(plan.lowerBound)));
}

void TestCutting::sameProblemSamePlan() {
    generated::KnownProblem known = generated::wasteless(5, 15, 60'000, 3, 4, 5'000);
    known.problem.kerf = 30;
    known.problem.pieces.push_back({12'345, 7});
    const Plan first = checkedSolve(known.problem);
    const Plan second = checkedSolve(known.problem);
    QCOMPARE(first.patterns.size(), second.patterns.size());
    for (std::size_t p = 0; p < first.patterns.size(); ++p) {
        QCOMPARE(first.patterns[p].count, second.patterns[p].count);
        QVERIFY(first.patterns[p].pieces == second.patterns[p].pieces);
    }
}

// A problem far too big for the time given: the plan so far comes back, valid, soon after the limit.
void TestCutting::timeLimitKeepsBestSoFar() {
    generated::KnownProblem known = generated::wasteless(9, 330, 1'000'000, 3, 3, 250'010);
    known.problem.timeLimitSeconds = 0.3;
    const auto start = std::chrono::steady_clock::now();
    const Plan plan = checkedSolve(known.problem);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    QVERIFY(plan.newBars >= known.optimum);
    QVERIFY(plan.lowerBound <= known.optimum);
    // Generous: this is about not running on to the end (a full solve takes far longer), not about speed.
    QVERIFY2(seconds < 0.3 + 5, qPrintable(QString::number(seconds)));
    QVERIFY(plan.seconds <= seconds);
}

void TestCutting::parseInstance_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected"); // the problem read back as "stock: length x count, ...", or the error

    QTest::newRow("as published") << QByteArray("2\r\n150\r\n98\t3\r\n20\t1\r\n") << "1500: 980x3 200x1";
    QTest::newRow("LF and spaces") << QByteArray("  1\n1000 \n 500   2") << "10000: 5000x2";
    QTest::newRow("decimal length") << QByteArray("1 6000 2140.5 4") << "60000: 21405x4";
    QTest::newRow("zero length read") << QByteArray("1 6000 0 4") << "60000: 0x4"; // refused by problemError
    QTest::newRow("negative count read") << QByteArray("1 6000 100 -4") << "60000: 1000x-4";
    QTest::newRow("empty") << QByteArray("") << "种数";
    QTest::newRow("words") << QByteArray("hello world") << "种数";
    QTest::newRow("zero kinds") << QByteArray("0 150") << "种数";
    QTest::newRow("too few lines") << QByteArray("3 150 20 1 30 2") << "实有 2 行";
    QTest::newRow("too many lines") << QByteArray("1 150 20 1 30 2") << "实有 2 行";
    QTest::newRow("fraction count") << QByteArray("1 150 20 1.5") << "不是“长度 数量”";
    QTest::newRow("two decimals") << QByteArray("1 150 20.25 1") << "不是“长度 数量”";
    QTest::newRow("bar not a number") << QByteArray("1 abc 20 1") << "原料长度";
    QTest::newRow("huge number") << QByteArray("1 150 99999999999 1") << "不是“长度 数量”";
}

void TestCutting::parseInstance() {
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    Problem problem;
    std::string error;
    if (!kvt::cutting::parseInstance(text.toStdString(), problem, error)) {
        QVERIFY2(QString::fromStdString(error).contains(expected), error.c_str());
        return;
    }
    QString read = QString::number(problem.stockLength) + ":";
    for (const Demand& d : problem.pieces)
        read += QStringLiteral(" %1x%2").arg(d.length).arg(d.count);
    QCOMPARE(read, expected);
}

void TestCutting::millimetresText_data() {
    QTest::addColumn<qint64>("tenths");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << qint64(21400) << "2140";
    QTest::newRow("tenth") << qint64(21405) << "2140.5";
    QTest::newRow("small") << qint64(5) << "0.5";
    QTest::newRow("zero") << qint64(0) << "0";
    QTest::newRow("negative") << qint64(-15) << "-1.5";
}

void TestCutting::millimetresText() {
    QFETCH(qint64, tenths);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(millimetres(tenths)), text);
}

QTEST_APPLESS_MAIN(TestCutting)
#include "tst_cutting.moc"
