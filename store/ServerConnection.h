#pragma once
// The server engine's parts that its two files share: the engine (ServerEngine.cpp: the connection,
// its errors, transaction control and the schema) and its statements (ServerStatements.cpp: running
// them, alone or with the control waiting, and reading their rows). Private to those two files.

#include "store/ServerEngine.h"

#include "transfer/RowSource.h"
#include "store/SqlDialect.h"
#include "store/StoreError.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <libpq-fe.h>

#include <functional>
#include <memory>
#include <vector>

namespace kvt::engine::pg {

// The lock two workstations setting up an empty database take ("kvt1", as a file's application id).
constexpr int kApplicationId = 0x6B767431;

// Type OIDs of the built-in types the program reads as numbers and dates.
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700, kFloat8 = 701,
              kNumeric = 1700, kDate = 1082;

constexpr int kMostPrepared = 400;

/// A table's name and its columns' names by number, by the table's OID.
struct TableNames {
    QString name;
    QHash<int, QString> columns;
};

/// Transaction control not sent yet, oldest first. BEGIN, SAVEPOINT and RELEASE wait for the next
/// statement and go to the server with it, in the same round trip: a save's nested applies then
/// cost no round trips of their own, and a scope that sent nothing costs nothing.
struct Control {
    enum Kind { Begin, Savepoint, Release } kind;
    int depth; // the scope's
    QByteArray sql() const
    {
        switch (kind) {
        case Begin:
            return QByteArrayLiteral("BEGIN");
        case Savepoint:
            return "SAVEPOINT kvt_sp" + QByteArray::number(depth);
        case Release:
            break;
        }
        return "RELEASE kvt_sp" + QByteArray::number(depth);
    }
};



struct ServerStatement;


class ServerEngine final : public Engine {
public:
    explicit ServerEngine(int lockTimeout) : m_lockTimeout(lockTimeout) {}
    ~ServerEngine() override { close(); }

    /// Connects with a libpq connection string or URI. Throws StoreError saying why not, with the
    /// server's text and the connection without its password.
    void connect(const QString& connection);
    /// Checks the server's database is ours, setting it up when it holds no tables at all.
    void setUpDatabase();

    bool isServer() const override { return true; }
    QString describe() const override;
    QString translate(const QString& statement) const override { return TranslateToPostgres(statement); }
    // IS NOT DISTINCT FROM, which no index serves: a key, never NULL on a server, is matched with =.
    QString nullSafeEqualsParameter() const override { return QStringLiteral(" IS NOT DISTINCT FROM ?"); }
    QString keyEqualsParameter() const override { return QStringLiteral(" = ?"); }
    QString typeOf(ColumnKind kind) const override;
    std::unique_ptr<EngineStatement> prepare(const QString& engineSql) override;
    /// Runs the text with the transaction control that waits before it, in one round trip.
    void execRaw(const QString& sql, bool writing) override;
    void readRows(const QString& engineSql, const std::function<bool(const std::vector<QVariant>&)>& row) override;
    int changes() override { return m_changes; }
    qint64 totalChanges() override { return m_totalChanges; }
    std::vector<ColumnInfo> tableColumns(const QString& table) override;
    QStringList tableNames() override;
    qint64 numberingPosition(const QString& table, const QString& key) override;
    void setNumberingPosition(const QString& table, const QString& key, qint64 position) override;
    bool numbered(const QString& table, const QString& key) override { return !sequenceOf(table, key).isEmpty(); }
    void setBusyTimeout(int milliseconds) override;
    // BEGIN, SAVEPOINT and RELEASE wait for the scope's first statement and go with it; a scope that
    // sent nothing needs nothing sent.
    void openScope(int depth) override;
    void commitScope(int depth) override;
    /// Rolls back what the scope sent; after a dropped connection there is nothing to roll back.
    void rollBackScope(int depth) override;
    void beginSnapshot() override;
    void close() override;
    QString filePath() const override { return QString(); }
    QString backupInto(const QString&) override { return QStringLiteral("数据库在服务器上，不是数据库文件"); }

    // What the statements use.
    /// False once the connection has dropped (it is opened again by the next statement).
    bool healthy() const { return m_conn && PQstatus(m_conn) == CONNECTION_OK; }
    StoreError failure(const PGresult* res, bool writing) const;
    PGconn* connection(bool writing);
    void countChanges(const PGresult* res);
    const TableNames* tableNames(Oid table);
    void run(ServerStatement& s);
    PGresult* ranResult(ServerStatement& st);
    int columnCount(ServerStatement& st);

private:
    bool beginWaiting() const;
    bool startsAgain(bool controlWasBegin) const;
    QByteArray takeControlText();
    bool endsUnsent(int depth);
    void setUpSession();
    void forgetConnectionState();
    PGresult* catalogue(const char* sql, std::initializer_list<QByteArray> params);
    PGresult* withControl(PGconn* conn, const ServerStatement& s, const char* prepareAs, const char* name,
                          const char* const* values);
    /// The name of the sequence behind a numbered column ("" when it has none).
    QString sequenceOf(const QString& table, const QString& key);

    PGconn* m_conn = nullptr;
    int m_lockTimeout;
    int m_changes = 0;
    qint64 m_totalChanges = 0;
    /// Statements prepared on the connection, by their text.
    QHash<QByteArray, QByteArray> m_prepared;
    int m_preparedNames = 0;
    QHash<Oid, TableNames> m_tables;
    QHash<QString, std::vector<ColumnInfo>> m_tableColumns;
    /// Transaction control not sent yet, oldest first.
    std::vector<Control> m_controls;
    int m_cursors = 0;
};


struct ServerStatement final : EngineStatement {
    explicit ServerStatement(ServerEngine& engine) : e(engine) {}
    ServerEngine& e;
    QByteArray sql; // with $n parameters
    int parameters = 0;
    std::vector<QByteArray> values;
    std::vector<char> nulls;
    PGresult* res = nullptr;
    int row = -1;
    bool ran = false;
    bool reads = true;
    /// Prepared as the unnamed statement to learn its columns before it runs.
    bool described = false;
    int describedColumns = 0;

    ~ServerStatement() override { PQclear(res); }

    void bind(int index, const QVariant& value) override;
    bool step() override
    {
        PGresult* r = e.ranResult(*this);
        ++row;
        return row < PQntuples(r);
    }
    void reset() override
    {
        described = false;
        PQclear(res);
        res = nullptr;
        ran = false;
        row = -1;
        std::fill(nulls.begin(), nulls.end(), 1);
    }
    int columnCount() override { return e.columnCount(*this); }
    QString columnName(int c) override { return QString::fromUtf8(PQfname(e.ranResult(*this), c)); }
    QString columnTable(int c) override
    {
        const TableNames* t = e.tableNames(PQftable(e.ranResult(*this), c));
        return t ? t->name : QString();
    }
    QString columnOrigin(int c) override
    {
        PGresult* r = e.ranResult(*this);
        const TableNames* t = e.tableNames(PQftable(r, c));
        return t ? t->columns.value(PQftablecol(r, c)) : QString();
    }
    QString columnDeclType(int c) override;
    QVariant value(int c) const override;
    void readAll(CellTable& cells, std::vector<quint8>& samples) override;
};

} // namespace kvt::engine::pg
