#include "BigDb.h"

#include "store/Database.h"
#include "store/SqlDialect.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>

namespace kvt::bench {
namespace {

void check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

void exec(sqlite3* db, const char* sql)
{
    check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql);
}

std::string sizeTag(const BigDbSize& s)
{
    return std::to_string(s.bills) + "/" + std::to_string(s.lines) + "/" + std::to_string(s.products) + "/" +
           std::to_string(s.clients);
}

} // namespace

QString BigDatabasePath()
{
    return QDir(QStringLiteral(KVT_BENCH_DATA_DIR)).filePath(QStringLiteral("kvt-big.db"));
}

void MakeBigDatabase(const QString& path, const BigDbSize& size)
{
    const QString tagPath = path + QStringLiteral(".size");
    if (QFile::exists(path) && QFile::exists(tagPath)) {
        QFile tag(tagPath);
        if (tag.open(QIODevice::ReadOnly) && tag.readAll().toStdString() == sizeTag(size))
            return;
    }
    QFile::remove(path);
    QFile::remove(tagPath);
    Database::Open(path); // our schema, indexes and counter row
    Database::Close();

    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db, "open");
    exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN");
    std::mt19937 rng(20261208);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    static const char* const kinds[] = {"实木", "复合", "铝合金", "钢木", "免漆"};
    static const char* const shapes[] = {"单开门框", "子母门框", "推拉门框", "折叠门框", "垭口套"};
    sqlite3_stmt* st = nullptr;
    check(sqlite3_prepare_v2(db,
                             "insert into 商品信息(商品名称,自定义编号,商品说明,外框宽公式,外框高公式,门扇宽公式,"
                             "门扇高公式,门扇玻璃宽公式,门扇玻璃高公式) values(?,?,?,?,?,?,?,?,?)",
                             -1, &st, nullptr),
          db, "prepare products");
    for (int i = 1; i <= size.products; ++i) {
        const std::string name = std::string(kinds[i % 5]) + shapes[(i / 5) % 5] + std::to_string(i);
        const std::string number = std::to_string(1000 + i);
        const std::string fw = "\"见光宽\"+" + std::to_string(30 + i % 40);
        const std::string fh = "\"见光高\"+" + std::to_string(15 + i % 20) + "+\"埋地\"";
        const std::string lw = "\"现量宽\"-" + std::to_string(4 + i % 6);
        const std::string lh = "\"现量高\"-" + std::to_string(6 + i % 8);
        const std::string gw = "(\"现量宽\"-8)/2-" + std::to_string(100 + i % 50);
        const std::string gh = "roundto((\"现量高\"-10)/2,0)-120";
        const std::string* vals[] = {&name, &number, &name, &fw, &fh, &lw, &lh, &gw, &gh};
        for (int k = 0; k < 9; ++k)
            sqlite3_bind_text(st, k + 1, vals[k]->c_str(), -1, SQLITE_TRANSIENT);
        check(sqlite3_step(st), db, "insert product");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);

    static const char* const surnames[] = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄", "周", "吴"};
    static const char* const given[] = {"建国", "秀英", "伟", "芳", "娜", "敏", "静", "磊", "洋", "勇", "军", "杰"};
    check(sqlite3_prepare_v2(db, "insert into 客户信息(自定义编号,客户名,客户电话,客户备注) values(?,?,?,?)", -1, &st,
                             nullptr),
          db, "prepare clients");
    for (int i = 1; i <= size.clients; ++i) {
        const std::string number = std::to_string(i);
        const std::string name = std::string(surnames[i % 10]) + given[(i / 10) % 12] + std::to_string(i / 120);
        const std::string phone = "138" + std::to_string(10000000 + i);
        sqlite3_bind_text(st, 1, number.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, phone.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, i % 7 ? "" : "月结", -1, SQLITE_STATIC);
        check(sqlite3_step(st), db, "insert client");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);

    check(sqlite3_prepare_v2(db,
                             "insert into 历史单据(单据ID,客户ID,客户地址,单据日期,安装人员ID,安装人员) "
                             "values(?,?,?,?,?,?)",
                             -1, &st, nullptr),
          db, "prepare bills");
    for (int i = 1; i <= size.bills; ++i) {
        const int day = i * 3650 / size.bills; // ten years
        const int y = 2016 + day / 365, m = 1 + (day % 365) / 31 % 12, d = 1 + day % 28;
        char date[16];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", y, m, d);
        const std::string address = "杭州市西湖区文三路" + std::to_string(i % 900) + "号";
        sqlite3_bind_int(st, 1, i);
        sqlite3_bind_int(st, 2, pick(1, size.clients));
        sqlite3_bind_text(st, 3, address.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, date, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 5, pick(1, size.clients));
        sqlite3_bind_text(st, 6, "刘师傅", -1, SQLITE_STATIC);
        check(sqlite3_step(st), db, "insert bill");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);

    check(sqlite3_prepare_v2(db,
                             "insert into 单据明细(单据ID,商品ID,数量,玻璃款式,见光宽,见光高,现量宽,现量高,门扇宽,门扇高,"
                             "玻璃宽,玻璃高,门框总宽,门框总高,埋地,门框附加,门框备注) "
                             "values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                             -1, &st, nullptr),
          db, "prepare lines");
    for (int i = 0; i < size.lines; ++i) {
        const int bill = 1 + int((long long)i * size.bills / size.lines);
        const int w = 700 + pick(0, 40) * 5, h = 2000 + pick(0, 30) * 5;
        const bool measured = pick(0, 3) != 0;
        sqlite3_bind_int(st, 1, bill);
        sqlite3_bind_int(st, 2, pick(1, size.products));
        sqlite3_bind_int(st, 3, 1);
        sqlite3_bind_text(st, 4, pick(0, 1) ? "磨砂" : "", -1, SQLITE_STATIC);
        sqlite3_bind_int(st, 5, w);
        sqlite3_bind_int(st, 6, h);
        sqlite3_bind_int(st, 7, measured ? w + 40 : 0);
        sqlite3_bind_int(st, 8, measured ? h + 20 : 0);
        sqlite3_bind_int(st, 9, measured ? w + 34 : 0);
        sqlite3_bind_int(st, 10, measured ? h + 10 : 0);
        sqlite3_bind_int(st, 11, measured ? w / 2 - 100 : 0);
        sqlite3_bind_int(st, 12, measured ? h / 2 - 120 : 0);
        sqlite3_bind_int(st, 13, w + 40);
        sqlite3_bind_int(st, 14, h + 35);
        sqlite3_bind_int(st, 15, 20);
        sqlite3_bind_text(st, 16, pick(0, 4) ? "" : "正门线加2斗", -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 17, "", -1, SQLITE_STATIC);
        check(sqlite3_step(st), db, "insert line");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    const std::string counter =
        "update 系统设置 set 值=" + std::to_string(size.bills + 1) + " where ID='历史单据ID'; COMMIT; ANALYZE;";
    exec(db, counter.c_str());
    sqlite3_close(db);

    QFile tag(tagPath);
    if (tag.open(QIODevice::WriteOnly))
        tag.write(sizeTag(size).c_str());
}

StepLoopResult StepLoop(const QString& path, const std::string& sql)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    try {
        const StepLoopResult out = StepLoop(db, sql);
        sqlite3_close(db);
        return out;
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
}

StepLoopResult StepLoop(sqlite3* db, const std::string& sql)
{
    StepLoopResult out;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    const int n = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW) {
        ++out.rows;
        for (int c = 0; c < n; ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_INTEGER:
                out.sum += static_cast<unsigned long long>(sqlite3_column_int64(st, c));
                out.valueBytes += 8;
                break;
            case SQLITE_FLOAT:
                out.sum += static_cast<unsigned long long>(sqlite3_column_double(st, c));
                out.valueBytes += 8;
                break;
            case SQLITE_NULL: break;
            default: {
                const unsigned char* t = sqlite3_column_text(st, c);
                const int len = sqlite3_column_bytes(st, c);
                out.sum += len > 0 ? t[0] : 0;
                out.valueBytes += std::size_t(len);
            }
            }
        }
    }
    sqlite3_finalize(st);
    return out;
}

std::size_t HeapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

int CountFullScans(const QString& path, const QStringList& statements, const QStringList& tables)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    int scans = 0;
    for (const QString& statement : statements) {
        const QByteArray sql = (QStringLiteral("explain query plan ") + TranslateToSqlite(statement)).toUtf8();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "plan of %s: %s\n", statement.toUtf8().constData(), sqlite3_errmsg(db));
            ++scans;
            continue;
        }
        bool scan = false;
        QString plan;
        while (sqlite3_step(st) == SQLITE_ROW) {
            const QString step = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 3)));
            plan += QStringLiteral("\n    ") + step;
            // A plain SCAN of a table (no index, no covering index) reads all of it.
            if (step.startsWith(QStringLiteral("SCAN ")) && !step.contains(QStringLiteral(" USING ")) &&
                (tables.isEmpty() || std::any_of(tables.begin(), tables.end(),
                                                 [&](const QString& t) { return step.contains(t); })))
                scan = true;
        }
        sqlite3_finalize(st);
        std::fprintf(stderr, "%s %s%s\n", scan ? "FULL SCAN:" : "indexed:", statement.toUtf8().constData(),
                     plan.toUtf8().constData());
        scans += scan ? 1 : 0;
    }
    sqlite3_close(db);
    return scans;
}

} // namespace kvt::bench
