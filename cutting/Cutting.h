// The cutting optimiser: lays pieces onto bars of one material so that as few new bars as possible are
// used. A plain problem in, a plain plan out; no I/O and no Qt. The LP/MIP solver sits behind one file of
// this folder. Lengths are whole tenths of a millimetre throughout (kvt's lengths have at most one
// decimal), never floating point.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvt::cutting {

/// A length in tenths of a millimetre.
using Length = std::int64_t;

/// Pieces of one length, and how many of them are to be cut (every one exactly as often as asked).
struct Demand {
    Length length = 0;
    int count = 0;
};

/// An offcut in stock: used as it is (no trim); at most `count` of this length are there.
struct Offcut {
    Length length = 0;
    int count = 1;
};

struct Problem {
    Length stockLength = 0;       ///< a new bar, before trim
    Length kerf = 0;              ///< lost at every cut between two pieces of one bar
    Length trim = 0;              ///< cut off each end of a new bar (not of an offcut)
    std::vector<Demand> pieces;   ///< distinct lengths in any order
    std::vector<Offcut> offcuts;  ///< may be empty; used where that saves a new bar
    double timeLimitSeconds = 10; ///< the whole solve, on a steady clock; the best plan so far is kept
};

/// One way of cutting a bar, and how many bars are cut that way.
struct Pattern {
    int count = 0;
    int offcut = -1;            ///< index into Problem::offcuts, or -1 for a new bar
    std::vector<Length> pieces; ///< longest first
};

struct Plan {
    std::vector<Pattern> patterns;
    int newBars = 0;      ///< new bars used (patterns with offcut == -1), counts added up
    int offcutsUsed = 0;  ///< offcuts used, counts added up
    int lowerBound = 0;   ///< no plan of this problem needs fewer new bars
    bool optimal = false; ///< newBars == lowerBound, or proved minimal otherwise
    double seconds = 0;
    /// Pieces no bar could take: longer than the usable new bar and left over when the offcuts that
    /// could hold them were spent. Empty whenever every piece fits a new bar.
    std::vector<Demand> unplaced;
};

/// Why `problem` cannot be planned, in Chinese for the user, or empty when it can (every length and
/// count positive, kerf and trim not negative, usable bar length positive, no piece longer than both
/// the usable bar and every offcut).
std::string problemError(const Problem& problem);

/// The plan with the fewest new bars the optimiser finds within the time limit. Requires
/// problemError(problem) to be empty. Offcuts are used where they save a new bar; an offcut whose pieces
/// fit into what the other bars leave over stays on the rack.
Plan solve(const Problem& problem);

/// The plain first-fit-decreasing plan (offcuts first, shortest offcut that fits, then new bars):
/// today's way by hand, and the floor solve() never falls below.
Plan firstFitDecreasing(const Problem& problem);

/// Length a bar of the pattern leaves over after its pieces, the kerf between them and (for a new bar)
/// the trim at both ends.
Length leftover(const Problem& problem, const Pattern& pattern);

} // namespace kvt::cutting
