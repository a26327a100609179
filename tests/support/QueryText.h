#pragma once
// What a statement reads on the program's open database, as texts a test compares: the first value,
// or every row as its cells joined by "|" (the texts DataQuery gives, as the grids show them).

#include "store/DataQuery.h"

#include <QLatin1Char>
#include <QString>
#include <QStringList>

namespace kvt::test {

/// The rows of an open query, each as "cell|cell|…".
inline QStringList RowTexts(const DataQuery& q) {
    QStringList out;
    for (int r = 1; r <= q.RowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < q.FieldCount(); ++c)
            cells << q.TextAt(r, c);
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

/// The rows a statement reads, each as "cell|cell|…".
inline QStringList Rows(const QString& sql) {
    DataQuery q;
    q.SetSql(sql);
    q.Open();
    return RowTexts(q);
}

/// The first value a statement reads, as text; "" when it reads no row.
inline QString Scalar(const QString& sql) {
    DataQuery q;
    q.SetSql(sql);
    q.Open();
    return q.RowCount() == 0 ? QString() : q.FieldAt(0).asString();
}

} // namespace kvt::test
