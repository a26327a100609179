#include "controls/SpreadsheetSink.h"

#include "controls/Dialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

namespace kvt {
namespace {

// Limits of an xlsx worksheet.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;
// Wide enough for "yyyy-mm-dd" in the default font; narrower columns show a date as "#####".
constexpr double kDateColumnWidth = 11;

[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

void check(lxw_error error, int row, int column) {
    if (error != LXW_NO_ERROR)
        fail(QStringLiteral("第%1行第%2列无法写入工作簿：%3").arg(row).arg(column).arg(lxw_strerror(error)));
}

} // namespace

bool XlsxSink::cellBefore(const Cell& a, const Cell& b) {
    return a.row != b.row ? a.row < b.row : a.column < b.column;
}

void XlsxSink::add(int row, int column, Kind kind, double number, const QString& text) {
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        fail(QStringLiteral("导出的单元格超出工作表的范围（第%1行第%2列）。").arg(row).arg(column));
    m_cells.push_back(Cell{row, column, kind, number, text});
}

void XlsxSink::writeText(int row, int column, const QString& text) {
    if (text.isEmpty())
        add(row, column, Kind::Empty, 0);
    else
        add(row, column, Kind::Text, 0, text);
}

void XlsxSink::writeNumber(int row, int column, double value) {
    // The file format has no infinity or NaN; such a value is kept as its text.
    if (std::isfinite(value))
        add(row, column, Kind::Number, value);
    else
        add(row, column, Kind::Text, 0, QString::number(value));
}

void XlsxSink::writeDate(int row, int column, const QDate& date) {
    if (!date.isValid())
        add(row, column, Kind::Empty, 0);
    else if (date.year() < 1900 || date.year() > 9999) // no date value of a spreadsheet
        add(row, column, Kind::Text, 0, date.toString(QStringLiteral("yyyy-MM-dd")));
    else
        add(row, column, Kind::Date, double(date.toJulianDay()));
}

void XlsxSink::writeEmpty(int row, int column) {
    add(row, column, Kind::Empty, 0);
}

void XlsxSink::save(const QString& path) {
    // Rows must reach the file in order. Cells are ordered by row with a counting sort and then
    // by column within each row, both stable, so rewrites of a cell stay in writing order and
    // the last one of each address is the one that counts. Exports hand over whole columns, so
    // a general sort over a million cells would cost more than writing them.
    if (!std::is_sorted(m_cells.begin(), m_cells.end(), cellBefore)) {
        int lastRow = 0;
        for (const Cell& c : m_cells)
            lastRow = std::max(lastRow, c.row);
        std::vector<size_t> start(size_t(lastRow) + 2, 0);
        for (const Cell& c : m_cells)
            ++start[size_t(c.row) + 1];
        for (size_t r = 1; r < start.size(); ++r)
            start[r] += start[r - 1];
        std::vector<Cell> byRow(m_cells.size());
        std::vector<size_t> next(start.begin(), start.end() - 1);
        for (Cell& c : m_cells)
            byRow[next[size_t(c.row)]++] = std::move(c);
        for (size_t r = 1; r + 1 < start.size(); ++r)
            if (start[r + 1] - start[r] > 1)
                std::stable_sort(byRow.begin() + std::ptrdiff_t(start[r]), byRow.begin() + std::ptrdiff_t(start[r + 1]),
                                 cellBefore);
        m_cells = std::move(byRow);
    }

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    const QByteArray fileName = QFile::encodeName(path);
    lxw_workbook* workbook = workbook_new_opt(fileName.constData(), &options);
    if (!workbook)
        fail(QStringLiteral("无法创建工作簿：%1").arg(path));
    try {
        writeSheet(workbook);
    } catch (...) {
        workbook_close(workbook);
        QFile::remove(path);
        throw;
    }
    const lxw_error closed = workbook_close(workbook);
    if (closed != LXW_NO_ERROR) {
        QFile::remove(path);
        fail(QStringLiteral("无法保存工作簿%1：%2").arg(path, QString::fromUtf8(lxw_strerror(closed))));
    }
}

QString CellName(int row, int column) {
    QString letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}

void XlsxSink::writeSheet(lxw_workbook* workbook) {
    m_cutCells.clear();
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
    lxw_format* dateFormat = workbook_add_format(workbook);
    if (!sheet || !dateFormat)
        fail(QStringLiteral("无法创建工作表。"));
    format_set_num_format(dateFormat, "yyyy-mm-dd");

    QSet<int> dateColumns;
    for (const Cell& cell : m_cells)
        if (cell.kind == Kind::Date)
            dateColumns.insert(cell.column);
    for (int column : dateColumns)
        worksheet_set_column(sheet, lxw_col_t(column - 1), lxw_col_t(column - 1), kDateColumnWidth, nullptr);

    for (size_t i = 0; i < m_cells.size(); ++i) {
        const Cell& cell = m_cells[i];
        if (i + 1 < m_cells.size() && m_cells[i + 1].row == cell.row && m_cells[i + 1].column == cell.column)
            continue; // rewritten later
        const lxw_row_t row = lxw_row_t(cell.row - 1);
        const lxw_col_t column = lxw_col_t(cell.column - 1);
        switch (cell.kind) {
        case Kind::Text: {
            QString text = cell.text;
            if (text.size() > kMaxCellText) {
                // Cut without splitting a character made of two UTF-16 units.
                const bool split = text.at(kMaxCellText - 1).isHighSurrogate();
                text.truncate(split ? kMaxCellText - 1 : kMaxCellText);
                m_cutCells << CellName(cell.row, cell.column);
            }
            check(worksheet_write_string(sheet, row, column, text.toUtf8().constData(), nullptr), cell.row,
                  cell.column);
            break;
        }
        case Kind::Number:
            check(worksheet_write_number(sheet, row, column, cell.number, nullptr), cell.row, cell.column);
            break;
        case Kind::Date: {
            const QDate date = QDate::fromJulianDay(qint64(cell.number));
            lxw_datetime value{date.year(), date.month(), date.day(), 0, 0, 0};
            check(worksheet_write_datetime(sheet, row, column, &value, dateFormat), cell.row, cell.column);
            break;
        }
        case Kind::Empty:
            break;
        }
    }
}

QString SpreadsheetFolder() {
    static std::unique_ptr<QTemporaryDir> folder;
    if (!folder || !folder->isValid() || !QFileInfo(folder->path()).isDir()) {
        folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kvt-XXXXXX"));
        if (!folder->isValid())
            fail(QStringLiteral("无法创建临时文件夹：%1").arg(folder->errorString()));
        folder->setAutoRemove(false);
    }
    return folder->path();
}

QString NewSpreadsheetPath(const QString& baseName) {
    QString name = baseName.trimmed();
    for (QChar& c : name)
        if (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c))
            c = QLatin1Char('_');
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name.prepend(QStringLiteral("导出"));

    const QDir folder(SpreadsheetFolder());
    QString path = folder.filePath(name + QStringLiteral(".xlsx"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder.filePath(QStringLiteral("%1(%2).xlsx").arg(name).arg(n));
    return path;
}

bool ShowInSpreadsheet(QWidget* parent, XlsxSink& workbook, const QString& baseName) {
    const QString path = NewSpreadsheetPath(baseName);
    workbook.save(path);
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        const QStringList& cut = workbook.cutCells();
        if (!cut.isEmpty()) {
            constexpr int kNamed = 20;
            QString cells = QStringList(cut.mid(0, kNamed)).join(QStringLiteral("、"));
            if (cut.size() > kNamed)
                cells += QStringLiteral("等%1个单元格").arg(cut.size());
            DialogService::instance().message(parent,
                                              QStringLiteral("以下单元格的文字超过%1个字符，只写入了前%1个字符：%2。")
                                                  .arg(XlsxSink::kMaxCellText)
                                                  .arg(cells),
                                              QStringLiteral("提示信息"), DialogService::Icon::Information);
        }
        return true;
    }
    QFile::remove(path);
    DialogService::instance().message(parent, QStringLiteral("Excel没有安装！"), QStringLiteral("提示信息"),
                                      DialogService::Icon::Information);
    return false;
}

} // namespace kvt
