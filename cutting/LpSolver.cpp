#include "cutting/LpSolver.h"

#include <CbcModel.hpp>
#include <ClpSimplex.hpp>
#include <CoinTime.hpp>
#include <OsiClpSolverInterface.hpp>

#include <algorithm>
#include <mutex>

namespace kvt::cutting {

namespace {

// The solvers' wall clock counts from its first reading, which it takes unguarded: taken here, at
// start-up, before any thread solves.
const double solverClockStart = CoinWallclockTime();

} // namespace

LpMaster::LpMaster(const std::vector<double>& rowLower, const std::vector<double>& rowUpper)
    : m_lp(std::make_unique<ClpSimplex>()) {
    m_lp->setLogLevel(0);
    m_lp->resize(static_cast<int>(rowLower.size()), 0);
    for (int r = 0; r < static_cast<int>(rowLower.size()); ++r) {
        m_lp->setRowLower(r, rowLower[r]);
        m_lp->setRowUpper(r, rowUpper[r]);
    }
    m_lp->setOptimizationDirection(1);
}

LpMaster::~LpMaster() = default;

int LpMaster::addColumn(double cost, const std::vector<std::pair<int, double>>& entries) {
    // Columns wait here and enter together before the next solve: Clp copies its arrays on every add.
    if (m_pendingStarts.empty())
        m_pendingStarts.push_back(0);
    for (const auto& [row, value] : entries) {
        m_pendingRows.push_back(row);
        m_pendingElements.push_back(value);
    }
    m_pendingStarts.push_back(static_cast<int>(m_pendingRows.size()));
    m_pendingCosts.push_back(cost);
    return columns() - 1;
}

void LpMaster::flush() const {
    if (m_pendingCosts.empty())
        return;
    const int n = static_cast<int>(m_pendingCosts.size());
    const std::vector<double> lower(n, 0.0);
    const std::vector<double> upper(n, COIN_DBL_MAX);
    m_lp->addColumns(n, lower.data(), upper.data(), m_pendingCosts.data(), m_pendingStarts.data(), m_pendingRows.data(),
                     m_pendingElements.data());
    m_pendingStarts.clear();
    m_pendingRows.clear();
    m_pendingElements.clear();
    m_pendingCosts.clear();
}

void LpMaster::setColumnLower(int column, double lower) {
    flush();
    m_lp->setColumnLower(column, lower);
    m_boundsChanged = true;
}

void LpMaster::setColumnUpper(int column, double upper) {
    flush();
    m_lp->setColumnUpper(column, upper);
    m_boundsChanged = true;
}

double LpMaster::columnUpper(int column) const {
    flush();
    return m_lp->columnUpper()[column];
}

double LpMaster::columnLower(int column) const {
    flush();
    return m_lp->columnLower()[column];
}

int LpMaster::columns() const {
    return m_lp->numberColumns() + static_cast<int>(m_pendingCosts.size());
}

bool LpMaster::solve(double seconds) {
    flush();
    m_lp->setMaximumWallSeconds(std::max(seconds, 0.001));
    if (m_boundsChanged)
        m_lp->dual();
    else
        m_lp->primal();
    m_boundsChanged = false;
    return m_lp->isProvenOptimal();
}

double LpMaster::objective() const {
    return m_lp->objectiveValue();
}

std::vector<double> LpMaster::duals() const {
    const double* d = m_lp->dualRowSolution();
    return {d, d + m_lp->numberRows()};
}

std::vector<double> LpMaster::values() const {
    flush();
    const double* x = m_lp->primalColumnSolution();
    return {x, x + m_lp->numberColumns()};
}

std::vector<double> LpMaster::solveInteger(double seconds, double cutoff) const {
    // Clp keeps to the object it is given, so problems are solved on several threads at once; Cbc is
    // not sure to, and runs on one thread at a time. A thread that finds it busy goes without: its
    // time is short, and the integer programme is only one more try at a plan.
    static std::mutex integerSolver;
    const std::unique_lock lock(integerSolver, std::try_to_lock);
    if (!lock.owns_lock())
        return {};
    flush();
    ClpSimplex copy(*m_lp);
    OsiClpSolverInterface solver(&copy, false);
    for (int c = 0; c < copy.numberColumns(); ++c)
        solver.setInteger(c);
    solver.messageHandler()->setLogLevel(0);
    CbcModel model(solver);
    model.setLogLevel(0);
    model.messageHandler()->setLogLevel(0);
    model.setUseElapsedTime(true);
    model.setMaximumSeconds(std::max(seconds, 0.01));
    model.setCutoff(cutoff);
    model.setNumberThreads(0);
    model.branchAndBound();
    if (!model.bestSolution())
        return {};
    const double* x = model.bestSolution();
    return {x, x + copy.numberColumns()};
}

} // namespace kvt::cutting
