#include "bill/BillFormula.h"

#include "expcalc/LineFormula.h"

#include <string>
#include <vector>

namespace kvt {
namespace {

std::vector<std::string> utf8(const QStringList& texts) {
    std::vector<std::string> out;
    out.reserve(std::size_t(texts.size()));
    for (const QString& t : texts)
        out.push_back(t.toStdString());
    return out;
}

} // namespace

int findTitle(const QStringList& titles, const QString& name) {
    for (int c = 1; c < titles.size(); ++c)
        if (titles[c] == name)
            return c;
    return -1;
}

std::optional<QString> substituteFields(const QString& formula, const QStringList& titles,
                                        const QStringList& rowCells) {
    const std::optional<std::string> out =
        expcalc::SubstituteTitles(formula.toStdString(), utf8(titles), utf8(rowCells));
    if (!out)
        return std::nullopt;
    return QString::fromStdString(*out);
}

std::optional<qint64> roundHalfEven(double value) {
    const std::optional<long long> n = expcalc::RoundHalfEven(value);
    if (!n)
        return std::nullopt;
    return qint64(*n);
}

QString evaluateSize(const QString& formula, const QStringList& titles, const QStringList& rowCells) {
    return QString::fromStdString(expcalc::EvaluateSize(formula.toStdString(), utf8(titles), utf8(rowCells)).cell);
}

} // namespace kvt
