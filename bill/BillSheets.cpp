#include "bill/BillSheets.h"

#include <QPrinter>

#include <array>
#include <cmath>
#include <stdexcept>

namespace kvt {

namespace {

const QString kFrameTitle = QStringLiteral("门框生产排单");
const QString kDoorLeafTitle = QStringLiteral("---门扇生产排单---");
const QString kTimes = QStringLiteral("×");

// Table geometry in millimetres.
constexpr int kTableTop = 40;
constexpr int kBand = 12;
constexpr int kFrameLineCol = 12;    // 商品ID in the frame layout
constexpr int kDoorLeafLineCol = 18; // 商品ID in the door-leaf layout

/// Millimetre arithmetic with the sheet's integer dots-per-millimetre factor.
struct Mm {
    int d;
    int operator()(int mm) const { return mm * d; }
};

int bandTop(int band) {
    return kTableTop + kBand * band;
}

/// The grid rows that print, in order: those whose product id cell is filled.
QList<int> printedRows(const BillSnapshot& bill, int idColumn) {
    QList<int> rows;
    for (int r = 1; r < bill.rowCount(); ++r)
        if (!bill.cell(idColumn, r).isEmpty())
            rows << r;
    return rows;
}

QString joined(const BillSnapshot& bill, int widthCol, int heightCol, int row) {
    return bill.cell(widthCol, row) + kTimes + bill.cell(heightCol, row);
}

/// Title and the five header lines; the header font height is given in millimetres.
void printHeader(PrintSurface& s, const Mm& mm, const BillSnapshot& bill, const QString& title, int headerMm) {
    s.setFontHeight(mm(10));
    s.textOut(s.pageWidth() / 2 - s.textWidth(title) / 2, mm(10), title);
    s.setFontHeight(mm(headerMm));
    s.textOut(mm(220), mm(19), "单据编号:" + bill.billId);
    s.textOut(mm(10), mm(26), "客户名称:" + bill.client);
    s.textOut(mm(220), mm(26), "单据日期:" + bill.date);
    s.textOut(mm(10), mm(33), "送货地址:" + bill.address);
    s.textOut(mm(220), mm(33), "安装人员:" + bill.installer);
}

/// Horizontal rules at the table top and under every band, vertical rules at the edges.
void ruleTable(PrintSurface& s, const Mm& mm, int bands, int right, const int* edges, int edgeCount) {
    s.moveTo(mm(10), mm(kTableTop));
    s.lineTo(mm(right), mm(kTableTop));
    for (int k = 0; k < bands; ++k) {
        const int y = bandTop(k) + kBand;
        s.moveTo(mm(10), mm(y));
        s.lineTo(mm(right), mm(y));
    }
    const int bottom = bandTop(bands);
    for (int i = 0; i < edgeCount; ++i) {
        s.moveTo(mm(edges[i]), mm(kTableTop));
        s.lineTo(mm(edges[i]), mm(bottom));
    }
}

int penWidth(int d) {
    return int(std::nearbyint(0.2 * d));
}

/// Runs the drawing of a job and ends the job also when a step fails.
template <typename Draw> void inJob(PrintSurface& s, Draw draw) {
    s.beginJob();
    try {
        draw();
    } catch (...) {
        s.endJob();
        throw;
    }
    s.endJob();
}

} // namespace

int DotsPerMm(int dpi) {
    return int(std::nearbyint(dpi / 25.4));
}

BillSheet BillSheetFor(const QString& billType) {
    bool ok = false;
    const int kind = billType.trimmed().toInt(&ok);
    if (!ok)
        throw std::runtime_error(QString("'%1' 不是有效的整数值").arg(billType).toStdString());
    switch (kind) {
    case 1:
    case 3:
        return BillSheet::Frame;
    case 2:
        return BillSheet::DoorLeaf;
    default:
        return BillSheet::None;
    }
}

void PrintFrameSheet(PrintSurface& s, const BillSnapshot& bill) {
    const Mm mm{DotsPerMm(s.resolutionX())};
    inJob(s, [&] {
        // The canvas typeface would be whatever the printer last had; the sheet fixes it.
        s.setFontName("宋体");
        printHeader(s, mm, bill, kFrameTitle, 5);

        const QList<int> rows = printedRows(bill, kFrameLineCol);
        const int bands = int(rows.size()) + 1;
        s.setPenWidth(penWidth(mm.d));
        static const int edges[] = {10, 70, 95, 127, 139, 171, 183, 235, 280};
        ruleTable(s, mm, bands, 280, edges, int(std::size(edges)));

        struct Column {
            int boxLeft, boxRight, textX; // mm
            int headingX;                 // mm
        };
        static const std::array<Column, 8> columns{{
            {11, 69, 12, 12},
            {71, 92, 71, 71},
            {96, 126, 97, 97},
            {128, 138, 129, 128},
            {140, 170, 141, 141},
            {172, 182, 173, 172},
            {184, 233, 185, 185},
            {236, 278, 237, 237},
        }};
        s.setFontHeight(mm(5));
        auto cell = [&](const Column& c, int band, int x, const QString& text) {
            const int top = bandTop(band);
            const QRect box(QPoint(mm(c.boxLeft), mm(top + 1)), QPoint(mm(c.boxRight) - 1, mm(top + 10) - 1));
            s.textRect(box, mm(x), mm(top + 4), text);
        };
        for (int i = 0; i < rows.size(); ++i) {
            const int r = rows[i];
            const int band = i + 1;
            const QString texts[8] = {bill.cell(2, r),       bill.cell(3, r), joined(bill, 4, 5, r), bill.cell(6, r),
                                      joined(bill, 7, 8, r), bill.cell(9, r), bill.cell(10, r),      bill.cell(11, r)};
            for (int c = 0; c < 8; ++c)
                cell(columns[c], band, columns[c].textX, texts[c]);
        }
        const QString headings[8] = {"       商品名称", "玻璃款式",      "  见光宽高",    bill.cell(6, 0),
                                     "   总宽高",       bill.cell(9, 0), "     门框附加", "      备注"};
        for (int c = 0; c < 8; ++c)
            cell(columns[c], 0, columns[c].headingX, headings[c]);
    });
}

void PrintDoorLeafSheet(PrintSurface& s, const BillSnapshot& bill) {
    const Mm mm{DotsPerMm(s.resolutionX())};
    inJob(s, [&] {
        s.setFontName("宋体");
        printHeader(s, mm, bill, kDoorLeafTitle, 4);
        s.setPenWidth(penWidth(mm.d));
        s.setFontHeight(mm(4));

        static const int edges[] = {10, 60, 80, 104, 128, 152, 163, 187, 211, 237, 282};
        constexpr int columnCount = int(std::size(edges)) - 1;
        // A row's box runs from one pixel right of the left edge to 1 mm short of the right
        // edge; the heading's box reaches the right edge.
        auto cell = [&](int c, int band, int rightInset, const QString& text) {
            const int top = bandTop(band);
            const QRect box(QPoint(mm(edges[c]) + 1, mm(top + 1)),
                            QPoint(mm(edges[c + 1] - rightInset) - 1, mm(top + 10) - 1));
            s.textRect(box, mm(edges[c] + 2), mm(top + 4), text);
        };
        // A size pair prints unless its first text is exactly "0" (not worked out yet).
        auto pair = [&](int c, int band, int widthCol, int heightCol, int r) {
            if (bill.cell(widthCol, r) != "0")
                cell(c, band, 1, joined(bill, widthCol, heightCol, r));
        };

        const QList<int> rows = printedRows(bill, kDoorLeafLineCol);
        for (int i = 0; i < rows.size(); ++i) {
            const int r = rows[i];
            const int band = i + 1;
            cell(0, band, 1, bill.cell(2, r));
            cell(1, band, 1, bill.cell(4, r));
            pair(2, band, 15, 16, r);
            pair(3, band, 5, 6, r);
            pair(4, band, 7, 8, r);
            cell(5, band, 1, bill.cell(3, r));
            pair(6, band, 11, 12, r);
            pair(7, band, 9, 10, r);
            cell(8, band, 1, bill.cell(14, r));
            cell(9, band, 1, bill.cell(13, r));
        }
        static const char* const headings[columnCount] = {"     商品名称", "玻璃款式",    " 框总宽高", " 见光宽高",
                                                          " 现量宽高",     "数量",        " 玻璃宽高", " 门扇宽高",
                                                          "  备注",        "    门框附加"};
        for (int c = 0; c < columnCount; ++c)
            cell(c, 0, 0, QString::fromUtf8(headings[c]));

        ruleTable(s, mm, int(rows.size()) + 1, 282, edges, int(std::size(edges)));
    });
}

void PrintBillSheet(PrintSurface& surface, const BillSnapshot& bill) {
    if (surface.orientation() == PrintSurface::Orientation::Portrait)
        surface.setOrientation(PrintSurface::Orientation::Landscape);
    switch (BillSheetFor(bill.billType)) {
    case BillSheet::Frame:
        PrintFrameSheet(surface, bill);
        break;
    case BillSheet::DoorLeaf:
        PrintDoorLeafSheet(surface, bill);
        break;
    case BillSheet::None:
        break;
    }
}

bool PreviewBillSheet(QWidget* parent, const BillSnapshot& bill) {
    {
        QPrinterSurface printer(&ProgramPrinter());
        if (printer.orientation() == PrintSurface::Orientation::Portrait)
            printer.setOrientation(PrintSurface::Orientation::Landscape);
    }
    const BillSheet sheet = BillSheetFor(bill.billType);
    if (sheet == BillSheet::None)
        return false;
    return PreviewPrintJob(parent, "打印预览", [sheet, bill](PrintSurface& s) {
        if (sheet == BillSheet::Frame)
            PrintFrameSheet(s, bill);
        else
            PrintDoorLeafSheet(s, bill);
    });
}

} // namespace kvt
