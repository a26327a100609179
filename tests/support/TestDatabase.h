#pragma once
// Where a test's database lives. A suite runs on a file in its own folder, or, when ctest runs it a
// second time under pg_virtualenv (KVT_TEST_SERVER set), on that throw-away PostgreSQL server:
// there each file path stands for a schema of its own, so cases stay apart as their files do.
// The server's address, user and password come from the environment pg_virtualenv sets.

#include <QCryptographicHash>
#include <QString>
#include <QtTest>

#include "store/Database.h"
#include "store/Engine.h"

#include <memory>

namespace kvt::test {

inline bool OnServer()
{
    return qEnvironmentVariableIsSet("KVT_TEST_SERVER");
}

/// Name of the schema a file path stands for on the server.
inline QString SchemaFor(const QString& filePath)
{
    return QStringLiteral("t_") +
           QString::fromLatin1(QCryptographicHash::hash(filePath.toUtf8(), QCryptographicHash::Md5).toHex().left(16));
}

/// The connection string of a schema on the test server.
inline QString ServerConnection(const QString& schema)
{
    return QStringLiteral("options='-c search_path=%1'").arg(schema);
}

/// A second connection to a test database, outside the program's open one, through the program's
/// own engine: runs SQL as written (one statement).
class OtherConnection {
public:
    explicit OtherConnection(const QString& connection) : m_engine(engine::OpenForReading(connection)) {}

    /// Runs SQL; "" when it succeeded, else the store's message.
    QString exec(const QString& sql)
    {
        m_last.clear();
        try {
            engine::Statement st(*m_engine, sql);
            if (st.step())
                m_last = st.value(0).toString();
        } catch (const StoreError& e) {
            return e.message();
        }
        return QString();
    }
    /// First value of the last result ("" when none).
    QString lastValue() const { return m_last; }

private:
    std::unique_ptr<engine::Engine> m_engine;
    QString m_last;
};

/// The database a test's file path stands for: the path itself, or its schema on the server.
inline QString DatabaseFor(const QString& filePath)
{
    return OnServer() ? ServerConnection(SchemaFor(filePath)) : filePath;
}

/// The same, empty: on the server the schema is dropped and made again.
inline QString FreshDatabaseFor(const QString& filePath)
{
    if (!OnServer())
        return filePath;
    const QString schema = SchemaFor(filePath);
    try {
        const auto admin = engine::OpenForReading(QStringLiteral("application_name=kvt_test"));
        admin->execRaw(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE; CREATE SCHEMA %1").arg(schema), false);
    } catch (const StoreError& e) {
        qFatal("test server: %s", e.what());
    }
    return ServerConnection(schema);
}

/// A trigger of the open database that refuses every change of one kind to a table with a message,
/// as a maintainer's rule would: event is "before insert", "before update" or "before delete".
inline void CreateRefusingTrigger(const QString& name, const QString& event, const QString& table,
                                  const QString& message)
{
    if (!OnServer()) {
        Database::Exec(QStringLiteral("create trigger %1 %2 on %3 begin select raise(abort, %4); end")
                           .arg(name, event, table, SqlText(message)));
        return;
    }
    Database::Exec(QStringLiteral("create function %1() returns trigger language plpgsql as "
                                  "$$begin raise exception %2; end$$")
                       .arg(name, SqlText(message)));
    Database::Exec(QStringLiteral("create trigger %1 %2 on %3 for each row execute function %1()").arg(name, event, table));
}

inline void DropTrigger(const QString& name, const QString& table)
{
    if (!OnServer()) {
        Database::Exec(QStringLiteral("drop trigger %1").arg(name));
        return;
    }
    Database::Exec(QStringLiteral("drop trigger %1 on %2").arg(name, table));
    Database::Exec(QStringLiteral("drop function %1()").arg(name));
}

} // namespace kvt::test
