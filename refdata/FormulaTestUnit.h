#pragma once
// The product editor's formula tools: the test window that tries a product's formulas on a
// sample line, and the check of the changed products' formulas before a save.

#include "controls/Dialogs.h"
#include "refdata/FormulaCheck.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

namespace kvt {
class DataQuery;
class TQorDBGrid;

/// A small window for one product: the sample line's cells, the six formulas (editable), and for
/// each what the bill window would write or why it cannot. Results follow every edit. Enter moves
/// on, Escape and "关闭" close without a change, "应用" accepts the edited formulas.
class TFormulaTestForm : public QDialog {
    Q_OBJECT
public:
    explicit TFormulaTestForm(const ProductSample& product, QWidget* parent = nullptr);

    QLabel* Label_product;
    /// The sample line: title, value.
    QTableWidget* Grid_Sample;
    /// One row per formula in the table's column order: column, formula, result, remarks.
    QTableWidget* Grid_Formula;
    QPushButton* Button_apply;
    QPushButton* Button_close;

    /// The formulas as they stand in the window, by kSizeFormulas.
    std::array<QString, 6> formulas() const;
    /// The sample cells as they stand in the window, by title.
    SampleValues sampleValues() const;

    void Button_applyClick();
    void Button_closeClick();

private:
    /// Tries the formulas again and writes the results and the line's cells back.
    void refresh();
    /// Enter in a grid: the next editable cell, then the other grid, then "应用".
    void moveOn(QTableWidget* grid);
    bool eventFilter(QObject* watched, QEvent* event) override;

    ProductSample m_product;
    SampleValues m_values; ///< cells typed on the sample line
    bool m_refreshing = false;
};

/// What a check before a save found, told to the clerk: the first refusal is shown and the save
/// stops; otherwise each question is asked, and a No stops it. goTo puts the cursor on a finding
/// before it is told. Found has finding.text. False when the save must stop.
template <class Found, class GoTo>
bool TellFindings(QWidget* parent, const QList<Found>& refusals, const QList<Found>& questions, GoTo goTo) {
    if (!refusals.isEmpty()) {
        goTo(refusals.first());
        ShowMessage(parent, refusals.first().finding.text);
        return false;
    }
    for (const Found& f : questions) {
        if (!ConfirmYesNo(parent, f.finding.text)) {
            goTo(f);
            return false;
        }
    }
    return true;
}

/// The product of a row of the product list, as the sample line takes it.
ProductSample ProductOfRow(DataQuery* list, int row);

/// Opens the test window on the list's current product; "应用" writes the formulas that changed
/// into that row, pending until the list is saved.
void OpenFormulaTest(QWidget* parent, DataQuery* list);

/// Checks the formulas of every changed or new product in the grid's list before a save: a
/// formula that cannot be evaluated is refused with a message, a title its layout does not have
/// is asked about. False when the save must stop; the current cell then stands on that formula.
bool CheckFormulasBeforeSave(QWidget* parent, TQorDBGrid* grid);

} // namespace kvt
