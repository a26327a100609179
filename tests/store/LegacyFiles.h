#pragma once
// The old program's database files kept as test data (tests/store/legacy), each with a JSON record
// of every row as it was written, and helpers to compare values read with that record.

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

namespace kvt::test {

inline QString LegacyFile(const QString& name)
{
    return qEnvironmentVariable("KVT_SOURCE_DIR") + QStringLiteral("/tests/store/legacy/") + name;
}

/// The JSON record beside a test file ("quirks.mdb" -> quirks.json).
inline QJsonObject LegacyRecord(const QString& file)
{
    QFile f(LegacyFile(file.section(QLatin1Char('.'), 0, 0) + QStringLiteral(".json")));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test record for %s", qPrintable(file));
    return QJsonDocument::fromJson(f.readAll()).object();
}

/// A value as a comparable text: "NULL", numbers in their shortest form, dates as
/// yyyy-MM-ddTHH:mm[:ss] (seconds only when there are any), texts as they are after "t:".
inline QString Canonical(const QVariant& v)
{
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
inline QString Canonical(const QJsonValue& v, const QString& jetType)
{
    if (v.isNull())
        return QStringLiteral("NULL");
    if (v.isDouble())
        return QStringLiteral("n:") + QString::number(v.toDouble(), 'g', 17);
    if (jetType == QLatin1String("SHORT_DATE_TIME"))
        return QStringLiteral("d:") + v.toString();
    return QStringLiteral("t:") + v.toString();
}

} // namespace kvt::test
