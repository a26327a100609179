// The problem as the optimiser works on it: distinct piece lengths longest first, every length and
// capacity with the kerf added and divided by the greatest common divisor of the pieces, and the kinds
// of bar (the new bar first, then each offcut) as bins of a capacity. Internal to cutting/.
#pragma once

#include "cutting/Cutting.h"

#include <chrono>
#include <utility>
#include <vector>

namespace kvt::cutting {

/// The end of the time granted, on a steady clock.
class Deadline {
public:
    explicit Deadline(double seconds);
    bool passed() const { return std::chrono::steady_clock::now() >= m_end; }
    double remainingSeconds() const;
    double elapsedSeconds() const;

private:
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_end;
};

/// A kind of bar: a new bar (offcut == -1, unlimited) or one offcut length of the rack.
struct Bin {
    Length capacity = 0; ///< in units, kerf included: a set of pieces fits when their weights add up to at most this
    int limit = -1;      ///< bars of this kind there are, -1 for unlimited
    int offcut = -1;     ///< index into Problem::offcuts, or -1 for a new bar
    double cost = 1;     ///< what a bar of this kind costs the linear programme
};

/// The pieces of one bar as (item, count), items ascending; and the bin they are cut from.
struct Cut {
    int bin = 0;
    std::vector<std::pair<int, int>> items;
    bool operator==(const Cut&) const = default;
    bool operator<(const Cut& other) const { return bin != other.bin ? bin < other.bin : items < other.items; }
};

/// An integer plan in the model's terms.
struct Solution {
    std::vector<std::pair<Cut, int>> cuts; ///< each cut and how many bars are cut that way
    std::vector<int> unplaced;             ///< per item, pieces no bar took
    int newBars = 0;
    int unplacedCount = 0;
    double offcutCost = 0; ///< the linear programme's cost of the offcuts used
    bool valid = false;

    /// Fewer unplaced pieces, then fewer new bars, then cheaper offcuts.
    bool betterThan(const Solution& other) const;
};

struct Model {
    Length unit = 1;            ///< tenths of a millimetre per unit
    std::vector<Length> length; ///< per item, in tenths of a millimetre, longest first
    std::vector<Length> weight; ///< per item, (length + kerf) / unit
    std::vector<int> demand;    ///< per item
    std::vector<Bin> bins;      ///< bins[0] is the new bar
    double offcutCostTotal = 0; ///< the cost of using every offcut: what the LP value may exceed the bars by

    explicit Model(const Problem& problem);
    int items() const { return static_cast<int>(length.size()); }
    /// Per kind of bar, how many there are (-1 for unlimited).
    std::vector<int> limits() const;
    /// Whether item fits a bin of kind b at all.
    bool fits(int item, int b) const { return weight[item] <= bins[b].capacity; }
    /// Totals of the solution (new bars, offcut cost, unplaced) from its cuts and the demand.
    void complete(Solution& solution) const;
    Plan toPlan(const Solution& solution) const;
    /// The plan of `bars` (already taken off `available`) made to cut the demand exactly: a piece of a
    /// length there is too much of is cut shorter where a shorter one is missing (the nearest length
    /// below first), what is still too much comes off the last bars, and what is still missing goes
    /// first fit decreasing into the room the bars leave, then onto new bars.
    Solution settle(std::vector<Cut> bars, std::vector<int> available) const;
    /// Puts back on the rack the offcuts whose pieces fit into what the other bars leave over, dearest
    /// offcut first, and completes the solution again.
    void releaseOffcuts(Solution& solution) const;
};

/// First fit decreasing over `demand` (per item) with `available` bars of each bin kind (-1 unlimited):
/// open bars first, in the order they were opened; then the shortest offcut that takes the piece; then a
/// new bar.
Solution firstFitDecreasing(const Model& model, const std::vector<int>& demand, const std::vector<int>& available);

} // namespace kvt::cutting
