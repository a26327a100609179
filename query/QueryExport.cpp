#include "query/QueryExport.h"

#include "controls/SpreadsheetSink.h"
#include "store/DataQuery.h"

#include <QDateTime>
#include <QMetaType>

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

/// A date held as text in a date column: "yyyy-mm-dd", possibly with a time of day.
QDate dateFromText(const QString& text) {
    const QString day = text.trimmed().left(10);
    return QDate::fromString(day, QStringLiteral("yyyy-MM-dd"));
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

/// The cells of the export, without moving the current record: the columns the grid shows, in
/// the order it shows them.
void writeResult(SpreadsheetSink& sink, const DataQuery& query) {
    if (!query.IsOpen())
        return;
    const QStringList names = query.FieldNames();
    const QList<int> shown = query.DisplayColumns();
    const int rows = query.RowCount();
    for (int i = 0; i < shown.size(); ++i) {
        const int field = shown[i];
        sink.writeText(1, i + 1, names.value(field));
        const bool dateColumn = query.IsDateColumn(field);
        const bool numberColumn = query.IsNumericColumn(field);
        for (int k = 1; k <= rows; ++k)
            writeValue(sink, k + 1, i + 1, query.ValueAt(k, field), dateColumn, numberColumn);
    }
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
