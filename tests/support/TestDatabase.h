#pragma once
// Where a test's database lives. A suite runs on a file in its own folder, or, when ctest runs it a
// second time under pg_virtualenv (KVT_TEST_SERVER set), on that throw-away PostgreSQL server:
// there each file path stands for a schema of its own, so cases stay apart as their files do.
// The server's address, user and password come from the environment pg_virtualenv sets.

#include <QCryptographicHash>
#include <QString>
#include <QtTest>

#include <libpq-fe.h>

#include "store/Database.h"

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

/// A second connection to the test server, outside the program: runs SQL as written.
class ServerConnectionForTest {
public:
    explicit ServerConnectionForTest(const QString& connection = QString())
        : m_conn(PQconnectdb(connection.toUtf8().constData()))
    {
        if (PQstatus(m_conn) != CONNECTION_OK)
            qFatal("test server: %s", PQerrorMessage(m_conn));
        PQsetNoticeProcessor(m_conn, [](void*, const char*) {}, nullptr);
    }
    ~ServerConnectionForTest() { PQfinish(m_conn); }
    ServerConnectionForTest(const ServerConnectionForTest&) = delete;
    ServerConnectionForTest& operator=(const ServerConnectionForTest&) = delete;

    /// Runs SQL; "" when it succeeded, else the server's message.
    QString exec(const QString& sql)
    {
        PGresult* res = PQexec(m_conn, sql.toUtf8().constData());
        const ExecStatusType st = PQresultStatus(res);
        const QString error = (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK)
                                  ? QString()
                                  : QString::fromUtf8(PQresultErrorMessage(res)).trimmed();
        m_last.clear();
        if (st == PGRES_TUPLES_OK && PQntuples(res) > 0 && PQnfields(res) > 0)
            m_last = QString::fromUtf8(PQgetvalue(res, 0, 0));
        PQclear(res);
        return error;
    }
    /// First value of the last result ("" when none).
    QString lastValue() const { return m_last; }
    PGconn* handle() const { return m_conn; }

private:
    PGconn* m_conn;
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
    ServerConnectionForTest admin;
    const QString error = admin.exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE; CREATE SCHEMA %1").arg(schema));
    if (!error.isEmpty())
        qFatal("test server: %s", qPrintable(error));
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
