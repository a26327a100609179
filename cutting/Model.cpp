#include "cutting/Model.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace kvt::cutting {

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
    for (auto bar = bars.rbegin(); bar != bars.rend(); ++bar) {
        for (auto& [item, count] : bar->items) {
            const int take = std::clamp(surplus[item], 0, count);
            count -= take;
            surplus[item] -= take;
        }
        std::erase_if(bar->items, [](const auto& entry) { return entry.second == 0; });
    }
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
                auto& items = trial[into].cut.items;
                auto at = std::lower_bound(items.begin(), items.end(), std::pair<int, int>{item, 0});
                if (at != items.end() && at->first == item)
                    ++at->second;
                else
                    items.insert(at, {item, 1});
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

Solution firstFitDecreasing(const Model& model, const std::vector<int>& demand, const std::vector<int>& available) {
    struct OpenBar {
        int bin;
        Length room;
        std::vector<std::pair<int, int>> items;
    };
    std::vector<OpenBar> open;
    std::vector<int> left = available;
    Solution solution;
    for (int item = 0; item < model.items(); ++item) {
        for (int k = 0; k < demand[item]; ++k) {
            const Length w = model.weight[item];
            auto bar = std::find_if(open.begin(), open.end(), [w](const OpenBar& b) { return b.room >= w; });
            if (bar == open.end()) {
                int chosen = -1;
                for (int b = 1; b < static_cast<int>(model.bins.size()); ++b)
                    if (left[b] != 0 && model.fits(item, b) &&
                        (chosen < 0 || model.bins[b].capacity < model.bins[chosen].capacity))
                        chosen = b;
                if (chosen < 0 && left[0] != 0 && model.fits(item, 0))
                    chosen = 0;
                if (chosen < 0)
                    continue; // counted as unplaced by complete()
                if (left[chosen] > 0)
                    --left[chosen];
                open.push_back({chosen, model.bins[chosen].capacity, {}});
                bar = std::prev(open.end());
            }
            bar->room -= w;
            if (!bar->items.empty() && bar->items.back().first == item)
                ++bar->items.back().second;
            else
                bar->items.push_back({item, 1});
        }
    }
    for (OpenBar& bar : open)
        solution.cuts.push_back({Cut{bar.bin, std::move(bar.items)}, 1});
    // complete() measures against the model's whole demand; this plan covers `demand` only.
    Model partial = model;
    partial.demand = demand;
    partial.complete(solution);
    return solution;
}

} // namespace kvt::cutting
