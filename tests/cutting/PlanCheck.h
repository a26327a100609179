// Checks a plan against its problem without the optimiser's code: every piece cut exactly as often as
// asked (less only what the plan reports unplaced, and only pieces no new bar takes), no bar over its
// length with kerf and trim, offcuts within their counts, the counts adding up. Used by the tests and
// the bench on every plan they make.
#pragma once

#include "cutting/Cutting.h"

#include <map>
#include <string>

namespace kvt::cutting::check {

/// Empty when `plan` is a plan of `problem`, else what is wrong with it.
inline std::string planError(const Problem& problem, const Plan& plan) {
    const Length usable = problem.stockLength - 2 * problem.trim;
    std::map<Length, long long> asked;
    for (const Demand& d : problem.pieces)
        asked[d.length] += d.count;
    std::map<Length, long long> cut;
    std::map<int, long long> offcutsTaken;
    long long newBars = 0;
    long long offcutBars = 0;
    for (std::size_t p = 0; p < plan.patterns.size(); ++p) {
        const Pattern& pattern = plan.patterns[p];
        const std::string where = "pattern " + std::to_string(p);
        if (pattern.count <= 0)
            return where + ": count " + std::to_string(pattern.count);
        if (pattern.pieces.empty())
            return where + ": no pieces";
        Length room = usable;
        if (pattern.offcut >= 0) {
            if (pattern.offcut >= static_cast<int>(problem.offcuts.size()))
                return where + ": no offcut " + std::to_string(pattern.offcut);
            room = problem.offcuts[pattern.offcut].length;
            offcutsTaken[pattern.offcut] += pattern.count;
            offcutBars += pattern.count;
        } else if (pattern.offcut == -1) {
            newBars += pattern.count;
        } else {
            return where + ": offcut " + std::to_string(pattern.offcut);
        }
        Length used = 0;
        for (std::size_t i = 0; i < pattern.pieces.size(); ++i) {
            if (i > 0 && pattern.pieces[i] > pattern.pieces[i - 1])
                return where + ": pieces not longest first";
            used += pattern.pieces[i] + (i > 0 ? problem.kerf : 0);
            cut[pattern.pieces[i]] += pattern.count;
        }
        if (used > room)
            return where + ": " + std::to_string(used) + " on a bar of " + std::to_string(room);
    }
    for (const auto& [index, taken] : offcutsTaken)
        if (taken > problem.offcuts[index].count)
            return "offcut " + std::to_string(index) + " used " + std::to_string(taken) + " times";
    for (const Demand& u : plan.unplaced) {
        if (u.length <= usable)
            return "piece " + std::to_string(u.length) + " left unplaced although a new bar takes it";
        cut[u.length] += u.count;
    }
    if (cut != asked)
        return "the pieces cut are not the pieces asked";
    if (newBars != plan.newBars || offcutBars != plan.offcutsUsed)
        return "counts: " + std::to_string(newBars) + " new bars and " + std::to_string(offcutBars) +
               " offcuts in the patterns, the plan says " + std::to_string(plan.newBars) + " and " +
               std::to_string(plan.offcutsUsed);
    if (plan.lowerBound > plan.newBars && plan.unplaced.empty())
        return "lower bound " + std::to_string(plan.lowerBound) + " above the plan's " + std::to_string(plan.newBars);
    if (plan.optimal && (plan.newBars != plan.lowerBound || !plan.unplaced.empty()))
        return "called optimal above its bound";
    return {};
}

} // namespace kvt::cutting::check
