#include "cutting/ColumnGeneration.h"

#include "cutting/Knapsack.h"
#include "cutting/LpSolver.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>

namespace kvt::cutting {

namespace {

constexpr double integralTolerance = 1e-6;
// A column enters only when it lowers the objective by more than this per unit.
constexpr double reducedCostTolerance = 1e-7;
// How far the linear programme's value may sit above the true one from round-off alone.
constexpr double boundTolerance = 1e-5;
// No bound on a row or column; a column bound at or above `unbounded` is none.
constexpr double infinite = std::numeric_limits<double>::max();
constexpr double unbounded = 1e20;
// Patterns a pricing round may add (where the knapsack finds several).
constexpr int columnsPerRound = 20;
// The first dive's budget of nodes.
constexpr long diveNodes = 50;
// The weight of the best-bound prices in the smoothed prices.
constexpr double smoothing = 0.7;
// Fractions of a column rounded up in the plans made from a relaxation: the first plan none.
constexpr double roundingThresholds[] = {2.0, 0.8, 0.6, 0.4};

int wholeFloor(double x) {
    return static_cast<int>(std::floor(x + integralTolerance));
}

class Search {
public:
    Search(const Model& model, const Solution& start, const Deadline& deadline)
        : m_model(model), m_deadline(deadline), m_best(start), m_lp(rowLower(model), rowUpper(model)),
          m_fixed(model.items(), 0), m_binFixed(model.bins.size(), 0) {
        for (int d : model.demand)
            m_pieces += d;
        // How to price is decided once, on the whole problem: the pieces left deep in a dive are no guide.
        std::vector<KnapsackItem> all;
        for (int i = 0; i < model.items(); ++i)
            all.push_back({i, model.weight[i], 1.0, model.demand[i]});
        for (const Bin& bin : model.bins)
            m_fewToABar.push_back(fewPiecesToABar(all, bin.capacity));
        // A piece may always be cut from where a longer one was meant to come: a free column per pair of
        // neighbouring lengths moves one piece of cover from the longer to the shorter (these are the
        // dual-optimal inequalities of cutting stock: no longer length is priced below a shorter one).
        // They take the degeneracy out of the relaxation, which then settles in a fraction of the rounds;
        // plans read from it cut a surplus piece shorter where one is missing (Model::settle).
        for (int i = 1; i < model.items(); ++i) {
            m_lp.addColumn(0.0, {{i - 1, -1.0}, {i, 1.0}});
            m_cuts.push_back({});
        }
        for (const auto& [cut, count] : start.cuts)
            addCut(cut);
        for (int i = 0; i < model.items(); ++i) {
            if (model.fits(i, 0)) {
                if (m_anchor < 0) {
                    // One piece of the longest length a new bar takes, alone on a bar: cut shorter where
                    // needed, it covers any length a new bar takes, so whatever a dive leaves stays
                    // feasible. It is never shut off.
                    const Cut alone{0, {{i, 1}}};
                    addCut(alone);
                    m_anchor = static_cast<int>(std::find(m_cuts.begin(), m_cuts.end(), alone) - m_cuts.begin());
                }
            } else {
                // Pieces only offcuts can take: an artificial column, dearer than any plan, keeps the
                // programme feasible when the offcuts are too few for them.
                m_artificial.push_back(m_lp.addColumn(m_pieces + 1.0, {{i, 1.0}}));
                m_cuts.push_back({});
            }
        }
    }

    Outcome run() {
        Outcome outcome;
        outcome.lowerBound = lengthBound(m_model);
        const bool converged = generate(true);
        if (!converged || artificialUsed()) {
            // Out of time before the relaxation was solved: its last solution rounded is still a plan.
            if (!converged && m_lp.values().size() == m_cuts.size())
                roundAndRepair(m_lp.values());
            outcome.lowerBound = std::max(outcome.lowerBound, m_lagrangianBound);
            outcome.best = m_best;
            return outcome;
        }
        m_rootBound = std::max(outcome.lowerBound, nodeBound());
        outcome.lowerBound = m_rootBound;
        // Dives, each with a budget of nodes twice the last one's; from the second on, the order of the
        // columns to round up is shaken by a seeded draw, and the root re-solved over all patterns so far.
        // A fifth of the time is kept for the integer programme.
        const double diveUntil = m_deadline.elapsedSeconds() + 0.8 * m_deadline.remainingSeconds();
        for (int restart = 0; !finished() && m_deadline.elapsedSeconds() < diveUntil; ++restart) {
            m_nodeBudget = m_nodes + (diveNodes << std::min(restart, 12));
            m_diveUntil = diveUntil;
            m_shake = restart > 0;
            if (restart > 0 && !generate(false))
                break;
            dive(m_lp.values());
        }
        if (!finished() && !m_deadline.passed())
            integerProgramme(m_deadline.remainingSeconds());
        outcome.best = m_best;
        return outcome;
    }

private:
    static std::vector<double> rowLower(const Model& model) {
        std::vector<double> lower(model.demand.begin(), model.demand.end());
        lower.resize(model.items() + model.bins.size() - 1, -infinite);
        return lower;
    }
    static std::vector<double> rowUpper(const Model& model) {
        std::vector<double> upper(model.items(), infinite);
        for (std::size_t b = 1; b < model.bins.size(); ++b)
            upper.push_back(model.bins[b].limit);
        return upper;
    }

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
        // At the root the prices are smoothed (Wentges): priced at a mix of the duals with the best-bound
        // prices so far, which damps the duals' swings on degenerate problems; and column generation
        // stops as soon as that bound rounds up to the LP value.
        std::vector<double> center;
        double centerBound = 0;
        std::vector<double> values;
        while (true) {
            if (m_deadline.passed())
                return false;
            if (!m_lp.solve(m_deadline.remainingSeconds()))
                return false;
            const std::vector<double> duals = m_lp.duals();
            if (!root) {
                const int added = price(duals, duals, values);
                if (added < 0)
                    return false;
                if (added == 0)
                    return true;
                continue;
            }
            std::vector<double> prices = duals;
            if (!center.empty())
                for (std::size_t i = 0; i < prices.size(); ++i)
                    prices[i] = smoothing * center[i] + (1 - smoothing) * duals[i];
            int added = price(prices, duals, values);
            if (added < 0)
                return false;
            const double bound = dualBound(prices, values);
            if (center.empty() || bound > centerBound) {
                center = prices;
                centerBound = bound;
            }
            const double bars = centerBound - m_model.offcutCostTotal - boundTolerance;
            m_lagrangianBound = std::max(m_lagrangianBound, static_cast<int>(std::ceil(bars)));
            if (m_lagrangianBound >= nodeBound())
                return true;
            if (added == 0) {
                // Nothing priced out at the mix: ask the duals themselves.
                added = price(duals, duals, values);
                if (added <= 0)
                    return added == 0;
            }
        }
    }

    /// What the linear programme is worth at least, from prices of the pieces and the bars with
    /// `values`, what the best pattern of each kind of bar is worth at them (or more): the prices
    /// scaled down until no new bar is worth more than its cost (Farley), and each offcut's row priced
    /// at what its best pattern is still worth above its cost.
    double dualBound(const std::vector<double>& prices, const std::vector<double>& values) const {
        double priced = 0;
        for (int i = 0; i < m_model.items(); ++i)
            priced += std::max(0.0, prices[i]) * m_model.demand[i];
        const double scale = std::max(1.0 + reducedCostTolerance, values[0]);
        double bound = priced / scale;
        for (std::size_t b = 1; b < m_model.bins.size(); ++b)
            bound -= m_model.bins[b].limit * std::max(0.0, values[b] / scale - m_model.bins[b].cost);
        return bound;
    }

    /// Adds the patterns worth most at `prices` that have a negative reduced cost at `duals`; returns how
    /// many (-1 when the deadline cut pricing short), and in `values`, per kind of bar, what its best
    /// pattern is worth at `prices` or more (the threshold when none is worth more).
    int price(const std::vector<double>& prices, const std::vector<double>& duals, std::vector<double>& values) {
        std::vector<KnapsackItem> items;
        for (int i = 0; i < m_model.items(); ++i) {
            const int left = m_model.demand[i] - m_fixed[i];
            if (left > 0 && prices[i] > 0)
                items.push_back({i, m_model.weight[i], prices[i], left});
        }
        values.assign(m_model.bins.size(), infinite);
        int added = 0;
        for (int b = 0; b < static_cast<int>(m_model.bins.size()); ++b) {
            const Bin& bin = m_model.bins[b];
            if (bin.limit >= 0 && bin.limit - m_binFixed[b] <= 0)
                continue;
            const int binRow = m_model.items() + b - 1;
            // A pattern prices out when worth more than its bar's cost less the bar's dual.
            const double worth = bin.cost - (b > 0 ? prices[binRow] : 0.0) + reducedCostTolerance;
            const KnapsackResult best =
                bestKnapsack(items, bin.capacity, m_deadline, worth, columnsPerRound, m_fewToABar[b]);
            if (!best.complete)
                return -1;
            // A search wider than the table once is wide for good: the table prices this bin from now on.
            if (best.searchTooLong)
                m_fewToABar[b] = false;
            values[b] = std::max(best.value, worth);
            if (best.value <= worth)
                continue;
            std::vector<std::vector<std::pair<int, int>>> found = best.more;
            found.insert(found.begin(), best.items);
            for (const auto& choice : found) {
                double reduced = bin.cost - (b > 0 ? duals[binRow] : 0.0);
                for (const auto& [item, count] : choice)
                    reduced -= duals[item] * count;
                if (reduced >= -reducedCostTolerance)
                    continue;
                const std::size_t before = m_cuts.size();
                addCut(Cut{b, choice});
                added += m_cuts.size() > before;
            }
        }
        return added;
    }

    /// Plans from the columns' values: their whole parts, and the fractions above each of a few
    /// thresholds rounded up, each settled to the demand (see Model::settle); the best one kept.
    void roundAndRepair(const std::vector<double>& x) {
        for (double threshold : roundingThresholds) {
            std::vector<Cut> bars;
            std::vector<int> available = m_model.limits();
            bool roundedUp = false;
            for (int c = 0; c < static_cast<int>(x.size()); ++c) {
                const Cut& cut = m_cuts[c];
                // A relaxation stopped half-way may hold any values: no column beyond the pieces there are.
                int n = x[c] >= m_pieces ? m_pieces : wholeFloor(x[c]);
                if (x[c] < m_pieces && x[c] - n >= threshold) {
                    ++n;
                    roundedUp = true;
                }
                if (n <= 0 || cut.items.empty())
                    continue;
                if (available[cut.bin] >= 0) {
                    n = std::min(n, available[cut.bin]);
                    available[cut.bin] -= n;
                }
                bars.insert(bars.end(), n, cut);
            }
            if (threshold < 1 && !roundedUp)
                continue;
            keepIfBetter(m_model.settle(std::move(bars), std::move(available)));
            if (finished())
                return;
        }
    }

    void keepIfBetter(Solution solution) {
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

    /// Caps at their lower bounds the columns that would cut more of an item than is left to cut (or
    /// use an offcut none of which is left): re-solving the rest must not lean on them.
    void closeUnfitting(std::vector<std::pair<int, double>>& reopen) {
        for (int c = 0; c < static_cast<int>(m_cuts.size()); ++c) {
            const Cut& cut = m_cuts[c];
            if (cut.items.empty() || c == m_anchor || m_lp.columnUpper(c) < unbounded)
                continue;
            bool fits = cut.bin == 0 || m_binFixed[cut.bin] < m_model.bins[cut.bin].limit;
            for (const auto& [item, count] : cut.items)
                fits = fits && count <= m_model.demand[item] - m_fixed[item];
            if (!fits) {
                reopen.push_back({c, m_lp.columnUpper(c)});
                m_lp.setColumnUpper(c, m_lp.columnLower(c));
            }
        }
    }

    void reopen(std::vector<std::pair<int, double>>& closed) {
        for (auto it = closed.rbegin(); it != closed.rend(); ++it)
            m_lp.setColumnUpper(it->first, it->second);
        closed.clear();
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
        ++m_nodes;
        if (finished() || m_deadline.passed() || diveOver())
            return;
        std::vector<int> fractional;
        for (int c = 0; c < static_cast<int>(x.size()); ++c)
            if (!m_cuts[c].items.empty() && x[c] - wholeFloor(x[c]) > integralTolerance)
                fractional.push_back(c);
        if (fractional.empty())
            return;
        // The column closest to its next whole number first.
        std::vector<double> key(x.size(), 0.0);
        std::uniform_real_distribution<double> shake(0.0, 0.3);
        for (int c : fractional)
            key[c] = x[c] - wholeFloor(x[c]) + (m_shake ? shake(m_random) : 0.0);
        std::sort(fractional.begin(), fractional.end(),
                  [&key](int a, int b) { return key[a] != key[b] ? key[a] > key[b] : a < b; });
        std::vector<std::pair<int, int>> undo;
        for (int c = 0; c < static_cast<int>(x.size()); ++c)
            if (!m_cuts[c].items.empty() && wholeFloor(x[c]) > 0)
                setLower(c, wholeFloor(x[c]), undo);
        for (int c : fractional) {
            std::vector<std::pair<int, int>> branch;
            std::vector<std::pair<int, double>> closed;
            setLower(c, wholeFloor(x[c]) + 1, branch);
            closeUnfitting(closed);
            const bool solved = generate(false);
            if (solved && !artificialUsed() && nodeBound() < m_best.newBars)
                dive(m_lp.values());
            reopen(closed);
            restore(branch);
            if (finished() || m_deadline.passed() || diveOver())
                break;
        }
        restore(undo);
    }

    bool diveOver() const { return m_nodes >= m_nodeBudget || m_deadline.elapsedSeconds() >= m_diveUntil; }

    /// Cbc over every pattern generated, for the time left, looking for one bar fewer than the best.
    void integerProgramme(double seconds) {
        const double cutoff = m_best.newBars - 1 + m_model.offcutCostTotal + 1e-4;
        const std::vector<double> x = m_lp.solveInteger(std::min(seconds, m_deadline.remainingSeconds()), cutoff);
        if (x.empty())
            return;
        std::vector<Cut> bars;
        std::vector<int> available = m_model.limits();
        for (int c = 0; c < static_cast<int>(x.size()); ++c) {
            const int n = static_cast<int>(std::lround(x[c]));
            if (n > 0 && !m_cuts[c].items.empty()) {
                bars.insert(bars.end(), n, m_cuts[c]);
                if (available[m_cuts[c].bin] >= 0)
                    available[m_cuts[c].bin] = std::max(0, available[m_cuts[c].bin] - n);
            }
        }
        keepIfBetter(m_model.settle(std::move(bars), std::move(available)));
    }

    const Model& m_model;
    const Deadline& m_deadline;
    Solution m_best;
    LpMaster m_lp;
    std::vector<Cut> m_cuts; ///< per column; empty for an artificial one
    std::set<Cut> m_known;
    std::vector<int> m_artificial;
    int m_pieces = 0;              ///< all the pieces of the problem
    int m_anchor = -1;             ///< the column of one piece of the longest length alone on a new bar
    std::vector<bool> m_fewToABar; ///< per bin, whether branch and bound prices it
    std::vector<int> m_fixed;      ///< per item, pieces the columns' lower bounds cut already
    std::vector<int> m_binFixed;   ///< per bin, bars the columns' lower bounds use already
    long m_nodeBudget = 0;         ///< the current dive ends at this many nodes
    double m_diveUntil = 0;        ///< and at this many seconds
    bool m_shake = false;          ///< whether the order of the columns to round up is shaken
    std::mt19937 m_random{20261209};
    int m_rootBound = 0;
    int m_lagrangianBound = 0;
    long m_nodes = 0;
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
