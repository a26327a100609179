#pragma once
// The glass order list: one row per glass style and size over the lines of the chosen bills,
// with the pieces, the area and the number of bills, and a last row 合计. Lines whose glass size
// is not worked out yet stay out of the list; those that will get one are counted instead.

#include <QDate>
#include <QString>

namespace kvt {

/// Which bills the list covers: every bill, or those of one client and/or a date range.
struct GlassListFilter {
    bool byClient = false;
    qint64 clientId = 0;
    bool byDate = false;
    QDate from; ///< first day, included
    QDate to;   ///< last day, included
};

/// The list's statement: columns 玻璃款式, 玻璃宽, 玻璃高, 块数, 面积(㎡), 单据数, ordered by style,
/// width descending, height descending, then the row 合计 (sums of 块数 and 面积(㎡), no sizes).
QString GlassListSql(const GlassListFilter& filter);

/// Counts the lines of the chosen bills that the list leaves out (a glass width or height that is
/// 0, negative or empty) and whose product has both glass formulas; one row, one column.
QString UnfinishedGlassLinesSql(const GlassListFilter& filter);

/// Runs UnfinishedGlassLinesSql; throws StoreError when the statement fails.
int CountUnfinishedGlassLines(const GlassListFilter& filter);

/// The printout's title: "玻璃清单 <from>至<to>" or "玻璃清单 全部", and the client's name after it
/// when the list is one client's.
QString GlassListTitle(const GlassListFilter& filter, const QString& clientName);

/// The warning shown under the list and printed at the foot of its pages; empty when count is 0.
QString UnfinishedGlassNote(int count);

} // namespace kvt
