#include "cutting/Knapsack.h"

#include <algorithm>
#include <cstdint>

namespace kvt::cutting {

namespace {

// Above this many table cells (binary pieces times capacity) the table is too slow to fill for every
// pricing round, and branch and bound takes over: such capacities come with pieces a bar holds few of.
constexpr std::int64_t maxTableCells = 4'000'000;

// A value counts as better only by more than this, so that ties resolve the same way every run.
constexpr double valueTolerance = 1e-12;

std::vector<KnapsackItem> usable(std::vector<KnapsackItem> items, Length capacity) {
    std::erase_if(items, [capacity](const KnapsackItem& k) {
        return k.value <= valueTolerance || k.bound <= 0 || k.weight > capacity;
    });
    for (KnapsackItem& k : items)
        k.bound = static_cast<int>(std::min<Length>(k.bound, capacity / k.weight));
    return items;
}

void sortItems(std::vector<std::pair<int, int>>& counts) {
    std::erase_if(counts, [](const auto& entry) { return entry.second == 0; });
    std::sort(counts.begin(), counts.end());
}

} // namespace

KnapsackResult knapsackByDynamicProgramming(const std::vector<KnapsackItem>& all, Length capacity) {
    const std::vector<KnapsackItem> items = usable(all, capacity);
    // Bounded items split into binary parts (1, 2, 4, ..., rest): a 0/1 knapsack over the parts.
    struct Part {
        int index;
        int count;
        Length weight;
        double value;
    };
    std::vector<Part> parts;
    for (int i = 0; i < static_cast<int>(items.size()); ++i) {
        int left = items[i].bound;
        for (int size = 1; left > 0; size *= 2) {
            const int take = std::min(size, left);
            parts.push_back({i, take, items[i].weight * take, items[i].value * take});
            left -= take;
        }
    }
    const auto cells = static_cast<std::size_t>(capacity + 1);
    std::vector<double> best(cells, 0.0);
    std::vector<std::uint8_t> taken(parts.size() * cells, 0);
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const Part& part = parts[p];
        std::uint8_t* row = taken.data() + p * cells;
        for (Length c = capacity; c >= part.weight; --c) {
            const double with = best[c - part.weight] + part.value;
            if (with > best[c] + valueTolerance) {
                best[c] = with;
                row[c] = 1;
            }
        }
    }
    KnapsackResult result;
    result.value = best[capacity];
    Length c = capacity;
    std::vector<std::pair<int, int>> counts;
    for (std::size_t p = parts.size(); p-- > 0;) {
        if (taken[p * cells + c]) {
            counts.push_back({items[parts[p].index].item, parts[p].count});
            c -= parts[p].weight;
        }
    }
    std::sort(counts.begin(), counts.end());
    for (const auto& entry : counts)
        if (!result.items.empty() && result.items.back().first == entry.first)
            result.items.back().second += entry.second;
        else
            result.items.push_back(entry);
    return result;
}

KnapsackResult knapsackByBranchAndBound(std::vector<KnapsackItem> all, Length capacity, const Deadline& deadline) {
    std::vector<KnapsackItem> items = usable(std::move(all), capacity);
    // Best value per unit of length first; the item number breaks ties, so the order is the same every run.
    std::sort(items.begin(), items.end(), [](const KnapsackItem& a, const KnapsackItem& b) {
        const double left = a.value * static_cast<double>(b.weight);
        const double right = b.value * static_cast<double>(a.weight);
        return left != right ? left > right : a.item < b.item;
    });
    const int n = static_cast<int>(items.size());
    std::vector<int> counts(n, 0);
    KnapsackResult result;
    std::vector<int> bestCounts(n, 0);
    std::int64_t nodes = 0;

    // The linear relaxation from item k on (Dantzig): whole items greedily, then a fraction of the next.
    auto bound = [&](int k, Length room) {
        double value = 0;
        for (int i = k; i < n && room > 0; ++i) {
            const Length all = items[i].weight * items[i].bound;
            if (all <= room) {
                value += items[i].value * items[i].bound;
                room -= all;
            } else {
                value += items[i].value * static_cast<double>(room) / static_cast<double>(items[i].weight);
                room = 0;
            }
        }
        return value;
    };
    auto search = [&](auto&& self, int k, Length room, double value) -> void {
        if (value > result.value + valueTolerance) {
            result.value = value;
            bestCounts = counts;
        }
        if (k == n || !result.complete)
            return;
        if ((++nodes & 0xfff) == 0 && deadline.passed()) {
            result.complete = false;
            return;
        }
        if (value + bound(k, room) <= result.value + valueTolerance)
            return;
        const int most = static_cast<int>(std::min<Length>(items[k].bound, room / items[k].weight));
        for (int c = most; c >= 0; --c) {
            counts[k] = c;
            self(self, k + 1, room - c * items[k].weight, value + c * items[k].value);
        }
        counts[k] = 0;
    };
    search(search, 0, capacity, 0.0);
    for (int i = 0; i < n; ++i)
        result.items.push_back({items[i].item, bestCounts[i]});
    sortItems(result.items);
    return result;
}

KnapsackResult bestKnapsack(std::vector<KnapsackItem> items, Length capacity, const Deadline& deadline) {
    std::int64_t parts = 0;
    for (const KnapsackItem& k : items) {
        if (k.value <= valueTolerance || k.bound <= 0 || k.weight > capacity)
            continue;
        for (Length left = std::min<Length>(k.bound, capacity / k.weight), size = 1; left > 0; size *= 2)
            left -= std::min(size, left), ++parts;
    }
    if (parts * (capacity + 1) <= maxTableCells)
        return knapsackByDynamicProgramming(items, capacity);
    return knapsackByBranchAndBound(std::move(items), capacity, deadline);
}

} // namespace kvt::cutting
