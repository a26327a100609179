#include "cutting/Model.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>

namespace kvt::cutting {

namespace {

/// Adds n pieces of item to the (item, count) pairs of a bar, kept ascending by item.
void addPieces(std::vector<std::pair<int, int>>& items, int item, int n = 1) {
    auto at = std::lower_bound(items.begin(), items.end(), std::pair<int, int>{item, 0});
    if (at != items.end() && at->first == item)
        at->second += n;
    else
        items.insert(at, {item, n});
}

/// Takes what `surplus` counts (per item) off the bars, the last bars first; bars left empty stay, empty.
template <typename Bar> void takeOffLast(std::vector<Bar>& bars, std::vector<int>& surplus) {
    for (auto bar = bars.rbegin(); bar != bars.rend(); ++bar) {
        for (auto& [item, count] : bar->items) {
            const int take = std::clamp(surplus[item], 0, count);
            count -= take;
            surplus[item] -= take;
        }
        std::erase_if(bar->items, [](const auto& entry) { return entry.second == 0; });
    }
}

} // namespace

Deadline::Deadline(double seconds) : m_start(std::chrono::steady_clock::now()) {
    const auto span = std::chrono::duration<double>(std::clamp(seconds, 0.0, 1e7));
    m_end = m_start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(span);
}

double Deadline::remainingSeconds() const {
    return std::max(0.0, std::chrono::duration<double>(m_end - std::chrono::steady_clock::now()).count());
}

double Deadline::elapsedSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

bool Solution::betterThan(const Solution& other) const {
    if (!other.valid)
        return valid;
    if (!valid)
        return false;
    if (unplacedCount != other.unplacedCount)
        return unplacedCount < other.unplacedCount;
    if (newBars != other.newBars)
        return newBars < other.newBars;
    return offcutCost < other.offcutCost - 1e-12;
}

Model::Model(const Problem& problem) {
    std::map<Length, int, std::greater<>> merged;
    for (const Demand& d : problem.pieces)
        merged[d.length] += d.count;
    for (const auto& [len, count] : merged) {
        length.push_back(len);
        demand.push_back(count);
    }
    unit = 0;
    for (Length len : length)
        unit = std::gcd(unit, len + problem.kerf);
    if (unit <= 0)
        unit = 1;
    for (Length len : length)
        weight.push_back((len + problem.kerf) / unit);

    bins.push_back({(problem.stockLength - 2 * problem.trim + problem.kerf) / unit, -1, -1, 1.0});
    // Offcuts cost a little, more the longer they are, so that among plans of as many new bars the one
    // that leaves the rack fuller wins; all of them together cost less than a thousandth of a bar.
    int offcutCount = 0;
    for (const Offcut& o : problem.offcuts)
        offcutCount += std::max(0, o.count);
    const double usable = static_cast<double>(std::max<Length>(1, problem.stockLength - 2 * problem.trim));
    for (int i = 0; i < static_cast<int>(problem.offcuts.size()); ++i) {
        const Offcut& o = problem.offcuts[i];
        const double share = std::min(1.0, static_cast<double>(o.length) / usable);
        const double cost = 1e-3 * (0.5 + 0.5 * share) / (offcutCount + 1);
        bins.push_back({(o.length + problem.kerf) / unit, std::max(0, o.count), i, cost});
        offcutCostTotal += cost * std::max(0, o.count);
    }
}

void Model::complete(Solution& solution) const {
    // One entry per bar, so that surplus pieces (the linear programme covers the demand at least) can be
    // taken off the bars last in order; bars left empty are dropped.
    std::vector<Cut> bars;
    for (const auto& [cut, count] : solution.cuts)
        for (int k = 0; k < count; ++k)
            bars.push_back(cut);
    std::vector<int> surplus(items(), 0);
    for (const Cut& bar : bars)
        for (const auto& [item, count] : bar.items)
            surplus[item] += count;
    for (int i = 0; i < items(); ++i)
        surplus[i] -= demand[i];
    takeOffLast(bars, surplus);
    std::map<Cut, int> grouped;
    for (const Cut& bar : bars)
        if (!bar.items.empty())
            ++grouped[bar];
    solution.cuts.assign(grouped.begin(), grouped.end());
    solution.newBars = 0;
    solution.offcutCost = 0;
    for (const auto& [cut, count] : solution.cuts) {
        if (cut.bin == 0)
            solution.newBars += count;
        else
            solution.offcutCost += bins[cut.bin].cost * count;
    }
    solution.unplaced.assign(items(), 0);
    solution.unplacedCount = 0;
    for (int i = 0; i < items(); ++i) {
        solution.unplaced[i] = std::max(0, -surplus[i]);
        solution.unplacedCount += solution.unplaced[i];
    }
    solution.valid = true;
}

void Model::releaseOffcuts(Solution& solution) const {
    struct Bar {
        Cut cut;
        Length room;
    };
    std::vector<Bar> bars;
    for (const auto& [cut, count] : solution.cuts) {
        Length room = bins[cut.bin].capacity;
        for (const auto& [item, n] : cut.items)
            room -= weight[item] * n;
        bars.insert(bars.end(), count, Bar{cut, room});
    }
    std::vector<std::size_t> offcutBars;
    for (std::size_t b = 0; b < bars.size(); ++b)
        if (bars[b].cut.bin > 0)
            offcutBars.push_back(b);
    std::stable_sort(offcutBars.begin(), offcutBars.end(), [&](std::size_t a, std::size_t b) {
        return bins[bars[a].cut.bin].cost > bins[bars[b].cut.bin].cost;
    });
    bool released = false;
    for (std::size_t b : offcutBars) {
        // Each piece into the bar that it leaves the least room in; all of them or none.
        std::vector<Bar> trial = bars;
        bool placed = true;
        for (const auto& [item, n] : bars[b].cut.items) {
            for (int k = 0; k < n && placed; ++k) {
                std::size_t into = trial.size();
                for (std::size_t t = 0; t < trial.size(); ++t)
                    if (t != b && !trial[t].cut.items.empty() && trial[t].room >= weight[item] &&
                        (into == trial.size() || trial[t].room < trial[into].room))
                        into = t;
                placed = into < trial.size();
                if (!placed)
                    break;
                trial[into].room -= weight[item];
                addPieces(trial[into].cut.items, item);
            }
        }
        if (!placed)
            continue;
        trial[b].cut.items.clear();
        bars = std::move(trial);
        released = true;
    }
    if (!released)
        return;
    solution.cuts.clear();
    for (Bar& bar : bars)
        if (!bar.cut.items.empty())
            solution.cuts.push_back({std::move(bar.cut), 1});
    complete(solution);
}

Plan Model::toPlan(const Solution& solution) const {
    Plan plan;
    for (const auto& [cut, count] : solution.cuts) {
        Pattern pattern;
        pattern.count = count;
        pattern.offcut = bins[cut.bin].offcut;
        for (const auto& [item, n] : cut.items)
            pattern.pieces.insert(pattern.pieces.end(), n, length[item]);
        if (cut.bin == 0)
            plan.newBars += count;
        else
            plan.offcutsUsed += count;
        plan.patterns.push_back(std::move(pattern));
    }
    for (int i = 0; i < items(); ++i)
        if (solution.unplaced[i] > 0)
            plan.unplaced.push_back({length[i], solution.unplaced[i]});
    return plan;
}

namespace {

// Table cells (pieces times room) the fullest bars of one plan may take in all; past them, and for a
// room over the most a table may have, bars are filled piece by piece instead.
constexpr std::int64_t fillCells = 30'000'000;
constexpr Length maxFillRoom = 4'000'000;

struct OpenBar {
    int bin;
    Length room;
    std::vector<std::pair<int, int>> items; ///< items ascending
};

/// One piece of item into the first open bar with room for it; false when none has.
bool intoOpenBar(const Model& model, std::vector<OpenBar>& open, int item) {
    const Length w = model.weight[item];
    auto bar = std::find_if(open.begin(), open.end(), [w](const OpenBar& b) { return b.room >= w; });
    if (bar == open.end())
        return false;
    bar->room -= w;
    addPieces(bar->items, item);
    return true;
}

/// A bar opened for one piece of item, as first fit decreasing opens it: the shortest offcut left that
/// takes it, else a new bar; taken off `left`. False when nothing takes the piece.
bool openFor(const Model& model, int item, std::vector<int>& left, OpenBar& bar) {
    int chosen = -1;
    for (int b = 1; b < static_cast<int>(model.bins.size()); ++b)
        if (left[b] != 0 && model.fits(item, b) && (chosen < 0 || model.bins[b].capacity < model.bins[chosen].capacity))
            chosen = b;
    if (chosen < 0 && left[0] != 0 && model.fits(item, 0))
        chosen = 0;
    if (chosen < 0)
        return false;
    if (left[chosen] > 0)
        --left[chosen];
    bar = {chosen, model.bins[chosen].capacity - model.weight[item], {{item, 1}}};
    return true;
}

/// First fit decreasing of `demand` into the bars open already (in their order), then the shortest
/// offcut that takes a piece, then a new bar; pieces nothing takes stay out.
void packFirstFit(const Model& model, std::vector<OpenBar>& open, const std::vector<int>& demand,
                  std::vector<int>& left) {
    for (int item = 0; item < model.items(); ++item) {
        for (int k = 0; k < demand[item]; ++k) {
            OpenBar bar;
            if (!intoOpenBar(model, open, item) && openFor(model, item, left, bar))
                open.push_back(std::move(bar));
            // else counted as unplaced by complete()
        }
    }
}

/// The pieces of `pieces` (per item) whose weights add up closest to `room` without passing it, taken
/// out of `pieces` and returned as (item, count), items ascending; empty when the search would be too big
/// for the table (the caller then fits pieces one by one).
std::vector<std::pair<int, int>> fullest(const Model& model, std::vector<int>& pieces, Length room, std::int64_t& cells,
                                         bool& done) {
    // Every piece a 0/1 item in turn; first[s] is the piece that first made the sum s, so walking back
    // from a sum meets earlier pieces only, each once.
    std::vector<int> copies;
    for (int item = 0; item < model.items(); ++item)
        for (int k = 0; k < pieces[item] && (k + 1) * model.weight[item] <= room; ++k)
            copies.push_back(item);
    const std::int64_t need = static_cast<std::int64_t>(copies.size()) * (room + 1);
    done = room <= maxFillRoom && need <= cells;
    if (!done || copies.empty())
        return {};
    cells -= need;
    std::vector<int> first(static_cast<std::size_t>(room + 1), -1);
    first[0] = static_cast<int>(copies.size());
    Length best = 0;
    for (int c = 0; c < static_cast<int>(copies.size()) && best < room; ++c) {
        const Length w = model.weight[copies[c]];
        for (Length s = room; s >= w; --s)
            if (first[s] < 0 && first[s - w] >= 0) {
                first[s] = c;
                best = std::max(best, s);
            }
    }
    std::vector<std::pair<int, int>> chosen;
    for (Length s = best; s > 0;) {
        const int item = copies[first[s]];
        addPieces(chosen, item);
        --pieces[item];
        s -= model.weight[item];
    }
    return chosen;
}

/// The pieces of `demand` first fit decreasing into the room of the bars open already; then, for the
/// longest piece left, a bar as first fit decreasing would open it, filled as full as it goes with the
/// pieces left (one by one, longest first, where the table would be too big).
void packFullest(const Model& model, std::vector<OpenBar>& open, std::vector<int> demand, std::vector<int>& left) {
    std::int64_t cells = fillCells;
    for (int item = 0; item < model.items(); ++item)
        while (demand[item] > 0 && intoOpenBar(model, open, item))
            --demand[item];
    for (int item = 0; item < model.items(); ++item) {
        while (demand[item] > 0) {
            --demand[item];
            OpenBar bar;
            if (!openFor(model, item, left, bar))
                continue; // counted as unplaced by complete()
            bool done = false;
            std::vector<std::pair<int, int>> more = fullest(model, demand, bar.room, cells, done);
            if (!done) {
                Length room = bar.room;
                for (int i = item; i < model.items(); ++i)
                    for (; demand[i] > 0 && model.weight[i] <= room; --demand[i], room -= model.weight[i])
                        more.push_back({i, 1});
            }
            for (const auto& [i, n] : more) {
                bar.room -= model.weight[i] * n;
                addPieces(bar.items, i, n);
            }
            open.push_back(std::move(bar));
        }
    }
}

} // namespace

Solution Model::settle(std::vector<Cut> bars, std::vector<int> available) const {
    std::vector<int> balance(items(), 0); // pieces cut less pieces wanted, per item
    for (const Cut& bar : bars)
        for (const auto& [item, count] : bar.items)
            balance[item] += count;
    for (int i = 0; i < items(); ++i)
        balance[i] -= demand[i];
    // Items are longest first, so a surplus of item i can stand in for a shortage of any later item; the
    // nearest surplus above a shortage is taken first (a stack of the surpluses met so far).
    std::vector<std::vector<std::pair<int, int>>> shorter(items()); // per item: (shorter item, pieces)
    std::vector<int> surpluses;
    for (int j = 0; j < items(); ++j) {
        while (balance[j] < 0 && !surpluses.empty()) {
            const int i = surpluses.back();
            const int n = std::min(balance[i], -balance[j]);
            shorter[i].push_back({j, n});
            balance[i] -= n;
            balance[j] += n;
            if (balance[i] == 0)
                surpluses.pop_back();
        }
        if (balance[j] > 0)
            surpluses.push_back(j);
    }
    std::vector<OpenBar> open;
    for (Cut& bar : bars) {
        std::vector<std::pair<int, int>> cut;
        for (const auto& [item, count] : bar.items) {
            int keep = count;
            for (auto& [j, n] : shorter[item]) {
                const int moved = std::min(n, keep);
                if (moved > 0)
                    addPieces(cut, j, moved);
                n -= moved;
                keep -= moved;
            }
            std::erase_if(shorter[item], [](const auto& entry) { return entry.second == 0; });
            if (keep > 0)
                addPieces(cut, item, keep);
        }
        open.push_back({bar.bin, 0, std::move(cut)});
    }
    // What is still too much comes off the last bars.
    takeOffLast(open, balance);
    std::erase_if(open, [](const OpenBar& bar) { return bar.items.empty(); });
    for (OpenBar& bar : open) {
        bar.room = bins[bar.bin].capacity;
        for (const auto& [item, count] : bar.items)
            bar.room -= weight[item] * count;
    }
    std::vector<int> missing(items(), 0);
    for (int i = 0; i < items(); ++i)
        missing[i] = std::max(0, -balance[i]);
    packFullest(*this, open, std::move(missing), available);
    Solution solution;
    for (OpenBar& bar : open)
        solution.cuts.push_back({Cut{bar.bin, std::move(bar.items)}, 1});
    complete(solution);
    return solution;
}

std::vector<int> Model::limits() const {
    std::vector<int> out;
    for (const Bin& bin : bins)
        out.push_back(bin.limit);
    return out;
}

Solution firstFitDecreasing(const Model& model, const std::vector<int>& demand, const std::vector<int>& available) {
    std::vector<OpenBar> open;
    std::vector<int> left = available;
    packFirstFit(model, open, demand, left);
    Solution solution;
    for (OpenBar& bar : open)
        solution.cuts.push_back({Cut{bar.bin, std::move(bar.items)}, 1});
    // complete() measures against the model's whole demand; this plan covers `demand` only.
    Model partial = model;
    partial.demand = demand;
    partial.complete(solution);
    return solution;
}

} // namespace kvt::cutting
