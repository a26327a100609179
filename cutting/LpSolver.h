// The linear and integer programmes of the optimiser, solved by COIN-OR Clp and Cbc. The only file that
// knows the solver; internal to cutting/.
#pragma once

#include <memory>
#include <utility>
#include <vector>

class ClpSimplex;

namespace kvt::cutting {

/// A minimisation over columns added one by one, each row bounded below and above; re-solved from the
/// last basis after columns are added or a column's lower bound changes.
class LpMaster {
public:
    LpMaster(const std::vector<double>& rowLower, const std::vector<double>& rowUpper);
    ~LpMaster();
    LpMaster(const LpMaster&) = delete;
    LpMaster& operator=(const LpMaster&) = delete;

    /// Adds a column of `cost` with the (row, coefficient) entries, at least 0; returns its index.
    int addColumn(double cost, const std::vector<std::pair<int, double>>& entries);
    void setColumnLower(int column, double lower);
    double columnLower(int column) const;
    /// Caps a column (a huge value for none).
    void setColumnUpper(int column, double upper);
    double columnUpper(int column) const;
    int columns() const;

    /// Solves within `seconds`; true when proved optimal (false also when infeasible or stopped).
    bool solve(double seconds);
    double objective() const;
    std::vector<double> duals() const;
    std::vector<double> values() const;

    /// The integer programme over the columns as they are (their lower bounds kept), within `seconds`,
    /// looking only for solutions costing less than `cutoff`: the values per column, or empty when none
    /// was found.
    std::vector<double> solveInteger(double seconds, double cutoff) const;

private:
    void flush() const;

    std::unique_ptr<ClpSimplex> m_lp;
    // Columns added since the last solve, in Clp's column-ordered form.
    mutable std::vector<int> m_pendingStarts;
    mutable std::vector<int> m_pendingRows;
    mutable std::vector<double> m_pendingElements;
    mutable std::vector<double> m_pendingCosts;
    bool m_boundsChanged = false;
};

} // namespace kvt::cutting
