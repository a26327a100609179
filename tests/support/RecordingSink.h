#pragma once
// A spreadsheet sink for tests: keeps every cell with its type, and the order of the writes.

#include "controls/SpreadsheetSink.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QList>
#include <QMap>
#include <QPair>
#include <QProcess>
#include <QVariant>

#include <climits>

namespace kvt::test {

class RecordingSink final : public SpreadsheetSink {
public:
    enum class Kind { Text, Number, Date, Empty };
    struct Cell {
        Kind kind = Kind::Empty;
        QVariant value; ///< QString, double or QDate; invalid for Empty
    };
    using Address = QPair<int, int>; ///< (row, column), from 1

    void writeText(int row, int column, const QString& text) override { put(row, column, Kind::Text, text); }
    void writeNumber(int row, int column, double value) override { put(row, column, Kind::Number, value); }
    void writeDate(int row, int column, const QDate& date) override { put(row, column, Kind::Date, date); }
    void writeEmpty(int row, int column) override { put(row, column, Kind::Empty, QVariant()); }

    /// Cells by address, the last write of each.
    QMap<Address, Cell> cells;
    /// Every write in order, as "D1" style addresses.
    QStringList order;

    bool has(const QString& address) const { return cells.contains(parse(address)); }
    Cell at(const QString& address) const { return cells.value(parse(address)); }
    /// The text of a text cell; "<kind>" for a cell of another type, "<none>" when never written.
    QString text(const QString& address) const {
        if (!has(address))
            return QStringLiteral("<none>");
        const Cell c = at(address);
        return c.kind == Kind::Text ? c.value.toString() : QStringLiteral("<%1>").arg(kindName(c.kind));
    }

    /// Smallest rectangle holding every cell, as "A5:L15"; "" when nothing was written.
    QString range() const {
        if (cells.isEmpty())
            return QString();
        int top = INT_MAX, left = INT_MAX, bottom = 0, right = 0;
        for (auto it = cells.cbegin(); it != cells.cend(); ++it) {
            top = qMin(top, it.key().first);
            bottom = qMax(bottom, it.key().first);
            left = qMin(left, it.key().second);
            right = qMax(right, it.key().second);
        }
        return name(top, left) + QLatin1Char(':') + name(bottom, right);
    }

    static QString kindName(Kind kind) {
        switch (kind) {
        case Kind::Text:
            return QStringLiteral("text");
        case Kind::Number:
            return QStringLiteral("number");
        case Kind::Date:
            return QStringLiteral("date");
        case Kind::Empty:
            return QStringLiteral("empty");
        }
        return QString();
    }

    /// "D1" for (1, 4).
    static QString name(int row, int column) {
        QString letters;
        for (int c = column; c > 0; c = (c - 1) / 26)
            letters.prepend(QChar('A' + (c - 1) % 26));
        return letters + QString::number(row);
    }
    static Address parse(const QString& address) {
        int column = 0, i = 0;
        while (i < address.size() && address[i].isLetter())
            column = column * 26 + (address[i++].toUpper().unicode() - 'A' + 1);
        return {address.mid(i).toInt(), column};
    }

private:
    void put(int row, int column, Kind kind, const QVariant& value) {
        cells[{row, column}] = Cell{kind, value};
        order << name(row, column);
    }
};

/// Reads the first worksheet of an xlsx file with an independent reader (openpyxl) into a
/// recording sink: strings as text, numbers as numbers, cells holding a date as dates (only when
/// their number format is yyyy-mm-dd; another date format is reported as text "<format>"), a
/// formula as the text "<formula>" and the formula, so a text such as "=1+2" is told from one.
/// On failure the sink is empty and error says why.
inline RecordingSink ReadWorkbook(const QString& path, QString* error) {
    static const char* script = R"(
import json, sys, datetime, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]
out = []
for row in ws.iter_rows():
    for c in row:
        v = c.value
        if v is None:
            continue
        if c.data_type == "f":
            out.append([c.row, c.column, "text", "<formula>" + str(v), c.number_format])
        elif isinstance(v, datetime.datetime):
            out.append([c.row, c.column, "date", v.date().isoformat(), c.number_format])
        elif isinstance(v, (int, float)) and not isinstance(v, bool):
            out.append([c.row, c.column, "number", v, c.number_format])
        else:
            out.append([c.row, c.column, "text", str(v), c.number_format])
print(json.dumps(out))
)";
    RecordingSink sink;
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(script), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        *error = QString::fromUtf8(python.readAllStandardError()) + python.errorString();
        return sink;
    }
    const QJsonArray cells = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    for (const auto& item : cells) {
        const QJsonArray c = item.toArray();
        const int row = c[0].toInt(), column = c[1].toInt();
        const QString kind = c[2].toString();
        if (kind == QLatin1String("date")) {
            if (c[4].toString() == QLatin1String("yyyy-mm-dd"))
                sink.writeDate(row, column, QDate::fromString(c[3].toString(), Qt::ISODate));
            else
                sink.writeText(row, column, QLatin1Char('<') + c[4].toString() + QLatin1Char('>'));
        } else if (kind == QLatin1String("number")) {
            sink.writeNumber(row, column, c[3].toDouble());
        } else {
            sink.writeText(row, column, c[3].toString());
        }
    }
    error->clear();
    return sink;
}

} // namespace kvt::test
