// See Copy.h. Reads from a RowSource and writes through the open database's engine in one
// transaction; the only engine-specific step left here is the server's table lock. The refusals of
// an unfit target, the check of every table before the commit and the undo of a server's numbering
// when the copy fails are each part of that one transaction, so they stay in this one file.
#include "transfer/Copy.h"
#include "store/SqlDialect.h"

#include "store/Database.h"
#include "store/Engine.h"
#include "store/ServerEngine.h"
#include "store/StoreError.h"
#include "transfer/DatabaseSource.h"
#include "transfer/JetSource.h"
#include "transfer/LegacyImport.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <cstring>
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
    {"历史单据", "单据ID", false},      {"单据明细", "门框ID", true},       {"商品信息", "商品ID", true},
    {"客户信息", "客户ID", true},       {"系统设置", "ID", false},          {"网页账号", "用户名", false, true},
    {"材料", "材料ID", true, true},     {"商品部件", "部件ID", true, true}, {"余料", "余料ID", true, true},
    {"下料记录", "记录ID", true, true},
};
const QString kCounterId = QStringLiteral("历史单据ID");

/// A table's checksum whatever order its rows come in: the sum, as one 256-bit number, of each
/// row's 256-bit hash. A foreign file's rows need not come in key order; a row changed, lost or added
/// changes the sum all the same. The row hash is four independent keyed 64-bit multiply-mix hashes
/// of the row's canonical bytes: it guards against a copy that differs, not against an adversary,
/// and costs a tenth of a SHA-256, which both sides of a large copy would otherwise spend most of
/// their checking on.
struct Checksum {
    quint64 words[4] = {0, 0, 0, 0};

    static quint64 mix(quint64 a, quint64 b)
    {
        const unsigned __int128 r = static_cast<unsigned __int128>(a) * b;
        return quint64(r) ^ quint64(r >> 64);
    }

    static void rowHash(const QByteArray& bytes, quint64 (&h)[4])
    {
        static constexpr quint64 kKeys[4][2] = {{0xa0761d6478bd642full, 0xe7037ed1a0b428dbull},
                                                {0x8ebc6af09c88c6e3ull, 0x589965cc75374cc3ull},
                                                {0x1d8e4e27c47d124full, 0x9e3779b97f4a7c15ull},
                                                {0xd6e8feb86659fd93ull, 0xbf58476d1ce4e5b9ull}};
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
        const qsizetype n = bytes.size();
        for (int l = 0; l < 4; ++l)
            h[l] = kKeys[l][0] ^ quint64(n);
        qsizetype i = 0;
        for (; i + 8 <= n; i += 8) {
            quint64 w;
            std::memcpy(&w, p + i, 8);
            for (int l = 0; l < 4; ++l)
                h[l] = mix(h[l] ^ w, kKeys[l][1]);
        }
        quint64 tail = 0;
        std::memcpy(&tail, p + i, size_t(n - i));
        for (int l = 0; l < 4; ++l)
            h[l] = mix(mix(h[l] ^ tail, kKeys[l][1]) ^ kKeys[l][0], kKeys[l][1] ^ quint64(n));
    }

    void addRow(const QByteArray& canonicalRow)
    {
        quint64 h[4];
        rowHash(canonicalRow, h);
        quint64 carry = 0;
        for (int w = 0; w < 4; ++w) {
            const quint64 part = h[w];
            const quint64 sum = words[w] + part;
            const quint64 next = (sum < part) ? 1 : 0;
            words[w] = sum + carry;
            carry = next + ((words[w] < sum) ? 1 : 0);
        }
    }
    QByteArray hex() const
    {
        QByteArray bytes;
        for (int w = 3; w >= 0; --w)
            for (int b = 7; b >= 0; --b)
                bytes += char(quint8(words[w] >> (8 * b)));
        return bytes.toHex();
    }
    bool operator==(const Checksum& o) const { return std::equal(words, words + 4, o.words); }
};

/// One table as the copy writes it: the source's columns, and what was counted while writing.
struct TablePlan {
    QString name;
    QString key;
    bool numbered = false;
    std::vector<SourceColumn> columns;
    int keyColumn = -1;
    qint64 rows = 0;
    Checksum checksum;
    /// The highest key written, then the last key handed out (numbered tables).
    qint64 position = 0;

    QStringList names() const
    {
        QStringList n;
        for (const SourceColumn& c : columns)
            n << c.name;
        return n;
    }
};

/// A check of the copy that failed: its message is complete and goes to the user as it is.
class Refused : public StoreError {
public:
    using StoreError::StoreError;
};

/// A value as canonical bytes, the same for the same value on both engines: its kind, then the
/// value (whole numbers and other numbers as their 8 bytes, texts as their UTF-16 after their
/// length). In a column of numbers every number is written as a double, as such a column holds it,
/// and so is the text of an exact decimal. Bytes rather than decimal text: a large copy puts every
/// value through here twice, and equal doubles have equal bytes.
void appendCanonical(QByteArray& out, const QVariant& v, ColumnKind kind)
{
    auto append64 = [&out](char tag, quint64 bits) {
        char buf[9];
        buf[0] = tag;
        std::memcpy(buf + 1, &bits, 8);
        out.append(buf, 9);
    };
    if (!v.isValid() || v.isNull()) {
        out += 'N';
        return;
    }
    const bool numbers = kind == ColumnKind::Real || kind == ColumnKind::Exact;
    bool number = false;
    double asDouble = 0;
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Bool:
        if (!numbers) {
            append64('I', quint64(v.toLongLong()));
            return;
        }
        asDouble = v.toDouble();
        number = true;
        break;
    case QMetaType::Double:
        asDouble = v.toDouble();
        number = true;
        break;
    case QMetaType::QString:
        if (kind == ColumnKind::Exact)
            asDouble = v.toString().toDouble(&number);
        break;
    default: break;
    }
    if (number) {
        if (asDouble == 0)
            asDouble = 0; // -0 and 0 are one number
        quint64 bits;
        std::memcpy(&bits, &asDouble, 8);
        append64('R', bits);
        return;
    }
    const QString t = v.typeId() == QMetaType::QDate ? v.toDate().toString(Qt::ISODate) : v.toString();
    append64('T', quint64(t.size()));
    out.append(reinterpret_cast<const char*>(t.constData()), t.size() * qsizetype(sizeof(QChar)));
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

/// Refuses a target that holds anything a fresh database does not: bills, their lines, clients,
/// products (their keys would clash with the copied ones), or settings besides the counter row.
void refuseDataIn(const QString& where)
{
    QStringList found;
    for (const TableDef& def : kTables) {
        const QString name = QString::fromUtf8(def.name);
        qint64 rows = 0;
        if (name == QStringLiteral("系统设置")) {
            engine::Statement st(QStringLiteral("SELECT %1 FROM %2").arg(QuotedName(QStringLiteral("ID")), QuotedName(name)));
            while (st.step())
                if (st.value(0).isNull() || st.value(0).toString() != kCounterId)
                    ++rows;
            if (rows > 0)
                found << QStringLiteral("系统设置 %1 行（计数器以外）").arg(rows);
            continue;
        }
        engine::Statement st(QStringLiteral("SELECT count(*) FROM %1").arg(QuotedName(name)));
        rows = st.step() ? st.value(0).toLongLong() : 0;
        if (rows > 0)
            found << QStringLiteral("%1 %2 行").arg(name).arg(rows);
    }
    if (!found.isEmpty())
        throw Refused(QStringLiteral("目标数据库（%1）里已有数据（%2），没有复制：只能复制到新建的空数据库。")
                          .arg(where, found.join(QStringLiteral("、"))));
}

/// A source table's columns the target's table lacks: refused, or added to it when the caller
/// asks (an old workshop's file keeps columns of its own). They are added here, generically, each
/// typed after its kind as the target's engine names it, so no source needs a hook of its own.
void matchColumns(const std::vector<TablePlan>& tables, const QString& where, bool addMissing)
{
    engine::Engine& target = engine::Current();
    for (const TablePlan& t : tables) {
        QStringList have;
        for (const engine::ColumnInfo& c : target.tableColumns(t.name))
            have << c.name;
        for (const SourceColumn& c : t.columns) {
            if (have.contains(c.name))
                continue;
            if (!addMissing)
                throw Refused(QStringLiteral("目标数据库（%1）的“%2”表没有“%3”列，没有复制。").arg(where, t.name, c.name));
            target.execRaw(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                               .arg(QuotedName(t.name), QuotedName(c.name), target.typeOf(c.kind)),
                           true);
        }
    }
}

/// Thrown through the source's reading when writing the target failed, to tell the two apart.
class WriteFailed : public StoreError {
public:
    using StoreError::StoreError;
};

/// Reads a table from the source and writes it as it reads, many rows to one prepared statement
/// (the engines take at least 999 parameters to a statement); counts the rows, sums their
/// checksum and notes the highest key. Only one statement's rows are held at a time.
void copyRows(RowSource& source, TablePlan& t, const CopyOptions& options)
{
    const qint64 total = options.progress ? source.rowCount(t.name) : -1;
    const int n = int(t.columns.size());
    const int perStatement = std::max(1, 900 / n);
    QStringList cols;
    for (const SourceColumn& c : t.columns)
        cols << QuotedName(c.name);
    const QString oneRow =
        QLatin1Char('(') + QStringList(n, QStringLiteral("?")).join(QLatin1Char(',')) + QLatin1Char(')');
    auto sql = [&](int rows) {
        return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
            .arg(QuotedName(t.name), cols.join(QLatin1Char(',')), QStringList(rows, oneRow).join(QLatin1Char(',')));
    };
    std::unique_ptr<engine::Statement> full;
    std::vector<QVariant> waiting;
    waiting.reserve(size_t(perStatement * n));
    auto write = [&] {
        const int rows = int(waiting.size()) / n;
        if (rows == 0)
            return;
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
        for (int p = 0; p < int(waiting.size()); ++p)
            st->bind(p + 1, waiting[size_t(p)]);
        st->step();
        st->reset();
        waiting.clear();
        if (options.progress)
            options.progress(t.name, t.rows, total);
    };
    auto writeWaiting = [&] {
        try {
            write();
        } catch (const StoreError& e) {
            throw WriteFailed(e.message(), e.kind());
        }
    };
    QByteArray canonical;
    auto written = [&](const SourceRow& row) {
        if (int(row.size()) != n)
            throw StoreError(QStringLiteral("“%1”表的一行有%2个值，应有%3个").arg(t.name).arg(row.size()).arg(n));
        canonical.clear();
        for (int c = 0; c < n; ++c)
            appendCanonical(canonical, row[size_t(c)], t.columns[size_t(c)].kind);
        t.checksum.addRow(canonical);
        ++t.rows;
        if (t.numbered)
            t.position = std::max(t.position, row[size_t(t.keyColumn)].toLongLong());
        waiting.insert(waiting.end(), row.begin(), row.end());
        if (int(waiting.size()) == perStatement * n)
            writeWaiting();
        return true;
    };
    try {
        source.readRows(t.name, written);
        writeWaiting();
    } catch (const WriteFailed& e) {
        throw StoreError(QStringLiteral("写入“%1”时出错：%2").arg(t.name, e.message()), e.kind());
    } catch (const Refused&) {
        throw;
    } catch (const StoreError& e) {
        throw Refused(QStringLiteral("读取源数据库（%1）时出错：%2").arg(source.describe(), e.message()), e.kind());
    }
}

/// Where the target's table differs from the source: the first source row (in the source's order)
/// whose row in the target, found by its key, holds another value.
QString firstDifference(RowSource& source, const TablePlan& t)
{
    engine::Engine& target = engine::Current();
    QStringList cols = t.names();
    for (QString& c : cols)
        c = QuotedName(c);
    engine::Statement find(target, QStringLiteral("SELECT %1 FROM %2 WHERE %3%4")
                                       .arg(cols.join(QLatin1Char(',')), QuotedName(t.name), QuotedName(t.key),
                                            target.keyEqualsParameter()));
    QString difference;
    qint64 row = 0;
    QByteArray a, b;
    source.readRows(t.name, [&](const SourceRow& values) {
        ++row;
        find.bind(1, values[size_t(t.keyColumn)]);
        const bool found = find.step();
        for (int c = 0; c < int(t.columns.size()) && difference.isEmpty(); ++c) {
            const QVariant copied = found ? find.value(c) : QVariant();
            a.clear();
            b.clear();
            appendCanonical(a, values[size_t(c)], t.columns[size_t(c)].kind);
            appendCanonical(b, copied, t.columns[size_t(c)].kind);
            if (!found || a != b)
                difference = found ? QStringLiteral("第%1行（%2 %3）的“%4”原为%5，复制后为%6")
                                         .arg(row)
                                         .arg(t.key, shown(values[size_t(t.keyColumn)]), t.columns[size_t(c)].name,
                                              shown(values[size_t(c)]), shown(copied))
                                   : QStringLiteral("第%1行（%2 %3）复制后没有了")
                                         .arg(row)
                                         .arg(t.key, shown(values[size_t(t.keyColumn)]));
        }
        find.reset();
        return difference.isEmpty();
    });
    return difference;
}

/// Reads the table back from the target and compares it with what was written: row count and
/// checksum, and where they differ, the first row and column that does.
CopiedTable verifyTable(RowSource& source, const TablePlan& t)
{
    engine::Engine& target = engine::Current();
    QStringList cols = t.names();
    for (QString& c : cols)
        c = QuotedName(c);
    Checksum checksum;
    qint64 rows = 0;
    QByteArray canonical;
    target.readRows(QStringLiteral("SELECT %1 FROM %2").arg(cols.join(QLatin1Char(',')), QuotedName(t.name)),
                    [&](const std::vector<QVariant>& values) {
                        canonical.clear();
                        for (size_t c = 0; c < values.size(); ++c)
                            appendCanonical(canonical, values[c], t.columns[c].kind);
                        checksum.addRow(canonical);
                        ++rows;
                        return true;
                    });
    if (rows != t.rows || !(checksum == t.checksum)) {
        QString difference = rows != t.rows ? QStringLiteral("复制后有%1行，源数据库有%2行").arg(rows).arg(t.rows)
                                            : firstDifference(source, t);
        throw Refused(QStringLiteral("复制后的“%1”与源数据库不一致：%2。没有复制，目标数据库没有改动。")
                          .arg(t.name, difference.isEmpty() ? QStringLiteral("校验和不同") : difference));
    }
    return {t.name, rows, checksum.hex()};
}

/// The tables to copy as the source has them; refuses a source that is not a workshop's database.
std::vector<TablePlan> planTables(RowSource& source)
{
    const QString where = source.describe();
    std::vector<TablePlan> tables;
    try {
        const QStringList present = source.tables();
        QStringList missing;
        for (const TableDef& def : kTables) {
            TablePlan t;
            t.name = QString::fromUtf8(def.name);
            t.key = QString::fromUtf8(def.key);
            t.numbered = def.numbered;
            if (!present.contains(t.name)) {
                if (!def.later)
                    missing << t.name;
                continue;
            }
            t.columns = source.columns(t.name);
            for (int c = 0; c < int(t.columns.size()); ++c)
                if (t.columns[size_t(c)].name == t.key)
                    t.keyColumn = c;
            if (t.keyColumn < 0)
                throw Refused(QStringLiteral("源数据库（%1）的“%2”表没有“%3”列，不是本程序的表。").arg(where, t.name, t.key));
            tables.push_back(std::move(t));
        }
        if (missing.size() == int(std::count_if(std::begin(kTables), std::end(kTables),
                                                [](const TableDef& d) { return !d.later; })))
            throw Refused(QStringLiteral("源数据库（%1）里没有本程序的表。").arg(where));
        if (!missing.isEmpty())
            throw Refused(QStringLiteral("源数据库（%1）缺少本程序的表：%2。").arg(where, missing.join(QStringLiteral("、"))));
    } catch (const Refused&) {
        throw;
    } catch (const StoreError& e) {
        throw StoreError(QStringLiteral("读取源数据库（%1）时出错：%2").arg(where, e.message()), e.kind());
    }
    return tables;
}

/// What to undo on the target should the copy fail: a file made for it, or a server's
/// numbering (sequences are not rolled back with the transaction).
struct TargetUndo {
    QString path;
    bool removeFile = false;
    bool emptyFile = false;
    std::vector<std::pair<const TablePlan*, qint64>> serverPositions;

    void run() const
    {
        if (!serverPositions.empty() && engine::IsServer()) {
            for (const auto& [table, position] : serverPositions) {
                try {
                    engine::Current().setNumberingPosition(table->name, table->key, position);
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

CopyReport writeTarget(RowSource& source, std::vector<TablePlan>& tables, const QString& target,
                       const CopyOptions& options)
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
        // Each statement inserts many rows, and one that fails must be undone alone: a file keeps
        // what it would undo in a journal of its own, in memory here rather than in a temporary
        // file written page by page (set before the transaction, which takes it at its start).
        if (!engine::IsServer())
            engine::Current().execRaw(QStringLiteral("PRAGMA temp_store=MEMORY"), false);
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
            engine::Engine& e = engine::Current();
            // No workstation writes while the copy checks the target is empty and fills it.
            if (e.isServer()) {
                const QStringList present = e.tableNames();
                QStringList locked;
                for (const TableDef& def : kTables)
                    if (present.contains(QString::fromUtf8(def.name)))
                        locked << QuotedName(QString::fromUtf8(def.name));
                e.execRaw(QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(locked.join(QStringLiteral(", "))),
                          true);
            }
            refuseDataIn(where);
            matchColumns(tables, where, options.addMissingColumns);
            for (const TablePlan& t : tables)
                if (t.numbered && !e.numbered(t.name, t.key))
                    throw Refused(QStringLiteral("目标数据库（%1）的“%2”表的“%3”列不是自动编号的，没有复制。")
                                      .arg(where, t.name, t.key));
            // A server's numbering stands even when the transaction rolls back, and the inserts
            // already move it: where it stood is noted first, to be put back should the copy fail.
            if (e.isServer())
                for (const TablePlan& t : tables)
                    if (t.numbered)
                        undo.serverPositions.emplace_back(&t, e.numberingPosition(t.name, t.key));
            // A fresh database's counter row gives way to the source's.
            e.execRaw(QStringLiteral("DELETE FROM \"系统设置\""), true);
            for (TablePlan& t : tables)
                copyRows(source, t, options);
            for (const TablePlan& t : tables)
                report.tables.push_back(verifyTable(source, t));
            for (TablePlan& t : tables) {
                if (!t.numbered)
                    continue;
                // A file hands out keys above both its record of them and the highest key present;
                // so must the copy, whatever the source's record says.
                t.position = std::max(t.position, source.numberingPosition(t.name, t.key));
                e.setNumberingPosition(t.name, t.key, t.position);
            }
            for (const TablePlan& t : tables) {
                if (!t.numbered)
                    continue;
                const qint64 written = e.numberingPosition(t.name, t.key);
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

/// Opens the source for reading; a missing or empty file is refused before anything is opened. A
/// file is only read, so one on a read-only medium or not the user's to write is copied too.
std::unique_ptr<DatabaseSource> openSource(const QString& source)
{
    if (!IsServerConnection(source)) {
        const QFileInfo file(source);
        if (!file.exists())
            throw Refused(QStringLiteral("源数据库文件“%1”不存在。").arg(source));
        if (file.isFile() && file.size() == 0)
            throw Refused(QStringLiteral("源数据库文件“%1”是空的，里面没有数据库。").arg(source));
        QFile f(source);
        if (f.open(QIODevice::ReadOnly) && !f.read(16).startsWith("SQLite format 3"))
            throw Refused(QStringLiteral("源文件“%1”既不是本程序的数据库文件（kvt.db），也不是旧程序的数据库文件（kvt.mdb）。")
                              .arg(source));
    }
    try {
        return std::make_unique<DatabaseSource>(source);
    } catch (const StoreError& e) {
        throw StoreError(QStringLiteral("打不开源数据库：%1").arg(e.message()), e.kind());
    }
}

/// The old program's file: its traces resolved, its own columns added, its report kept beside a
/// target file.
CopyReport importLegacyFile(const QString& source, const QString& target, CopyOptions options)
{
    LegacySource legacy(source);
    options.addMissingColumns = true;
    Database::Close();
    std::vector<TablePlan> tables = planTables(legacy);
    CopyReport report = writeTarget(legacy, tables, target, options);
    report.sourceReport = legacy.report();
    if (!IsServerConnection(target)) {
        const QString path = LegacyReportPath(target);
        QFile file(path);
        QStringList lines = report.sourceReport;
        lines << QString() << report.Lines().mid(0, int(report.tables.size()) + 2);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text) &&
            file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()) >= 0 && file.flush())
            report.reportFile = path;
        else
            report.sourceReport << QStringLiteral("报告文件“%1”写不了：%2").arg(path, file.errorString());
    }
    return report;
}

} // namespace

QString DescribeLocation(const QString& location)
{
    return IsServerConnection(location) ? engine::RedactedConnection(location) : location;
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
    if (!sourceReport.isEmpty())
        lines << QString() << sourceReport;
    if (!reportFile.isEmpty())
        lines << QString() << QStringLiteral("这份报告另存在：%1").arg(reportFile);
    return lines;
}

CopyReport CopyDatabase(RowSource& source, const QString& target, const CopyOptions& options)
{
    Database::Close();
    std::vector<TablePlan> tables = planTables(source);
    return writeTarget(source, tables, target, options);
}

CopyReport CopyDatabase(const QString& source, const QString& target, const CopyOptions& options)
{
    Database::Close();
    if (!IsServerConnection(source) && JetSource::IsJetFile(source))
        return importLegacyFile(source, target, options);
    const std::unique_ptr<DatabaseSource> from = openSource(source);
    return CopyDatabase(*from, target, options);
}

} // namespace kvt
