// See DatabaseSource.h. Reads through an engine of its own, never the open database's.
#include "transfer/DatabaseSource.h"
#include "store/SqlDialect.h"

#include "store/Engine.h"
#include "transfer/Copy.h"

namespace kvt {
namespace {

/// A column's kind from the type its table declares, as the engines name them.
ColumnKind kindOf(const QString& declType)
{
    const QString t = declType.toUpper();
    if (t.contains(QLatin1String("INT")))
        return ColumnKind::Integer;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) || t.contains(QLatin1String("DOUB")))
        return ColumnKind::Real;
    if (t.contains(QLatin1String("NUM")))
        return ColumnKind::Exact;
    if (t.contains(QLatin1String("DATE")))
        return ColumnKind::Date;
    return ColumnKind::Text;
}

} // namespace

DatabaseSource::DatabaseSource(const QString& location)
    : m_location(location), m_engine(engine::OpenForReading(location))
{
    // One state of every table: a bill saved meanwhile is read whole or not at all.
    m_engine->beginSnapshot();
    m_tables = m_engine->tableNames();
}

DatabaseSource::~DatabaseSource() = default;

QString DatabaseSource::describe() const
{
    return DescribeLocation(m_location);
}

QStringList DatabaseSource::tables() const
{
    return m_tables;
}

std::vector<SourceColumn> DatabaseSource::columns(const QString& table)
{
    std::vector<SourceColumn> cols;
    for (const engine::ColumnInfo& c : m_engine->tableColumns(table))
        cols.push_back({c.name, kindOf(c.declType), c.declType});
    if (cols.empty())
        throw StoreError(QStringLiteral("源数据库（%1）里没有“%2”表。").arg(describe(), table));
    return cols;
}

qint64 DatabaseSource::rowCount(const QString& table)
{
    engine::Statement st(*m_engine, QStringLiteral("SELECT count(*) FROM %1").arg(QuotedName(table)));
    return st.step() ? st.value(0).toLongLong() : 0;
}

void DatabaseSource::readRows(const QString& table, const std::function<bool(const SourceRow&)>& row)
{
    QStringList names;
    QString order;
    for (const engine::ColumnInfo& c : m_engine->tableColumns(table)) {
        names << QuotedName(c.name);
        if (c.primaryKey && order.isEmpty())
            order = QStringLiteral(" ORDER BY ") + QuotedName(c.name) +
                    (m_engine->isServer() && kindOf(c.declType) == ColumnKind::Text ? QStringLiteral(" COLLATE \"C\"")
                                                                                    : QString());
    }
    if (names.isEmpty())
        throw StoreError(QStringLiteral("源数据库（%1）里没有“%2”表。").arg(describe(), table));
    m_engine->readRows(QStringLiteral("SELECT %1 FROM %2%3").arg(names.join(QLatin1Char(',')), QuotedName(table), order),
                       row);
}

qint64 DatabaseSource::numberingPosition(const QString& table, const QString& key)
{
    return m_engine->numberingPosition(table, key);
}

} // namespace kvt
