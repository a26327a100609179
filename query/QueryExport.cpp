#include "query/QueryExport.h"

#include "controls/SpreadsheetSink.h"
#include "store/DataQuery.h"

#include <QDateTime>
#include <QMetaType>

#include <algorithm>
#include <vector>

namespace kvt {
namespace {

bool isNumberType(int type) {
    switch (type) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

/// A date held as text in a date column: "yyyy-mm-dd", possibly with a time of day. Read digit by
/// digit: a large export has one in every row, and a format-string parse costs more than the rest
/// of the cell.
QDate dateFromText(const QString& text) {
    const QStringView t = QStringView(text).trimmed();
    if (t.size() < 10 || t[4] != u'-' || t[7] != u'-')
        return {};
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p)
        for (int k = 0; k < lengths[p]; ++k) {
            const QChar c = t[starts[p] + k];
            if (c < u'0' || c > u'9')
                return {};
            parts[p] = parts[p] * 10 + (c.unicode() - u'0');
        }
    return QDate(parts[0], parts[1], parts[2]); // invalid for a day that does not exist
}

void writeValue(SpreadsheetSink& sink, int row, int column, const QVariant& value, bool dateColumn, bool numberColumn) {
    if (!value.isValid() || value.isNull()) {
        sink.writeEmpty(row, column);
        return;
    }
    const int type = value.typeId();
    if (type == QMetaType::QDate) {
        sink.writeDate(row, column, value.toDate());
    } else if (type == QMetaType::QDateTime) {
        sink.writeDate(row, column, value.toDateTime().date());
    } else if (isNumberType(type)) {
        sink.writeNumber(row, column, value.toDouble());
    } else if (type == QMetaType::Bool) {
        sink.writeNumber(row, column, value.toBool() ? 1 : 0);
    } else {
        const QString text = value.toString();
        if (text.isEmpty()) {
            sink.writeEmpty(row, column);
            return;
        }
        // Date and number columns may hand their values over as text. What is no date or number
        // stays text; so does a number-like text of a text column, such as a custom number "007".
        const QDate date = dateColumn ? dateFromText(text) : QDate();
        bool isNumber = false;
        const double number = numberColumn ? text.trimmed().toDouble(&isNumber) : 0;
        if (date.isValid())
            sink.writeDate(row, column, date);
        else if (isNumber)
            sink.writeNumber(row, column, number);
        else
            sink.writeText(row, column, text);
    }
}

/// Every field of the result, hidden ones included: the fields the window moved to the front in
/// the order it shows them, then the others in the result's order. A list that hides its bill
/// number in the grid still needs it in the workbook, or no row can be traced back to its bill.
QList<int> exportColumns(const DataQuery& query) {
    QList<int> columns(query.FieldCount());
    for (int c = 0; c < columns.size(); ++c)
        columns[c] = c;
    std::stable_sort(columns.begin(), columns.end(),
                     [&](int a, int b) { return query.DisplayIndexOf(a) < query.DisplayIndexOf(b); });
    return columns;
}

/// The cells of the export, without moving the current record.
void writeResult(SpreadsheetSink& sink, const DataQuery& query) {
    if (!query.IsOpen())
        return;
    const QStringList names = query.FieldNames();
    const QList<int> shown = exportColumns(query);
    const int rows = query.RowCount();
    std::vector<bool> dateColumn, numberColumn;
    for (int i = 0; i < shown.size(); ++i) {
        sink.writeText(1, i + 1, names.value(shown[i]));
        dateColumn.push_back(query.IsDateColumn(shown[i]));
        numberColumn.push_back(query.IsNumericColumn(shown[i]));
    }
    // Row by row, as the workbook is written: the cells need no sorting before they are saved.
    for (int k = 1; k <= rows; ++k)
        for (int i = 0; i < shown.size(); ++i)
            writeValue(sink, k + 1, i + 1, query.ValueAt(k, shown[i]), dateColumn[size_t(i)], numberColumn[size_t(i)]);
}

void moveToEnd(DataQuery& query) {
    const int rows = query.RowCount();
    if (rows == 0)
        return;
    query.MoveToRow(rows);
    query.MoveNext();
}

} // namespace

void ExportQueryToSpreadsheet(SpreadsheetSink& sink, DataQuery& query) {
    writeResult(sink, query);
    moveToEnd(query);
}

void SendQueryToSpreadsheet(QWidget* parent, DataQuery& query) {
    XlsxSink workbook;
    writeResult(workbook, query);
    if (ShowInSpreadsheet(parent, workbook, QStringLiteral("清单")))
        moveToEnd(query);
}

} // namespace kvt
