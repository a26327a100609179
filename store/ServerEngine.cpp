#include "store/ServerEngine.h"

#include "store/StoreError.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace kvt::engine {
namespace {

PGconn* g_conn = nullptr;
int g_lockTimeout = 10000;
int g_changes = 0;
qint64 g_totalChanges = 0;

// Type OIDs of the built-in types the program reads as numbers and dates.
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700, kFloat8 = 701,
              kNumeric = 1700, kDate = 1082;

/// Statements prepared on the connection, by their text.
QHash<QByteArray, QByteArray> g_prepared;
int g_preparedNames = 0;
constexpr int kMostPrepared = 400;

/// A table's name and its columns' names by number, by the table's OID.
struct TableNames {
    QString name;
    QHash<int, QString> columns;
};
QHash<Oid, TableNames> g_tables;
QHash<QString, std::vector<ColumnInfo>> g_tableColumns;

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
std::vector<Control> g_controls;

/// True while the open transaction has not reached the server: nothing of it was sent yet.
bool beginWaiting()
{
    return !g_controls.empty() && g_controls.front().kind == Control::Begin;
}

/// True when the transaction control waiting is to start the transaction and the connection turned
/// out to have dropped meanwhile (the server restarted, the network went away): the server kept
/// nothing of the transaction, so it may start again on a new connection.
bool startsAgain(bool controlWasBegin)
{
    return controlWasBegin && PQstatus(g_conn) == CONNECTION_BAD;
}

/// The waiting control as the text to put before a statement: "BEGIN; SAVEPOINT kvt_sp1; ". Taken
/// once it is sent, whatever the server then makes of it.
QByteArray takeControlText()
{
    QByteArray text;
    for (const Control& c : g_controls)
        text += c.sql() + "; ";
    g_controls.clear();
    return text;
}

/// Takes the scope at depth out of the waiting control. True when nothing of it reached the server
/// (its BEGIN or SAVEPOINT still waited): nothing need be sent to end it. Otherwise the RELEASEs
/// waiting for the scopes inside it go as well, ended with it.
bool endsUnsent(int depth)
{
    const Control::Kind opening = depth == 0 ? Control::Begin : Control::Savepoint;
    const auto opened = std::find_if(g_controls.begin(), g_controls.end(),
                                     [&](const Control& c) { return c.kind == opening && c.depth == depth; });
    if (opened != g_controls.end()) {
        g_controls.erase(opened, g_controls.end());
        return true;
    }
    std::erase_if(g_controls, [depth](const Control& c) { return c.depth > depth; });
    return false;
}

void ignoreNotice(void*, const char*) {}

QString serverText(const char* s)
{
    return QString::fromUtf8(s).trimmed();
}

/// A sentence of what happened; "，本次修改没有保存。" when writing.
QString sentence(const QString& what, bool writing)
{
    return writing ? what + QStringLiteral("，本次修改没有保存。") : what + QStringLiteral("。");
}

StoreError connectionLost(const QString& text, bool writing)
{
    return StoreError(sentence(QStringLiteral("与数据库服务器的连接已断开"), writing) +
                          QStringLiteral("(%1)").arg(text),
                      StoreError::Kind::Io);
}

/// The error for a failed result: what happened, in the store's kinds, the server's text in brackets.
StoreError failure(const PGresult* res, bool writing)
{
    using Kind = StoreError::Kind;
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    QString text = serverText(res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr);
    if (text.isEmpty())
        text = serverText(PQerrorMessage(g_conn));
    if (!state || PQstatus(g_conn) == CONNECTION_BAD)
        return connectionLost(text, writing);
    const QString code = QString::fromLatin1(state);
    // A statement the server could not make sense of changed nothing, as one the file's engine
    // could not prepare; inside a transaction the whole change is lost with it.
    if (code.startsWith(QLatin1String("42")) && code != QLatin1String("42501"))
        writing = TransactionDepth() > 0;
    const QString tail = QStringLiteral("(%1)").arg(text);
    auto error = [&](const char* what, Kind kind) {
        return StoreError(sentence(QString::fromUtf8(what), writing) + tail, kind);
    };
    if (code == QLatin1String("23505")) {
        // "Key (列)=(值) already exists." names the column.
        QString column;
        const QString detail = serverText(PQresultErrorField(res, PG_DIAG_MESSAGE_DETAIL));
        const int open = int(detail.indexOf(QLatin1Char('(')));
        const int close = int(detail.indexOf(QStringLiteral(")=(")));
        if (open >= 0 && close > open)
            column = detail.mid(open + 1, close - open - 1).remove(QLatin1Char('"'));
        return StoreError(sentence(QStringLiteral("字段“%1”的值已被另一条记录使用").arg(column), writing) + tail,
                          Kind::Constraint);
    }
    if (code == QLatin1String("23502"))
        return StoreError(sentence(QStringLiteral("字段“%1”不能为空")
                                       .arg(serverText(PQresultErrorField(res, PG_DIAG_COLUMN_NAME))),
                                   writing) +
                              tail,
                          Kind::Constraint);
    if (code.startsWith(QLatin1String("23")) || code == QLatin1String("P0001") || code == QLatin1String("27000"))
        return error("数据库拒绝了这次修改", Kind::Constraint);
    if (code == QLatin1String("55P03") || code == QLatin1String("40P01") || code == QLatin1String("57014"))
        return error("数据库正被其他程序使用", Kind::Busy);
    if (code == QLatin1String("40001"))
        return StoreError(QStringLiteral("数据已被其他用户修改，本次修改没有保存。") + tail, Kind::Conflict);
    if (code == QLatin1String("53100"))
        return error("数据库服务器的磁盘空间已满", Kind::DiskFull);
    if (code == QLatin1String("25006") || code == QLatin1String("42501"))
        return error("没有修改数据库的权限", Kind::ReadOnly);
    if (code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P")))
        return connectionLost(text, writing);
    if (code.startsWith(QLatin1String("XX00")))
        return error("数据库服务器上的数据已损坏", Kind::Corrupt);
    if (code.startsWith(QLatin1String("58")))
        return error("数据库服务器读写文件时出错", Kind::Io);
    if (code.startsWith(QLatin1String("53")))
        return error("数据库服务器的资源不足", Kind::Io);
    return error("SQL语句不能执行", Kind::Other);
}

/// Session settings every connection gets: the literals, dates and numbers the program reads.
void setUpSession()
{
    PQsetNoticeProcessor(g_conn, ignoreNotice, nullptr);
    PQsetClientEncoding(g_conn, "UTF8");
    const QByteArray set = QByteArrayLiteral("SET standard_conforming_strings=on; SET DateStyle='ISO, YMD'; "
                                             "SET extra_float_digits=1; SET lock_timeout=") +
                           QByteArray::number(g_lockTimeout) + QByteArrayLiteral("; SET application_name='kvt'");
    PGresult* res = PQexec(g_conn, set.constData());
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
    const StoreError err = failure(res, false);
    PQclear(res);
    if (!ok)
        throw err;
}

void forgetConnectionState()
{
    g_prepared.clear();
    g_tables.clear();
    g_tableColumns.clear();
}

/// The connection to run a statement on. Outside a transaction a dropped connection is opened
/// again, and so it is for a transaction that has sent nothing yet; once one has, it is gone with
/// the connection.
PGconn* connection(bool writing)
{
    if (!g_conn)
        throw StoreError(QStringLiteral("数据库没有打开"));
    if (PQstatus(g_conn) == CONNECTION_OK)
        return g_conn;
    if (TransactionDepth() > 0 && !beginWaiting())
        throw connectionLost(serverText(PQerrorMessage(g_conn)), true);
    PQreset(g_conn);
    forgetConnectionState();
    if (PQstatus(g_conn) != CONNECTION_OK)
        throw StoreError(sentence(QStringLiteral("与数据库服务器的连接已断开，重新连接没有成功"), writing) +
                             QStringLiteral("(%1)").arg(serverText(PQerrorMessage(g_conn))),
                         StoreError::Kind::Io);
    setUpSession();
    return g_conn;
}

/// Counts the rows an INSERT, UPDATE, DELETE or MERGE changed; after a change of the tables
/// themselves their names are read afresh.
void countChanges(const PGresult* res)
{
    const char* status = PQcmdStatus(const_cast<PGresult*>(res));
    for (const char* verb : {"ALTER", "DROP", "CREATE"})
        if (std::strncmp(status, verb, std::strlen(verb)) == 0) {
            g_tables.clear();
            g_tableColumns.clear();
        }
    g_changes = 0;
    for (const char* verb : {"INSERT", "UPDATE", "DELETE", "MERGE"})
        if (std::strncmp(status, verb, std::strlen(verb)) == 0) {
            g_changes = std::atoi(PQcmdTuples(const_cast<PGresult*>(res)));
            break;
        }
    g_totalChanges += g_changes;
}

/// True for a statement that only reads (outside a transaction its failure changed nothing).
bool readsOnly(const QByteArray& sql)
{
    const QByteArray head = sql.trimmed().left(8).toLower();
    return head.startsWith("select") || head.startsWith("with") || head.startsWith("values") ||
           head.startsWith("show") || head.startsWith("explain");
}

/// True for a statement that gives rows and only reads: it can run before its columns are known.
bool plainSelect(const QByteArray& sql)
{
    const QByteArray head = sql.trimmed().left(7).toLower();
    return head.startsWith("select") || head.startsWith("values") || head.startsWith("show") ||
           head.startsWith("table");
}

/// `?` outside literals, quoted names and comments becomes $1, $2, ...
QByteArray numberParameters(const QByteArray& sql, int* count)
{
    QByteArray out;
    out.reserve(sql.size() + 64);
    int n = 0;
    const char* const text = sql.constData();
    const qsizetype size = sql.size();
    qsizetype copied = 0; // text before this is in out
    for (qsizetype i = 0; i < size; ++i) {
        const char c = text[i];
        if (c == '\'' || c == '"') {
            const qsizetype end = sql.indexOf(c, i + 1);
            i = end < 0 ? size - 1 : end;
        } else if (c == '-' && i + 1 < size && text[i + 1] == '-') {
            const qsizetype end = sql.indexOf('\n', i);
            i = end < 0 ? size - 1 : end;
        } else if (c == '?') {
            out.append(text + copied, i - copied);
            out += '$' + QByteArray::number(++n);
            copied = i + 1;
        }
    }
    out.append(text + copied, size - copied);
    *count = n;
    return out;
}

QString pgTypeName(Oid type)
{
    switch (type) {
    case kBool:
    case kInt2:
    case kInt4: return QStringLiteral("integer");
    case kInt8: return QStringLiteral("bigint");
    case kOid: return QStringLiteral("integer");
    case kFloat4: return QStringLiteral("real");
    case kFloat8: return QStringLiteral("double precision");
    case kNumeric: return QStringLiteral("numeric");
    case kDate: return QStringLiteral("date");
    default: return QStringLiteral("text");
    }
}

/// Runs a catalogue query with text parameters; throws on failure.
PGresult* catalogue(const char* sql, std::initializer_list<QByteArray> params)
{
    std::vector<const char*> values;
    for (const QByteArray& p : params)
        values.push_back(p.constData());
    PGresult* res = PQexecParams(connection(false), sql, int(values.size()), nullptr, values.data(), nullptr,
                                 nullptr, 0);
    if (PQresultStatus(res) != PGRES_TUPLES_OK) {
        const StoreError err = failure(res, TransactionDepth() > 0);
        PQclear(res);
        throw err;
    }
    return res;
}

const TableNames* tableNames(Oid table)
{
    if (table == InvalidOid)
        return nullptr;
    auto it = g_tables.find(table);
    if (it == g_tables.end()) {
        PGresult* res = catalogue("select c.relname, a.attnum, a.attname from pg_class c join pg_attribute a "
                                  "on a.attrelid=c.oid where c.oid=$1 and a.attnum>0",
                                  {QByteArray::number(table)});
        TableNames names;
        for (int r = 0; r < PQntuples(res); ++r) {
            names.name = QString::fromUtf8(PQgetvalue(res, r, 0));
            names.columns.insert(std::atoi(PQgetvalue(res, r, 1)), QString::fromUtf8(PQgetvalue(res, r, 2)));
        }
        PQclear(res);
        it = g_tables.insert(table, names);
    }
    return &it.value();
}

QString redactedImpl(const QString& connection)
{
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(connection.toUtf8().constData(), &error);
    PQfreemem(error);
    if (!options)
        return QStringLiteral("（连接字符串写得不对）");
    QStringList parts;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val && *o->val && std::strcmp(o->keyword, "password") != 0)
            parts << QStringLiteral("%1=%2").arg(QString::fromUtf8(o->keyword), QString::fromUtf8(o->val));
    PQconninfoFree(options);
    return parts.join(QLatin1Char(' '));
}

QVariant serverValue(const PGresult* res, int row, int c)
{
    if (PQgetisnull(res, row, c))
        return QVariant();
    const char* v = PQgetvalue(res, row, c);
    switch (PQftype(res, c)) {
    case kBool: return QVariant(qint64(v[0] == 't' ? 1 : 0));
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid: return QVariant(qint64(std::strtoll(v, nullptr, 10)));
    case kFloat4:
    case kFloat8:
    case kNumeric: return QVariant(std::strtod(v, nullptr));
    default: return QVariant(QString::fromUtf8(v, PQgetlength(res, row, c)));
    }
}

} // namespace

// ---------------------------------------------------------------- statements on the server

struct ServerStatement {
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

    ~ServerStatement() { PQclear(res); }
};

namespace server {

bool IsOpen()
{
    return g_conn != nullptr;
}

QString Redacted(const QString& connection)
{
    return redactedImpl(connection);
}

void Connect(const QString& connection)
{
    Disconnect();
    char* parseError = nullptr;
    PQconninfoOption* options = PQconninfoParse(connection.toUtf8().constData(), &parseError);
    if (!options) {
        // The parser's text can quote a piece of the string, the password among them.
        PQfreemem(parseError);
        throw StoreError(QStringLiteral("数据库连接字符串写得不对，应为“host=服务器 dbname=数据库 user=用户”"
                                        "或“postgresql://用户@服务器/数据库”。"));
    }
    PQconninfoFree(options);
    const QByteArray utf8 = connection.toUtf8();
    PGconn* conn = PQconnectdb(utf8.constData());
    if (PQstatus(conn) != CONNECTION_OK) {
        const QString text = serverText(PQerrorMessage(conn));
        PQfinish(conn);
        throw StoreError(
            QStringLiteral("无法连接数据库服务器（%1）。(%2)").arg(redactedImpl(connection), text),
            StoreError::Kind::Io);
    }
    g_conn = conn;
    g_changes = 0;
    g_totalChanges = 0;
    forgetConnectionState();
    try {
        setUpSession();
    } catch (...) {
        Disconnect();
        throw;
    }
}

void Disconnect()
{
    g_controls.clear();
    if (g_conn)
        PQfinish(g_conn);
    g_conn = nullptr;
    forgetConnectionState();
}

bool Healthy()
{
    return g_conn && PQstatus(g_conn) == CONNECTION_OK;
}

QString Describe()
{
    if (!g_conn)
        return QString();
    const QString host = QString::fromUtf8(PQhost(g_conn));
    const QString where = host.startsWith(QLatin1Char('/')) ? QStringLiteral("本机") : host;
    return QStringLiteral("服务器 %1:%2 数据库 %3 用户 %4")
        .arg(where, QString::fromUtf8(PQport(g_conn)), QString::fromUtf8(PQdb(g_conn)),
             QString::fromUtf8(PQuser(g_conn)));
}

void SetLockTimeout(int milliseconds)
{
    g_lockTimeout = milliseconds;
    if (g_conn && PQstatus(g_conn) == CONNECTION_OK)
        ExecRaw(QStringLiteral("SET lock_timeout=%1").arg(milliseconds), false);
}

void ExecRaw(const QString& sql, bool writing)
{
    const std::vector<Control> control = g_controls;
    const bool controlIsBegin = beginWaiting();
    PGconn* conn = connection(writing);
    PGresult* res = PQexec(conn, (takeControlText() + sql.toUtf8()).constData());
    if (PQresultStatus(res) == PGRES_FATAL_ERROR && startsAgain(controlIsBegin)) {
        PQclear(res);
        g_controls = control;
        conn = connection(writing);
        res = PQexec(conn, (takeControlText() + sql.toUtf8()).constData());
    }
    const ExecStatusType status = PQresultStatus(res);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const StoreError err = failure(res, writing);
        PQclear(res);
        throw err;
    }
    countChanges(res);
    PQclear(res);
}

void OpenScope(int depth)
{
    if (depth == 0)
        g_controls.clear();
    g_controls.push_back({depth == 0 ? Control::Begin : Control::Savepoint, depth});
}

void CommitScope(int depth)
{
    if (endsUnsent(depth))
        return;
    if (depth > 0) {
        g_controls.push_back({Control::Release, depth});
        return;
    }
    g_controls.clear(); // COMMIT releases every savepoint
    PGconn* conn = connection(true);
    PGresult* res = PQexec(conn, "COMMIT");
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
    const bool rolledBack = ok && std::strcmp(PQcmdStatus(res), "ROLLBACK") == 0;
    const StoreError err = ok ? StoreError(QString()) : failure(res, true);
    PQclear(res);
    if (rolledBack)
        throw StoreError(QStringLiteral("数据库服务器已撤销这次事务，本次修改没有保存。"));
    if (!ok)
        throw err;
}

void RollBackScope(int depth)
{
    if (endsUnsent(depth))
        return;
    // A transaction whose connection dropped is gone with it: nothing to roll back.
    if (!Healthy()) {
        g_controls.clear();
        return;
    }
    ExecRaw(depth == 0 ? QStringLiteral("ROLLBACK")
                       : QStringLiteral("ROLLBACK TO kvt_sp%1; RELEASE kvt_sp%1").arg(depth),
            false);
}

int Changes()
{
    return g_changes;
}

qint64 TotalChanges()
{
    return g_totalChanges;
}

std::vector<ColumnInfo> TableColumns(const QString& table)
{
    auto it = g_tableColumns.find(table);
    if (it != g_tableColumns.end())
        return it.value();
    PGresult* res = catalogue(
        "select a.attname, format_type(a.atttypid, a.atttypmod), "
        "exists (select 1 from pg_index i where i.indrelid=a.attrelid and i.indisprimary and a.attnum=any(i.indkey)) "
        "from pg_attribute a where a.attrelid=to_regclass(quote_ident($1)) and a.attnum>0 and not a.attisdropped "
        "order by a.attnum",
        {table.toUtf8()});
    std::vector<ColumnInfo> cols;
    for (int r = 0; r < PQntuples(res); ++r)
        cols.push_back({QString::fromUtf8(PQgetvalue(res, r, 0)), QString::fromUtf8(PQgetvalue(res, r, 1)),
                        PQgetvalue(res, r, 2)[0] == 't'});
    PQclear(res);
    g_tableColumns.insert(table, cols);
    return cols;
}


ValueKind KindOfType(unsigned oid)
{
    switch (oid) {
    case kBool: return ValueKind::Boolean;
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid: return ValueKind::Integer;
    case kFloat4:
    case kFloat8:
    case kNumeric: return ValueKind::Number;
    case kDate: return ValueKind::Date;
    default: return ValueKind::Text;
    }
}

ServerStatement* Prepare(const QString& sql)
{
    auto* st = new ServerStatement;
    const QByteArray utf8 = sql.toUtf8();
    st->sql = numberParameters(utf8, &st->parameters);
    st->values.resize(size_t(st->parameters));
    st->nulls.assign(size_t(st->parameters), 1);
    st->reads = readsOnly(utf8);
    if (st->sql.trimmed().isEmpty()) {
        delete st;
        throw StoreError(QStringLiteral("SQL语句为空"));
    }
    return st;
}

void Free(ServerStatement* st)
{
    delete st;
}

void Bind(ServerStatement& st, int index, const QVariant& value)
{
    if (index < 1 || index > st.parameters)
        throw StoreError(QStringLiteral("SQL语句没有第%1个参数").arg(index));
    const size_t k = size_t(index - 1);
    if (!value.isValid() || value.isNull()) {
        st.nulls[k] = 1;
        return;
    }
    st.nulls[k] = 0;
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool: st.values[k] = QByteArray::number(value.toLongLong()); break;
    case QMetaType::Double: {
        // The shortest text that reads back as the same double: the server stores it exactly.
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, value.toDouble());
        st.values[k] = QByteArray(buf, int(r.ptr - buf));
        break;
    }
    default: st.values[k] = value.toString().toUtf8();
    }
}

namespace {

/// Sends the waiting transaction control, then a PREPARE the statement needs (prepareAs) and the
/// statement, in one round trip (libpq's pipeline), and gives what the statement should give: its
/// result, or the failure of an earlier part (the server skips the rest), or nullptr when the
/// connection dropped before anything came back.
PGresult* withControl(PGconn* conn, const ServerStatement& s, const char* prepareAs, const char* name,
                      const char* const* values)
{
    const std::vector<Control> controls = std::exchange(g_controls, {});
    if (!PQenterPipelineMode(conn))
        return nullptr;
    int sent = 0;
    bool ok = true;
    for (const Control& c : controls) {
        ok = ok && PQsendQueryParams(conn, c.sql().constData(), 0, nullptr, nullptr, nullptr, nullptr, 0);
        ++sent;
    }
    if (prepareAs) {
        ok = ok && PQsendPrepare(conn, prepareAs, s.sql.constData(), s.parameters, nullptr);
        ++sent;
    }
    ok = ok && (name ? PQsendQueryPrepared(conn, name, s.parameters, values, nullptr, nullptr, 0)
                     : PQsendQueryParams(conn, s.sql.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0));
    ++sent;
    // Only a connection that has dropped refuses what is sent: then no result comes back.
    if (!PQpipelineSync(conn) || !ok) {
        PQexitPipelineMode(conn);
        return nullptr;
    }

    // Each part's result, then a null one; the sync point ends the round trip.
    std::vector<PGresult*> results(size_t(sent), nullptr);
    int part = 0;
    bool lastWasNull = false;
    for (;;) {
        PGresult* r = PQgetResult(conn);
        if (!r) {
            if (lastWasNull || PQstatus(conn) != CONNECTION_OK)
                break;
            lastWasNull = true;
            ++part;
            continue;
        }
        lastWasNull = false;
        if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
            PQclear(r);
            break;
        }
        if (part < sent && !results[size_t(part)])
            results[size_t(part)] = r;
        else
            PQclear(r);
    }
    PQexitPipelineMode(conn);

    // The first part that failed or did not come back, else the statement's own result.
    PGresult* given = nullptr;
    bool found = false;
    for (size_t i = 0; i < results.size(); ++i) {
        const ExecStatusType status = results[i] ? PQresultStatus(results[i]) : PGRES_FATAL_ERROR;
        if (!found && (i + 1 == results.size() || (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK))) {
            given = std::exchange(results[i], nullptr);
            found = true;
        }
        PQclear(results[i]);
    }
    return given;
}

void run(ServerStatement& s)
{
    PQclear(s.res);
    s.res = nullptr;
    const bool writing = !s.reads || TransactionDepth() > 0;
    // Control sent with the statement would take the place of a statement described unnamed: it runs
    // from its text instead.
    if (s.described && !g_controls.empty())
        s.described = false;
    std::vector<const char*> values(size_t(s.parameters), nullptr);
    for (size_t k = 0; k < values.size(); ++k)
        if (!s.nulls[k])
            values[k] = s.values[k].constData();
    const std::vector<Control> control = g_controls;
    const bool controlIsBegin = beginWaiting();
    for (int attempt = 0;; ++attempt) {
        PGconn* conn = connection(writing);
        // Which statement runs: the one described unnamed, one prepared by its text, or the text itself.
        QByteArray name;
        bool prepare = false;
        if (s.described) {
            s.described = false;
            name = "";
        } else if (s.parameters > 0) {
            const auto known = g_prepared.constFind(s.sql);
            if (known != g_prepared.cend()) {
                name = known.value();
            } else {
                if (g_prepared.size() >= kMostPrepared && PQtransactionStatus(conn) != PQTRANS_INERROR) {
                    PQclear(PQexec(conn, "DEALLOCATE ALL"));
                    g_prepared.clear();
                }
                name = "kvt" + QByteArray::number(++g_preparedNames);
                prepare = true;
            }
        }
        const char* runName = name.isNull() ? nullptr : name.constData();
        if (!g_controls.empty()) {
            s.res = withControl(conn, s, prepare ? runName : nullptr, runName, values.data());
        } else {
            if (prepare) {
                PGresult* prep = PQprepare(conn, runName, s.sql.constData(), s.parameters, nullptr);
                if (PQresultStatus(prep) != PGRES_COMMAND_OK) {
                    const StoreError err = failure(prep, writing);
                    PQclear(prep);
                    throw err;
                }
                PQclear(prep);
            }
            s.res = runName ? PQexecPrepared(conn, runName, s.parameters, values.data(), nullptr, nullptr, 0)
                            // One statement only: the server refuses a text holding several.
                            : PQexecParams(conn, s.sql.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0);
        }
        const ExecStatusType status = PQresultStatus(s.res);
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
            if (prepare)
                g_prepared.insert(s.sql, name);
            break;
        }
        // Prepared afresh next time, should a table have changed meanwhile.
        if (s.parameters > 0)
            g_prepared.remove(s.sql);
        if (attempt == 0 && startsAgain(controlIsBegin)) {
            PQclear(s.res);
            s.res = nullptr;
            g_controls = control;
            continue;
        }
        const StoreError err = failure(s.res, writing);
        PQclear(s.res);
        s.res = nullptr;
        throw err;
    }
    countChanges(s.res);
    s.ran = true;
    s.row = -1;
}

PGresult* ranResult(ServerStatement& st)
{
    if (!st.ran)
        run(st);
    return st.res;
}

} // namespace

bool Step(ServerStatement& st)
{
    PGresult* res = ranResult(st);
    ++st.row;
    return st.row < PQntuples(res);
}

void Reset(ServerStatement& st)
{
    st.described = false;
    PQclear(st.res);
    st.res = nullptr;
    st.ran = false;
    st.row = -1;
    std::fill(st.nulls.begin(), st.nulls.end(), 1);
}

int ColumnCount(ServerStatement& st)
{
    if (st.ran || st.parameters > 0 || plainSelect(st.sql))
        return PQnfields(ranResult(st));
    if (st.described)
        return st.describedColumns;
    // A statement that may change something runs only once it is known to give rows: a delete
    // opened as a list is refused without having deleted anything.
    PGconn* conn = connection(!st.reads);
    if (!g_controls.empty())
        ExecRaw(QString(), !st.reads || TransactionDepth() > 0); // before the unnamed statement, not after it
    PGresult* prep = PQprepare(conn, "", st.sql.constData(), 0, nullptr);
    if (PQresultStatus(prep) != PGRES_COMMAND_OK) {
        const StoreError err = failure(prep, !st.reads || TransactionDepth() > 0);
        PQclear(prep);
        throw err;
    }
    PQclear(prep);
    PGresult* desc = PQdescribePrepared(conn, "");
    const bool ok = PQresultStatus(desc) == PGRES_COMMAND_OK;
    st.describedColumns = ok ? PQnfields(desc) : 0;
    const StoreError err = ok ? StoreError(QString()) : failure(desc, false);
    PQclear(desc);
    if (!ok)
        throw err;
    st.described = true;
    return st.describedColumns;
}

QString ColumnName(ServerStatement& st, int c)
{
    return QString::fromUtf8(PQfname(ranResult(st), c));
}

QString ColumnTable(ServerStatement& st, int c)
{
    const TableNames* t = tableNames(PQftable(ranResult(st), c));
    return t ? t->name : QString();
}

QString ColumnOrigin(ServerStatement& st, int c)
{
    PGresult* res = ranResult(st);
    const TableNames* t = tableNames(PQftable(res, c));
    return t ? t->columns.value(PQftablecol(res, c)) : QString();
}

QString ColumnDeclType(ServerStatement& st, int c)
{
    return pgTypeName(PQftype(ranResult(st), c));
}

QVariant Value(const ServerStatement& st, int c)
{
    if (!st.res || st.row < 0 || st.row >= PQntuples(st.res))
        return QVariant();
    return serverValue(st.res, st.row, c);
}

const pg_result* Result(ServerStatement& st)
{
    return ranResult(st);
}

} // namespace server

} // namespace kvt::engine
