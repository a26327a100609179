#include "cutting/LpSolver.h"

#include <CbcModel.hpp>
#include <ClpSimplex.hpp>
#include <OsiClpSolverInterface.hpp>

#include <algorithm>

namespace kvt::cutting {

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
    std::vector<int> rows;
    std::vector<double> elements;
    for (const auto& [row, value] : entries) {
        rows.push_back(row);
        elements.push_back(value);
    }
    m_lp->addColumn(static_cast<int>(rows.size()), rows.data(), elements.data(), 0.0, COIN_DBL_MAX, cost);
    return m_lp->numberColumns() - 1;
}

void LpMaster::setColumnLower(int column, double lower) {
    m_lp->setColumnLower(column, lower);
    m_boundsChanged = true;
}

double LpMaster::columnLower(int column) const {
    return m_lp->columnLower()[column];
}

int LpMaster::columns() const {
    return m_lp->numberColumns();
}

bool LpMaster::solve(double seconds) {
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
    const double* x = m_lp->primalColumnSolution();
    return {x, x + m_lp->numberColumns()};
}

std::vector<double> LpMaster::solveInteger(double seconds, double cutoff) const {
    ClpSimplex copy(*m_lp);
    OsiClpSolverInterface solver(&copy, false);
    for (int c = 0; c < copy.numberColumns(); ++c)
        solver.setInteger(c);
    solver.messageHandler()->setLogLevel(0);
    CbcModel model(solver);
    model.setLogLevel(0);
    model.messageHandler()->setLogLevel(0);
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
