#pragma once
// The workshop's cutting list (下料单): every piece that the lines of the chosen bills still need,
// worked out from the products' piece formulas, laid per material onto the offcuts in stock and onto
// new bars by the cutting optimiser; and the confirmation that records a plan as cut. No widgets:
// the query window's tab and kvtcut both call this.

#include "cutting/Cutting.h"
#include "query/GlassList.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace kvt {

/// Which bills the list covers: the date range and client filter of the query window's other tabs.
using CuttingListFilter = GlassListFilter;

/// One piece to cut: which line of which bill, which of its product's pieces, how long.
struct CutPiece {
    qint64 billId = 0;
    qint64 lineId = 0;  ///< 门框ID of the line
    qint64 pieceId = 0; ///< 部件ID
    QString name;       ///< 部件名称, e.g. "立框"
    cutting::Length length = 0;
    int ordinal = 0; ///< which of the line's pieces of this 部件 it is, 1 to 件数 × 数量 (下料记录.序号)
};

/// One physical bar in cutting order: a new bar of the stock length, or an offcut from 余料.
struct CutBar {
    qint64 offcutId = 0; ///< 余料ID, or 0 for a new bar
    cutting::Length length = 0;
    std::vector<CutPiece> pieces; ///< in the order they are cut, longest first
    cutting::Length leftover = 0; ///< what is left after the pieces, the kerfs and (new bar) both trims
    bool kept = false;            ///< leftover >= 最短余料: goes back into 余料 when the plan is confirmed
};

/// The plan of one material.
struct MaterialPlan {
    QString material; ///< 材料名称
    cutting::Length stockLength = 0, kerf = 0, trim = 0, minOffcut = 0;
    int lowerBound = 0; ///< no plan of these pieces needs fewer new bars
    int newBars = 0;
    int offcutsUsed = 0;
    bool optimal = false;
    std::vector<CutBar> bars; ///< new bars and offcuts, in cutting order; identical bars next to each other

    int pieceCount() const;
    /// Length of the pieces over the length of the bars used, in percent.
    double usePercent() const;
    /// Length of the leftovers that are kept.
    cutting::Length leftoverKept() const;
};

/// A line, or one piece of it, that cannot be cut yet, and why (in Chinese, for the clerk).
struct NotCut {
    qint64 billId = 0;
    qint64 lineId = 0;
    qint64 pieceId = 0; ///< 0 when the reason concerns the whole line (e.g. a product without pieces)
    QString piece;      ///< 部件名称, empty when the reason concerns the whole line
    QString reason;
};

struct CuttingPlan {
    std::vector<MaterialPlan> materials; ///< ordered by material name
    std::vector<NotCut> notCut;          ///< ordered by bill, line, piece
};

/// The titles a piece's length formula may name between double quotes, as the bill's two layouts
/// call the line's values, in the order PieceLength takes the line's cells ("见光宽", …, "玻璃高").
const QStringList& PieceFormulaTitles();

/// A piece's length worked out from its formula, or why it cannot be.
struct PieceLengthResult {
    bool ok = false;
    cutting::Length length = 0; ///< whole millimetres, as the bill rounds a size (halves to even)
    QString reason;             ///< when not ok, for the clerk
};

/// The length of a piece whose formula is formula on a line whose values are cells (texts as a
/// bill shows them, by PieceFormulaTitles): refused when a title it names is empty or 0, is no
/// title of the line, the formula cannot be evaluated, or the length is not above 0.
PieceLengthResult PieceLength(const QString& formula, const QStringList& cells);

/// Plans every piece of the chosen bills' lines that is not cut yet (no row in 下料记录), on the
/// open database; a piece that cannot be cut yet is listed in notCut instead, the line's other
/// pieces are planned. The optimiser gets timeLimitPerMaterial seconds of processor time a material,
/// shared: time a material does not need goes to the materials after it. The materials are planned
/// side by side, one to a core, so the whole takes about that time divided by the cores. Changes
/// nothing. Throws StoreError when the database fails.
CuttingPlan PlanCuttingList(const CuttingListFilter& filter, double timeLimitPerMaterial = 2.0);

/// PlanCuttingList in its two steps, for a window that plans off its own thread: what is to be cut,
/// read from the open database (throws StoreError when the database fails), and its plan, which
/// reads nothing and may run on any thread.
struct CuttingOrder {
    struct Data;
    std::shared_ptr<const Data> data;
};
CuttingOrder ReadCuttingOrder(const CuttingListFilter& filter);
CuttingPlan PlanCuttingOrder(const CuttingOrder& order, double timeLimitPerMaterial = 2.0);

/// Records plan as cut in one transaction: its pieces in 下料记录 under a new plan number, the
/// offcuts it uses removed from 余料, its kept leftovers added to 余料 (来源 naming the plan).
/// Refused with StoreError of kind Conflict, writing nothing, when another workstation confirmed
/// any of the same pieces meanwhile or an offcut it uses is gone or changed; a plan without bars is
/// refused (StoreError of kind Other). Returns the plan number.
qint64 ConfirmCuttingPlan(const CuttingPlan& plan);

/// Runs of identical neighbouring bars (same source kind, length and pieces) in bars: the first
/// bar's index and how many, for showing them as one bar "×3".
struct BarRun {
    int first = 0;
    int count = 0;
};
std::vector<BarRun> IdenticalBarRuns(const std::vector<CutBar>& bars);

/// A length for the clerk and the saw: whole millimetres without decimals, else one decimal
/// ("2140", "2140.5").
QString LengthText(cutting::Length length);

/// How a piece is written on the list and the printed plan: "立框 2140 (单据12)".
QString PieceLabel(const CutPiece& piece);

/// The plan as kvtcut --from prints it: one JSON object, lengths in mm as numbers.
QByteArray CuttingPlanJson(const CuttingPlan& plan);

} // namespace kvt
