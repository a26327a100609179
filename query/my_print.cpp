#include "query/my_print.h"

#include "controls/WaitCursor.h"

#include <cmath>

namespace kvt {

int PrintWidthTenths(int screenWidth) {
    return screenWidth / 10 + 2;
}

int TenthsToPixels(int tenths, int pixelsPerInch) {
    const double inches = tenths * 0.1;
    return int(std::nearbyint(pixelsPerInch * inches));
}

void TPrnOut::PrintGrid(const QList<PrintColumn>& columns, PrintRecordSource& records, const QString& title,
                        const QString& footerText) {
    WaitCursor wait;
    Title = title;
    FooterText = footerText;
    PageNumber = 1;
    m_columns = &columns;
    m_stopped = false;
    m_truncated = false;
    m_cancelled = false;
    m_recordOnPage = false;
    try {
        PixelsPerInchX = m_printer.resolutionX();
        PageHeight = m_printer.pageHeight();
        PageWidth = m_printer.pageWidth();
        m_printer.beginJob();
        m_jobOpen = true;
        PrintTitle(Title);
        PrintColumnTitles();
        PrintRecords(records);
        PrintFooter(FooterText);
    } catch (...) {
        endJob();
        m_columns = nullptr;
        throw;
    }
    endJob();
    m_columns = nullptr;
}

bool TPrnOut::halted() const {
    return m_stopped || !m_jobOpen || m_printer.aborted();
}

void TPrnOut::endJob() {
    if (m_jobOpen)
        m_printer.endJob();
    m_jobOpen = false;
}

void TPrnOut::PrintTitle(const QString& text) {
    const QString t = text.isEmpty() ? QStringLiteral("<无标题>") : text;
    m_printer.setFontSize(12);
    m_printer.setFontName("宋体");
    if (!halted())
        m_printer.textOut(PageWidth / 2 - m_printer.textWidth(t) / 2, 0, t);
    CurrentY += 2 * m_printer.textHeight(t);
    m_recordOnPage = false;
}

void TPrnOut::PrintFooter(const QString& text) {
    QString footer = "第" + QString::number(PageNumber) + "页";
    if (!text.isEmpty())
        footer = text + "  " + footer;
    if (!halted())
        m_printer.textOut(PageWidth / 2 - m_printer.textWidth(footer) / 2, PageHeight - LineHeight, footer);
    CurrentY = 0;
    ++PageNumber;
}

void TPrnOut::PrintColumnTitles() {
    // A failure here ends the job at once; it still reaches the caller, so that a list printed
    // without its column titles does not pass for a finished printout.
    try {
        m_printer.setFontStyle(PrintSurface::Bold | PrintSurface::Underline);
        LineHeight = m_printer.textHeight("x");
        QList<Cell> cells;
        for (const PrintColumn& c : *m_columns)
            cells << Cell{c.title, PrintWidthTenths(c.width)};
        m_inColumnTitles = true;
        PrintLine(cells);
        m_inColumnTitles = false;
        m_printer.setFontStyle(PrintSurface::Plain);
    } catch (...) {
        m_inColumnTitles = false;
        endJob();
        throw;
    }
}

void TPrnOut::PrintRecords(PrintRecordSource& records) {
    records.First();
    const int count = records.Count();
    int done = 0;
    while (!records.Eof() && !halted()) {
        QCoreApplication::processEvents();
        if (Progress && !Progress(done++, count)) {
            m_cancelled = true;
            return;
        }
        QList<Cell> cells;
        for (const PrintColumn& c : *m_columns)
            cells << Cell{records.DisplayText(c.field), PrintWidthTenths(c.width)};
        PrintLine(cells);
        records.Next();
    }
}

void TPrnOut::stopOnShortPage() {
    // Every page repeats the title and the column titles, so a page that cannot hold them and
    // one line would only be followed by more such pages: close this page and stop.
    PrintFooter(FooterText);
    m_stopped = true;
    m_truncated = true;
}

void TPrnOut::PrintLine(const QList<Cell>& cells) {
    int left = 50;
    int top = CurrentY;
    for (const Cell& cell : cells) {
        if (m_stopped)
            return;
        const int w = TenthsToPixels(cell.tenths, PixelsPerInchX);
        int right = left + w;
        if (right > PageWidth) {
            left = 70;
            right = w + 140;
            CurrentY += LineHeight;
            top = CurrentY;
        }
        if (CurrentY + LineHeight > PageHeight - LineHeight) {
            if (!m_recordOnPage) {
                stopOnShortPage();
                return;
            }
            PrintFooter(FooterText);
            CurrentY = 0;
            if (!halted())
                m_printer.newPage();
            const bool inColumnTitles = m_inColumnTitles;
            PrintTitle(Title);
            PrintColumnTitles();
            m_inColumnTitles = inColumnTitles;
            if (m_stopped)
                return;
            left = 70;
            right = w + 140;
            CurrentY += LineHeight;
            top = CurrentY;
            if (CurrentY + LineHeight > PageHeight - LineHeight) {
                stopOnShortPage();
                return;
            }
        }
        if (!halted()) {
            m_printer.textRect(QRect(left, top, right - left, LineHeight), left, top, cell.text);
            if (!m_inColumnTitles)
                m_recordOnPage = true;
        }
        left = right;
    }
    CurrentY += LineHeight + 2;
}

} // namespace kvt
