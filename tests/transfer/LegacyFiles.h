#pragma once
// The old program's database files kept as test data (tests/transfer/legacy), each with a JSON record
// of every row as it was written, and helpers to compare values read with that record.

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>
#include <QtTest>

#include <functional>

namespace kvt::test {

inline QString LegacyFile(const QString& name) {
    return qEnvironmentVariable("KVT_SOURCE_DIR") + QStringLiteral("/tests/transfer/legacy/") + name;
}

/// The four test files as the rows of a data table, in a column "file".
inline void AddLegacyFileRows() {
    QTest::addColumn<QString>("file");
    QTest::newRow("2000 layout, the seed's types") << QStringLiteral("workshop.mdb");
    QTest::newRow("2003 layout, odd types, every trace") << QStringLiteral("quirks.mdb");
    QTest::newRow("tables and counter only") << QStringLiteral("empty.mdb");
    QTest::newRow("ACE") << QStringLiteral("accdb.accdb");
}

/// Writes a copy of a test file to path, changed by edit first when one is given.
inline void WriteLegacyCopy(const QString& name, const QString& path, const std::function<void(QByteArray&)>& edit) {
    QFile in(LegacyFile(name));
    if (!in.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", qPrintable(name));
    QByteArray bytes = in.readAll();
    if (edit)
        edit(bytes);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

/// The JSON record beside a test file ("quirks.mdb" -> quirks.json).
inline QJsonObject LegacyRecord(const QString& file) {
    QFile f(LegacyFile(file.section(QLatin1Char('.'), 0, 0) + QStringLiteral(".json")));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test record for %s", qPrintable(file));
    return QJsonDocument::fromJson(f.readAll()).object();
}

/// A value as a comparable text: "NULL", numbers in their shortest form, dates as
/// yyyy-MM-ddTHH:mm[:ss] (seconds only when there are any), texts as they are after "t:".
inline QString Canonical(const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return QStringLiteral("NULL");
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Double:
        return QStringLiteral("n:") + QString::number(v.toDouble(), 'g', 17);
    case QMetaType::QDateTime: {
        const QDateTime t = v.toDateTime();
        return QStringLiteral("d:") + t.toString(t.time().second() ? QStringLiteral("yyyy-MM-ddTHH:mm:ss")
                                                                   : QStringLiteral("yyyy-MM-ddTHH:mm"));
    }
    case QMetaType::QDate:
        return QStringLiteral("d:") + v.toDate().toString(QStringLiteral("yyyy-MM-ddT00:00"));
    default:
        return QStringLiteral("t:") + v.toString();
    }
}

/// A value of the JSON record in the same form; exact numbers of the record are numbers.
inline QString Canonical(const QJsonValue& v, const QString& jetType) {
    if (v.isNull())
        return QStringLiteral("NULL");
    if (v.isDouble())
        return QStringLiteral("n:") + QString::number(v.toDouble(), 'g', 17);
    if (jetType == QLatin1String("SHORT_DATE_TIME"))
        return QStringLiteral("d:") + v.toString();
    return QStringLiteral("t:") + v.toString();
}

} // namespace kvt::test
