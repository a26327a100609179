#include "store/Copy.h"

#include "store/Database.h"
#include "store/Engine.h"
#include "store/ServerEngine.h"
#include "store/StoreError.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>

namespace kvt {
namespace {

/// The tables copied, in the order they are written, each with its key.
struct TableDef {
    const char* name;
    const char* key;
    /// Keys handed out by the engine (AUTOINCREMENT in a file, an identity column on a server).
    bool numbered;
    /// Made after the first databases: a source made before it has none, and nothing to copy.
    bool later = false;
};
constexpr TableDef kTables[] = {
    {"历史单据", "单据ID", false}, {"单据明细", "门框ID", true}, {"商品信息", "商品ID", true},
    {"客户信息", "客户ID", true},  {"系统设置", "ID", false},    {"网页账号", "用户名", false, true},
};
const QString kCounterId = QStringLiteral("历史单据ID");

/// One table as read from the source: its columns and every value, row after row, in key order.
struct TableData {
    QString name;
    QString key;
    bool numbered = false;
    QStringList columns;
    int keyColumn = -1;
    std::vector<QVariant> values;
    qint64 rows = 0;
    QByteArray checksum;
    /// The last key handed out (numbered tables).
    qint64 position = 0;

    const QVariant& at(qint64 row, int column) const { return values[size_t(row * columns.size() + column)]; }
};

/// A check of the copy that failed: its message is complete and goes to the user as it is.
class Refused : public StoreError {
public:
    using StoreError::StoreError;
};

QString quoted(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

/// A value as canonical text, the same for the same value on both engines: its kind, then the
/// value (whole numbers in decimal, other numbers as the shortest text that reads back as the
/// same double, texts as UTF-8 after their length).
void appendCanonical(QByteArray& out, const QVariant& v)
{
    if (!v.isValid() || v.isNull()) {
        out += "N;";
        return;
    }
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool:
        out += 'I';
        out += QByteArray::number(v.toLongLong());
        break;
    case QMetaType::Double: {
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, v.toDouble());
        out += 'R';
        out.append(buf, int(r.ptr - buf));
        break;
    }
    default: {
        const QByteArray t = v.toString().toUtf8();
        out += 'T';
        out += QByteArray::number(t.size());
        out += ':';
        out += t;
    }
    }
    out += ';';
}

/// A value as the user reads it in a message.
QString shown(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return QStringLiteral("空值");
    if (v.typeId() == QMetaType::Double) {
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, v.toDouble());
        return QString::fromLatin1(buf, int(r.ptr - buf));
    }
    if (v.typeId() == QMetaType::QString)
        return QStringLiteral("“%1”").arg(v.toString());
    return v.toString();
}

/// The table's columns in key order; a text key in the server's byte order, as a file orders it.
QString selectSql(const TableData& t)
{
    QStringList cols;
    for (const QString& c : t.columns)
        cols << quoted(c);
    const bool textKey = t.key == QLatin1String("ID");
    return QStringLiteral("SELECT %1 FROM %2 ORDER BY %3%4")
        .arg(cols.join(QLatin1Char(',')), quoted(t.name), quoted(t.key),
             engine::IsServer() && textKey ? QStringLiteral(" COLLATE \"C\"") : QString());
}

/// The name of the sequence behind a numbered column on the server ("" when it has none).
QString serverSequence(const TableData& t)
{
    engine::Statement st(QStringLiteral("SELECT pg_get_serial_sequence('%1', '%2')").arg(quoted(t.name), t.key));
    return st.step() ? st.value(0).toString() : QString();
}

/// The last key a numbered table has handed out: sqlite_sequence in a file, the identity
/// column's sequence on a server (the next value minus one).
qint64 readPosition(const TableData& t)
{
    if (!engine::IsServer()) {
        engine::Statement st(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name='%1'").arg(t.name));
        return st.step() ? st.value(0).toLongLong() : 0;
    }
    const QString sequence = serverSequence(t);
    if (sequence.isEmpty())
        return 0;
    engine::Statement st(
        QStringLiteral("SELECT CASE WHEN is_called THEN last_value ELSE last_value - 1 END FROM %1").arg(sequence));
    return st.step() ? st.value(0).toLongLong() : 0;
}

/// Makes key position + 1 the next one the table hands out.
void writePosition(const TableData& t, qint64 position)
{
    if (!engine::IsServer()) {
        engine::ExecRaw(QStringLiteral("DELETE FROM sqlite_sequence WHERE name='%1'").arg(t.name));
        if (position > 0)
            engine::ExecRaw(
                QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES ('%1', %2)").arg(t.name).arg(position));
        return;
    }
    engine::Statement st(
        QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), ?, false)").arg(quoted(t.name), t.key));
    st.bind(1, QVariant(position + 1));
    st.step();
}

/// Reads one whole table of the open source database.
void readTable(TableData& t)
{
    engine::Statement st(selectSql(t));
    QCryptographicHash sha(QCryptographicHash::Sha256);
    QByteArray row;
    qint64 highestKey = 0;
    while (st.step()) {
        row.clear();
        for (int c = 0; c < t.columns.size(); ++c) {
            QVariant v = st.value(c);
            appendCanonical(row, v);
            t.values.push_back(std::move(v));
        }
        if (t.numbered)
            highestKey = std::max(highestKey, t.values[t.values.size() - t.columns.size() + t.keyColumn].toLongLong());
        sha.addData(row);
        ++t.rows;
    }
    t.checksum = sha.result().toHex();
    // A file hands out keys above both its record of them and the highest key present; so must
    // the copy, whatever the source's record says.
    if (t.numbered)
        t.position = std::max(readPosition(t), highestKey);
}

/// Closes the open database when it goes, however the copy ends.
struct Closer {
    ~Closer() { Database::Close(); }
};

/// Opens the source without changing it. A server's database is connected to directly: opening
/// it as the program does would set up the tables in an empty one, and a mistyped database name
/// would then pass for an empty workshop. A file is only read, so one on a read-only medium or
/// not the user's to write is copied too.
void openSource(const QString& source)
{
    if (IsServerConnection(source)) {
        Database::Close();
        engine::server::Connect(source);
        return;
    }
    const QFileInfo file(source);
    if (!file.exists())
        throw Refused(QStringLiteral("源数据库文件“%1”不存在。").arg(source));
    if (file.isFile() && file.size() == 0)
        throw Refused(QStringLiteral("源数据库文件“%1”是空的，里面没有数据库。").arg(source));
    Database::OpenForReading(source);
}

std::vector<TableData> readSource(const QString& source)
{
    const QString where = DescribeLocation(source);
    try {
        openSource(source);
    } catch (const Refused&) {
        throw;
    } catch (const StoreError& e) {
        throw StoreError(QStringLiteral("打不开源数据库：%1").arg(e.message()), e.kind());
    }
    Closer closer;
    std::vector<TableData> tables;
    try {
        QStringList missing;
        for (const TableDef& def : kTables) {
            TableData t;
            t.name = QString::fromUtf8(def.name);
            t.key = QString::fromUtf8(def.key);
            t.numbered = def.numbered;
            for (const engine::ColumnInfo& c : engine::TableColumns(t.name))
                t.columns << c.name;
            t.keyColumn = int(t.columns.indexOf(t.key));
            if (t.columns.isEmpty() && def.later)
                continue;
            if (t.columns.isEmpty())
                missing << t.name;
            else if (t.keyColumn < 0)
                throw Refused(QStringLiteral("源数据库（%1）的“%2”表没有“%3”列，不是本程序的表。").arg(where, t.name, t.key));
            tables.push_back(std::move(t));
        }
        if (missing.size() == int(std::count_if(std::begin(kTables), std::end(kTables), [](const TableDef& d) { return !d.later; })))
            throw Refused(QStringLiteral("源数据库（%1）里没有本程序的表。").arg(where));
        if (!missing.isEmpty())
            throw Refused(QStringLiteral("源数据库（%1）缺少本程序的表：%2。").arg(where, missing.join(QStringLiteral("、"))));
        // One snapshot of all the tables: a bill saved meanwhile is copied whole or not at all.
        TransactionScope snapshot;
        if (engine::IsServer())
            engine::ExecRaw(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"), false);
        for (TableData& t : tables)
            readTable(t);
    } catch (const Refused&) {
        throw;
    } catch (const StoreError& e) {
        throw StoreError(QStringLiteral("读取源数据库（%1）时出错：%2").arg(where, e.message()), e.kind());
    }
    return tables;
}

/// Refuses a target that holds anything a fresh database does not: bills, their lines, clients,
/// products (their keys would clash with the copied ones), or settings besides the counter row.
void refuseDataIn(const QString& where)
{
    QStringList found;
    for (const TableDef& def : kTables) {
        const QString name = QString::fromUtf8(def.name);
        qint64 rows = 0;
        if (name == QStringLiteral("系统设置")) {
            engine::Statement st(QStringLiteral("SELECT %1 FROM %2").arg(quoted(QStringLiteral("ID")), quoted(name)));
            while (st.step())
                if (st.value(0).isNull() || st.value(0).toString() != kCounterId)
                    ++rows;
            if (rows > 0)
                found << QStringLiteral("系统设置 %1 行（计数器以外）").arg(rows);
            continue;
        }
        engine::Statement st(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(name)));
        rows = st.step() ? st.value(0).toLongLong() : 0;
        if (rows > 0)
            found << QStringLiteral("%1 %2 行").arg(name).arg(rows);
    }
    if (!found.isEmpty())
        throw Refused(QStringLiteral("目标数据库（%1）里已有数据（%2），没有复制：只能复制到新建的空数据库。")
                          .arg(where, found.join(QStringLiteral("、"))));
}

void refuseMissingColumns(const std::vector<TableData>& tables, const QString& where)
{
    for (const TableData& t : tables) {
        QStringList have;
        for (const engine::ColumnInfo& c : engine::TableColumns(t.name))
            have << c.name;
        for (const QString& c : t.columns)
            if (!have.contains(c))
                throw Refused(QStringLiteral("目标数据库（%1）的“%2”表没有“%3”列，没有复制。").arg(where, t.name, c));
    }
}

/// Writes a table's rows with prepared statements, many rows to one statement (the engines take
/// at least 999 parameters to a statement).
void insertRows(const TableData& t)
{
    const int n = int(t.columns.size());
    const int perStatement = std::max(1, 900 / n);
    QStringList cols;
    for (const QString& c : t.columns)
        cols << quoted(c);
    const QString oneRow = QLatin1Char('(') + QStringList(n, QStringLiteral("?")).join(QLatin1Char(',')) +
                           QLatin1Char(')');
    auto sql = [&](int rows) {
        return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
            .arg(quoted(t.name), cols.join(QLatin1Char(',')), QStringList(rows, oneRow).join(QLatin1Char(',')));
    };
    std::unique_ptr<engine::Statement> full;
    for (qint64 first = 0; first < t.rows; first += perStatement) {
        const int rows = int(std::min<qint64>(perStatement, t.rows - first));
        std::unique_ptr<engine::Statement> last;
        engine::Statement* st = nullptr;
        if (rows == perStatement) {
            if (!full)
                full = std::make_unique<engine::Statement>(sql(rows));
            st = full.get();
        } else {
            last = std::make_unique<engine::Statement>(sql(rows));
            st = last.get();
        }
        int p = 1;
        for (qint64 r = first; r < first + rows; ++r)
            for (int c = 0; c < n; ++c)
                st->bind(p++, t.at(r, c));
        st->step();
        st->reset();
    }
}

/// Reads the table back from the target and compares it with the source as read: row count and
/// checksum, and where they differ, the first row and column that does.
CopiedTable verifyTable(const TableData& t)
{
    engine::Statement st(selectSql(t));
    QCryptographicHash sha(QCryptographicHash::Sha256);
    QByteArray row, expected, a, b;
    qint64 rows = 0;
    QString difference;
    while (st.step()) {
        row.clear();
        for (int c = 0; c < t.columns.size(); ++c)
            appendCanonical(row, st.value(c));
        sha.addData(row);
        if (difference.isEmpty() && rows < t.rows) {
            expected.clear();
            for (int c = 0; c < t.columns.size(); ++c)
                appendCanonical(expected, t.at(rows, c));
            if (expected != row) {
                for (int c = 0; c < t.columns.size() && difference.isEmpty(); ++c) {
                    a.clear();
                    b.clear();
                    appendCanonical(a, t.at(rows, c));
                    appendCanonical(b, st.value(c));
                    if (a != b)
                        difference = QStringLiteral("第%1行（%2 %3）的“%4”原为%5，复制后为%6")
                                         .arg(rows + 1)
                                         .arg(t.key, shown(t.at(rows, t.keyColumn)), t.columns[c],
                                              shown(t.at(rows, c)), shown(st.value(c)));
                }
            }
        }
        ++rows;
    }
    const QByteArray checksum = sha.result().toHex();
    if (rows != t.rows)
        difference = QStringLiteral("复制后有%1行，源数据库有%2行").arg(rows).arg(t.rows);
    if (rows != t.rows || checksum != t.checksum)
        throw Refused(QStringLiteral("复制后的“%1”与源数据库不一致：%2。没有复制，目标数据库没有改动。")
                          .arg(t.name, difference.isEmpty() ? QStringLiteral("校验和不同") : difference));
    return {t.name, rows, checksum};
}

/// What to undo on the target should the copy fail: a file made for it, or a server's
/// numbering (sequences are not rolled back with the transaction).
struct TargetUndo {
    QString path;
    bool removeFile = false;
    bool emptyFile = false;
    std::vector<std::pair<const TableData*, qint64>> serverPositions;

    void run() const
    {
        if (!serverPositions.empty() && engine::IsServer()) {
            for (const auto& [table, position] : serverPositions) {
                try {
                    writePosition(*table, position);
                } catch (const StoreError&) {
                    // The connection is gone with the rest of the copy; only the next key's
                    // number would differ, no data.
                }
            }
        }
        Database::Close();
        if (removeFile || emptyFile) {
            for (const char* suffix : {"-journal", "-wal", "-shm"})
                QFile::remove(path + QLatin1String(suffix));
        }
        if (removeFile)
            QFile::remove(path);
        else if (emptyFile)
            QFile(path).resize(0);
    }
};

CopyReport writeTarget(const std::vector<TableData>& tables, const QString& target)
{
    const QString where = DescribeLocation(target);
    TargetUndo undo;
    if (!IsServerConnection(target)) {
        const QFileInfo file(target);
        undo.path = target;
        undo.removeFile = !file.exists();
        undo.emptyFile = file.exists() && file.isFile() && file.size() == 0;
    }
    try {
        Database::Open(target);
    } catch (const StoreError& e) {
        undo.run();
        throw StoreError(QStringLiteral("打不开目标数据库：%1").arg(e.message()), e.kind());
    }
    CopyReport report;
    try {
        // A file written here is carried away, often on media nothing can write to; there a
        // write-ahead log named in its header keeps any reader out. It gets the rollback journal, as
        // the daily copies have; kvt takes the log up again when it opens the file as its own.
        if (!engine::IsServer()) {
            engine::ExecRaw(QStringLiteral("PRAGMA journal_mode=DELETE"));
            if (Database::JournalMode() != QLatin1String("delete"))
                throw StoreError(QStringLiteral("目标文件不能改用回滚日志"));
        }
        {
            TransactionScope scope;
            // No workstation writes while the copy checks the target is empty and fills it.
            if (engine::IsServer())
                engine::ExecRaw(QStringLiteral("LOCK TABLE \"历史单据\", \"单据明细\", \"商品信息\", \"客户信息\", "
                                               "\"系统设置\" IN EXCLUSIVE MODE"));
            refuseDataIn(where);
            refuseMissingColumns(tables, where);
            // A server's numbering stands even when the transaction rolls back, and the inserts
            // already move it: where it stood is noted first, to be put back should the copy fail.
            if (engine::IsServer()) {
                for (const TableData& t : tables) {
                    if (!t.numbered)
                        continue;
                    if (serverSequence(t).isEmpty())
                        throw Refused(QStringLiteral("目标数据库（%1）的“%2”表的“%3”列不是自动编号的，没有复制。")
                                          .arg(where, t.name, t.key));
                    undo.serverPositions.emplace_back(&t, readPosition(t));
                }
            }
            // A fresh database's counter row gives way to the source's.
            engine::ExecRaw(QStringLiteral("DELETE FROM \"系统设置\""));
            for (const TableData& t : tables) {
                try {
                    insertRows(t);
                } catch (const StoreError& e) {
                    throw StoreError(QStringLiteral("写入“%1”时出错：%2").arg(t.name, e.message()), e.kind());
                }
            }
            for (const TableData& t : tables)
                report.tables.push_back(verifyTable(t));
            for (const TableData& t : tables)
                if (t.numbered)
                    writePosition(t, t.position);
            for (const TableData& t : tables) {
                if (!t.numbered)
                    continue;
                const qint64 written = readPosition(t);
                if (written != t.position)
                    throw Refused(QStringLiteral("复制后“%1”的自动编号停在%2，源数据库停在%3。没有复制，目标数据库没有改动。")
                                      .arg(t.name)
                                      .arg(written)
                                      .arg(t.position));
                report.positions.push_back({t.name, t.position});
            }
            scope.Commit();
        }
        report.target = Database::Describe();
        Database::Close();
    } catch (const Refused&) {
        undo.run();
        throw;
    } catch (const StoreError& e) {
        undo.run();
        throw StoreError(QStringLiteral("写入目标数据库（%1）时出错，没有复制：%2").arg(where, e.message()), e.kind());
    }
    return report;
}

} // namespace

QString DescribeLocation(const QString& location)
{
    return IsServerConnection(location) ? engine::server::Redacted(location) : location;
}

QStringList CopyReport::Lines() const
{
    QStringList lines;
    for (const CopiedTable& t : tables)
        lines << QStringLiteral("%1：%2 行，校验和一致").arg(t.name).arg(t.rows);
    QStringList numbering;
    for (const NumberingPosition& p : positions)
        numbering << QStringLiteral("%1 %2").arg(p.table).arg(p.position);
    lines << QStringLiteral("自动编号：%1，一致").arg(numbering.join(QStringLiteral("、")));
    lines << QStringLiteral("已复制到：%1").arg(target);
    return lines;
}

CopyReport CopyDatabase(const QString& source, const QString& target)
{
    Database::Close();
    const std::vector<TableData> tables = readSource(source);
    return writeTarget(tables, target);
}

} // namespace kvt
