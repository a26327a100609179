#pragma once
// Where the spreadsheet exports write their cells: a new xlsx workbook for the user, a map of
// cells in the tests.

#include <QDate>
#include <QString>
#include <QStringList>

#include <vector>

class QWidget;
struct lxw_workbook;

namespace kvt {

/// Cells of the first worksheet of a new workbook, addressed (row, column) counting from 1:
/// (1, 4) is D1. Writing a cell twice keeps the later value.
class SpreadsheetSink {
public:
    virtual ~SpreadsheetSink() = default;

    virtual void writeText(int row, int column, const QString& text) = 0;
    virtual void writeNumber(int row, int column, double value) = 0;
    /// A real date, shown as yyyy-mm-dd.
    virtual void writeDate(int row, int column, const QDate& date) = 0;
    /// A cell left without a value.
    virtual void writeEmpty(int row, int column) = 0;
};

/// A new workbook saved as an xlsx file. Cells are collected in memory in any order and written
/// row by row when saved, so a large export streams to the file instead of building the sheet.
class XlsxSink final : public SpreadsheetSink {
public:
    void writeText(int row, int column, const QString& text) override;
    void writeNumber(int row, int column, double value) override;
    void writeDate(int row, int column, const QDate& date) override;
    void writeEmpty(int row, int column) override;

    /// Number of cells written so far (rewrites included).
    int cellCount() const { return int(m_cells.size()); }

    /// Writes the workbook to path (replacing a file there). A text longer than a cell holds
    /// (kMaxCellText) is cut to that length and the cell listed in cutCells(); the rest of the
    /// workbook is written all the same. A cell outside the sheet's limits or a file that cannot
    /// be written throws std::runtime_error with a message for the user.
    void save(const QString& path);

    /// The most characters a cell of the file format holds.
    static constexpr int kMaxCellText = 32767;
    /// Names ("B3") of the cells whose text the last save cut, in row order.
    const QStringList& cutCells() const { return m_cutCells; }

private:
    enum class Kind : unsigned char { Text, Number, Date, Empty };
    struct Cell {
        int row;
        int column;
        Kind kind;
        double number; ///< the number, or the date as its Julian day
        QString text;
    };
    static bool cellBefore(const Cell& a, const Cell& b);
    void add(int row, int column, Kind kind, double number, const QString& text = QString());
    /// Writes the sorted cells into the first worksheet of workbook.
    void writeSheet(lxw_workbook* workbook);

    std::vector<Cell> m_cells;
    QStringList m_cutCells;
};

/// The spreadsheet's name of the cell at (row, column), both from 1: (3, 2) is "B3".
QString CellName(int row, int column);

/// The folder of this run's exported workbooks, made on first use under the system's temporary
/// folder. It is not removed when the program ends: the spreadsheet application may still have
/// its files open.
QString SpreadsheetFolder();

/// A path for a new workbook named after what it holds ("单据57" gives 单据57.xlsx) in
/// SpreadsheetFolder(); characters that cannot stand in a file name are replaced, and a name
/// already used in this run gets a number ("单据57(2).xlsx") so an open workbook is never replaced.
QString NewSpreadsheetPath(const QString& baseName);

/// Saves the workbook under NewSpreadsheetPath(baseName) and opens it with the desktop's
/// spreadsheet application; then names the cells whose text was too long and was cut. When nothing can open it the file
/// is removed again, the message "Excel没有安装！" is shown and false is returned. A failure to save throws.
bool ShowInSpreadsheet(QWidget* parent, XlsxSink& workbook, const QString& baseName);

} // namespace kvt
