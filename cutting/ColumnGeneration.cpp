#include "cutting/ColumnGeneration.h"

#include "cutting/Knapsack.h"
#include "cutting/LpSolver.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace kvt::cutting {

namespace {

constexpr double integralTolerance = 1e-6;
// A column enters only when it lowers the objective by more than this per unit.
constexpr double reducedCostTolerance = 1e-7;
// How far the linear programme's value may sit above the true one from round-off alone.
constexpr double boundTolerance = 1e-6;

int wholeFloor(double x) {
    return static_cast<int>(std::floor(x + integralTolerance));
}

class Search {
public:
    Search(const Model& model, const Solution& start, const Deadline& deadline)
        : m_model(model), m_deadline(deadline), m_best(start), m_lp(rowLower(model), rowUpper(model)),
          m_fixed(model.items(), 0), m_binFixed(model.bins.size(), 0) {
        for (const auto& [cut, count] : start.cuts)
            addCut(cut);
        for (int i = 0; i < model.items(); ++i) {
            if (model.fits(i, 0)) {
                const auto most = std::min<Length>(model.demand[i], model.bins[0].capacity / model.weight[i]);
                addCut(Cut{0, {{i, static_cast<int>(most)}}});
            } else {
                // Pieces only offcuts can take: an artificial column, dearer than any plan, keeps the
                // programme feasible when the offcuts are too few for them.
                int pieces = 0;
                for (int d : model.demand)
                    pieces += d;
                m_artificial.push_back(m_lp.addColumn(pieces + 1.0, {{i, 1.0}}));
                m_cuts.push_back({});
            }
        }
    }

    Outcome run() {
        Outcome outcome;
        outcome.lowerBound = lengthBound(m_model);
        const bool converged = generate(true);
        if (!converged || artificialUsed()) {
            outcome.lowerBound = std::max(outcome.lowerBound, m_lagrangianBound);
            outcome.best = m_best;
            return outcome;
        }
        m_rootBound = std::max(outcome.lowerBound, nodeBound());
        outcome.lowerBound = m_rootBound;
        if (!finished()) {
            m_rootValues = m_lp.values();
            dive(m_rootValues);
        }
        if (!finished() && !m_deadline.passed())
            integerProgramme();
        outcome.best = m_best;
        return outcome;
    }

private:
    static std::vector<double> rowLower(const Model& model) {
        std::vector<double> lower(model.demand.begin(), model.demand.end());
        lower.resize(model.items() + model.bins.size() - 1, -COIN_INFINITY_STANDIN);
        return lower;
    }
    static std::vector<double> rowUpper(const Model& model) {
        std::vector<double> upper(model.items(), COIN_INFINITY_STANDIN);
        for (std::size_t b = 1; b < model.bins.size(); ++b)
            upper.push_back(model.bins[b].limit);
        return upper;
    }
    static constexpr double COIN_INFINITY_STANDIN = 1e30;

    bool finished() const { return m_best.valid && m_best.unplacedCount == 0 && m_best.newBars <= m_rootBound; }

    void addCut(const Cut& cut) {
        if (cut.items.empty() || !m_known.insert(cut).second)
            return;
        std::vector<std::pair<int, double>> entries;
        for (const auto& [item, count] : cut.items)
            entries.push_back({item, static_cast<double>(count)});
        if (cut.bin > 0)
            entries.push_back({m_model.items() + cut.bin - 1, 1.0});
        m_lp.addColumn(m_model.bins[cut.bin].cost, entries);
        m_cuts.push_back(cut);
    }

    bool artificialUsed() const {
        const std::vector<double> x = m_lp.values();
        return std::any_of(m_artificial.begin(), m_artificial.end(), [&x](int c) { return x[c] > integralTolerance; });
    }

    int nodeBound() const {
        return static_cast<int>(std::ceil(m_lp.objective() - m_model.offcutCostTotal - boundTolerance));
    }

    /// Column generation until no pattern prices out; false when the deadline came first or the
    /// programme is infeasible. At the root, keeps the Lagrangian bound of every round.
    bool generate(bool root) {
        while (true) {
            if (m_deadline.passed())
                return false;
            if (!m_lp.solve(m_deadline.remainingSeconds()))
                return false;
            const std::vector<double> duals = m_lp.duals();
            std::vector<KnapsackItem> items;
            for (int i = 0; i < m_model.items(); ++i) {
                const int left = m_model.demand[i] - m_fixed[i];
                if (left > 0 && duals[i] > 0)
                    items.push_back({i, m_model.weight[i], duals[i], left});
            }
            int added = 0;
            double newBarValue = 0;
            for (int b = 0; b < static_cast<int>(m_model.bins.size()); ++b) {
                const Bin& bin = m_model.bins[b];
                if (bin.limit >= 0 && bin.limit - m_binFixed[b] <= 0)
                    continue;
                const KnapsackResult best = bestKnapsack(items, bin.capacity, m_deadline);
                if (!best.complete)
                    return false;
                const double rowDual = b > 0 ? duals[m_model.items() + b - 1] : 0.0;
                if (b == 0)
                    newBarValue = best.value;
                if (bin.cost - best.value - rowDual < -reducedCostTolerance) {
                    const std::size_t before = m_cuts.size();
                    addCut(Cut{b, best.items});
                    added += m_cuts.size() > before;
                }
            }
            if (root && m_model.bins.size() == 1 && newBarValue >= 1.0) {
                // Farley's bound: no pattern is worth more than newBarValue at these prices.
                const double bound = m_lp.objective() / newBarValue;
                m_lagrangianBound = std::max(m_lagrangianBound, static_cast<int>(std::ceil(bound - boundTolerance)));
            }
            if (added == 0)
                return true;
        }
    }

    /// The plan of the columns' whole parts, what they leave cut by first fit decreasing.
    void roundAndRepair(const std::vector<double>& x) {
        Solution solution;
        std::vector<int> residual = m_model.demand;
        std::vector<int> available;
        for (const Bin& bin : m_model.bins)
            available.push_back(bin.limit);
        for (int c = 0; c < static_cast<int>(x.size()); ++c) {
            const Cut& cut = m_cuts[c];
            int n = wholeFloor(x[c]);
            if (n <= 0 || cut.items.empty())
                continue;
            if (available[cut.bin] >= 0)
                n = std::min(n, available[cut.bin]);
            if (n <= 0)
                continue;
            if (available[cut.bin] >= 0)
                available[cut.bin] -= n;
            solution.cuts.push_back({cut, n});
            for (const auto& [item, count] : cut.items)
                residual[item] -= count * n;
        }
        for (int& r : residual)
            r = std::max(r, 0);
        const Solution rest = firstFitDecreasing(m_model, residual, available);
        solution.cuts.insert(solution.cuts.end(), rest.cuts.begin(), rest.cuts.end());
        m_model.complete(solution);
        if (solution.betterThan(m_best))
            m_best = std::move(solution);
    }

    void setLower(int column, int lower, std::vector<std::pair<int, int>>& undo) {
        const int old = static_cast<int>(m_lp.columnLower(column));
        if (lower <= old)
            return;
        undo.push_back({column, old});
        shiftFixed(column, lower - old);
        m_lp.setColumnLower(column, lower);
    }

    void shiftFixed(int column, int by) {
        const Cut& cut = m_cuts[column];
        for (const auto& [item, count] : cut.items)
            m_fixed[item] += count * by;
        m_binFixed[cut.bin] += by;
    }

    void restore(std::vector<std::pair<int, int>>& undo) {
        for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
            const int now = static_cast<int>(m_lp.columnLower(it->first));
            shiftFixed(it->first, it->second - now);
            m_lp.setColumnLower(it->first, it->second);
        }
        undo.clear();
    }

    /// Depth-first diving: the whole parts of the solution fixed, then one fractional column rounded
    /// up, the rest re-solved with new columns; on a dead end back up and round up the next one.
    void dive(const std::vector<double>& x) {
        roundAndRepair(x);
        if (finished() || m_deadline.passed())
            return;
        std::vector<int> fractional;
        for (int c = 0; c < static_cast<int>(x.size()); ++c)
            if (!m_cuts[c].items.empty() && x[c] - wholeFloor(x[c]) > integralTolerance)
                fractional.push_back(c);
        if (fractional.empty())
            return;
        std::sort(fractional.begin(), fractional.end(), [&x](int a, int b) {
            const double fa = x[a] - wholeFloor(x[a]);
            const double fb = x[b] - wholeFloor(x[b]);
            return fa != fb ? fa > fb : a < b;
        });
        std::vector<std::pair<int, int>> undo;
        for (int c = 0; c < static_cast<int>(x.size()); ++c)
            if (!m_cuts[c].items.empty() && wholeFloor(x[c]) > 0)
                setLower(c, wholeFloor(x[c]), undo);
        for (int c : fractional) {
            std::vector<std::pair<int, int>> branch;
            setLower(c, wholeFloor(x[c]) + 1, branch);
            const bool solved = generate(false);
            if (solved && !artificialUsed() && nodeBound() < m_best.newBars)
                dive(m_lp.values());
            restore(branch);
            if (finished() || m_deadline.passed())
                break;
        }
        restore(undo);
    }

    /// Cbc over every pattern generated, for the time left, looking for one bar fewer than the best.
    void integerProgramme() {
        std::vector<std::pair<int, int>> none;
        const double cutoff = m_best.newBars - 1 + m_model.offcutCostTotal + 1e-4;
        const std::vector<double> x = m_lp.solveInteger(m_deadline.remainingSeconds(), cutoff);
        if (x.empty())
            return;
        Solution solution;
        for (int c = 0; c < static_cast<int>(x.size()); ++c) {
            const int n = static_cast<int>(std::lround(x[c]));
            if (n > 0 && !m_cuts[c].items.empty())
                solution.cuts.push_back({m_cuts[c], n});
        }
        m_model.complete(solution);
        if (solution.betterThan(m_best))
            m_best = std::move(solution);
    }

    const Model& m_model;
    const Deadline& m_deadline;
    Solution m_best;
    LpMaster m_lp;
    std::vector<Cut> m_cuts; ///< per column; empty for an artificial one
    std::set<Cut> m_known;
    std::vector<int> m_artificial;
    std::vector<int> m_fixed;    ///< per item, pieces the columns' lower bounds cut already
    std::vector<int> m_binFixed; ///< per bin, bars the columns' lower bounds use already
    std::vector<double> m_rootValues;
    int m_rootBound = 0;
    int m_lagrangianBound = 0;
};

} // namespace

int lengthBound(const Model& model) {
    Length need = 0;
    for (int i = 0; i < model.items(); ++i)
        need += model.weight[i] * model.demand[i];
    for (std::size_t b = 1; b < model.bins.size(); ++b)
        need -= model.bins[b].capacity * model.bins[b].limit;
    if (need <= 0 || model.bins[0].capacity <= 0)
        return 0;
    return static_cast<int>((need + model.bins[0].capacity - 1) / model.bins[0].capacity);
}

Outcome optimise(const Model& model, const Solution& start, const Deadline& deadline) {
    Search search(model, start, deadline);
    return search.run();
}

} // namespace kvt::cutting
