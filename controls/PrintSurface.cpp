#include "controls/PrintSurface.h"

#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPen>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <cmath>
#include <exception>
#include <stdexcept>

namespace kvt {

struct QPrinterSurface::State {
    QPaintDevice* device = nullptr;
    QPrinter* printer = nullptr; // set when the device is a printer
    QPagedPaintDevice* paged = nullptr;
    QPainter painter;
    QFont font;
    int penWidth = 1;
    QPoint penPos;

    QFontMetrics metrics() const { return QFontMetrics(font, device); }
    void applyFont() {
        if (painter.isActive())
            painter.setFont(font);
    }
    void applyPen() {
        if (painter.isActive())
            painter.setPen(QPen(Qt::black, penWidth));
    }
};

QPrinterSurface::QPrinterSurface(QPaintDevice* device) : d(std::make_unique<State>()) {
    d->device = device;
    d->printer = dynamic_cast<QPrinter*>(device);
    d->paged = dynamic_cast<QPagedPaintDevice*>(device);
}

QPrinterSurface::~QPrinterSurface() {
    endJob();
}

PrintSurface::Orientation QPrinterSurface::orientation() const {
    if (d->paged && d->paged->pageLayout().orientation() == QPageLayout::Landscape)
        return Orientation::Landscape;
    return Orientation::Portrait;
}

void QPrinterSurface::setOrientation(Orientation orientation) {
    if (d->paged)
        d->paged->setPageOrientation(orientation == Orientation::Landscape ? QPageLayout::Landscape
                                                                           : QPageLayout::Portrait);
}

void QPrinterSurface::beginJob() {
    if (d->painter.isActive())
        return;
    if (!d->painter.begin(d->device))
        throw std::runtime_error("无法开始打印作业");
    d->applyFont();
    d->applyPen();
    d->painter.setBackground(Qt::white);
}

void QPrinterSurface::endJob() {
    if (d->painter.isActive())
        d->painter.end();
}

void QPrinterSurface::newPage() {
    if (d->paged)
        d->paged->newPage();
}

bool QPrinterSurface::aborted() const {
    return d->printer && d->printer->printerState() == QPrinter::Aborted;
}

int QPrinterSurface::resolutionX() const {
    return d->device->logicalDpiX();
}

int QPrinterSurface::pageWidth() const {
    return d->device->width();
}

int QPrinterSurface::pageHeight() const {
    return d->device->height();
}

QString QPrinterSurface::fontName() const {
    return d->font.family();
}

void QPrinterSurface::setFontName(const QString& typeface) {
    d->font.setFamily(typeface);
    d->applyFont();
}

void QPrinterSurface::setFontHeight(int pixels) {
    // The font is sized by its em; the cell height (ascent + descent) is what is asked for,
    // so scale the em until the cell matches.
    if (pixels <= 0)
        return;
    int em = pixels;
    for (int i = 0; i < 4; ++i) {
        d->font.setPixelSize(em);
        const int cell = d->metrics().height();
        if (cell == pixels || cell <= 0)
            break;
        const int next = std::max(1, int(std::lround(double(em) * pixels / cell)));
        if (next == em)
            break;
        em = next;
    }
    d->applyFont();
}

void QPrinterSurface::setFontSize(int points) {
    d->font.setPointSize(points);
    d->applyFont();
}

void QPrinterSurface::setFontStyle(FontStyle style) {
    d->font.setBold(style.testFlag(Bold));
    d->font.setUnderline(style.testFlag(Underline));
    d->applyFont();
}

int QPrinterSurface::textWidth(const QString& text) {
    return d->metrics().horizontalAdvance(text);
}

int QPrinterSurface::textHeight(const QString&) {
    return d->metrics().height();
}

void QPrinterSurface::textOut(int x, int y, const QString& text) {
    if (!d->painter.isActive())
        return;
    d->painter.drawText(QPoint(x, y + d->metrics().ascent()), text);
}

void QPrinterSurface::textRect(const QRect& box, int x, int y, const QString& text) {
    if (!d->painter.isActive())
        return;
    d->painter.save();
    d->painter.fillRect(box, Qt::white);
    d->painter.setClipRect(box, Qt::IntersectClip);
    d->painter.drawText(QPoint(x, y + d->metrics().ascent()), text);
    d->painter.restore();
}

void QPrinterSurface::setPenWidth(int pixels) {
    d->penWidth = pixels;
    d->applyPen();
}

void QPrinterSurface::moveTo(int x, int y) {
    d->penPos = QPoint(x, y);
}

void QPrinterSurface::lineTo(int x, int y) {
    const QPoint to(x, y);
    if (d->painter.isActive())
        d->painter.drawLine(d->penPos, to);
    d->penPos = to;
}

QPrinter& ProgramPrinter() {
    // Never destroyed: a printer torn down after the application object misbehaves.
    static QPrinter* printer = new QPrinter(QPrinter::HighResolution);
    return *printer;
}

bool PreviewPrintJob(QWidget* parent, const QString& title, const PrintJob& job) {
    QPrintPreviewDialog dialog(&ProgramPrinter(), parent);
    dialog.setWindowTitle(title);
    std::exception_ptr failure;
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* printer) {
        if (failure)
            return;
        // A job that processes events must not see the preview asked to repaint meanwhile.
        const bool wasEnabled = dialog.isEnabled();
        dialog.setEnabled(false);
        try {
            QPrinterSurface surface(printer);
            job(surface);
        } catch (...) {
            failure = std::current_exception();
            QMetaObject::invokeMethod(&dialog, &QDialog::reject, Qt::QueuedConnection);
        }
        dialog.setEnabled(wasEnabled);
    });
    // The preview accepts itself once it has printed (or saved its PDF); its close box rejects.
    const bool printed = dialog.exec() == QDialog::Accepted;
    if (failure)
        std::rethrow_exception(failure);
    return printed;
}

void PrintJobToPdf(const QString& fileName, const PrintJob& job, PrintSurface::Orientation orientation, int dpi) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName);
    printer.setResolution(dpi);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
    QPrinterSurface surface(&printer);
    surface.setOrientation(orientation);
    job(surface);
    surface.endJob();
}

} // namespace kvt
