#pragma once
// Printing a data grid as a plain paged list: title and bold underlined column titles on every
// page, one line per record (wrapped when the page is too narrow), "第N页" at the bottom.

#include "controls/PrintSurface.h"

#include <QList>
#include <QString>

#include <functional>

class QWidget;

namespace kvt {

class DataQuery;
class TQorDBGrid;

/// One shown column of the grid: its title, its on-screen width and the field it shows.
struct PrintColumn {
    QString title;
    int width = 0; ///< on-screen pixels
    int field = 0; ///< 0-based result column of the data set
};

/// The data set a grid shows, as far as printing walks it.
class PrintRecordSource {
public:
    virtual ~PrintRecordSource() = default;
    virtual void First() = 0;
    virtual void Next() = 0;
    virtual bool Eof() const = 0;
    /// Display text of a field of the current record.
    virtual QString DisplayText(int field) = 0;
    /// How many records there are; -1 when not known beforehand.
    virtual int Count() const { return -1; }
};

/// The records of a query object, walked without moving its current row: a grid showing the
/// query stays where it is instead of following (and repainting for) every printed record.
class DataQueryRecords final : public PrintRecordSource {
public:
    explicit DataQueryRecords(DataQuery& query) : m_query(query) {}
    void First() override;
    void Next() override;
    bool Eof() const override;
    QString DisplayText(int field) override;
    int Count() const override;

private:
    DataQuery& m_query;
    int m_row = 1;
};

/// Paper width of a column in tenths of an inch: on-screen pixels div 10 + 2.
int PrintWidthTenths(int screenWidth);
/// Tenths of an inch in device pixels at a resolution (nearest, ties to even).
int TenthsToPixels(int tenths, int pixelsPerInch);

/// One grid print job. Create one per job.
class TPrnOut {
public:
    explicit TPrnOut(PrintSurface& printer) : m_printer(printer) {}

    /// Prints every record as one job and returns when the job has ended. The job is ended
    /// and the cursor restored also when a step fails; the failure is then thrown on.
    void PrintGrid(const QList<PrintColumn>& columns, PrintRecordSource& records, const QString& title,
                   const QString& footerText);

    /// True when the last job stopped early because a page cannot hold the title, the column
    /// titles and one line.
    bool Truncated() const { return m_truncated; }

    /// Called before each record with the records done and the count (-1 when unknown); a false
    /// answer cancels the job: the page in hand gets its footer and the job ends as usual.
    std::function<bool(int done, int count)> Progress;
    /// True when the last job was cancelled through Progress.
    bool Cancelled() const { return m_cancelled; }

    QString Title;
    QString FooterText;
    int PageNumber = 1;
    /// Height of one printed line: the height of "x" in the column-title font.
    int LineHeight = 0;
    /// Drawing position on the current page, pixels from the top of the printable area.
    int CurrentY = 0;
    int PageHeight = 0;
    int PageWidth = 0;
    int PixelsPerInchX = 0;

private:
    struct Cell {
        QString text;
        int tenths;
    };

    void PrintTitle(const QString& text);
    void PrintFooter(const QString& text);
    void PrintColumnTitles();
    void PrintRecords(PrintRecordSource& records);
    void PrintLine(const QList<Cell>& cells);

    /// Nothing more is drawn: the job was aborted, ended, or stopped on a too short page.
    bool halted() const;
    void endJob();
    void stopOnShortPage();

    PrintSurface& m_printer;
    const QList<PrintColumn>* m_columns = nullptr;
    bool m_jobOpen = false;
    bool m_stopped = false;
    bool m_truncated = false;
    bool m_cancelled = false;
    bool m_inColumnTitles = false;
    /// A record's text has been drawn on the current page.
    bool m_recordOnPage = false;
};

/// Prints the records of a query under the given columns, as one job.
void PrintGrid(PrintSurface& printer, const QList<PrintColumn>& columns, DataQuery& data, const QString& title,
               const QString& footerText);

/// The same job in a print preview on the program's printer.
void PreviewPrintGrid(QWidget* parent, const QList<PrintColumn>& columns, DataQuery& data, const QString& title,
                      const QString& footerText);

/// A data grid's shown columns in display order, with their titles, widths and fields.
QList<PrintColumn> PrintColumnsOf(const TQorDBGrid& grid);
/// Prints what a data grid shows (nothing when it has no query); the query ends at its end.
void PrintGrid(PrintSurface& printer, TQorDBGrid& grid, const QString& title, const QString& footerText);
/// The print command on screen: the grid's job in a print preview on the program's printer.
void PreviewPrintGrid(QWidget* parent, TQorDBGrid& grid, const QString& title, const QString& footerText);

} // namespace kvt
