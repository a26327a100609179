// Problems of known optimum beyond the standard files, made from a fixed seed: bars cut into pieces
// with no waste at all, so the optimum is the number of bars cut up (the pieces' length adds up to it
// exactly). Used by the tests and the bench.
#pragma once

#include "cutting/Cutting.h"

#include <algorithm>
#include <map>
#include <random>
#include <vector>

namespace kvt::cutting::generated {

struct KnownProblem {
    Problem problem;
    int optimum = 0;
};

/// `bars` bars of `stock` cut at random into `fewest`..`most` pieces each, every piece at least
/// `shortest` long (lengths in tenths of a millimetre, cut at whole millimetres; no kerf or trim).
inline KnownProblem wasteless(unsigned seed, int bars, Length stock, int fewest, int most, Length shortest) {
    std::mt19937 random(seed);
    std::map<Length, int> counts;
    for (int b = 0; b < bars; ++b) {
        const int pieces = std::uniform_int_distribution<int>(fewest, most)(random);
        // Cut points drawn until every piece is long enough.
        std::vector<Length> cuts;
        do {
            cuts.assign({0, stock});
            for (int c = 1; c < pieces; ++c)
                cuts.push_back(10 * std::uniform_int_distribution<Length>(1, stock / 10 - 1)(random));
            std::sort(cuts.begin(), cuts.end());
        } while ([&] {
            for (std::size_t c = 1; c < cuts.size(); ++c)
                if (cuts[c] - cuts[c - 1] < shortest)
                    return true;
            return false;
        }());
        for (std::size_t c = 1; c < cuts.size(); ++c)
            ++counts[cuts[c] - cuts[c - 1]];
    }
    KnownProblem known;
    known.problem.stockLength = stock;
    for (const auto& [length, count] : counts)
        known.problem.pieces.push_back({length, count});
    // Shuffled, so that nothing depends on the order the pieces come in.
    std::shuffle(known.problem.pieces.begin(), known.problem.pieces.end(), random);
    known.optimum = bars;
    return known;
}

} // namespace kvt::cutting::generated
