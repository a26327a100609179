#pragma once
// A product's pieces (商品部件) as the product editor checks them before a save, without any
// window: each row's name, material and count, and its length formula tried on the same sample
// line as the product's own formulas.

#include "refdata/FormulaCheck.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace kvt {

/// One row of the pieces grid as typed.
struct PieceValues {
    QString name;     ///< 部件名称
    QString material; ///< 材料名称
    QString count;    ///< 件数
    QString formula;  ///< 长度公式
};

/// Why the editor refuses one piece row before a save.
struct PieceFinding {
    QString field; ///< column of 商品部件 the refusal is about
    QString text;
};

/// The piece's length formula on the product's default sample line, after the product's own
/// formulas have filled its sizes; the value rounded as the bill rounds a size. The titles are
/// those of PieceFormulaTitles (query/CuttingList.h), as the cutting list reads them from a line.
/// Sets *length when the formula evaluates.
SampleResult TryPieceFormula(const ProductSample& product, const QString& formula, qint64* length = nullptr);

/// Every refusal of a piece row of product, in the order of the grid's columns: an empty name, a
/// material not among materials, a count that is no whole number of at least 1, an empty formula,
/// one naming a title that is no value of a line (the cutting list could never cut that piece)
/// or one that cannot be evaluated.
QList<PieceFinding> CheckPiece(const ProductSample& product, const PieceValues& piece, const QStringList& materials);

} // namespace kvt
