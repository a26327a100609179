#include "query/GlassList.h"

#include "store/DataQuery.h"

namespace kvt {
namespace {

QString dateLiteral(const QDate& date) {
    return QLatin1Char('#') + date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('#');
}

/// The lines of the chosen bills. With no filter every line counts, as in the other lists over
/// lines; only a filter needs the bills themselves.
QString linesOf(const GlassListFilter& filter) {
    if (!filter.byClient && !filter.byDate)
        return QStringLiteral(" from 单据明细");
    return QStringLiteral(" from 单据明细 inner join 历史单据 on 单据明细.单据ID=历史单据.单据ID");
}

QString billConditions(const GlassListFilter& filter) {
    QString conditions;
    if (filter.byDate)
        conditions += QStringLiteral(" and (单据日期 BETWEEN ") + dateLiteral(filter.from) + QStringLiteral(" and ") +
                      dateLiteral(filter.to) + QLatin1Char(')');
    if (filter.byClient)
        conditions += QStringLiteral(" and (历史单据.客户ID=") + QString::number(filter.clientId) + QLatin1Char(')');
    return conditions;
}

} // namespace

QString GlassListSql(const GlassListFilter& filter) {
    // 面积分 is the area in hundredths of a square metre: the sum of 宽 × 高 × 数量 over the
    // group's lines in square millimetres, divided by 10,000 and rounded once, half away from zero
    // (round() without places). Whole-number sizes give exact products and sums, so the rounding
    // is exact; with fractions the sum is first held to four places, so that a product such as
    // 1225.6 × 1562.5 (1914999.9999999998 in binary) does not miss its half. The 合计 row adds the
    // rounded areas, so it agrees with the column above it.
    return QStringLiteral("with 玻璃分组 as (select 玻璃款式,玻璃宽,玻璃高,sum(数量) as 块数,"
                          "round(round(sum(玻璃宽*玻璃高*数量),4)/10000) as 面积分,"
                          "count(distinct 单据明细.单据ID) as 单据数") +
           linesOf(filter) + QStringLiteral(" where (玻璃宽>0) and (玻璃高>0)") + billConditions(filter) +
           QStringLiteral(" group by 玻璃款式,玻璃宽,玻璃高)"
                          " select 玻璃款式,玻璃宽,玻璃高,块数,[面积(㎡)],单据数 from ("
                          "select 0 as 行类,玻璃款式,玻璃宽,玻璃高,块数,面积分/100.0 as [面积(㎡)],单据数 from 玻璃分组"
                          " union all select 1,\"合计\",null,null,coalesce(sum(块数),0),"
                          "coalesce(sum(面积分),0)/100.0,null from 玻璃分组)"
                          " order by 行类,玻璃款式,玻璃宽 desc,玻璃高 desc");
}

QString UnfinishedGlassLinesSql(const GlassListFilter& filter) {
    // The lines the list's condition leaves out, an empty size among them, that will get glass
    // sizes once computed: their product has both glass formulas. A casing-only product, a line
    // without a product or of one deleted since never gets any, and is no reminder.
    const QString unfinished =
        QStringLiteral(" where (not ((玻璃宽>0) and (玻璃高>0)) or 玻璃宽 is null or 玻璃高 is null)");
    const QString withGlass =
        QStringLiteral("(select 商品ID from 商品信息 where trim(门扇玻璃宽公式)<>\"\" and trim(门扇玻璃高公式)<>\"\")");
    if (!filter.byClient && !filter.byDate) {
        // Every line: read from the index of the glass sizes, as the list's groups are, leaving out
        // the lines without such a product (found once in the index of the products); a test of the
        // product line by line would read the whole table of lines.
        return QStringLiteral("select count(*) as 行数 from 单据明细") + unfinished +
               QStringLiteral(
                   " and 门框ID not in (select 门框ID from 单据明细 where 商品ID is null or 商品ID not in ") +
               withGlass + QStringLiteral(")");
    }
    // The chosen bills' lines are read row by row anyway: their product is tested there (the plus
    // keeps the engine from reading every line of those products instead).
    return QStringLiteral("select count(*) as 行数") + linesOf(filter) + unfinished +
           QStringLiteral(" and +单据明细.商品ID in ") + withGlass + billConditions(filter);
}

int CountUnfinishedGlassLines(const GlassListFilter& filter) {
    DataQuery query;
    query.SetSql(UnfinishedGlassLinesSql(filter));
    query.Open();
    return int(query.FieldAt(0).asInteger());
}

QString GlassListTitle(const GlassListFilter& filter, const QString& clientName) {
    QString title = QStringLiteral("玻璃清单 ");
    if (filter.byDate)
        title += filter.from.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("至") +
                 filter.to.toString(QStringLiteral("yyyy-MM-dd"));
    else
        title += QStringLiteral("全部");
    // A list of one client's bills says whose they are.
    if (filter.byClient)
        title += QStringLiteral(" 客户：") + clientName;
    return title;
}

QString UnfinishedGlassNote(int count) {
    return count > 0 ? QStringLiteral("另有%1条门扇尚未计算玻璃尺寸").arg(count) : QString();
}

} // namespace kvt
