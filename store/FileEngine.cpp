// See FileEngine.h. The one file of the store that calls SQLite; the schema it sets a new file up
// with, and the three ways it opens one (as the program's, on a full disk, for reading), make it a
// little longer than the other files of the store.
#include "store/FileEngine.h"

#include "store/CellTable.h"
#include "transfer/RowSource.h"
#include "store/SqlDialect.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUrl>

#include <sqlite3.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>

#include <cerrno>
#include <cstring>

namespace kvt::engine {
namespace {

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
// password hash, never the password); the cutting list's materials, the products' pieces, the
// offcuts in stock and the pieces cut. Lengths are millimetres with at most one decimal, read back
// rounded to tenths. A piece of a line is cut once: 序号 counts the pieces of one 部件 of one line
// (1 to 件数 × 数量), and the unique key refuses the second record of the same piece, whichever
// workstation writes it.
const char* const kLaterTables = R"SQL(
CREATE TABLE IF NOT EXISTS 网页账号 (
    用户名 TEXT PRIMARY KEY,
    密码散列 TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS 材料 (
    材料ID INTEGER PRIMARY KEY AUTOINCREMENT,
    材料名称 TEXT NOT NULL UNIQUE,
    原料长度 REAL CHECK (原料长度 > 0),
    锯缝 REAL DEFAULT 0 CHECK (锯缝 >= 0),
    端头余量 REAL DEFAULT 0 CHECK (端头余量 >= 0),
    最短余料 REAL DEFAULT 0 CHECK (最短余料 >= 0),
    CHECK (原料长度 > 2 * 端头余量));
CREATE TABLE IF NOT EXISTS 商品部件 (
    部件ID INTEGER PRIMARY KEY AUTOINCREMENT,
    商品ID INTEGER NOT NULL,
    部件名称 TEXT,
    材料名称 TEXT,
    件数 INTEGER DEFAULT 1 CHECK (件数 >= 1 AND 件数 = CAST(件数 AS INTEGER)),
    长度公式 TEXT);
CREATE INDEX IF NOT EXISTS 商品部件_商品ID ON 商品部件(商品ID);
CREATE TABLE IF NOT EXISTS 余料 (
    余料ID INTEGER PRIMARY KEY AUTOINCREMENT,
    材料名称 TEXT NOT NULL,
    长度 REAL CHECK (长度 > 0),
    来源 TEXT,
    入库日期 DATE);
CREATE INDEX IF NOT EXISTS 余料_材料名称 ON 余料(材料名称);
CREATE TABLE IF NOT EXISTS 下料记录 (
    记录ID INTEGER PRIMARY KEY AUTOINCREMENT,
    下料单号 INTEGER NOT NULL,
    下料日期 DATE,
    门框ID INTEGER NOT NULL,
    部件ID INTEGER NOT NULL,
    序号 INTEGER NOT NULL,
    材料名称 TEXT,
    长度 REAL,
    原料序号 INTEGER,
    余料ID INTEGER,
    UNIQUE (门框ID, 部件ID, 序号));
CREATE INDEX IF NOT EXISTS 下料记录_下料单号 ON 下料记录(下料单号);
)SQL";

QString message(sqlite3* db)
{
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
}

/// The error to raise for a result code: a Chinese sentence saying what happened (and, when
/// writing, that nothing was saved), then the engine's text in brackets.
StoreError failure(int code, const QString& engineText, bool writing)
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
    case SQLITE_CORRUPT: return failure(code & 0xff, engineText, writing);
    case SQLITE_CONSTRAINT:
        return StoreError(sentence(QStringLiteral("数据库拒绝了这次修改")) + tail, Kind::Constraint);
    default: return StoreError(sentence(QStringLiteral("SQL语句不能执行")) + tail);
    }
}

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

class FileEngine;

class FileStatement final : public EngineStatement {
public:
    FileStatement(FileEngine& engine, sqlite3_stmt* st) : m_engine(engine), m_stmt(st) {}
    ~FileStatement() override { sqlite3_finalize(m_stmt); }

    void bind(int index, const QVariant& value) override;
    bool step() override;
    void reset() override
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    int columnCount() override { return sqlite3_column_count(m_stmt); }
    QString columnName(int c) override;
    QString columnTable(int c) override;
    QString columnOrigin(int c) override;
    QString columnDeclType(int c) override;
    QVariant value(int c) const override;
    void readAll(CellTable& cells, std::vector<quint8>& samples) override;

private:
    FileEngine& m_engine;
    sqlite3_stmt* m_stmt;
};

class FileEngine final : public Engine {
public:
    FileEngine(sqlite3* db, const QString& path) : m_db(db), m_path(path) {}
    ~FileEngine() override { close(); }

    sqlite3* db() const { return m_db; }
    /// failure() for a result code of this connection. Opened on a full disk, the file takes no
    /// changes: a refused one is what the full disk made it.
    StoreError fail(int code, const QString& engineText, bool writing) const
    {
        if (m_viewOnly && (code & 0xff) == SQLITE_READONLY)
            return failure(SQLITE_FULL, QString::fromUtf8(sqlite3_errstr(SQLITE_FULL)), writing);
        return failure(code, engineText, writing);
    }
    /// fail() for the connection's last error; inside a transaction it counts as writing.
    StoreError lastFailure(bool writing) const
    {
        return fail(m_db ? sqlite3_extended_errcode(m_db) : SQLITE_NOMEM, message(m_db), writing || m_depth > 0);
    }
    /// A column's name, table or type as text. They are few and come back with every statement:
    /// each is made once and then shared.
    QString name(const char* s)
    {
        if (!s)
            return QString();
        const QByteArray key = QByteArray::fromRawData(s, qsizetype(std::strlen(s)));
        const auto it = m_names.constFind(key);
        if (it != m_names.constEnd())
            return it.value();
        // Names of expressions are as many as the statements that make them.
        if (m_names.size() >= 4096)
            m_names.clear();
        const QString made = QString::fromUtf8(key);
        m_names.insert(QByteArray(s, key.size()), made);
        return made;
    }
    int pragmaInt(const char* sql)
    {
        const auto st = prepare(QString::fromLatin1(sql));
        return st->step() ? st->value(0).toInt() : 0;
    }

    bool isServer() const override { return false; }
    QString describe() const override { return m_path; }
    QString translate(const QString& statement) const override { return TranslateToSqlite(statement); }
    QString nullSafeEqualsParameter() const override { return QStringLiteral(" IS ?"); }
    // The key's index serves IS, and IS allows a NULL in a key that is not an integer.
    QString keyEqualsParameter() const override { return QStringLiteral(" IS ?"); }
    QString typeOf(ColumnKind kind) const override
    {
        switch (kind) {
        case ColumnKind::Integer: return QStringLiteral("INTEGER");
        case ColumnKind::Real: return QStringLiteral("REAL");
        case ColumnKind::Exact: return QStringLiteral("NUMERIC");
        case ColumnKind::Date: return QStringLiteral("DATE");
        case ColumnKind::Text: break;
        }
        return QStringLiteral("TEXT");
    }

    std::unique_ptr<EngineStatement> prepare(const QString& engineSql) override
    {
        if (!m_db)
            throw StoreError(QStringLiteral("数据库没有打开"));
        const QByteArray utf8 = engineSql.toUtf8();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &st, nullptr) != SQLITE_OK) {
            const StoreError err = lastFailure(false);
            sqlite3_finalize(st);
            throw err;
        }
        if (!st)
            throw StoreError(QStringLiteral("SQL语句为空"));
        return std::make_unique<FileStatement>(*this, st);
    }

    void execRaw(const QString& engineSql, bool writing) override
    {
        if (!m_db)
            throw StoreError(QStringLiteral("数据库没有打开"));
        char* err = nullptr;
        if (sqlite3_exec(m_db, engineSql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
            const QString m = err ? QString::fromUtf8(err) : message(m_db);
            sqlite3_free(err);
            throw fail(sqlite3_extended_errcode(m_db), m, writing);
        }
        // A change of the tables themselves: their columns are read afresh.
        if (engineSql.contains(QLatin1String("ALTER"), Qt::CaseInsensitive) ||
            engineSql.contains(QLatin1String("DROP"), Qt::CaseInsensitive))
            m_tableCache.clear();
    }

    int changes() override { return sqlite3_changes(m_db); }
    qint64 totalChanges() override { return sqlite3_total_changes64(m_db); }

    std::vector<ColumnInfo> tableColumns(const QString& table) override
    {
        auto it = m_tableCache.find(table);
        if (it != m_tableCache.end())
            return it.value();
        std::vector<ColumnInfo> cols;
        const auto st = prepare(QStringLiteral("PRAGMA table_info(%1)").arg(QuotedName(table)));
        while (st->step())
            cols.push_back({st->value(1).toString(), st->value(2).toString(), st->value(5).toInt() > 0});
        m_tableCache.insert(table, cols);
        return cols;
    }

    QStringList tableNames() override
    {
        QStringList names;
        const auto st = prepare(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"));
        while (st->step())
            names << st->value(0).toString();
        return names;
    }

    qint64 numberingPosition(const QString& table, const QString&) override
    {
        const auto st = prepare(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name=?"));
        st->bind(1, table);
        return st->step() ? st->value(0).toLongLong() : 0;
    }

    void setNumberingPosition(const QString& table, const QString&, qint64 position) override
    {
        const auto del = prepare(QStringLiteral("DELETE FROM sqlite_sequence WHERE name=?"));
        del->bind(1, table);
        del->step();
        if (position <= 0)
            return;
        const auto ins = prepare(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)"));
        ins->bind(1, table);
        ins->bind(2, position);
        ins->step();
    }

    // A key that is an INTEGER PRIMARY KEY is always handed out by the file when none is given.
    bool numbered(const QString&, const QString&) override { return true; }

    void setBusyTimeout(int milliseconds) override { sqlite3_busy_timeout(m_db, milliseconds); }

    void openScope(int depth) override
    {
        execRaw(depth == 0 ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("SAVEPOINT kvt_sp%1").arg(depth), true);
    }
    void commitScope(int depth) override
    {
        execRaw(depth == 0 ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE kvt_sp%1").arg(depth), true);
    }
    void rollBackScope(int depth) override
    {
        execRaw(depth == 0 ? QStringLiteral("ROLLBACK") : QStringLiteral("ROLLBACK TO kvt_sp%1; RELEASE kvt_sp%1").arg(depth),
                true);
    }
    // A read transaction keeps the state of its first read until it ends, the write-ahead log's
    // later commits unseen; the first read is made at once.
    void beginSnapshot() override
    {
        execRaw(QStringLiteral("BEGIN DEFERRED; SELECT count(*) FROM sqlite_master"), false);
        m_depth = 1;
    }

    void close() override
    {
        if (!m_db)
            return;
        // Everything written goes into the file itself, so it can be copied once the program ends.
        if (!m_readOnly)
            sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        m_depth = 0;
        m_tableCache.clear();
    }

    QString filePath() const override
    {
        const char* file = m_db ? sqlite3_db_filename(m_db, "main") : nullptr;
        return file ? QString::fromUtf8(file) : QString();
    }

    QString backupInto(const QString& path) override
    {
        sqlite3* dst = nullptr;
        if (sqlite3_open_v2(path.toUtf8().constData(), &dst, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK) {
            const QString err = message(dst);
            sqlite3_close(dst);
            return err;
        }
        QString err;
        if (sqlite3_backup* b = sqlite3_backup_init(dst, "main", m_db, "main")) {
            // One step: the source stays read-locked for the copy, so no writer can make it start over.
            const int rc = sqlite3_backup_step(b, -1);
            sqlite3_backup_finish(b);
            if (rc != SQLITE_DONE)
                err = message(dst);
        } else {
            err = message(dst);
        }
        // The copy takes the source's journal mode; a copy stands alone, without side files.
        if (err.isEmpty() && sqlite3_exec(dst, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) != SQLITE_OK)
            err = message(dst);
        if (sqlite3_close(dst) != SQLITE_OK && err.isEmpty())
            err = message(dst);
        return err;
    }

    /// Sets the file up as the program uses it; see OpenFile.
    void setUp();
    void setReadOnly() { m_readOnly = true; }
    /// Read only, held locked, every change refused as a full disk; see OpenFile.
    void setViewOnly()
    {
        execRaw(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE; PRAGMA query_only=1;"), false);
        if (pragmaInt("PRAGMA application_id") != kApplicationId)
            throw StoreError(QString());
        m_viewOnly = true;
    }
    bool viewOnlyForFullDisk() const override { return m_viewOnly; }
    /// Closes a connection that never was the program's: no checkpoint, any transaction rolled back.
    void abandon()
    {
        if (sqlite3_get_autocommit(m_db) == 0)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }

private:
    sqlite3* m_db;
    QString m_path;
    bool m_readOnly = false;
    bool m_viewOnly = false;
    QHash<QString, std::vector<ColumnInfo>> m_tableCache;
    QHash<QByteArray, QString> m_names;
};

QString FileStatement::columnName(int c)
{
    return m_engine.name(sqlite3_column_name(m_stmt, c));
}

QString FileStatement::columnTable(int c)
{
    return m_engine.name(sqlite3_column_table_name(m_stmt, c));
}

QString FileStatement::columnOrigin(int c)
{
    return m_engine.name(sqlite3_column_origin_name(m_stmt, c));
}

QString FileStatement::columnDeclType(int c)
{
    return m_engine.name(sqlite3_column_decltype(m_stmt, c));
}

void FileStatement::bind(int index, const QVariant& value)
{
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
        throw m_engine.lastFailure(false);
}

bool FileStatement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const StoreError err = m_engine.lastFailure(!sqlite3_stmt_readonly(m_stmt));
    sqlite3_reset(m_stmt);
    throw err;
}

QVariant FileStatement::value(int c) const
{
    switch (sqlite3_column_type(m_stmt, c)) {
    case SQLITE_INTEGER: return QVariant(qint64(sqlite3_column_int64(m_stmt, c)));
    case SQLITE_FLOAT: return QVariant(sqlite3_column_double(m_stmt, c));
    case SQLITE_NULL: return QVariant();
    default:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c)),
                                          sqlite3_column_bytes(m_stmt, c)));
    }
}

void FileStatement::readAll(CellTable& cells, std::vector<quint8>& samples)
{
    const int n = sqlite3_column_count(m_stmt);
    samples.assign(size_t(n), CellTable::Null);
    int unsampled = n;
    while (step()) {
        const quint32 slot = cells.addSlotUninitialised();
        for (int c = 0; c < n; ++c) {
            quint8 kind;
            switch (sqlite3_column_type(m_stmt, c)) {
            case SQLITE_INTEGER:
                cells.setInteger(slot, c, sqlite3_column_int64(m_stmt, c));
                kind = CellTable::Integer;
                break;
            case SQLITE_FLOAT:
                cells.setReal(slot, c, sqlite3_column_double(m_stmt, c));
                kind = CellTable::Real;
                break;
            case SQLITE_NULL: cells.setNull(slot, c); continue;
            default: {
                const char* t = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c));
                cells.setText(slot, c, t, size_t(sqlite3_column_bytes(m_stmt, c)));
                kind = CellTable::PooledText;
            }
            }
            if (unsampled && samples[size_t(c)] == CellTable::Null) {
                samples[size_t(c)] = kind;
                --unsampled;
            }
        }
    }
    cells.trim();
}

void FileEngine::setUp()
{
    // A file the program cannot write to would take bills and then lose them at 保存.
    if (sqlite3_db_readonly(m_db, "main") == 1 || !QFileInfo(QFileInfo(m_path).absolutePath()).isWritable())
        throw StoreError(
            QStringLiteral("数据库文件“%1”是只读的（或它所在的文件夹不能写入），不能保存单据。").arg(m_path),
            StoreError::Kind::ReadOnly);
    execRaw(QStringLiteral("PRAGMA foreign_keys=OFF; PRAGMA synchronous=FULL;"), false);
    // A file without tables is new, or what a first start left when it was stopped before its
    // one transaction committed: either way it is set up now, whole or not at all.
    const bool empty =
        pragmaInt("PRAGMA page_count") == 0 ||
        (pragmaInt("PRAGMA application_id") == 0 && pragmaInt("SELECT count(*) FROM sqlite_master") == 0);
    if (empty) {
        execRaw(QStringLiteral("BEGIN IMMEDIATE;") + QString::fromUtf8(kSchema) + QString::fromUtf8(kLaterIndexes) +
                    QString::fromUtf8(kLaterTables) + QStringLiteral("PRAGMA application_id=%1; PRAGMA user_version=1; COMMIT;").arg(kApplicationId),
                true);
    } else if (pragmaInt("PRAGMA application_id") != kApplicationId) {
        throw StoreError(QStringLiteral("“%1”不是本程序的数据库文件").arg(m_path));
    } else {
        // Only speed depends on them: a file another program holds locked opens without.
        try {
            execRaw(QString::fromUtf8(kLaterIndexes), false);
        } catch (const StoreError&) {
        }
        // Only the web page's accounts and the cutting list live there: without them the bills are
        // still served.
        try {
            execRaw(QString::fromUtf8(kLaterTables), false);
        } catch (const StoreError&) {
        }
    }
    // One disk flush a commit on a local disk; the rollback journal where the file is shared
    // over the network. Both with synchronous=FULL: a saved bill survives a power cut.
    execRaw(onNetworkFilesystem(m_path) ? QStringLiteral("PRAGMA journal_mode=DELETE")
                                        : QStringLiteral("PRAGMA journal_mode=WAL"),
            false);
    execRaw(QStringLiteral("PRAGMA synchronous=FULL"), false);
}

/// Opens the connection as the engine takes it: no double-quoted texts, extended result codes.
/// path is the file as messages give it (location itself when empty).
std::unique_ptr<FileEngine> connect(const QString& location, int flags, int busyTimeout, QString path = QString())
{
    if (path.isEmpty())
        path = location;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(location.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK) {
        const QString err = QStringLiteral("无法打开数据库文件“%1”。(%2)").arg(path, message(db));
        sqlite3_close(db);
        throw StoreError(err);
    }
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_busy_timeout(db, busyTimeout);
    sqlite3_extended_result_codes(db, 1);
    return std::make_unique<FileEngine>(db, path);
}

/// The message of a file that exists but cannot be opened names the file.
StoreError naming(const QString& path, bool exists, const StoreError& e)
{
    const QString m = (exists && !e.message().contains(path))
                          ? QStringLiteral("无法打开数据库文件“%1”：%2").arg(path, e.message())
                          : e.message();
    return StoreError(m, e.kind());
}


/// A disk too full for the write-ahead log's index (a few pages beside the file) must not keep
/// the clerk from looking bills up. The index is kept in this program's memory instead, which is
/// safe only while no other program uses the file: the file stays locked for the whole run
/// (locking_mode=EXCLUSIVE, before the first read), so another program is told it is busy rather
/// than read beside a log it cannot see. Nothing is written (query_only). Opening read-only
/// instead would need the index file all the same. Null when the file cannot be read this way.
std::unique_ptr<FileEngine> openViewOnly(const QString& path, int busyTimeout)
{
    try {
        auto engine = connect(path, SQLITE_OPEN_READWRITE, busyTimeout);
        try {
            engine->setViewOnly();
        } catch (const StoreError&) {
            engine->abandon();
            return nullptr;
        }
        return engine;
    } catch (const StoreError&) {
        return nullptr;
    }
}

} // namespace

std::unique_ptr<Engine> OpenFile(const QString& path, int busyTimeout)
{
    const bool exists = QFileInfo::exists(path);
    auto engine = connect(path, SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE), busyTimeout);
    try {
        engine->setUp();
    } catch (const StoreError& e) {
        const int lastErrno = sqlite3_system_errno(engine->db());
        engine->abandon();
        if (exists && (lastErrno == ENOSPC || lastErrno == EDQUOT))
            if (auto viewOnly = openViewOnly(path, busyTimeout))
                return viewOnly;
        throw naming(path, exists, e);
    }
    return engine;
}

std::unique_ptr<Engine> OpenFileForReading(const QString& path)
{
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
    auto engine = connect(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, 10000, path);
    engine->setReadOnly();
    try {
        if (engine->pragmaInt("PRAGMA application_id") != kApplicationId &&
            engine->pragmaInt("SELECT count(*) FROM sqlite_master") > 0)
            throw StoreError(QStringLiteral("“%1”不是本程序的数据库文件").arg(path));
    } catch (const StoreError& e) {
        engine->abandon();
        throw naming(path, true, e);
    }
    return engine;
}

QString QuickCheckFile(const QString& path)
{
    sqlite3* db = nullptr;
    QString err;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        err = message(db);
        sqlite3_close(db);
        return err;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check(5)", -1, &st, nullptr) != SQLITE_OK) {
        err = message(db);
    } else {
        QStringList problems;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            problems << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        if (rc != SQLITE_DONE)
            err = message(db);
        else if (problems != QStringList{QStringLiteral("ok")})
            err = QStringLiteral("备份文件已损坏：") + problems.join(QStringLiteral("；"));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return err;
}

} // namespace kvt::engine
