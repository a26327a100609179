#include "query/CuttingSheet.h"

#include "query/CuttingRows.h"

#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace kvt {

std::vector<CutSheetPage> CutSheetPages(const std::vector<std::vector<int>>& runHeights, int pageHeight,
                                        int headerHeight, int footerHeight) {
    std::vector<CutSheetPage> pages;
    const int room = pageHeight - headerHeight - footerHeight;
    for (std::size_t m = 0; m < runHeights.size(); ++m) {
        const std::vector<int>& heights = runHeights[m];
        CutSheetPage page{int(m), 0, 0, false};
        int used = 0;
        for (std::size_t r = 0; r < heights.size(); ++r) {
            if (page.runCount > 0 && used + heights[r] > room) {
                pages.push_back(page);
                page = CutSheetPage{int(m), int(r), 0, true};
                used = 0;
            }
            ++page.runCount;
            used += heights[r];
        }
        pages.push_back(page);
    }
    return pages;
}

QStringList WrapLabels(const QStringList& labels, int width, const std::function<int(const QString&)>& textWidth) {
    const QString gap = QStringLiteral("  ");
    QStringList lines;
    QString line;
    for (const QString& label : labels) {
        const QString longer = line.isEmpty() ? label : line + gap + label;
        if (!line.isEmpty() && textWidth(longer) > width) {
            lines << line;
            line = label;
        } else {
            line = longer;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

namespace {

const QString kFont = QStringLiteral("宋体");

/// Sizes of the sheet in millimetres.
constexpr double kTitleMm = 6, kHeaderLineMm = 4, kHeaderGapMm = 4;
constexpr double kRunTitleMm = 3.5, kStripMm = 11, kLabelMm = 3, kBoxTextMm = 2.6, kRunGapMm = 4;
constexpr double kFooterMm = 7, kPageNumberMm = 3.5;
/// The narrowest a kerf or a trim is drawn, so that it shows however short it is.
constexpr double kMinMarkMm = 0.5;
constexpr double kHatchMm = 1.6;

class Sheet {
public:
    Sheet(PrintSurface& s, const CuttingPlan& plan, const QDate& date) : m_s(s), m_plan(plan), m_date(date) {
        m_dpm = s.resolutionX() / 25.4;
        m_width = s.pageWidth();
        m_height = s.pageHeight();
    }

    void print() {
        if (m_plan.materials.empty())
            return;
        std::vector<std::vector<BarRun>> runs;
        std::vector<std::vector<int>> heights;
        for (const MaterialPlan& material : m_plan.materials) {
            runs.push_back(IdenticalBarRuns(material.bars));
            std::vector<int> h;
            for (const BarRun& run : runs.back())
                h.push_back(runHeight(material.bars[std::size_t(run.first)]));
            heights.push_back(std::move(h));
        }
        const std::vector<CutSheetPage> pages = CutSheetPages(heights, m_height, headerHeight(), px(kFooterMm));
        m_s.beginJob();
        try {
            for (std::size_t p = 0; p < pages.size() && !m_s.aborted(); ++p) {
                if (p > 0)
                    m_s.newPage();
                const CutSheetPage& page = pages[p];
                const MaterialPlan& material = m_plan.materials[std::size_t(page.material)];
                int y = header(material, page.continued);
                for (int r = page.firstRun; r < page.firstRun + page.runCount; ++r)
                    y = run(material, runs[std::size_t(page.material)][std::size_t(r)], y);
                footer(int(p) + 1, int(pages.size()));
            }
        } catch (...) {
            m_s.endJob();
            throw;
        }
        m_s.endJob();
    }

private:
    int px(double mm) const { return int(std::lround(mm * m_dpm)); }

    void font(double mm, PrintSurface::FontStyle style = PrintSurface::Plain) {
        m_s.setFontName(kFont);
        m_s.setFontHeight(std::max(1, px(mm)));
        m_s.setFontStyle(style);
    }

    void box(int x1, int y1, int x2, int y2) {
        m_s.moveTo(x1, y1);
        m_s.lineTo(x2, y1);
        m_s.lineTo(x2, y2);
        m_s.lineTo(x1, y2);
        m_s.lineTo(x1, y1);
    }

    /// Lines at 45° every kHatchMm across the rectangle, clipped to it.
    void hatch(int x1, int y1, int x2, int y2) {
        if (x2 <= x1)
            return;
        const int h = y2 - y1, step = std::max(1, px(kHatchMm));
        for (int a = x1 - h; a < x2; a += step) {
            const int from = std::max(0, x1 - a), to = std::min(h, x2 - a);
            if (from >= to)
                continue;
            m_s.moveTo(a + from, y2 - from);
            m_s.lineTo(a + to, y2 - to);
        }
    }

    enum class Grow { Right, Left, Both };
    /// Vertical lines filling a narrow band: a trim or a kerf, at least kMinMarkMm wide; a band
    /// narrower grows into the bar (a trim) or to both sides (a kerf).
    void band(int x1, int x2, int y1, int y2, Grow grow) {
        const int minWidth = px(kMinMarkMm);
        if (x2 - x1 < minWidth) {
            if (grow == Grow::Right) {
                x2 = x1 + minWidth;
            } else if (grow == Grow::Left) {
                x1 = x2 - minWidth;
            } else {
                x1 = (x1 + x2) / 2 - minWidth / 2;
                x2 = x1 + minWidth;
            }
        }
        const int step = std::max(1, px(0.1));
        for (int x = x1; x <= x2; x += step) {
            m_s.moveTo(x, y1);
            m_s.lineTo(x, y2);
        }
    }

    int headerHeight() const { return px(kTitleMm + 1.5 + kHeaderLineMm + kHeaderGapMm); }

    int header(const MaterialPlan& material, bool continued) {
        font(kTitleMm, PrintSurface::Bold);
        QString title = QStringLiteral("下料单  %1").arg(material.material);
        if (continued)
            title += QStringLiteral("（续）");
        m_s.textOut(0, 0, title);
        const int bars = material.newBars + material.offcutsUsed;
        const QString line =
            QStringLiteral("原料长度 %1 mm   锯缝 %2 mm   端头余量 %3 mm   共 %4 根（新料 %5 根，余料 %6 根）   %7")
                .arg(LengthText(material.stockLength), LengthText(material.kerf), LengthText(material.trim))
                .arg(bars)
                .arg(material.newBars)
                .arg(material.offcutsUsed)
                .arg(m_date.toString(QStringLiteral("yyyy-MM-dd")));
        font(kHeaderLineMm);
        const int y = px(kTitleMm + 1.5);
        m_s.textOut(0, y, line);
        const int rule = y + px(kHeaderLineMm + 1);
        m_s.setPenWidth(std::max(1, px(0.3)));
        m_s.moveTo(0, rule);
        m_s.lineTo(m_width, rule);
        return headerHeight();
    }

    QStringList labels(const CutBar& bar) const {
        QStringList out;
        for (const CutPiece& piece : bar.pieces)
            out << PieceLabel(piece);
        return out;
    }

    QStringList labelLines(const CutBar& bar) {
        font(kLabelMm);
        return WrapLabels(labels(bar), m_width, [this](const QString& t) { return m_s.textWidth(t); });
    }

    int runHeight(const CutBar& bar) {
        const int lines = int(labelLines(bar).size());
        return px(kRunTitleMm + 1 + kStripMm + 1 + kRunGapMm) + lines * px(kLabelMm * 1.2);
    }

    int run(const MaterialPlan& material, const BarRun& run, int y) {
        const CutBar& bar = material.bars[std::size_t(run.first)];
        QString numbers = QStringLiteral("第%1根").arg(run.first + 1);
        if (run.count > 1)
            numbers = QStringLiteral("第%1–%2根").arg(run.first + 1).arg(run.first + run.count);
        QString title = QStringLiteral("%1  %2 %3").arg(numbers, BarSource(bar), LengthText(bar.length));
        if (run.count > 1)
            title += QStringLiteral("  ×%1").arg(run.count);
        title += QStringLiteral("   余下 %1").arg(LengthText(bar.leftover));
        if (bar.kept)
            title += QStringLiteral(" 余料");
        font(kRunTitleMm, PrintSurface::Bold);
        m_s.textOut(0, y, title);
        y += px(kRunTitleMm + 1);
        strip(material, bar, y);
        y += px(kStripMm + 1);
        const QStringList lines = labelLines(bar);
        for (const QString& line : lines) {
            m_s.textOut(0, y, line);
            y += px(kLabelMm * 1.2);
        }
        return y + px(kRunGapMm);
    }

    void strip(const MaterialPlan& material, const CutBar& bar, int top) {
        cutting::Length longest = material.stockLength;
        for (const CutBar& b : material.bars)
            longest = std::max(longest, b.length);
        const double scale = longest > 0 ? double(m_width - 1) / double(longest) : 0;
        auto x = [scale](cutting::Length at) { return int(std::lround(double(at) * scale)); };
        const int bottom = top + px(kStripMm);
        m_s.setPenWidth(std::max(1, px(0.25)));
        box(0, top, x(bar.length), bottom);

        const cutting::Length trim = bar.offcutId == 0 ? material.trim : 0;
        m_s.setPenWidth(1);
        if (trim > 0) {
            band(0, x(trim), top, bottom, Grow::Right);
            band(x(bar.length - trim), x(bar.length), top, bottom, Grow::Left);
        }
        cutting::Length at = trim;
        for (std::size_t i = 0; i < bar.pieces.size(); ++i) {
            const CutPiece& piece = bar.pieces[i];
            if (i > 0) {
                m_s.setPenWidth(1);
                band(x(at), x(at + material.kerf), top, bottom, Grow::Both);
                at += material.kerf;
            }
            const int x1 = x(at), x2 = x(at + piece.length);
            m_s.setPenWidth(std::max(1, px(0.25)));
            box(x1, top, x2, bottom);
            pieceText(piece, x1, x2, top);
            at += piece.length;
        }
        // The leftover: what lies after the last piece up to the trim at the far end.
        const int restFrom = x(at), restTo = x(bar.length - trim);
        if (restTo > restFrom) {
            m_s.setPenWidth(1);
            hatch(restFrom, top, restTo, bottom);
        }
    }

    /// Name, length and bill inside the box, each line only where it fits.
    void pieceText(const CutPiece& piece, int x1, int x2, int top) {
        font(kBoxTextMm);
        const int pad = px(0.6), line = px(kBoxTextMm * 1.15);
        const QString texts[] = {piece.name, LengthText(piece.length), QStringLiteral("单据%1").arg(piece.billId)};
        int y = top + px(0.8);
        for (const QString& t : texts) {
            const int w = m_s.textWidth(t);
            if (w + 2 * pad <= x2 - x1)
                m_s.textOut(x1 + (x2 - x1 - w) / 2, y, t);
            y += line;
        }
    }

    void footer(int page, int pages) {
        font(kPageNumberMm);
        const QString text = QStringLiteral("第%1页，共%2页").arg(page).arg(pages);
        m_s.textOut((m_width - m_s.textWidth(text)) / 2, m_height - px(kPageNumberMm + 1), text);
    }

    PrintSurface& m_s;
    const CuttingPlan& m_plan;
    QDate m_date;
    double m_dpm = 0;
    int m_width = 0;
    int m_height = 0;
};

} // namespace

void PrintCuttingPlan(PrintSurface& surface, const CuttingPlan& plan, const QDate& date) {
    Sheet(surface, plan, date).print();
}

void PreviewCuttingPlan(QWidget* parent, const CuttingPlan& plan, const QDate& date) {
    {
        QPrinterSurface printer(&ProgramPrinter());
        if (printer.orientation() == PrintSurface::Orientation::Portrait)
            printer.setOrientation(PrintSurface::Orientation::Landscape);
    }
    PreviewPrintJob(parent, QStringLiteral("打印预览"), [&](PrintSurface& s) { PrintCuttingPlan(s, plan, date); });
}

} // namespace kvt
