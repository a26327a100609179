#pragma once
// A product's six size formulas tried on a sample line, without any window: the product
// editor's check before a save and the formula test window both use it. The line goes through
// the bill window's own substitution and calculator (expcalc/LineFormula.h) in the order in
// which the bill computes the sizes.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <array>

namespace kvt {

/// One of the six size formulas of a product.
struct SizeFormulaColumn {
    const char* field;   ///< column of 商品信息
    bool doorLeaf;       ///< names titles of the door-leaf layout (else of the frame layout)
    const char* target;  ///< title of the size cell it fills
    const char* trigger; ///< title of the cell whose Enter computes it; "0" there computes nothing
};

/// The six formulas in the order the bill computes them: frame width and height, then the
/// door-leaf width with its glass width, then the door-leaf height with its glass height.
extern const std::array<SizeFormulaColumn, 6> kSizeFormulas;
/// Indexes into kSizeFormulas in the order of the product table's columns.
inline constexpr std::array<int, 6> kFormulaTableOrder = {0, 1, 2, 4, 3, 5};

/// A product as the sample line sees it.
struct ProductSample {
    QString number;                  ///< 自定义编号
    QString name;                    ///< 商品名称
    QString id;                      ///< 商品ID
    std::array<QString, 6> formulas; ///< by kSizeFormulas
};

/// Cells a maintainer set on the sample line, by title; other titles take the line defaults.
using SampleValues = QMap<QString, QString>;

/// The typed sizes of the sample line and their starting values, in the order shown.
QList<QPair<QString, QString>> DefaultSampleValues();

/// One formula tried on the sample line.
struct SampleResult {
    /// The bill computes it: the formula is not empty and its trigger cell is not "0".
    bool computed = false;
    /// What the bill writes into the size cell when computed ("0" on any failure).
    QString cell;
    /// The formula evaluates, with titles its layout does not have counted as 0.
    bool evaluates = false;
    /// Why it does not evaluate: the calculator's messages, each followed by ";".
    QString messages;
    /// Quoted names that are no title of its layout, once each, in order.
    QStringList unknownTitles;
};

/// The sample line after the computations, and each formula's result (by kSizeFormulas).
struct SampleOutcome {
    std::array<SampleResult, 6> results;
    QStringList frameLine;    ///< cells of the frame layout, by column
    QStringList doorLeafLine; ///< cells of the door-leaf layout, by column
    /// The value a title holds on the line after the computations (frame layout first).
    QString valueOf(const QString& title) const;
};

/// Tries the product's formulas on the sample line. Empty formulas are skipped.
SampleOutcome TrySample(const ProductSample& product, const SampleValues& values = {});

/// Titles of their layouts that the formulas name, once each, in the order first named.
QStringList NamedTitles(const std::array<QString, 6>& formulas);

/// What the product editor has to say about one product's formulas before a save.
struct FormulaFinding {
    enum Kind { CannotEvaluate, UnknownTitle };
    Kind kind;
    int formula;  ///< index into kSizeFormulas
    QString text; ///< the refusal, or the question for an unknown title
};

/// Every finding about the product's non-empty formulas on the default sample line: first the
/// formulas that cannot be evaluated, then one question per unknown title, each group in the
/// order of the table's columns.
QList<FormulaFinding> CheckProductFormulas(const ProductSample& product);

} // namespace kvt
