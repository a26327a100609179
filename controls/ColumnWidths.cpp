#include "controls/ColumnWidths.h"

#include "controls/QorControlUnit.h"

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

void SetColumnWidthsByTitle(TQorDBGrid* grid) {
    if (!grid)
        return;
    for (int c = 0; c < grid->ColumnCount(); ++c)
        if (const int width = ColumnWidthForTitle(grid->ColumnTitle(c)); width > 0)
            grid->SetColumnWidth(c, width);
}

} // namespace kvt
