// The optimiser proper: the linear relaxation of cutting stock solved by column generation, its
// rounded-up value as the lower bound, then integer plans by diving with backtracking over the generated
// patterns (each step re-solving the rest with more columns), and an integer programme over all the
// patterns for what time is left. Internal to cutting/.
#pragma once

#include "cutting/Model.h"

namespace kvt::cutting {

struct Outcome {
    Solution best;      ///< never worse than the start
    int lowerBound = 0; ///< on new bars
};

/// The best plan found before `deadline`, starting from `start` (a valid plan, e.g. first fit decreasing).
Outcome optimise(const Model& model, const Solution& start, const Deadline& deadline);

/// What every plan needs at least: the pieces' total weight beyond what the offcuts can take, in new bars.
int lengthBound(const Model& model);

} // namespace kvt::cutting
