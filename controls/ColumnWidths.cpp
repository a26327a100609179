#include "controls/ColumnWidths.h"

#include "controls/QorDBGrid.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace kvt {

namespace {
struct KeywordWidth {
    const char* keyword; // UTF-8
    int width;
};

// In the order of testing; a later keyword wins over an earlier one.
constexpr KeywordWidth kKeywordWidths[] = {
    {"ID", 40},    {"日期", 80}, {"名", 200},   {"备注", 200}, {"附加", 200}, {"宽", 50},
    {"高", 50},    {"埋地", 40}, {"款式", 100}, {"数量", 40},  {"地址", 200}, {"人员", 80},
    {"公式", 200}, {"编号", 60}, {"说明", 100}, {"电话", 100}, {"颜色", 50},
};
} // namespace

int ColumnWidthForTitle(const QString& title) {
    int width = 0;
    for (const KeywordWidth& k : kKeywordWidths)
        if (title.contains(QString::fromUtf8(k.keyword), Qt::CaseSensitive))
            width = k.width;
    return width;
}

double ColumnWidthScale(const QFont& font) {
    const int pixels = QFontInfo(font).pixelSize();
    if (pixels <= 0)
        return 1;
    // The widest digit: dates and numbers are what the narrow columns hold.
    const QFontMetricsF metrics(font);
    qreal digit = 0;
    for (char d = '0'; d <= '9'; ++d)
        digit = std::max(digit, metrics.horizontalAdvance(QLatin1Char(d)));
    return std::max(1.0, double(digit) / (pixels / 2.0));
}

int GridColumnWidth(const TQorDBGrid& grid, int width) {
    // An item view keeps the focus frame's margin and one pixel on either side of the text, and
    // the grid line takes one more.
    const int margin = 2 * (grid.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &grid) + 1) + 1;
    return int(std::ceil(width * ColumnWidthScale(grid.font()))) + margin;
}

void SetColumnWidthsByTitle(TQorDBGrid* grid) {
    if (!grid)
        return;
    for (int c = 0; c < grid->ColumnCount(); ++c)
        if (const int width = ColumnWidthForTitle(grid->ColumnTitle(c)); width > 0)
            grid->SetColumnWidth(c, GridColumnWidth(*grid, width));
}

} // namespace kvt
