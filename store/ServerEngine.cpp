// The server engine itself: the connection and its session, the server's errors as the store's,
// transaction control that waits to travel with the next statement, the catalogue (tables,
// columns, numbering) and the schema an empty database is set up with. Its statements are in
// ServerStatements.cpp. It calls libpq and the dialect translation only. The schema's text makes
// it a little longer than the other files of the store.
#include "store/ServerConnection.h"
#include "store/SqlDialect.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kvt::engine {
namespace pg {
namespace {


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


} // namespace

/// True while the open transaction has not reached the server: nothing of it was sent yet.
bool ServerEngine::beginWaiting() const
{
    return !m_controls.empty() && m_controls.front().kind == Control::Begin;
}

/// True when the transaction control waiting is to start the transaction and the connection turned
/// out to have dropped meanwhile (the server restarted, the network went away): the server kept
/// nothing of the transaction, so it may start again on a new connection.
bool ServerEngine::startsAgain(bool controlWasBegin) const
{
    return controlWasBegin && PQstatus(m_conn) == CONNECTION_BAD;
}

/// The waiting control as the text to put before a statement: "BEGIN; SAVEPOINT kvt_sp1; ". Taken
/// once it is sent, whatever the server then makes of it.
QByteArray ServerEngine::takeControlText()
{
    QByteArray text;
    for (const Control& c : m_controls)
        text += c.sql() + "; ";
    m_controls.clear();
    return text;
}

/// Takes the scope at depth out of the waiting control. True when nothing of it reached the server
/// (its BEGIN or SAVEPOINT still waited): nothing need be sent to end it. Otherwise the RELEASEs
/// waiting for the scopes inside it go as well, ended with it.
bool ServerEngine::endsUnsent(int depth)
{
    const Control::Kind opening = depth == 0 ? Control::Begin : Control::Savepoint;
    const auto opened = std::find_if(m_controls.begin(), m_controls.end(),
                                     [&](const Control& c) { return c.kind == opening && c.depth == depth; });
    if (opened != m_controls.end()) {
        m_controls.erase(opened, m_controls.end());
        return true;
    }
    std::erase_if(m_controls, [depth](const Control& c) { return c.depth > depth; });
    return false;
}

void ignoreNotice(void*, const char*) {}

/// The error for a failed result: what happened, in the store's kinds, the server's text in brackets.
StoreError ServerEngine::failure(const PGresult* res, bool writing) const
{
    using Kind = StoreError::Kind;
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    QString text = serverText(res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr);
    if (text.isEmpty())
        text = serverText(PQerrorMessage(m_conn));
    if (!state || PQstatus(m_conn) == CONNECTION_BAD)
        return connectionLost(text, writing);
    const QString code = QString::fromLatin1(state);
    // A statement the server could not make sense of changed nothing, as one the file's engine
    // could not prepare; inside a transaction the whole change is lost with it.
    if (code.startsWith(QLatin1String("42")) && code != QLatin1String("42501"))
        writing = m_depth > 0;
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
void ServerEngine::setUpSession()
{
    PQsetNoticeProcessor(m_conn, ignoreNotice, nullptr);
    PQsetClientEncoding(m_conn, "UTF8");
    const QByteArray set = QByteArrayLiteral("SET standard_conforming_strings=on; SET DateStyle='ISO, YMD'; "
                                             "SET extra_float_digits=1; SET lock_timeout=") +
                           QByteArray::number(m_lockTimeout) + QByteArrayLiteral("; SET application_name='kvt'");
    PGresult* res = PQexec(m_conn, set.constData());
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
    const StoreError err = failure(res, false);
    PQclear(res);
    if (!ok)
        throw err;
}

void ServerEngine::forgetConnectionState()
{
    m_prepared.clear();
    m_tables.clear();
    m_tableColumns.clear();
}

/// The connection to run a statement on. Outside a transaction a dropped connection is opened
/// again, and so it is for a transaction that has sent nothing yet; once one has, it is gone with
/// the connection.
PGconn* ServerEngine::connection(bool writing)
{
    if (!m_conn)
        throw StoreError(QStringLiteral("数据库没有打开"));
    if (PQstatus(m_conn) == CONNECTION_OK)
        return m_conn;
    if (m_depth > 0 && !beginWaiting())
        throw connectionLost(serverText(PQerrorMessage(m_conn)), true);
    PQreset(m_conn);
    forgetConnectionState();
    if (PQstatus(m_conn) != CONNECTION_OK)
        throw StoreError(sentence(QStringLiteral("与数据库服务器的连接已断开，重新连接没有成功"), writing) +
                             QStringLiteral("(%1)").arg(serverText(PQerrorMessage(m_conn))),
                         StoreError::Kind::Io);
    setUpSession();
    return m_conn;
}

/// Counts the rows an INSERT, UPDATE, DELETE or MERGE changed; after a change of the tables
/// themselves their names are read afresh.
void ServerEngine::countChanges(const PGresult* res)
{
    const char* status = PQcmdStatus(const_cast<PGresult*>(res));
    for (const char* verb : {"ALTER", "DROP", "CREATE"})
        if (std::strncmp(status, verb, std::strlen(verb)) == 0) {
            m_tables.clear();
            m_tableColumns.clear();
        }
    m_changes = 0;
    for (const char* verb : {"INSERT", "UPDATE", "DELETE", "MERGE"})
        if (std::strncmp(status, verb, std::strlen(verb)) == 0) {
            m_changes = std::atoi(PQcmdTuples(const_cast<PGresult*>(res)));
            break;
        }
    m_totalChanges += m_changes;
}


/// Runs a catalogue query with text parameters; throws on failure.
PGresult* ServerEngine::catalogue(const char* sql, std::initializer_list<QByteArray> params)
{
    std::vector<const char*> values;
    for (const QByteArray& p : params)
        values.push_back(p.constData());
    PGresult* res = PQexecParams(connection(false), sql, int(values.size()), nullptr, values.data(), nullptr,
                                 nullptr, 0);
    if (PQresultStatus(res) != PGRES_TUPLES_OK) {
        const StoreError err = failure(res, m_depth > 0);
        PQclear(res);
        throw err;
    }
    return res;
}

const TableNames* ServerEngine::tableNames(Oid table)
{
    if (table == InvalidOid)
        return nullptr;
    auto it = m_tables.find(table);
    if (it == m_tables.end()) {
        PGresult* res = catalogue("select c.relname, a.attnum, a.attname from pg_class c join pg_attribute a "
                                  "on a.attrelid=c.oid where c.oid=$1 and a.attnum>0",
                                  {QByteArray::number(table)});
        TableNames names;
        for (int r = 0; r < PQntuples(res); ++r) {
            names.name = QString::fromUtf8(PQgetvalue(res, r, 0));
            names.columns.insert(std::atoi(PQgetvalue(res, r, 1)), QString::fromUtf8(PQgetvalue(res, r, 2)));
        }
        PQclear(res);
        it = m_tables.insert(table, names);
    }
    return &it.value();
}


void ServerEngine::connect(const QString& connection)
{
    close();
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
    m_conn = conn;
    m_changes = 0;
    m_totalChanges = 0;
    forgetConnectionState();
    try {
        setUpSession();
    } catch (...) {
        close();
        throw;
    }
}

void ServerEngine::close()
{
    m_controls.clear();
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
    m_depth = 0;
    forgetConnectionState();
}

QString ServerEngine::describe() const
{
    if (!m_conn)
        return QString();
    const QString host = QString::fromUtf8(PQhost(m_conn));
    const QString where = host.startsWith(QLatin1Char('/')) ? QStringLiteral("本机") : host;
    return QStringLiteral("服务器 %1:%2 数据库 %3 用户 %4")
        .arg(where, QString::fromUtf8(PQport(m_conn)), QString::fromUtf8(PQdb(m_conn)),
             QString::fromUtf8(PQuser(m_conn)));
}

void ServerEngine::setBusyTimeout(int milliseconds)
{
    m_lockTimeout = milliseconds;
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK)
        execRaw(QStringLiteral("SET lock_timeout=%1").arg(milliseconds), false);
}

void ServerEngine::execRaw(const QString& sql, bool writing)
{
    const std::vector<Control> control = m_controls;
    const bool controlIsBegin = beginWaiting();
    PGconn* conn = connection(writing);
    PGresult* res = PQexec(conn, (takeControlText() + sql.toUtf8()).constData());
    if (PQresultStatus(res) == PGRES_FATAL_ERROR && startsAgain(controlIsBegin)) {
        PQclear(res);
        m_controls = control;
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

void ServerEngine::openScope(int depth)
{
    if (depth == 0)
        m_controls.clear();
    m_controls.push_back({depth == 0 ? Control::Begin : Control::Savepoint, depth});
}

void ServerEngine::commitScope(int depth)
{
    if (endsUnsent(depth))
        return;
    if (depth > 0) {
        m_controls.push_back({Control::Release, depth});
        return;
    }
    m_controls.clear(); // COMMIT releases every savepoint
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

void ServerEngine::rollBackScope(int depth)
{
    if (endsUnsent(depth))
        return;
    // A transaction whose connection dropped is gone with it: nothing to roll back.
    if (!healthy()) {
        m_controls.clear();
        return;
    }
    execRaw(depth == 0 ? QStringLiteral("ROLLBACK")
                       : QStringLiteral("ROLLBACK TO kvt_sp%1; RELEASE kvt_sp%1").arg(depth),
            false);
}

std::vector<ColumnInfo> ServerEngine::tableColumns(const QString& table)
{
    auto it = m_tableColumns.find(table);
    if (it != m_tableColumns.end())
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
    m_tableColumns.insert(table, cols);
    return cols;
}


QStringList ServerEngine::tableNames()
{
    QStringList names;
    Statement st(*this, QStringLiteral("select c.relname from pg_class c join pg_namespace n on n.oid=c.relnamespace "
                                       "where n.nspname=current_schema() and c.relkind in ('r','p','v','m','f')"));
    while (st.step())
        names << st.value(0).toString();
    return names;
}

QString ServerEngine::typeOf(ColumnKind kind) const
{
    switch (kind) {
    case ColumnKind::Integer: return QStringLiteral("bigint");
    case ColumnKind::Real: return QStringLiteral("double precision");
    case ColumnKind::Exact: return QStringLiteral("numeric");
    case ColumnKind::Date: return QStringLiteral("date");
    case ColumnKind::Text: break;
    }
    return QStringLiteral("text COLLATE \"C\"");
}

QString ServerEngine::sequenceOf(const QString& table, const QString& key)
{
    Statement st(*this, QStringLiteral("SELECT pg_get_serial_sequence('%1', '%2')").arg(QuotedName(table), key));
    return st.step() ? st.value(0).toString() : QString();
}

// The identity column's sequence: the next value minus one.
qint64 ServerEngine::numberingPosition(const QString& table, const QString& key)
{
    const QString sequence = sequenceOf(table, key);
    if (sequence.isEmpty())
        return 0;
    Statement st(*this, QStringLiteral("SELECT CASE WHEN is_called THEN last_value ELSE last_value - 1 END FROM %1")
                            .arg(sequence));
    return st.step() ? st.value(0).toLongLong() : 0;
}

void ServerEngine::setNumberingPosition(const QString& table, const QString& key, qint64 position)
{
    Statement st(*this,
                 QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), ?, false)").arg(QuotedName(table), key));
    st.bind(1, QVariant(position + 1));
    st.step();
}

std::vector<NumberingMark> ServerEngine::numberingBeyondRollback(const std::vector<NumberingMark>& tables)
{
    std::vector<NumberingMark> marks;
    for (const NumberingMark& t : tables)
        marks.push_back({t.table, t.key, numberingPosition(t.table, t.key)});
    return marks;
}

void ServerEngine::lockForWriting(const QStringList& tables)
{
    QStringList names;
    for (const QString& t : tables)
        names << QuotedName(t);
    execRaw(QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(names.join(QStringLiteral(", "))), true);
}

void ServerEngine::beginSnapshot()
{
    execRaw(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY"), false);
    m_depth = 1;
}

// The same five tables on a server: names and letter case kept (quoted), numbers as the
// engine's exact types, texts compared byte by byte as in a file, keys from identity columns.
// As in a file, a key given by hand moves the next key past it (a statement trigger keeps the
// identity at least at the largest key): without it, the program's next new row would collide.
const char* const kServerSchema = R"SQL(
CREATE TABLE "历史单据" (
    "单据ID" bigint PRIMARY KEY,
    "客户ID" bigint,
    "客户地址" text COLLATE "C",
    "单据日期" date,
    "安装人员ID" bigint,
    "安装人员" text COLLATE "C");
CREATE TABLE "单据明细" (
    "门框ID" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    "单据ID" bigint,
    "商品ID" bigint,
    "数量" double precision DEFAULT 0,
    "玻璃款式" text COLLATE "C",
    "见光宽" double precision DEFAULT 0,
    "见光高" double precision DEFAULT 0,
    "现量宽" double precision DEFAULT 0,
    "现量高" double precision DEFAULT 0,
    "门扇宽" double precision DEFAULT 0,
    "门扇高" double precision DEFAULT 0,
    "玻璃宽" double precision DEFAULT 0,
    "玻璃高" double precision DEFAULT 0,
    "门框总宽" double precision DEFAULT 0,
    "门框总高" double precision DEFAULT 0,
    "埋地" double precision DEFAULT 0,
    "门框附加" text COLLATE "C",
    "门框备注" text COLLATE "C");
CREATE TABLE "商品信息" (
    "商品名称" text COLLATE "C",
    "商品说明" text COLLATE "C",
    "外框宽公式" text COLLATE "C",
    "自定义编号" text COLLATE "C",
    "商品ID" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    "外框高公式" text COLLATE "C",
    "门扇宽公式" text COLLATE "C",
    "门扇高公式" text COLLATE "C",
    "门扇玻璃宽公式" text COLLATE "C",
    "门扇玻璃高公式" text COLLATE "C");
CREATE TABLE "客户信息" (
    "客户ID" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    "自定义编号" text COLLATE "C",
    "客户名" text COLLATE "C",
    "客户电话" text COLLATE "C",
    "客户备注" text COLLATE "C");
CREATE TABLE "系统设置" (
    "ID" text COLLATE "C" PRIMARY KEY,
    "值" bigint);
CREATE INDEX "单据明细_单据ID" ON "单据明细"("单据ID");
CREATE INDEX "单据明细_商品ID" ON "单据明细"("商品ID");
CREATE INDEX "商品信息_自定义编号" ON "商品信息"("自定义编号");
CREATE INDEX "客户信息_自定义编号" ON "客户信息"("自定义编号");
CREATE INDEX "历史单据_单据日期" ON "历史单据"("单据日期", "单据ID");
CREATE INDEX "历史单据_客户ID" ON "历史单据"("客户ID");
INSERT INTO "系统设置" ("ID", "值") VALUES ('历史单据ID', 1);
CREATE FUNCTION "kvt_keys_follow"() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
    seq text := pg_get_serial_sequence(quote_ident(TG_TABLE_NAME), TG_ARGV[0]);
    top bigint;
BEGIN
    EXECUTE format('SELECT max(%I) FROM %I', TG_ARGV[0], TG_TABLE_NAME) INTO top;
    IF top > coalesce(pg_sequence_last_value(seq::regclass), 0) THEN
        PERFORM setval(seq, top);
    END IF;
    RETURN NULL;
END $$;
CREATE TRIGGER "单据明细_编号" AFTER INSERT ON "单据明细" FOR EACH STATEMENT EXECUTE FUNCTION "kvt_keys_follow"('门框ID');
CREATE TRIGGER "商品信息_编号" AFTER INSERT ON "商品信息" FOR EACH STATEMENT EXECUTE FUNCTION "kvt_keys_follow"('商品ID');
CREATE TRIGGER "客户信息_编号" AFTER INSERT ON "客户信息" FOR EACH STATEMENT EXECUTE FUNCTION "kvt_keys_follow"('客户ID');
)SQL";

const char* const kServerLaterIndexes = R"SQL(
CREATE INDEX IF NOT EXISTS "单据明细_玻璃" ON "单据明细"("玻璃款式", "玻璃宽", "玻璃高", "单据ID", "数量");
)SQL";

const char* const kServerLaterTables = R"SQL(
CREATE TABLE IF NOT EXISTS "网页账号" (
    "用户名" text COLLATE "C" PRIMARY KEY,
    "密码散列" text NOT NULL);
)SQL";

// The cutting list's four tables, as in a file; numbered like the lines, with the trigger that
// keeps a numbering above a key given by hand (the copy's).
const char* const kServerCuttingTables = R"SQL(
CREATE TABLE IF NOT EXISTS "材料" (
    "材料ID" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    "材料名称" text COLLATE "C" NOT NULL UNIQUE,
    "原料长度" double precision CHECK ("原料长度" > 0),
    "锯缝" double precision DEFAULT 0 CHECK ("锯缝" >= 0),
    "端头余量" double precision DEFAULT 0 CHECK ("端头余量" >= 0),
    "最短余料" double precision DEFAULT 0 CHECK ("最短余料" >= 0),
    CHECK ("原料长度" > 2 * "端头余量"));
CREATE TABLE IF NOT EXISTS "商品部件" (
    "部件ID" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    "商品ID" bigint NOT NULL,
    "部件名称" text COLLATE "C",
    "材料名称" text COLLATE "C",
    "件数" bigint DEFAULT 1 CHECK ("件数" >= 1),
    "长度公式" text COLLATE "C");
CREATE INDEX IF NOT EXISTS "商品部件_商品ID" ON "商品部件"("商品ID");
CREATE TABLE IF NOT EXISTS "余料" (
    "余料ID" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    "材料名称" text COLLATE "C" NOT NULL,
    "长度" double precision CHECK ("长度" > 0),
    "来源" text COLLATE "C",
    "入库日期" date);
CREATE INDEX IF NOT EXISTS "余料_材料名称" ON "余料"("材料名称");
CREATE TABLE IF NOT EXISTS "下料记录" (
    "记录ID" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    "下料单号" bigint NOT NULL,
    "下料日期" date,
    "门框ID" bigint NOT NULL,
    "部件ID" bigint NOT NULL,
    "序号" bigint NOT NULL,
    "材料名称" text COLLATE "C",
    "长度" double precision,
    "原料序号" bigint,
    "余料ID" bigint,
    UNIQUE ("门框ID", "部件ID", "序号"));
CREATE INDEX IF NOT EXISTS "下料记录_下料单号" ON "下料记录"("下料单号");
CREATE TRIGGER "材料_编号" AFTER INSERT ON "材料" FOR EACH STATEMENT EXECUTE FUNCTION "kvt_keys_follow"('材料ID');
CREATE TRIGGER "商品部件_编号" AFTER INSERT ON "商品部件" FOR EACH STATEMENT EXECUTE FUNCTION "kvt_keys_follow"('部件ID');
CREATE TRIGGER "余料_编号" AFTER INSERT ON "余料" FOR EACH STATEMENT EXECUTE FUNCTION "kvt_keys_follow"('余料ID');
CREATE TRIGGER "下料记录_编号" AFTER INSERT ON "下料记录" FOR EACH STATEMENT EXECUTE FUNCTION "kvt_keys_follow"('记录ID');
)SQL";

const char* const kTables[] = {"历史单据", "单据明细", "商品信息", "客户信息", "系统设置"};

/// Checks the server's database is ours, setting it up when it holds no tables at all. Two
/// workstations starting at once on an empty database: one sets it up, the other waits and finds it.
void ServerEngine::setUpDatabase()
{
    const QString where = describe();
    execRaw(QStringLiteral("BEGIN; SELECT pg_advisory_xact_lock(%1)").arg(kApplicationId), false);
    m_depth = 1;
    QStringList present, others;
    {
        Statement st(*this, QStringLiteral(
            "select c.relname from pg_class c join pg_namespace n on n.oid=c.relnamespace "
            "where n.nspname=current_schema() and c.relkind in ('r','p','v','m','f')"));
        while (st.step()) {
            const QString name = st.value(0).toString();
            bool ours = false;
            for (const char* t : kTables)
                ours = ours || name == QString::fromUtf8(t);
            (ours ? present : others) << name;
        }
    }
    if (present.isEmpty() && !others.isEmpty())
        throw StoreError(QStringLiteral("服务器上的数据库“%1”里已有别的表（%2），但没有本程序的表，不是本程序的数据库。")
                             .arg(where, others.mid(0, 5).join(QStringLiteral("、"))));
    if (!present.isEmpty() && present.size() < int(std::size(kTables))) {
        QStringList missing;
        for (const char* t : kTables)
            if (!present.contains(QString::fromUtf8(t)))
                missing << QString::fromUtf8(t);
        throw StoreError(QStringLiteral("服务器上的数据库“%1”缺少本程序的表：%2。")
                             .arg(where, missing.join(QStringLiteral("、"))));
    }
    if (present.isEmpty())
        execRaw(QString::fromUtf8(kServerSchema), true);
    // A user who may read but not change the tables would take bills and then lose them at 保存.
    {
        Statement st(*this, QStringLiteral(
            "select bool_and(has_table_privilege(quote_ident(t), 'SELECT') and has_table_privilege(quote_ident(t), "
            "'INSERT') and has_table_privilege(quote_ident(t), 'UPDATE') and has_table_privilege(quote_ident(t), "
            "'DELETE')) "
            "from unnest(array['历史单据','单据明细','商品信息','客户信息','系统设置']) as t"));
        if (st.step() && st.value(0).toLongLong() == 0)
            throw StoreError(QStringLiteral("服务器上的数据库“%1”对这个用户是只读的，不能保存单据。").arg(where),
                             StoreError::Kind::ReadOnly);
    }
    // Only speed depends on the later indexes, and only the web page and the cutting list on the
    // later tables: a user who may not create them goes on without.
    const auto later = [this](const char* presentSql, const char* statements) {
        Statement st(*this, QString::fromUtf8(presentSql));
        if (st.step() && st.value(0).toLongLong() == 0) {
            execRaw(QStringLiteral("SAVEPOINT kvt_later"), false);
            try {
                execRaw(QString::fromUtf8(statements), false);
                execRaw(QStringLiteral("RELEASE kvt_later"), false);
            } catch (const StoreError&) {
                execRaw(QStringLiteral("ROLLBACK TO kvt_later"), false);
            }
        }
    };
    later("select count(*) from pg_indexes where schemaname=current_schema() and indexname='单据明细_玻璃'",
          kServerLaterIndexes);
    later("select count(*) from pg_tables where schemaname=current_schema() and tablename='网页账号'",
          kServerLaterTables);
    later("select count(*) from pg_tables where schemaname=current_schema() and tablename='下料记录'",
          kServerCuttingTables);
    execRaw(QStringLiteral("COMMIT"), false);
    m_depth = 0;
}


} // namespace pg

using pg::ServerEngine;

std::unique_ptr<Engine> ConnectServer(const QString& connection, int lockTimeout)
{
    auto engine = std::make_unique<ServerEngine>(lockTimeout);
    engine->connect(connection);
    return engine;
}

std::unique_ptr<Engine> OpenServer(const QString& connection, int lockTimeout)
{
    auto engine = std::make_unique<ServerEngine>(lockTimeout);
    engine->connect(connection);
    const QString where = engine->describe();
    {
        Statement st(*engine, QStringLiteral("select pg_is_in_recovery()"));
        if (st.step() && st.value(0).toLongLong() != 0)
            throw StoreError(QStringLiteral("数据库服务器（%1）是只读的备用服务器，不能保存单据。").arg(where),
                             StoreError::Kind::ReadOnly);
    }
    engine->setUpDatabase();
    return engine;
}

QString RedactedConnection(const QString& connection)
{
    return pg::redactedImpl(connection);
}


} // namespace kvt::engine
