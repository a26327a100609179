#pragma once
// The cutting list printed for the saw: one material after another, each starting a page with a
// header (material, stock length, kerf, trim, number of bars, date); every bar, identical ones
// once with "×n", drawn to scale as a strip: its pieces as labelled boxes, the kerfs between them,
// the trim at both ends of a new bar, the leftover hatched; the pieces' labels written under it.

#include "controls/PrintSurface.h"
#include "query/CuttingList.h"

#include <QDate>

#include <vector>

class QWidget;

namespace kvt {

/// One printed page: a part of one material's bar runs.
struct CutSheetPage {
    int material = 0; ///< index into CuttingPlan::materials
    int firstRun = 0; ///< index into that material's IdenticalBarRuns
    int runCount = 0;
    bool continued = false; ///< the material began on an earlier page
};

/// Lays each material's runs onto pages of pageHeight: every material starts a new page under a
/// header of headerHeight; runs follow in order while they fit above a footer of footerHeight;
/// a run higher than the room of an empty page stands alone on its page. A material without runs
/// gets one page with its header.
std::vector<CutSheetPage> CutSheetPages(const std::vector<std::vector<int>>& runHeights, int pageHeight,
                                        int headerHeight, int footerHeight);

/// The lines a piece list takes when its labels are set one after another, separated by two
/// spaces, within width; a label wider than width stands on a line of its own.
QStringList WrapLabels(const QStringList& labels, int width, const std::function<int(const QString&)>& textWidth);

/// Prints the plan as one job, its pages headed with date. Nothing is printed for a plan without
/// materials.
void PrintCuttingPlan(PrintSurface& surface, const CuttingPlan& plan, const QDate& date);

/// The print command: the job turned to landscape (it stays so), in a print preview on the
/// program's printer.
void PreviewCuttingPlan(QWidget* parent, const CuttingPlan& plan, const QDate& date);

} // namespace kvt
