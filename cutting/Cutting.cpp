#include "cutting/Cutting.h"

#include "cutting/ColumnGeneration.h"
#include "cutting/InstanceFile.h"
#include "cutting/Model.h"

#include <algorithm>

namespace kvt::cutting {

namespace {

// Beyond these a problem is not a workshop's: lengths over 1 km, more than 100,000 pieces at once.
constexpr Length maxLength = 10'000'000;
constexpr long long maxPieces = 100'000;

std::string mm(Length length) {
    return millimetres(length) + " mm";
}

Plan finish(const Problem& problem, const Model& model, const Solution& solution, int lowerBound,
            const Deadline& deadline) {
    Plan plan = model.toPlan(solution);
    plan.lowerBound = lowerBound;
    plan.optimal = plan.unplaced.empty() && plan.newBars <= lowerBound;
    plan.seconds = deadline.elapsedSeconds();
    return plan;
}

} // namespace

std::string problemError(const Problem& problem) {
    if (problem.stockLength <= 0)
        return "原料长度必须大于零。";
    if (problem.kerf < 0)
        return "锯缝不能是负数。";
    if (problem.trim < 0)
        return "修边不能是负数。";
    if (problem.stockLength > maxLength || problem.kerf > maxLength || problem.trim > maxLength)
        return "原料长度、锯缝和修边不能超过 " + mm(maxLength) + "。";
    const Length usable = problem.stockLength - 2 * problem.trim;
    if (usable <= 0)
        return "两端修边 " + mm(problem.trim) + " 后，原料 " + mm(problem.stockLength) + " 没有可用长度。";
    long long pieces = 0;
    for (std::size_t i = 0; i < problem.pieces.size(); ++i) {
        const Demand& d = problem.pieces[i];
        const std::string which = "第 " + std::to_string(i + 1) + " 种料";
        if (d.length <= 0)
            return which + "的长度必须大于零。";
        if (d.length > maxLength)
            return which + "的长度 " + mm(d.length) + " 超过 " + mm(maxLength) + "。";
        if (d.count <= 0)
            return which + "的数量必须大于零。";
        pieces += d.count;
        const bool onOffcut = std::any_of(problem.offcuts.begin(), problem.offcuts.end(),
                                          [&d](const Offcut& o) { return o.length >= d.length; });
        if (d.length > usable && !onOffcut)
            return which + "长 " + mm(d.length) + "，比原料修边后的可用长度 " + mm(usable) +
                   " 还长，也没有放得下的余料。";
    }
    if (pieces > maxPieces)
        return "一次下料不能超过 " + std::to_string(maxPieces) + " 件。";
    for (std::size_t i = 0; i < problem.offcuts.size(); ++i) {
        const Offcut& o = problem.offcuts[i];
        const std::string which = "第 " + std::to_string(i + 1) + " 种余料";
        if (o.length <= 0 || o.length > maxLength)
            return which + "的长度必须大于零且不超过 " + mm(maxLength) + "。";
        if (o.count <= 0 || o.count > maxPieces)
            return which + "的数量必须大于零且不超过 " + std::to_string(maxPieces) + "。";
    }
    return {};
}

Plan firstFitDecreasing(const Problem& problem) {
    const Deadline clock(problem.timeLimitSeconds);
    const Model model(problem);
    const Solution solution = firstFitDecreasing(model, model.demand, model.limits());
    return finish(problem, model, solution, 0, clock);
}

Plan solve(const Problem& problem) {
    const Deadline deadline(problem.timeLimitSeconds);
    // The search stops a little early: what follows it, and the solver's own checks of the clock,
    // must fit in the time too.
    const Deadline search(problem.timeLimitSeconds * 0.95 - 0.02);
    const Model model(problem);
    const Solution start = firstFitDecreasing(model, model.demand, model.limits());
    Outcome outcome = optimise(model, start, search);
    // Of plans with as few new bars, the one that leaves the rack fuller.
    if (model.bins.size() > 1)
        model.releaseOffcuts(outcome.best);
    return finish(problem, model, outcome.best, outcome.lowerBound, deadline);
}

Length leftover(const Problem& problem, const Pattern& pattern) {
    const bool newBar = pattern.offcut < 0 || pattern.offcut >= static_cast<int>(problem.offcuts.size());
    Length left = newBar ? problem.stockLength - 2 * problem.trim : problem.offcuts[pattern.offcut].length;
    for (Length piece : pattern.pieces)
        left -= piece;
    if (pattern.pieces.size() > 1)
        left -= problem.kerf * static_cast<Length>(pattern.pieces.size() - 1);
    return left;
}

} // namespace kvt::cutting
