#include "cutting/Knapsack.h"

#include <algorithm>
#include <cstdint>

namespace kvt::cutting {

namespace {

// Above this many table cells (binary pieces times capacity, a byte each) the table is too slow to fill
// for every pricing round and too big, and branch and bound takes over.
constexpr std::int64_t maxTableCells = 32'000'000;

// At most this many pieces of average length to a bar make branch and bound the pricing at any capacity.
constexpr double fewPieces = 6;

// Table cells filled in the time branch and bound looks at one item (a division and a few tests against
// an addition and a test), measured on many-length orders: what the search's budget is counted in.
constexpr std::int64_t cellsPerStep = 4;

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

KnapsackResult knapsackByDynamicProgramming(const std::vector<KnapsackItem>& all, Length capacity, double threshold,
                                            int want) {
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
    // The choice filling at most c, read back from the table; the best ones of the fullest capacities
    // that differ in value give more patterns for the same work.
    auto choiceAt = [&](Length c) {
        std::vector<std::pair<int, int>> counts;
        for (std::size_t p = parts.size(); p-- > 0;) {
            if (taken[p * cells + c]) {
                counts.push_back({items[parts[p].index].item, parts[p].count});
                c -= parts[p].weight;
            }
        }
        std::sort(counts.begin(), counts.end());
        std::vector<std::pair<int, int>> merged;
        for (const auto& entry : counts)
            if (!merged.empty() && merged.back().first == entry.first)
                merged.back().second += entry.second;
            else
                merged.push_back(entry);
        return merged;
    };
    if (result.value <= threshold)
        return result;
    result.items = choiceAt(capacity);
    std::vector<Length> ends;
    for (Length c = capacity; c > 0; --c)
        if (best[c] > threshold && best[c] < best[c + (c < capacity)] - valueTolerance)
            ends.push_back(c);
    std::stable_sort(ends.begin(), ends.end(), [&best](Length a, Length b) { return best[a] > best[b]; });
    for (std::size_t e = 0; e < ends.size() && static_cast<int>(result.more.size()) + 1 < want; ++e)
        result.more.push_back(choiceAt(ends[e]));
    return result;
}

KnapsackResult knapsackByBranchAndBound(std::vector<KnapsackItem> all, Length capacity, const Deadline& deadline,
                                        double threshold, int want, std::int64_t maxSteps) {
    std::vector<KnapsackItem> items = usable(std::move(all), capacity);
    // Best value per unit of length first; the item number breaks ties, so the order is the same every run.
    std::sort(items.begin(), items.end(), [](const KnapsackItem& a, const KnapsackItem& b) {
        const double left = a.value * static_cast<double>(b.weight);
        const double right = b.value * static_cast<double>(a.weight);
        return left != right ? left > right : a.item < b.item;
    });
    const int n = static_cast<int>(items.size());
    want = std::max(want, 1);
    std::vector<int> counts(n, 0);
    KnapsackResult result;
    std::vector<std::pair<double, std::vector<int>>> top; // the best choices so far, best first
    std::int64_t nodes = 0;

    // Worth recording only when no further piece fits: a choice with room for one more is beaten by itself
    // with that piece.
    std::int64_t steps = 0; // items looked at, all told: what bounds the search's work
    auto full = [&](Length room) {
        for (int j = 0; j < n; ++j, ++steps)
            if (items[j].weight <= room && counts[j] < items[j].bound)
                return false;
        return true;
    };
    auto floor = [&] { return static_cast<int>(top.size()) < want ? threshold : top.back().first; };
    // Each level adds one more piece, of item `from` or a later one (pieces in ratio order, so every set
    // is met once). A long bar holds few pieces, so the depth is small; and as the items come best ratio
    // first, value + room * ratio of item j bounds everything from j on, which ends the loop early.
    auto record = [&](double value) {
        if (std::any_of(top.begin(), top.end(), [&](const auto& t) { return t.second == counts; }))
            return;
        auto at = std::find_if(top.begin(), top.end(), [value](const auto& t) { return t.first < value; });
        top.insert(at, {value, counts});
        if (static_cast<int>(top.size()) > want)
            top.pop_back();
    };
    // Where the room takes one more piece at most, the best one that fits is looked up by weight instead
    // of tried in turn: the last level is where almost all the nodes are.
    Length lightest = capacity + 1;
    for (const KnapsackItem& k : items)
        lightest = std::min(lightest, k.weight);
    std::vector<int> byWeight(n);
    for (int i = 0; i < n; ++i)
        byWeight[i] = i;
    std::sort(byWeight.begin(), byWeight.end(), [&items](int a, int b) {
        return items[a].weight != items[b].weight ? items[a].weight < items[b].weight : a < b;
    });
    std::vector<int> bestUpTo(n); // per place in byWeight, the most valuable item up to there
    for (int p = 0; p < n; ++p)
        bestUpTo[p] = p > 0 && items[bestUpTo[p - 1]].value >= items[byWeight[p]].value ? bestUpTo[p - 1] : byWeight[p];
    auto search = [&](auto&& self, int from, Length room, double value) -> void {
        result.value = std::max(result.value, value);
        if (value > floor() + valueTolerance && full(room))
            record(value);
        if ((++nodes & 0xfff) == 0 && deadline.passed())
            result.complete = false;
        if (maxSteps > 0 && steps > maxSteps) {
            result.complete = false;
            result.searchTooLong = true;
        }
        if (room < 2 * lightest) {
            const auto fitting = std::upper_bound(byWeight.begin(), byWeight.end(), room,
                                                  [&items](Length r, int i) { return r < items[i].weight; });
            if (fitting == byWeight.begin())
                return;
            const int best = bestUpTo[fitting - byWeight.begin() - 1];
            if (counts[best] < items[best].bound) {
                const double with = value + items[best].value;
                result.value = std::max(result.value, with);
                if (with > floor() + valueTolerance) {
                    ++counts[best];
                    record(with);
                    --counts[best];
                }
                return;
            }
        }
        for (int j = from; j < n && result.complete; ++j, ++steps) {
            const KnapsackItem& k = items[j];
            const double ratio = k.value / static_cast<double>(k.weight);
            if (value + ratio * static_cast<double>(room) <= floor() + valueTolerance)
                break;
            if (k.weight > room || counts[j] >= k.bound)
                continue;
            ++counts[j];
            self(self, j, room - k.weight, value + k.value);
            --counts[j];
        }
    };
    search(search, 0, capacity, 0.0);
    auto choice = [&](const std::vector<int>& chosen) {
        std::vector<std::pair<int, int>> out;
        for (int i = 0; i < n; ++i)
            out.push_back({items[i].item, chosen[i]});
        sortItems(out);
        return out;
    };
    for (std::size_t t = 0; t < top.size(); ++t) {
        if (t == 0)
            result.items = choice(top[t].second);
        else
            result.more.push_back(choice(top[t].second));
    }
    return result;
}

bool fewPiecesToABar(const std::vector<KnapsackItem>& items, Length capacity) {
    double weights = 0;
    double pieces = 0;
    for (const KnapsackItem& k : items) {
        if (k.bound > 0 && k.weight <= capacity) {
            weights += static_cast<double>(k.weight) * k.bound;
            pieces += k.bound;
        }
    }
    return pieces > 0 && static_cast<double>(capacity) * pieces <= fewPieces * weights;
}

KnapsackResult bestKnapsack(std::vector<KnapsackItem> items, Length capacity, const Deadline& deadline,
                            double threshold, int want, bool fewToABar) {
    std::int64_t parts = 0;
    for (const KnapsackItem& k : items) {
        if (k.value <= valueTolerance || k.bound <= 0 || k.weight > capacity)
            continue;
        for (Length left = std::min<Length>(k.bound, capacity / k.weight), size = 1; left > 0; size *= 2)
            left -= std::min(size, left), ++parts;
    }
    const std::int64_t cells = parts * (capacity + 1);
    if (cells > maxTableCells)
        return knapsackByBranchAndBound(std::move(items), capacity, deadline, threshold, want);
    if (fewToABar) {
        KnapsackResult result = knapsackByBranchAndBound(items, capacity, deadline, threshold, want, cells / cellsPerStep);
        if (!result.searchTooLong)
            return result;
    }
    KnapsackResult result = knapsackByDynamicProgramming(items, capacity, threshold, want);
    result.searchTooLong = fewToABar;
    return result;
}

} // namespace kvt::cutting
