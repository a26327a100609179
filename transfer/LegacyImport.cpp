// See LegacyImport.h. Reads the old file only through JetSource and hands the copy rows of the
// program's five tables: each trace a long-used file holds (a bill number given twice, lines without
// their bill, a date with a time, a text in a number column, the counter behind the largest bill)
// put right as it is read, and written into the report. Calls no engine. Every one of those traces
// needs its rule and its report line beside it, which makes it longer than most files of the store.
#include "transfer/LegacyImport.h"

#include "store/StoreError.h"
#include "transfer/JetSource.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace kvt {
namespace {

const QString kBills = QStringLiteral("历史单据");
const QString kLines = QStringLiteral("单据明细");
const QString kProducts = QStringLiteral("商品信息");
const QString kClients = QStringLiteral("客户信息");
const QString kSettings = QStringLiteral("系统设置");
const QString kBillId = QStringLiteral("单据ID");
const QString kCounterId = QStringLiteral("历史单据ID");

enum class Number { None, Whole, Real };

/// The program's five tables: each column and whether the program keeps a number in it.
struct ProgramTable {
    QString name;
    QString key; // "" for 系统设置
    std::vector<std::pair<QString, Number>> columns;
};

const std::vector<ProgramTable>& programTables() {
    static const std::vector<ProgramTable> tables = [] {
        auto real = [](std::initializer_list<const char*> names) {
            std::vector<std::pair<QString, Number>> out;
            for (const char* n : names)
                out.emplace_back(QString::fromUtf8(n), Number::Real);
            return out;
        };
        std::vector<ProgramTable> t;
        t.push_back({kBills,
                     kBillId,
                     {{kBillId, Number::Whole},
                      {QStringLiteral("客户ID"), Number::Whole},
                      {QStringLiteral("客户地址"), Number::None},
                      {QStringLiteral("单据日期"), Number::None},
                      {QStringLiteral("安装人员ID"), Number::Whole},
                      {QStringLiteral("安装人员"), Number::None}}});
        std::vector<std::pair<QString, Number>> lines = {{QStringLiteral("门框ID"), Number::Whole},
                                                         {kBillId, Number::Whole},
                                                         {QStringLiteral("商品ID"), Number::Whole},
                                                         {QStringLiteral("数量"), Number::Real},
                                                         {QStringLiteral("玻璃款式"), Number::None}};
        for (auto& c : real({"见光宽", "见光高", "现量宽", "现量高", "门扇宽", "门扇高", "玻璃宽", "玻璃高", "门框总宽",
                             "门框总高", "埋地"}))
            lines.push_back(c);
        lines.emplace_back(QStringLiteral("门框附加"), Number::None);
        lines.emplace_back(QStringLiteral("门框备注"), Number::None);
        t.push_back({kLines, QStringLiteral("门框ID"), lines});
        std::vector<std::pair<QString, Number>> products;
        for (const char* n : {"商品名称", "商品说明", "外框宽公式", "自定义编号", "商品ID", "外框高公式", "门扇宽公式",
                              "门扇高公式", "门扇玻璃宽公式", "门扇玻璃高公式"})
            products.emplace_back(QString::fromUtf8(n), Number::None);
        products[4].second = Number::Whole;
        t.push_back({kProducts, QStringLiteral("商品ID"), products});
        t.push_back({kClients,
                     QStringLiteral("客户ID"),
                     {{QStringLiteral("客户ID"), Number::Whole},
                      {QStringLiteral("自定义编号"), Number::None},
                      {QStringLiteral("客户名"), Number::None},
                      {QStringLiteral("客户电话"), Number::None},
                      {QStringLiteral("客户备注"), Number::None}}});
        t.push_back(
            {kSettings, QString(), {{QStringLiteral("ID"), Number::None}, {QStringLiteral("值"), Number::Whole}}});
        return t;
    }();
    return tables;
}

/// A number written as text: digits with an optional sign, point and exponent, spaces around
/// allowed. Anything else ("20mm", "１２", "1,5") is no number.
std::optional<QVariant> numberFromText(const QString& text, Number kind) {
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    const QString t = text.trimmed();
    if (!number.match(t).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    if (kind == Number::Whole) {
        if (v != std::trunc(v) || std::fabs(v) > 9e15)
            return std::nullopt;
        return QVariant(qlonglong(v));
    }
    return QVariant(v);
}

/// A number of the old file in the kind the program keeps: a whole number as a number of a
/// number column, a number of a key column as a whole number where it is one, any number as text.
QVariant inKind(const QVariant& v, ColumnKind kind) {
    switch (kind) {
    case ColumnKind::Real:
        return QVariant(v.toDouble());
    case ColumnKind::Integer: {
        const double d = v.toDouble();
        return d == std::trunc(d) && std::fabs(d) < 9e15 ? QVariant(qlonglong(d)) : QVariant(d);
    }
    case ColumnKind::Text:
        if (v.typeId() == QMetaType::Double) {
            char buf[32];
            const auto r = std::to_chars(buf, buf + sizeof buf, v.toDouble());
            return QString::fromLatin1(buf, int(r.ptr - buf));
        }
        return v.toString();
    default:
        return v;
    }
}

QString quotedText(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\\n")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QStringLiteral("“%1”").arg(shown);
}

/// One table of the old file as the copy sees it.
struct Table {
    const ProgramTable* program = nullptr;
    bool present = false;
    std::vector<SourceColumn> columns;
    /// For each column: a number of the program the old file keeps as text.
    std::vector<Number> fromText;
    /// For each column: the old column is a date (its time of day is taken off).
    std::vector<char> isDate;
    /// For each column: a number column of the program (its NULLs are named in the report).
    std::vector<char> isNumber;
    /// For each column: the old column's kind differs from the program's; its values are given in
    /// the program's kind (a Long in a number column as a number, a number in a text column as text).
    std::vector<ColumnKind> retyped;
    std::vector<char> isRetyped;
    int key = -1;
    int bill = -1; // 单据ID in the lines
    /// Rows (by position in the file) whose key was given before, or missing: their new key.
    QHash<qint64, qint64> newKeys;
    qint64 largestKey = 0;
    qint64 rows = 0;
    /// What the last complete read found, in the file's order.
    QStringList findings;
};

} // namespace

struct LegacySource::Impl {
    QString path;
    std::unique_ptr<JetSource> jet;
    std::vector<Table> tables;
    QStringList otherTables;
    QStringList columnNotes;
    /// Findings of the first reading: numbers given twice, gone clients; then lines without bills.
    QStringList keyFindings;
    QStringList lineFindings;
    QString counterNote;
    QString lockNote;
    /// The counter's value as it will be written, and whether the file has a row for it.
    qint64 counter = 1;
    bool counterRowInFile = false;
    QSet<qint64> clientIds;

    Table& table(const QString& name) {
        for (Table& t : tables)
            if (t.program->name == name)
                return t;
        throw StoreError(QStringLiteral("“%1”里没有“%2”表。").arg(path, name));
    }

    /// Where a row stands, for the report: "单据 12", or "单据 12 的明细（门框ID 30）".
    static QString place(const Table& t, const SourceRow& row, qint64 index) {
        auto shown = [](const QVariant& v) { return v.isNull() ? QStringLiteral("（空）") : v.toString(); };
        const QString& name = t.program->name;
        if (name == kBills)
            return QStringLiteral("单据 %1").arg(t.key >= 0 ? shown(row[size_t(t.key)]) : QString::number(index + 1));
        if (name == kLines)
            return QStringLiteral("单据 %1 的明细（门框ID %2）")
                .arg(t.bill >= 0 ? shown(row[size_t(t.bill)]) : QStringLiteral("（无）"),
                     t.key >= 0 ? shown(row[size_t(t.key)]) : QString::number(index + 1));
        if (t.key >= 0)
            return QStringLiteral("%1 %2 %3").arg(name, t.program->key, shown(row[size_t(t.key)]));
        return QStringLiteral("%1第 %2 行").arg(name).arg(index + 1);
    }

    void describeColumns(Table& t) {
        const ProgramTable& p = *t.program;
        QStringList have;
        t.fromText.assign(t.columns.size(), Number::None);
        t.isDate.assign(t.columns.size(), 0);
        t.isNumber.assign(t.columns.size(), 0);
        t.retyped.assign(t.columns.size(), ColumnKind::Text);
        t.isRetyped.assign(t.columns.size(), 0);
        for (size_t c = 0; c < t.columns.size(); ++c) {
            SourceColumn& col = t.columns[c];
            have << col.name;
            t.isDate[c] = col.kind == ColumnKind::Date;
            const auto known =
                std::find_if(p.columns.begin(), p.columns.end(), [&](const auto& pc) { return pc.first == col.name; });
            if (known == p.columns.end()) {
                columnNotes << QStringLiteral("%1.%2（%3）：本程序没有这一列，照旧程序的名称和类型加上并导入。")
                                   .arg(p.name, col.name, col.sourceType);
                continue;
            }
            t.isNumber[c] = known->second != Number::None;
            if (known->second != Number::None && col.kind == ColumnKind::Text) {
                t.fromText[c] = known->second;
                col.kind = known->second == Number::Whole ? ColumnKind::Integer : ColumnKind::Real;
                columnNotes << QStringLiteral("%1.%2 在旧文件里是文本列（%3）：是数字的文本按数字导入。")
                                   .arg(p.name, col.name, col.sourceType);
                continue;
            }
            std::optional<ColumnKind> kind;
            if (known->second == Number::Real && col.kind == ColumnKind::Integer)
                kind = ColumnKind::Real;
            else if (known->second == Number::Whole && (col.kind == ColumnKind::Real || col.kind == ColumnKind::Exact))
                kind = ColumnKind::Integer;
            else if (known->second == Number::None && col.kind != ColumnKind::Text && col.kind != ColumnKind::Date)
                kind = ColumnKind::Text;
            if (kind) {
                t.retyped[c] = *kind;
                t.isRetyped[c] = 1;
                if (*kind == ColumnKind::Text)
                    columnNotes << QStringLiteral("%1.%2 在旧文件里是%3列，本程序是文本列：按数字的文本导入。")
                                       .arg(p.name, col.name, col.sourceType);
                col.kind = *kind;
            }
        }
        QStringList missing;
        for (const auto& pc : p.columns)
            if (!have.contains(pc.first))
                missing << pc.first;
        if (!missing.isEmpty())
            columnNotes
                << QStringLiteral("%1 缺少 %2 列：导入后留空。").arg(p.name, missing.join(QStringLiteral("、")));
        t.key = p.key.isEmpty() ? -1 : int(have.indexOf(p.key));
        t.bill = p.name == kLines ? int(have.indexOf(kBillId)) : -1;
        if (!p.key.isEmpty() && t.key < 0)
            throw StoreError(
                QStringLiteral("“%1”的“%2”表没有“%3”列，不是旧程序的表，没有导入。").arg(path, p.name, p.key));
    }

    /// The key of a row as a number ("" texts and NULL give none).
    static std::optional<qint64> keyOf(const Table& t, const QVariant& v, int column) {
        if (v.isNull())
            return std::nullopt;
        if (t.fromText[size_t(column)] != Number::None) {
            const auto n = numberFromText(v.toString(), Number::Whole);
            return n ? std::optional<qint64>(n->toLongLong()) : std::nullopt;
        }
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok || d != std::trunc(d))
            return std::nullopt;
        return qint64(d);
    }

    // What the keys say, gathered by the first reading.
    QMap<qint64, QStringList> billClients; // bill number -> the clients of its headers
    QHash<qint64, QString> clientNames;
    std::vector<std::pair<qint64, std::pair<QVariant, QVariant>>> billPeople; // number, client, installer
    QSet<qint64> lineBills;
    qint64 largestBill = 0; // of the headers, new numbers included, and once known of the lines
    /// The lines' bill numbers are known (read ahead, or by a complete read of the lines).
    bool linesKnown = false;
    bool linesDone = false;

    /// Reads a table's keys (and what the report needs of it) once; a key given twice or missing
    /// marks its row for a new key.
    void readKeys(Table& t) {
        const QString& name = t.program->name;
        const int clientColumn = name == kBills ? columnIndex(t, QStringLiteral("客户ID")) : -1;
        const int installerColumn = name == kBills ? columnIndex(t, QStringLiteral("安装人员ID")) : -1;
        const int nameColumn = name == kClients ? columnIndex(t, QStringLiteral("客户名")) : -1;
        const int settingKey = name == kSettings ? columnIndex(t, QStringLiteral("ID")) : -1;
        const int settingValue = name == kSettings ? columnIndex(t, QStringLiteral("值")) : -1;
        std::vector<int> wanted;
        for (int c : {t.key, t.bill, clientColumn, installerColumn, nameColumn, settingKey, settingValue})
            if (c >= 0)
                wanted.push_back(c);
        auto at = [](const SourceRow& row, int c) { return c >= 0 ? row[size_t(c)] : QVariant(); };
        QSet<qint64> seen;
        qint64 index = 0;
        jet->readColumns(name, wanted, [&](SourceRow& row) {
            const auto k = t.key >= 0 ? keyOf(t, row[size_t(t.key)], t.key) : std::nullopt;
            if (t.key >= 0) {
                if (!k || seen.contains(*k))
                    t.newKeys.insert(index, 0);
                else
                    seen.insert(*k);
                if (k)
                    t.largestKey = std::max(t.largestKey, *k);
            }
            if (k && name == kBills) {
                billClients[*k] << at(row, clientColumn).toString();
                billPeople.push_back({*k, {at(row, clientColumn), at(row, installerColumn)}});
            }
            if (k && name == kClients)
                clientNames.insert(*k, at(row, nameColumn).toString());
            if (t.bill >= 0)
                noteLineBill(t, row[size_t(t.bill)]);
            if (name == kSettings && at(row, settingKey).toString() == kCounterId) {
                counterRowInFile = true;
                counter = at(row, settingValue).toLongLong();
            }
            ++index;
            return true;
        });
        t.rows = index;
        if (name == kClients)
            clientIds = seen;
        if (name == kLines)
            linesKnown = true;
    }

    void noteLineBill(const Table& lines, const QVariant& bill) {
        if (const auto b = keyOf(lines, bill, lines.bill)) {
            lineBills.insert(*b);
            largestBill = std::max(largestBill, *b);
        }
    }

    /// The first reading. The lines, the one large table, are read ahead only when their bill
    /// numbers are needed before the bills are given (a bill number given twice gets a new one
    /// past every line's too) or their own keys may repeat; otherwise the copy's reading of them
    /// gathers their bill numbers.
    void readKeys() {
        Table& lines = table(kLines);
        for (Table& t : tables)
            if (t.present && &t != &lines)
                readKeys(t);
        Table& bills = table(kBills);
        if (!bills.newKeys.isEmpty() || !jet->keyIsUnique(kLines, lines.program->key))
            readKeys(lines);
        else
            lines.rows = jet->rowCount(kLines);
        largestBill = std::max(largestBill, bills.largestKey);
        // New keys past the largest; a bill's also past every line's bill number, so that it
        // takes no lines that are not its own.
        for (Table& t : tables) {
            qint64 next = (&t == &bills ? largestBill : t.largestKey) + 1;
            std::vector<qint64> rows(t.newKeys.keyBegin(), t.newKeys.keyEnd());
            std::sort(rows.begin(), rows.end());
            for (qint64 r : rows)
                t.newKeys[r] = next++;
            if (&t == &bills)
                largestBill = next - 1;
        }

        for (auto it = billClients.cbegin(); it != billClients.cend(); ++it) {
            if (it.value().size() < 2)
                continue;
            QStringList clients;
            for (const QString& id : it.value()) {
                bool ok = false;
                const qint64 cid = id.toLongLong(&ok);
                clients << (ok && clientNames.contains(cid)
                                ? QStringLiteral("客户 %1 %2").arg(id, clientNames.value(cid))
                                : QStringLiteral("客户 %1，已不存在").arg(id));
            }
            keyFindings
                << QStringLiteral(
                       "单据 %1：有 %2 张单据用同一个单据号（%3）。第一张保留单据号 %1，其余的改为新号（见下）；"
                       "它们的明细分不开，仍都在单据 %1 下，请核对。")
                       .arg(it.key())
                       .arg(it.value().size())
                       .arg(clients.join(QStringLiteral("；")));
        }
        for (const auto& [number, people] : billPeople) {
            for (int who = 0; who < 2; ++who) {
                const QVariant& id = who == 0 ? people.first : people.second;
                if (id.isNull())
                    continue;
                bool ok = false;
                const qint64 cid = id.toLongLong(&ok);
                if (!ok || !clientIds.contains(cid))
                    keyFindings << QStringLiteral("单据 %1：%2（客户ID %3）在客户信息里已不存在；单据照原样导入。")
                                       .arg(number)
                                       .arg(who == 0 ? QStringLiteral("客户") : QStringLiteral("安装人员"),
                                            id.toString());
            }
        }
    }

    /// What needs every line's bill number: lines without a header, and the counter.
    void finishLines() {
        if (linesDone)
            return;
        if (!linesKnown)
            readKeys(table(kLines));
        linesDone = true;
        QList<qint64> orphans;
        for (qint64 b : lineBills)
            if (!billClients.contains(b))
                orphans << b;
        std::sort(orphans.begin(), orphans.end());
        for (qint64 b : orphans)
            lineFindings << QStringLiteral("单据 %1：有明细，但没有这张单据的单据头；明细照原样导入。").arg(b);

        // The counter: past the largest bill number (and every line's), unless it is already.
        const qint64 needed = largestBill + 1;
        if (!counterRowInFile) {
            counterNote =
                QStringLiteral("系统设置里没有计数器行（历史单据ID）：新建，值为 %1（最大的单据号加 1）。").arg(needed);
            counter = needed;
        } else if (counter < needed) {
            counterNote =
                QStringLiteral(
                    "计数器（系统设置.历史单据ID）原为 %1，没有超过已用的最大单据号 %2（单据头和明细里的）：改为 %3。")
                    .arg(counter)
                    .arg(largestBill)
                    .arg(needed);
            counter = needed;
        }
    }

    static int columnIndex(const Table& t, const QString& name) {
        for (size_t c = 0; c < t.columns.size(); ++c)
            if (t.columns[c].name == name)
                return int(c);
        return -1;
    }
};

LegacySource::LegacySource(const QString& path) : d(std::make_unique<Impl>()) {
    d->path = path;
    d->jet = std::make_unique<JetSource>(path);
    const QStringList present = d->jet->tables();
    QStringList missing;
    for (const ProgramTable& p : programTables()) {
        Table t;
        t.program = &p;
        t.present = present.contains(p.name);
        if (!t.present && p.name != kSettings)
            missing << p.name;
        d->tables.push_back(std::move(t));
    }
    if (!missing.isEmpty())
        throw StoreError(
            QStringLiteral("“%1”缺少旧程序的表：%2。没有导入。").arg(path, missing.join(QStringLiteral("、"))));
    for (Table& t : d->tables) {
        if (t.present) {
            t.columns = d->jet->columns(t.program->name);
            for (const QString& skipped : d->jet->skippedColumns(t.program->name))
                d->columnNotes
                    << QStringLiteral("%1.%2：这种类型的列无法导入，没有导入。").arg(t.program->name, skipped);
        } else {
            t.columns = {{QStringLiteral("ID"), ColumnKind::Text, QString()},
                         {QStringLiteral("值"), ColumnKind::Integer, QString()}};
        }
        d->describeColumns(t);
    }
    for (const QString& name : present) {
        const bool ours = std::any_of(programTables().begin(), programTables().end(),
                                      [&](const ProgramTable& p) { return p.name == name; });
        if (!ours)
            d->otherTables << QStringLiteral("%1（%2 行）").arg(name).arg(d->jet->rowCount(name));
    }
    const QFileInfo file(path);
    for (const char* suffix : {".ldb", ".laccdb"}) {
        const QString lock = file.dir().filePath(file.completeBaseName() + QLatin1String(suffix));
        if (QFileInfo::exists(lock))
            d->lockNote =
                QStringLiteral(
                    "旁边有锁文件 %1：旧程序可能还开着这个数据库。照样读取了；如果旧程序在导入时还保存了单据，"
                    "那张单据可能没有导入或不完整，请关掉旧程序后再导入一次核对。")
                    .arg(QFileInfo(lock).fileName());
    }
    d->readKeys();
}

LegacySource::~LegacySource() = default;

QString LegacySource::describe() const {
    return d->path;
}

QStringList LegacySource::tables() const {
    QStringList names;
    for (const ProgramTable& p : programTables())
        names << p.name;
    return names;
}

std::vector<SourceColumn> LegacySource::columns(const QString& table) {
    return d->table(table).columns;
}

qint64 LegacySource::rowCount(const QString& table) {
    const Table& t = d->table(table);
    return t.rows + (t.program->name == kSettings && !d->counterRowInFile ? 1 : 0);
}

void LegacySource::readRows(const QString& table, const std::function<bool(const SourceRow&)>& row) {
    Table& t = d->table(table);
    const bool settings = t.program->name == kSettings;
    if (settings)
        d->finishLines();
    // A complete read of the lines, when they were not read ahead, gives their bill numbers.
    const bool gatherBills = &t == &d->table(kLines) && !d->linesKnown && t.bill >= 0;
    const int counterValue = settings ? Impl::columnIndex(t, QStringLiteral("值")) : -1;
    const int counterKey = settings ? Impl::columnIndex(t, QStringLiteral("ID")) : -1;
    QStringList findings;
    QMap<QString, QStringList> emptyPlaces; // column -> where it held an empty text
    qint64 index = 0;
    bool stopped = false;
    // Each row is put right where the reader decoded it.
    auto fixUp = [&](SourceRow& in) {
        SourceRow& out = in;
        if (gatherBills)
            d->noteLineBill(t, in[size_t(t.bill)]);
        // Where the row stands is put into words only for a row the report names.
        QString placeText;
        auto where = [&]() -> const QString& {
            if (placeText.isEmpty())
                placeText = Impl::place(t, in, index);
            return placeText;
        };
        QStringList nulls, emptyTexts;
        for (size_t c = 0; c < out.size(); ++c) {
            QVariant& v = out[c];
            const QString& column = t.columns[c].name;
            if (t.fromText[c] != Number::None && !v.isNull()) {
                const QString text = v.toString();
                if (text.isEmpty()) {
                    emptyTexts << column;
                    v = QVariant();
                } else if (const auto n = numberFromText(text, t.fromText[c])) {
                    v = *n;
                } else {
                    findings << QStringLiteral("%1：%2.%3 的文本%4不是数字，这一格留空；原文本记在这里。")
                                    .arg(where(), t.program->name, column, quotedText(text));
                    v = QVariant();
                }
            } else if (t.isDate[c] && !v.isNull()) {
                const QDateTime when = v.toDateTime();
                if (when.time() != QTime(0, 0))
                    findings << QStringLiteral("%1：%2.%3 是 %4，带有时刻 %5；保留日期，去掉时刻。")
                                    .arg(where(), t.program->name, column, when.date().toString(Qt::ISODate),
                                         when.time().toString(QStringLiteral("HH:mm:ss")));
                v = when.date();
            } else if (t.isDate[c] && t.program->name == kBills) {
                findings << QStringLiteral("%1：没有%2，照原样导入（没有日期）。").arg(where(), column);
            } else if (t.isRetyped[c] && !v.isNull()) {
                v = inKind(v, t.retyped[c]);
            }
            if (t.isNumber[c] && v.isNull() && int(c) != t.key && t.program->name == kLines &&
                !emptyTexts.contains(column))
                nulls << column;
        }
        if (!nulls.isEmpty())
            findings << QStringLiteral("%1：%2 为空值，保持空值（单据窗口显示为空格，保存时写 0）。")
                            .arg(where(), nulls.join(QStringLiteral("、")));
        for (const QString& column : emptyTexts)
            emptyPlaces[column] << where();
        if (const auto moved = t.newKeys.constFind(index); moved != t.newKeys.constEnd()) {
            findings << QStringLiteral("%1：%2 %3，改为新号 %4。")
                            .arg(where(), t.program->key,
                                 in[size_t(t.key)].isNull() ? QStringLiteral("为空") : QStringLiteral("重号"))
                            .arg(*moved);
            out[size_t(t.key)] = QVariant(*moved);
        }
        if (settings && counterKey >= 0 && counterValue >= 0 && out[size_t(counterKey)].toString() == kCounterId)
            out[size_t(counterValue)] = QVariant(d->counter);
    };
    if (t.present) {
        d->jet->readColumns(t.program->name, {}, [&](SourceRow& in) {
            fixUp(in);
            ++index;
            if (!row(in)) {
                stopped = true;
                return false;
            }
            return true;
        });
    }
    if (!stopped && settings && !d->counterRowInFile) {
        SourceRow out;
        out.assign(t.columns.size(), QVariant());
        out[size_t(counterKey)] = kCounterId;
        out[size_t(counterValue)] = QVariant(d->counter);
        stopped = !row(out);
    }
    for (auto it = emptyPlaces.cbegin(); it != emptyPlaces.cend(); ++it)
        findings << QStringLiteral("%1.%2 有 %3 格是空文本，按空值导入：%4。")
                        .arg(t.program->name, it.key())
                        .arg(it.value().size())
                        .arg(it.value().join(QStringLiteral("、")));
    if (!stopped) {
        t.findings = findings;
        if (gatherBills)
            d->linesKnown = true;
    }
}

LegacyCounts LegacySource::counts() const {
    return {d->table(kBills).rows, d->table(kClients).rows, d->table(kProducts).rows};
}

QStringList LegacySource::report() const {
    QStringList lines;
    lines << QStringLiteral("旧程序数据库导入报告");
    lines << QStringLiteral("旧文件：%1（%2；只读打开，没有改动）").arg(d->path, d->jet->format());
    QStringList counts;
    for (const Table& t : d->tables)
        counts << QStringLiteral("%1 %2 行").arg(t.program->name).arg(t.rows);
    lines << QStringLiteral("读出：%1").arg(counts.join(QStringLiteral("、")));
    if (!d->otherTables.isEmpty())
        lines << QStringLiteral("没有导入的表（本程序不用）：%1").arg(d->otherTables.join(QStringLiteral("、")));
    if (!d->lockNote.isEmpty())
        lines << d->lockNote;
    for (const QString& n : d->columnNotes)
        lines << QStringLiteral("列：") + n;
    d->finishLines();
    QStringList found = d->keyFindings + d->lineFindings;
    for (const Table& t : d->tables)
        found << t.findings;
    if (!d->counterNote.isEmpty())
        found << d->counterNote;
    if (found.isEmpty()) {
        lines << QStringLiteral("没有发现需要核对的地方。");
    } else {
        lines << QStringLiteral("需要核对的地方（%1 处）：").arg(found.size());
        for (const QString& f : found)
            lines << QStringLiteral("- ") + f;
    }
    return lines;
}

QString LegacyReportPath(const QString& targetFile) {
    const QFileInfo f(targetFile);
    return f.dir().filePath(f.completeBaseName() + QStringLiteral("-导入报告.txt"));
}

} // namespace kvt
