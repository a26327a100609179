#include "bill/DoorLeafSizes.h"

#include "bill/BillFormula.h"
#include "expcalc/LineFormula.h"
#include "store/DataQuery.h"

namespace kvt {

DoorLeafFormulas doorLeafFormulas(DataQuery& product) {
    return {product.Field(QStringLiteral("门扇宽公式")).asString(),
            product.Field(QStringLiteral("门扇高公式")).asString(),
            product.Field(QStringLiteral("门扇玻璃宽公式")).asString(),
            product.Field(QStringLiteral("门扇玻璃高公式")).asString()};
}

QStringList doorLeafTitles() {
    QStringList titles;
    for (const char* t : expcalc::DoorLeafTitles)
        titles << QString::fromUtf8(t);
    return titles;
}

const QStringList& doorLeafLineFields() {
    static const QStringList fields = {
        QStringLiteral("数量"),     QStringLiteral("玻璃款式"), QStringLiteral("见光宽"),   QStringLiteral("见光高"),
        QStringLiteral("现量宽"),   QStringLiteral("现量高"),   QStringLiteral("门扇宽"),   QStringLiteral("门扇高"),
        QStringLiteral("玻璃宽"),   QStringLiteral("玻璃高"),   QStringLiteral("门框附加"), QStringLiteral("门框备注"),
        QStringLiteral("门框总宽"), QStringLiteral("门框总高"), QStringLiteral("门框ID"),   QStringLiteral("商品ID")};
    return fields;
}

QStringList doorLeafRow(DataQuery& lines, const QString& productNumber, const QString& productName) {
    QStringList row{QString(), productNumber, productName};
    for (const QString& f : doorLeafLineFields())
        row << lines.Field(f).asString();
    return row;
}

void fillDoorLeafSizes(QStringList& row, const DoorLeafFormulas& formulas, bool widths) {
    if (row.value(widths ? 7 : 8) == QLatin1String("0"))
        return;
    static const QStringList titles = doorLeafTitles();
    const QString& leaf = widths ? formulas.leafWidth : formulas.leafHeight;
    const QString& glass = widths ? formulas.glassWidth : formulas.glassHeight;
    if (!leaf.isEmpty())
        row[widths ? 9 : 10] = evaluateSize(leaf, titles, row);
    if (!glass.isEmpty())
        row[widths ? 11 : 12] = evaluateSize(glass, titles, row);
}

} // namespace kvt
