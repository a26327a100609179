#include "refdata/ProductPieces.h"

#include "expcalc/LineFormula.h"
#include "query/CuttingList.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kvt {

SampleResult TryPieceFormula(const ProductSample& product, const QString& formula, qint64* length) {
    const SampleOutcome outcome = TrySample(product);
    // Column 0 of a line is the fixed empty one, as in the bill's layouts.
    std::vector<std::string> titles{std::string()};
    std::vector<std::string> cells{std::string()};
    for (const QString& title : PieceFormulaTitles()) {
        titles.push_back(title.toStdString());
        cells.push_back(outcome.valueOf(title).toStdString());
    }

    SampleResult r;
    r.computed = true;
    const std::string text = formula.toStdString();
    const expcalc::QuotedNames quoted = expcalc::FindQuotedNames(text);
    std::vector<std::string> known = titles;
    std::vector<std::string> withUnknown = cells;
    for (const std::string& name : quoted.names) {
        if (name.empty() || expcalc::FindTitle(known, name) >= 0)
            continue;
        // What the calculator says about the rest of the formula, with the unknown title as 0.
        r.unknownTitles << QString::fromStdString(name);
        known.push_back(name);
        withUnknown.push_back("0");
    }
    if (quoted.unclosed) {
        r.messages = QStringLiteral("双引号不成对;");
    } else if (std::find(quoted.names.begin(), quoted.names.end(), std::string()) != quoted.names.end()) {
        r.messages = QStringLiteral("双引号中没有列名;");
    } else {
        const expcalc::SizeResult size = expcalc::EvaluateSize(text, known, withUnknown);
        r.evaluates = size.ok;
        r.cell = QString::fromStdString(size.cell);
        if (size.notWhole)
            r.messages = QStringLiteral("结果超出整数范围;");
        else if (!size.ok)
            r.messages = size.messages.empty() ? QStringLiteral("运算出错;") : QString::fromStdString(size.messages);
        if (size.ok && length)
            *length = r.cell.toLongLong();
    }
    return r;
}

QList<PieceFinding> CheckPiece(const ProductSample& product, const PieceValues& piece, const QStringList& materials) {
    const QString who = QStringLiteral("商品“%1”的部件“%2”").arg(product.name, piece.name.trimmed());
    QList<PieceFinding> refusals;
    auto refuse = [&](const char* field, const QString& text) { refusals.push_back({QString::fromUtf8(field), text}); };
    if (piece.name.trimmed().isEmpty())
        refuse("部件名称", QStringLiteral("商品“%1”有一个部件没有部件名称。").arg(product.name));
    if (piece.material.trimmed().isEmpty())
        refuse("材料名称", QStringLiteral("%1没有材料名称。").arg(who));
    else if (!materials.contains(piece.material))
        refuse("材料名称", QStringLiteral("%1的材料“%2”不存在，请先在材料表中添加。").arg(who, piece.material));
    bool whole = false;
    const qint64 count = piece.count.trimmed().toLongLong(&whole);
    if (!whole || count < 1)
        refuse("件数", QStringLiteral("%1的件数必须是不小于1的整数（现在是“%2”）。").arg(who, piece.count));
    if (piece.formula.trimmed().isEmpty()) {
        refuse("长度公式", QStringLiteral("%1没有长度公式。").arg(who));
    } else {
        const SampleResult r = TryPieceFormula(product, piece.formula);
        if (!r.unknownTitles.isEmpty())
            refuse("长度公式", QStringLiteral("%1的长度公式用到了“%2”，单据中没有这个尺寸。")
                                   .arg(who, r.unknownTitles.join(QStringLiteral("”、“"))));
        else if (!r.evaluates)
            refuse("长度公式", QStringLiteral("%1的长度公式不能计算：%2").arg(who, r.messages));
    }
    return refusals;
}

} // namespace kvt
