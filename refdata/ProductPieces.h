#pragma once
// A product's pieces (商品部件) as the product editor checks them before a save, without any
// window: each row's name, material and count, and its length formula tried on the same sample
// line as the product's own formulas.

#include "refdata/FormulaCheck.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace kvt {

/// Titles a piece's length formula may name: values of the line, frame and door leaf alike.
QStringList PieceFormulaTitles();

/// One row of the pieces grid as typed.
struct PieceValues {
    QString name;     ///< 部件名称
    QString material; ///< 材料名称
    QString count;    ///< 件数
    QString formula;  ///< 长度公式
};

/// What the editor has to say about one piece row before a save.
struct PieceFinding {
    enum Kind { Refused, UnknownTitle };
    Kind kind;
    QString field; ///< column of 商品部件 the finding is about
    QString text;  ///< the refusal, or the question for an unknown title
};

/// The piece's length formula on the product's default sample line, after the product's own
/// formulas have filled its sizes; the value rounded as the bill rounds a size. Sets *length when
/// the formula evaluates.
SampleResult TryPieceFormula(const ProductSample& product, const QString& formula, qint64* length = nullptr);

/// Every finding about a piece row of product: first the refusals (an empty name, a material
/// not among materials, a count that is no whole number of at least 1, an empty formula or one
/// that cannot be evaluated), then one question per title no line has.
QList<PieceFinding> CheckPiece(const ProductSample& product, const PieceValues& piece, const QStringList& materials);

} // namespace kvt
