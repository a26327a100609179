#pragma once
// The cutting list as the clerk reads it, without any window: the rows of the 下料单 tab and the
// rows of its export.

#include "query/CuttingList.h"

#include <QStringList>

#include <vector>

namespace kvt {

class SpreadsheetSink;

/// One row of the plan on screen; materials hold their bars, the heading of the lines not cut
/// holds those lines.
struct PlanRow {
    enum class Kind { Material, Bar, NotCutHeading, NotCut };
    Kind kind = Kind::Material;
    QStringList cells; ///< by PlanColumns()
    std::vector<PlanRow> children;
};

/// Titles of the plan's columns.
QStringList PlanColumns();

/// Per material a row (pieces, new bars, offcuts used, lower bound, use %, leftover kept) with its
/// bars under it in cutting order, identical neighbours as one row "×n"; then, when there are
/// any, a heading row with the lines that cannot be cut yet and why.
std::vector<PlanRow> CuttingPlanRows(const CuttingPlan& plan);

/// How a bar's source is written: "新料" or "余料12" (its 余料ID).
QString BarSource(const CutBar& bar);

/// Titles of the export's columns: 材料, 原料, 来源, 部件, 长度, 单据, 明细, 说明.
QStringList CuttingExportColumns();

/// The plan as rows of a sheet: titles in row 1, then one row per piece of every physical bar
/// (bars counted from 1 per material; lengths in mm, bar, bill and line numbers as numbers),
/// then the lines that cannot be cut yet with their reason under 说明.
void ExportCuttingPlan(SpreadsheetSink& sink, const CuttingPlan& plan);

} // namespace kvt
