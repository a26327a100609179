#include "store/Database.h"

#include "store/Engine.h"
#include "store/ServerEngine.h"
#include "store/SqlDialect.h"
#include "store/StoreError.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

#include <sqlite3.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>

#include <cerrno>
#include <functional>
#include <iterator>
#include <vector>

namespace kvt {
namespace {

sqlite3* g_db = nullptr;
QString g_path;
int g_txDepth = 0;
int g_busyTimeout = 10000;
/// The file was opened on a disk too full for the write-ahead log's index: it is read only, held
/// locked, and every change is refused as a full disk.
bool g_viewOnly = false;
QHash<QString, std::vector<engine::ColumnInfo>> g_tableCache;

// Marks a file as ours ("kvt1").
constexpr int kApplicationId = 0x6B767431;

const char* const kSchema = R"SQL(
CREATE TABLE 历史单据 (
    单据ID INTEGER PRIMARY KEY,
    客户ID INTEGER,
    客户地址 TEXT,
    单据日期 DATE,
    安装人员ID INTEGER,
    安装人员 TEXT);
CREATE TABLE 单据明细 (
    门框ID INTEGER PRIMARY KEY AUTOINCREMENT,
    单据ID INTEGER,
    商品ID INTEGER,
    数量 REAL DEFAULT 0,
    玻璃款式 TEXT,
    见光宽 REAL DEFAULT 0,
    见光高 REAL DEFAULT 0,
    现量宽 REAL DEFAULT 0,
    现量高 REAL DEFAULT 0,
    门扇宽 REAL DEFAULT 0,
    门扇高 REAL DEFAULT 0,
    玻璃宽 REAL DEFAULT 0,
    玻璃高 REAL DEFAULT 0,
    门框总宽 REAL DEFAULT 0,
    门框总高 REAL DEFAULT 0,
    埋地 REAL DEFAULT 0,
    门框附加 TEXT,
    门框备注 TEXT);
CREATE TABLE 商品信息 (
    商品名称 TEXT,
    商品说明 TEXT,
    外框宽公式 TEXT,
    自定义编号 TEXT,
    商品ID INTEGER PRIMARY KEY AUTOINCREMENT,
    外框高公式 TEXT,
    门扇宽公式 TEXT,
    门扇高公式 TEXT,
    门扇玻璃宽公式 TEXT,
    门扇玻璃高公式 TEXT);
CREATE TABLE 客户信息 (
    客户ID INTEGER PRIMARY KEY AUTOINCREMENT,
    自定义编号 TEXT,
    客户名 TEXT,
    客户电话 TEXT,
    客户备注 TEXT);
CREATE TABLE 系统设置 (
    ID TEXT PRIMARY KEY,
    值 INTEGER);
CREATE INDEX 单据明细_单据ID ON 单据明细(单据ID);
CREATE INDEX 单据明细_商品ID ON 单据明细(商品ID);
CREATE INDEX 商品信息_自定义编号 ON 商品信息(自定义编号);
CREATE INDEX 客户信息_自定义编号 ON 客户信息(自定义编号);
CREATE INDEX 历史单据_单据日期 ON 历史单据(单据日期, 单据ID);
CREATE INDEX 历史单据_客户ID ON 历史单据(客户ID);
INSERT INTO 系统设置 (ID, 值) VALUES ('历史单据ID', 1);
)SQL";

// Indexes added after files were first made; new files get them with the tables. The glass list
// reads its groups in this order, without visiting the lines themselves.
const char* const kLaterIndexes = R"SQL(
CREATE INDEX IF NOT EXISTS 单据明细_玻璃 ON 单据明细(玻璃款式, 玻璃宽, 玻璃高, 单据ID, 数量);
)SQL";

// Tables added after files were first made: the measurers' accounts of the web page (a name and a
// password hash, never the password).
const char* const kLaterTables = R"SQL(
CREATE TABLE IF NOT EXISTS 网页账号 (
    用户名 TEXT PRIMARY KEY,
    密码散列 TEXT NOT NULL);
)SQL";

QString message(sqlite3* db)
{
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
}

/// Undo work of the open transaction: what to do to the query objects when it rolls back,
/// each with the depth of the scope that registered it.
struct Undo {
    int depth;
    std::function<void()> run;
};
std::vector<Undo> g_undo;

/// Runs (newest first) and drops the undo work of the scopes deeper than depth.
void undoAbove(int depth)
{
    while (!g_undo.empty() && g_undo.back().depth > depth) {
        const std::function<void()> run = std::move(g_undo.back().run);
        g_undo.pop_back();
        try {
            run();
        } catch (...) {
            // Undo work only restores memory; it has nothing to report.
        }
    }
}

int pragmaInt(const char* sql)
{
    engine::Statement st(QString::fromLatin1(sql));
    return st.step() ? st.value(0).toInt() : 0;
}

} // namespace

namespace engine {

bool IsServer()
{
    return server::IsOpen();
}

sqlite3* Handle()
{
    if (!g_db)
        throw StoreError(server::IsOpen() ? QStringLiteral("打开的数据库在服务器上，不是数据库文件")
                                          : QStringLiteral("数据库没有打开"));
    return g_db;
}

QString Translate(const QString& statement)
{
    return server::IsOpen() ? TranslateToPostgres(statement) : TranslateToSqlite(statement);
}

int TransactionDepth()
{
    return g_txDepth;
}

QString NullSafeEqualsParameter()
{
    return server::IsOpen() ? QStringLiteral(" IS NOT DISTINCT FROM ?") : QStringLiteral(" IS ?");
}

QString KeyEqualsParameter()
{
    return server::IsOpen() ? QStringLiteral(" = ?") : QStringLiteral(" IS ?");
}

QString LastError()
{
    return message(g_db);
}

StoreError Failure(int code, const QString& engineText, bool writing)
{
    using Kind = StoreError::Kind;
    const QString notSaved = writing ? QStringLiteral("本次修改没有保存。") : QString();
    const QString tail = QStringLiteral("(%1)").arg(engineText);
    // "…，本次修改没有保存。" when writing, "…。" when reading.
    auto sentence = [&](const QString& what) {
        return writing ? what + QStringLiteral("，") + notSaved : what + QStringLiteral("。");
    };
    // "UNIQUE constraint failed: 表.列" and "NOT NULL constraint failed: 表.列" name the column.
    auto column = [&] {
        const int colon = engineText.lastIndexOf(QLatin1Char(':'));
        QString c = colon < 0 ? QString() : engineText.mid(colon + 1).trimmed();
        const int dot = c.indexOf(QLatin1Char('.'));
        return dot < 0 ? c : c.mid(dot + 1);
    };
    // Opened on a full disk, the file takes no changes: a refused one is what the full disk made it.
    if (g_viewOnly && (code & 0xff) == SQLITE_READONLY)
        return Failure(SQLITE_FULL, QString::fromUtf8(sqlite3_errstr(SQLITE_FULL)), writing);
    switch (code) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return StoreError(sentence(QStringLiteral("数据库正被其他程序使用")) + tail, Kind::Busy);
    case SQLITE_READONLY: return StoreError(sentence(QStringLiteral("数据库文件是只读的")) + tail, Kind::ReadOnly);
    case SQLITE_FULL: return StoreError(sentence(QStringLiteral("磁盘空间已满")) + tail, Kind::DiskFull);
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN: return StoreError(sentence(QStringLiteral("读写数据库文件时出错")) + tail, Kind::Io);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return StoreError(sentence(QStringLiteral("数据库文件已损坏")) + tail, Kind::Corrupt);
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
        return StoreError(sentence(QStringLiteral("字段“%1”的值已被另一条记录使用").arg(column())) + tail,
                          Kind::Constraint);
    case SQLITE_CONSTRAINT_NOTNULL:
        return StoreError(sentence(QStringLiteral("字段“%1”不能为空").arg(column())) + tail, Kind::Constraint);
    default: break;
    }
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_READONLY:
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_CORRUPT: return Failure(code & 0xff, engineText, writing);
    case SQLITE_CONSTRAINT:
        return StoreError(sentence(QStringLiteral("数据库拒绝了这次修改")) + tail, Kind::Constraint);
    default: return StoreError(sentence(QStringLiteral("SQL语句不能执行")) + tail);
    }
}

StoreError LastFailure(bool writing)
{
    return Failure(g_db ? sqlite3_extended_errcode(g_db) : SQLITE_NOMEM, LastError(), writing || g_txDepth > 0);
}

Statement::Statement(const QString& engineSql) : m_sql(engineSql)
{
    if (server::IsOpen()) {
        m_server = server::Prepare(engineSql);
        return;
    }
    const QByteArray utf8 = engineSql.toUtf8();
    if (sqlite3_prepare_v2(Handle(), utf8.constData(), int(utf8.size()), &m_stmt, nullptr) != SQLITE_OK) {
        const StoreError err = LastFailure(false);
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw err;
    }
    if (!m_stmt)
        throw StoreError(QStringLiteral("SQL语句为空"));
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
    server::Free(m_server);
}

void Statement::bind(int index, const QVariant& value)
{
    if (m_server)
        return server::Bind(*m_server, index, value);
    int rc = SQLITE_OK;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Bool: rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong()); break;
        case QMetaType::Double: rc = sqlite3_bind_double(m_stmt, index, value.toDouble()); break;
        default: {
            const QByteArray t = value.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        }
        }
    }
    if (rc != SQLITE_OK)
        throw LastFailure(false);
}

bool Statement::step()
{
    if (m_server)
        return server::Step(*m_server);
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const StoreError err = LastFailure(!sqlite3_stmt_readonly(m_stmt));
    sqlite3_reset(m_stmt);
    throw err;
}

void Statement::reset()
{
    if (m_server)
        return server::Reset(*m_server);
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Statement::columnCount() const
{
    if (m_server)
        return server::ColumnCount(*m_server);
    return sqlite3_column_count(m_stmt);
}

static QString text(const char* s)
{
    return s ? QString::fromUtf8(s) : QString();
}

QString Statement::columnName(int c) const
{
    return m_server ? server::ColumnName(*m_server, c) : text(sqlite3_column_name(m_stmt, c));
}
QString Statement::columnTable(int c) const
{
    return m_server ? server::ColumnTable(*m_server, c) : text(sqlite3_column_table_name(m_stmt, c));
}
QString Statement::columnOrigin(int c) const
{
    return m_server ? server::ColumnOrigin(*m_server, c) : text(sqlite3_column_origin_name(m_stmt, c));
}
QString Statement::columnDeclType(int c) const
{
    return m_server ? server::ColumnDeclType(*m_server, c) : text(sqlite3_column_decltype(m_stmt, c));
}

const pg_result* Statement::serverResult()
{
    return m_server ? server::Result(*m_server) : nullptr;
}

QVariant Statement::value(int c) const
{
    if (m_server)
        return server::Value(*m_server, c);
    switch (sqlite3_column_type(m_stmt, c)) {
    case SQLITE_INTEGER: return QVariant(qint64(sqlite3_column_int64(m_stmt, c)));
    case SQLITE_FLOAT: return QVariant(sqlite3_column_double(m_stmt, c));
    case SQLITE_NULL: return QVariant();
    default:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c)),
                                          sqlite3_column_bytes(m_stmt, c)));
    }
}

void ExecRaw(const QString& engineSql, bool writing)
{
    if (server::IsOpen())
        return server::ExecRaw(engineSql, writing);
    char* err = nullptr;
    if (sqlite3_exec(Handle(), engineSql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString m = err ? QString::fromUtf8(err) : LastError();
        sqlite3_free(err);
        throw Failure(sqlite3_extended_errcode(Handle()), m, writing);
    }
}

int Changes()
{
    return server::IsOpen() ? server::Changes() : sqlite3_changes(Handle());
}

qint64 TotalChanges()
{
    return server::IsOpen() ? server::TotalChanges() : sqlite3_total_changes64(Handle());
}

std::vector<ColumnInfo> TableColumns(const QString& table)
{
    if (server::IsOpen())
        return server::TableColumns(table);
    auto it = g_tableCache.find(table);
    if (it != g_tableCache.end())
        return it.value();
    std::vector<ColumnInfo> cols;
    QString quoted = table;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    Statement st(QStringLiteral("PRAGMA table_info(\"%1\")").arg(quoted));
    while (st.step())
        cols.push_back({st.value(1).toString(), st.value(2).toString(), st.value(5).toInt() > 0});
    g_tableCache.insert(table, cols);
    return cols;
}

} // namespace engine

namespace {

/// True where write-ahead logging is unsafe: the file lies on a network filesystem, whose
/// locks and shared memory do not reach the other computers.
bool onNetworkFilesystem(const QString& path)
{
    struct statfs fs {};
    const QByteArray dir = QFileInfo(path).absolutePath().toLocal8Bit();
    if (statfs(dir.constData(), &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x01021997UL: // 9P
    case 0x5346414FUL: // AFS
    case 0x00C36400UL: // Ceph
    case 0x73757245UL: // Coda
    case 0x564CUL:     // NCP
        return true;
    default: return false;
    }
}

} // namespace

bool IsServerConnection(const QString& location)
{
    const QString t = location.trimmed();
    if (t.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
        t.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive))
        return true;
    // keyword=value pairs: "host=server dbname=kvt"
    static const QRegularExpression pair(QStringLiteral("^[A-Za-z_]+\\s*="));
    return pair.match(t).hasMatch();
}

namespace {

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

const char* const kTables[] = {"历史单据", "单据明细", "商品信息", "客户信息", "系统设置"};

/// Checks the server's database is ours, setting it up when it holds no tables at all. Two
/// workstations starting at once on an empty database: one sets it up, the other waits and finds it.
void setUpServerDatabase(const QString& where)
{
    engine::ExecRaw(QStringLiteral("BEGIN; SELECT pg_advisory_xact_lock(%1)").arg(kApplicationId), false);
    g_txDepth = 1;
    QStringList present, others;
    {
        engine::Statement st(QStringLiteral(
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
        engine::ExecRaw(QString::fromUtf8(kServerSchema));
    // A user who may read but not change the tables would take bills and then lose them at 保存.
    {
        engine::Statement st(QStringLiteral(
            "select bool_and(has_table_privilege(quote_ident(t), 'SELECT') and has_table_privilege(quote_ident(t), "
            "'INSERT') and has_table_privilege(quote_ident(t), 'UPDATE') and has_table_privilege(quote_ident(t), "
            "'DELETE')) "
            "from unnest(array['历史单据','单据明细','商品信息','客户信息','系统设置']) as t"));
        if (st.step() && st.value(0).toLongLong() == 0)
            throw StoreError(QStringLiteral("服务器上的数据库“%1”对这个用户是只读的，不能保存单据。").arg(where),
                             StoreError::Kind::ReadOnly);
    }
    // Only speed depends on the later indexes, and only the web page on the later tables: a user
    // who may not create them goes on without.
    const auto later = [](const char* presentSql, const char* statements) {
        engine::Statement st(QString::fromUtf8(presentSql));
        if (st.step() && st.value(0).toLongLong() == 0) {
            engine::ExecRaw(QStringLiteral("SAVEPOINT kvt_later"), false);
            try {
                engine::ExecRaw(QString::fromUtf8(statements), false);
                engine::ExecRaw(QStringLiteral("RELEASE kvt_later"), false);
            } catch (const StoreError&) {
                engine::ExecRaw(QStringLiteral("ROLLBACK TO kvt_later"), false);
            }
        }
    };
    later("select count(*) from pg_indexes where schemaname=current_schema() and indexname='单据明细_玻璃'",
          kServerLaterIndexes);
    later("select count(*) from pg_tables where schemaname=current_schema() and tablename='网页账号'",
          kServerLaterTables);
    engine::ExecRaw(QStringLiteral("COMMIT"), false);
    g_txDepth = 0;
}

void openServer(const QString& connection)
{
    engine::server::Connect(connection);
    g_path = connection;
    g_txDepth = 0;
    g_undo.clear();
    const QString where = engine::server::Describe();
    try {
        {
            engine::Statement st(QStringLiteral("select pg_is_in_recovery()"));
            if (st.step() && st.value(0).toLongLong() != 0)
                throw StoreError(QStringLiteral("数据库服务器（%1）是只读的备用服务器，不能保存单据。").arg(where),
                                 StoreError::Kind::ReadOnly);
        }
        setUpServerDatabase(where);
    } catch (const StoreError& e) {
        g_txDepth = 0;
        engine::server::Disconnect();
        g_path.clear();
        throw;
    }
}

} // namespace

namespace {

/// Opens the file as the connection every query object shares.
void connectFile(const QString& path, int flags)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK) {
        const QString err = QStringLiteral("无法打开数据库文件“%1”。(%2)").arg(path, message(db));
        sqlite3_close(db);
        throw StoreError(err);
    }
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_busy_timeout(db, g_busyTimeout);
    sqlite3_extended_result_codes(db, 1);
    g_db = db;
    g_path = path;
    g_txDepth = 0;
    g_undo.clear();
    g_tableCache.clear();
}

void disconnectFile()
{
    sqlite3_close_v2(g_db);
    g_db = nullptr;
    g_path.clear();
    g_viewOnly = false;
}

/// A disk too full for the write-ahead log's index (a few pages beside the file) must not keep
/// the clerk from looking bills up. The index is kept in this program's memory instead, which is
/// safe only while no other program uses the file: the file stays locked for the whole run
/// (locking_mode=EXCLUSIVE, before the first read), so another program is told it is busy rather
/// than read beside a log it cannot see. Nothing is written (query_only). Opening read-only
/// instead would need the index file all the same. False when the file cannot be read this way.
bool openViewOnly(const QString& path)
{
    try {
        connectFile(path, SQLITE_OPEN_READWRITE);
        engine::ExecRaw(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE; PRAGMA query_only=1;"), false);
        if (pragmaInt("PRAGMA application_id") != kApplicationId)
            throw StoreError(QString());
    } catch (const StoreError&) {
        disconnectFile();
        return false;
    }
    g_viewOnly = true;
    return true;
}

} // namespace

void Database::Open(const QString& location)
{
    if (IsOpen())
        Close();
    if (IsServerConnection(location))
        return openServer(location);
    const QString& path = location;
    const bool exists = QFileInfo::exists(path);
    connectFile(path, SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE));
    sqlite3* db = g_db;
    try {
        // A file the program cannot write to would take bills and then lose them at 保存.
        if (sqlite3_db_readonly(db, "main") == 1 || !QFileInfo(QFileInfo(path).absolutePath()).isWritable())
            throw StoreError(
                QStringLiteral("数据库文件“%1”是只读的（或它所在的文件夹不能写入），不能保存单据。").arg(path),
                StoreError::Kind::ReadOnly);
        engine::ExecRaw(QStringLiteral("PRAGMA foreign_keys=OFF; PRAGMA synchronous=FULL;"), false);
        // A file without tables is new, or what a first start left when it was stopped before its
        // one transaction committed: either way it is set up now, whole or not at all.
        const bool empty =
            pragmaInt("PRAGMA page_count") == 0 ||
            (pragmaInt("PRAGMA application_id") == 0 && pragmaInt("SELECT count(*) FROM sqlite_master") == 0);
        if (empty) {
            engine::ExecRaw(
                QStringLiteral("BEGIN IMMEDIATE;") + QString::fromUtf8(kSchema) + QString::fromUtf8(kLaterIndexes) +
                QString::fromUtf8(kLaterTables) +
                QStringLiteral("PRAGMA application_id=%1; PRAGMA user_version=1; COMMIT;").arg(kApplicationId));
        } else if (pragmaInt("PRAGMA application_id") != kApplicationId) {
            throw StoreError(QStringLiteral("“%1”不是本程序的数据库文件").arg(path));
        } else {
            // Only speed depends on them: a file another program holds locked opens without.
            try {
                engine::ExecRaw(QString::fromUtf8(kLaterIndexes), false);
            } catch (const StoreError&) {
            }
            // Only the web page's accounts live there: without it the bills are still served.
            try {
                engine::ExecRaw(QString::fromUtf8(kLaterTables), false);
            } catch (const StoreError&) {
            }
        }
        // One disk flush a commit on a local disk; the rollback journal where the file is shared
        // over the network. Both with synchronous=FULL: a saved bill survives a power cut.
        engine::ExecRaw(onNetworkFilesystem(path) ? QStringLiteral("PRAGMA journal_mode=DELETE")
                                                  : QStringLiteral("PRAGMA journal_mode=WAL"),
                        false);
        engine::ExecRaw(QStringLiteral("PRAGMA synchronous=FULL"), false);
    } catch (const StoreError& e) {
        const QString m = (exists && !e.message().contains(path))
                              ? QStringLiteral("无法打开数据库文件“%1”：%2").arg(path, e.message())
                              : e.message();
        const int lastErrno = sqlite3_system_errno(g_db);
        if (sqlite3_get_autocommit(g_db) == 0)
            sqlite3_exec(g_db, "ROLLBACK", nullptr, nullptr, nullptr);
        disconnectFile();
        if (exists && (lastErrno == ENOSPC || lastErrno == EDQUOT) && openViewOnly(path))
            return;
        throw StoreError(m, e.kind());
    }
}

bool Database::ViewOnlyForFullDisk()
{
    return g_viewOnly;
}

void Database::OpenForReading(const QString& path)
{
    if (IsOpen())
        Close();
    // On a medium nothing can write to (a CD, a write-protected stick, a share mounted read-only)
    // the file cannot change under the reader, and no lock or log index can be made beside it:
    // it is read as it lies (immutable), whatever journal mode its header names.
    struct statvfs fs {};
    const bool readOnlyMedium =
        statvfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &fs) == 0 && (fs.f_flag & ST_RDONLY);
    // Read as it lies, the file would not show what its log beside it still holds (a file copied
    // away while kvt had it open): refused rather than read without its newest bills.
    const QString log = path + QStringLiteral("-wal");
    if (readOnlyMedium && QFileInfo(log).size() > 0)
        throw StoreError(QStringLiteral("“%1”中还有没有写入“%2”的单据，在只读的介质上读不到它们。请把这两个文件一起复制到"
                                        "可以写入的文件夹，再从那里读取。")
                             .arg(log, path),
                         StoreError::Kind::ReadOnly);
    QString uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    if (readOnlyMedium)
        uri += QStringLiteral("?immutable=1");
    connectFile(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    g_path = path;
    try {
        if (pragmaInt("PRAGMA application_id") != kApplicationId && pragmaInt("SELECT count(*) FROM sqlite_master") > 0)
            throw StoreError(QStringLiteral("“%1”不是本程序的数据库文件").arg(path));
    } catch (const StoreError& e) {
        disconnectFile();
        const QString reason = e.message().contains(path)
                                   ? e.message()
                                   : QStringLiteral("无法打开数据库文件“%1”：%2").arg(path, e.message());
        throw StoreError(reason, e.kind());
    }
}

void Database::Close()
{
    if (engine::server::IsOpen()) {
        engine::server::Disconnect();
        g_path.clear();
        g_txDepth = 0;
        g_undo.clear();
        return;
    }
    if (!g_db)
        return;
    // Everything written goes into the file itself, so it can be copied once the program ends.
    sqlite3_wal_checkpoint_v2(g_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    disconnectFile();
    g_txDepth = 0;
    g_undo.clear();
    g_tableCache.clear();
}

void Database::SetBusyTimeout(int milliseconds)
{
    g_busyTimeout = milliseconds;
    if (g_db)
        sqlite3_busy_timeout(g_db, milliseconds);
    engine::server::SetLockTimeout(milliseconds);
}

QString Database::JournalMode()
{
    if (engine::server::IsOpen())
        return QString();
    engine::Statement st(QStringLiteral("PRAGMA journal_mode"));
    return st.step() ? st.value(0).toString().toLower() : QString();
}

bool Database::IsOpen()
{
    return g_db != nullptr || engine::server::IsOpen();
}

bool Database::IsServer()
{
    return engine::server::IsOpen();
}

QString Database::Describe()
{
    if (engine::server::IsOpen())
        return engine::server::Describe();
    return g_path;
}

QString Database::Path()
{
    return g_path;
}

int Database::Exec(const QString& statement)
{
    engine::Statement st(engine::Translate(statement));
    const qint64 before = engine::TotalChanges();
    while (st.step()) {
    }
    return int(engine::TotalChanges() - before);
}

TransactionScope::TransactionScope() : m_depth(g_txDepth)
{
    if (engine::server::IsOpen())
        engine::server::OpenScope(m_depth);
    else if (m_depth == 0)
        engine::ExecRaw(QStringLiteral("BEGIN IMMEDIATE"));
    else
        engine::ExecRaw(QStringLiteral("SAVEPOINT kvt_sp%1").arg(m_depth));
    ++g_txDepth;
}

TransactionScope::~TransactionScope()
{
    if (m_done || !Database::IsOpen())
        return;
    g_txDepth = m_depth;
    try {
        if (engine::server::IsOpen())
            engine::server::RollBackScope(m_depth);
        else if (m_depth == 0)
            engine::ExecRaw(QStringLiteral("ROLLBACK"));
        else
            engine::ExecRaw(QStringLiteral("ROLLBACK TO kvt_sp%1; RELEASE kvt_sp%1").arg(m_depth));
    } catch (...) {
        // Nothing more can be done while unwinding; the engine ends the transaction itself.
    }
    // What was written inside this scope is gone: so is its effect on the query objects.
    undoAbove(m_depth);
}

void TransactionScope::Commit()
{
    if (m_done)
        return;
    if (engine::server::IsOpen())
        engine::server::CommitScope(m_depth);
    else if (m_depth == 0)
        engine::ExecRaw(QStringLiteral("COMMIT"));
    else
        engine::ExecRaw(QStringLiteral("RELEASE kvt_sp%1").arg(m_depth));
    m_done = true;
    g_txDepth = m_depth;
    if (m_depth == 0) {
        g_undo.clear();
    } else {
        // A released savepoint's work now stands or falls with the scope around it.
        for (Undo& u : g_undo)
            if (u.depth > m_depth)
                u.depth = m_depth;
    }
}

void TransactionScope::OnRollback(std::function<void()> undo)
{
    if (g_txDepth > 0)
        g_undo.push_back({g_txDepth, std::move(undo)});
}

bool TransactionScope::Active()
{
    return g_txDepth > 0;
}

QString SqlText(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QString SqlContains(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            escaped += QLatin1Char('\\');
        if (c == QLatin1Char('"'))
            escaped += QLatin1Char('"');
        escaped += c;
    }
    return QStringLiteral("\"%") + escaped + QStringLiteral("%\" ESCAPE \"\\\"");
}

} // namespace kvt
