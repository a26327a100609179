// The pricing problem of column generation: the bounded knapsack of highest value within a capacity.
// Internal to cutting/.
#pragma once

#include "cutting/Model.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace kvt::cutting {

struct KnapsackItem {
    int item = 0;      ///< the model's item, reported back in the result
    Length weight = 0; ///< in units, positive
    double value = 0;
    int bound = 0; ///< at most this many
};

struct KnapsackResult {
    double value = 0;
    std::vector<std::pair<int, int>> items;             ///< (item, count), items ascending
    std::vector<std::vector<std::pair<int, int>>> more; ///< the next best choices worth over the threshold
    bool complete = true;                               ///< false when the deadline cut the search short
    bool searchTooLong = false; ///< branch and bound outgrew the table, which did the pricing instead
};

/// Whether a bar of `capacity` holds few of `items` (each counted as often as its bound) on average:
/// then branch and bound prices quickly at any capacity, and finds many patterns in one go.
bool fewPiecesToABar(const std::vector<KnapsackItem>& items, Length capacity);

/// The most valuable choice of `items` (each at most its bound) whose weights add up to at most
/// `capacity`: branch and bound where `fewToABar` (see fewPiecesToABar) or the table would be too big,
/// else dynamic programming over the capacity. Where the table would do, branch and bound may look at
/// items only for as long as the table takes to fill, and the table prices when that is not enough (many
/// distinct lengths make the search wide): `searchTooLong` in the result says so. Looks for choices
/// worth more than `threshold` (`items` stays empty when there is none; `value` is then at most the
/// threshold) and reports up to `want` of them in `items` (the best) and `more`.
KnapsackResult bestKnapsack(std::vector<KnapsackItem> items, Length capacity, const Deadline& deadline,
                            double threshold = 0, int want = 1, bool fewToABar = false);

/// The two ways, for the tests and the bench to compare.
KnapsackResult knapsackByDynamicProgramming(const std::vector<KnapsackItem>& items, Length capacity,
                                            double threshold = 0, int want = 1);
/// `maxSteps` (0 for none), a bound on the items looked at in all, ends the search with `complete`
/// false and `searchTooLong` set.
KnapsackResult knapsackByBranchAndBound(std::vector<KnapsackItem> items, Length capacity, const Deadline& deadline,
                                        double threshold = 0, int want = 1, std::int64_t maxSteps = 0);

} // namespace kvt::cutting
