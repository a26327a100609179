// What every engine shares: statements over the open database, and the plain reading of rows an
// engine may do better. Calls the engines only through Engine.
#include "store/Engine.h"

#include "store/FileEngine.h"
#include "store/Location.h"
#include "store/ServerEngine.h"

namespace kvt::engine {

void Engine::readRows(const QString& engineSql, const std::function<bool(const std::vector<QVariant>&)>& row)
{
    const std::unique_ptr<EngineStatement> st = prepare(engineSql);
    std::vector<QVariant> values(size_t(st->columnCount()));
    while (st->step()) {
        for (size_t c = 0; c < values.size(); ++c)
            values[c] = st->value(int(c));
        if (!row(values))
            return;
    }
}

void Engine::putNumberingBack(const std::vector<NumberingMark>& marks)
{
    for (const NumberingMark& m : marks) {
        try {
            setNumberingPosition(m.table, m.key, m.position);
        } catch (const StoreError&) {
            // The connection is gone with the rest of the work; only the next key's number would
            // differ, no data.
        }
    }
}

std::unique_ptr<Engine> OpenForReading(const QString& location)
{
    return IsServerConnection(location) ? ConnectServer(location, 10000) : OpenFileForReading(location);
}

QString Translate(const QString& statement)
{
    return Current().translate(statement);
}

QString NullSafeEqualsParameter()
{
    return Current().nullSafeEqualsParameter();
}

QString KeyEqualsParameter()
{
    return Current().keyEqualsParameter();
}

Statement::Statement(const QString& engineSql) : m_st(Current().prepare(engineSql)) {}

Statement::Statement(Engine& engine, const QString& engineSql) : m_st(engine.prepare(engineSql)) {}

void ExecRaw(const QString& engineSql, bool writing)
{
    Current().execRaw(engineSql, writing);
}

int Changes()
{
    return Current().changes();
}

qint64 TotalChanges()
{
    return Current().totalChanges();
}

std::vector<ColumnInfo> TableColumns(const QString& table)
{
    return Current().tableColumns(table);
}

} // namespace kvt::engine
