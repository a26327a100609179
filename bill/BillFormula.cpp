#include "bill/BillFormula.h"

#include "expcalc/UnitExpCalc.h"

#include <cmath>
#include <string>

namespace kvt {

int findTitle(const QStringList& titles, const QString& name) {
    for (int c = 1; c < titles.size(); ++c)
        if (titles[c] == name)
            return c;
    return -1;
}

std::optional<QString> substituteFields(const QString& formula, const QStringList& titles,
                                        const QStringList& rowCells) {
    const QChar quote(u'"');
    QString rest = formula;
    QString out;
    while (true) {
        const qsizetype p = rest.indexOf(quote);
        if (p < 0)
            break;
        out += rest.left(p);
        rest = rest.mid(p + 1);
        const qsizetype q = rest.indexOf(quote);
        const QString name = q < 0 ? QString() : rest.left(q);
        const int column = findTitle(titles, name);
        if (column < 0)
            return std::nullopt;
        out += column < rowCells.size() ? rowCells[column] : QString();
        if (q < 0)
            break;
        rest = rest.mid(q + 1);
    }
    return out + rest;
}

std::optional<qint64> roundHalfEven(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    // nearbyint follows the default rounding mode, which rounds halves to even.
    const double n = std::nearbyint(value);
    if (n < -9223372036854775808.0 || n >= 9223372036854775808.0)
        return std::nullopt;
    return static_cast<qint64>(n);
}

QString evaluateSize(const QString& formula, const QStringList& titles, const QStringList& rowCells) {
    const std::optional<QString> prepared = substituteFields(formula, titles, rowCells);
    if (!prepared)
        return QStringLiteral("0");
    double value = 0;
    std::string error;
    if (!CalcExpression(prepared->toStdString(), value, error))
        return QStringLiteral("0");
    const std::optional<qint64> n = roundHalfEven(value);
    return n ? QString::number(*n) : QStringLiteral("0");
}

} // namespace kvt
