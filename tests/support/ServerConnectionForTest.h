#pragma once
// A second connection to the test server through libpq itself, outside the program: for the store's
// own tests, which check what the program's connections leave on the server.

#include <QString>
#include <QtTest>

#include <libpq-fe.h>

namespace kvt::test {

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

} // namespace kvt::test
