// One bill of twelve lines on the large database, through the bill window's own loaders and save
// handler, as the query window and the main window start them. The saves write to a copy of the
// large database; the saved-bill cases save the same bill again and again, so the files do not grow.
//
// Before the timings, the plan of every statement that filters is checked: each must reach its rows
// through an index, not by reading a large table through.

#include "BenchSupport.h"
#include "BigDb.h"
#include "WindowCases.h"

#include "query/QueryUnit.h"
#include "refdata/SelectionSql.h"
#include "store/Database.h"
#include "store/SqlDialect.h"

#include <QApplication>
#include <QTableWidget>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>

namespace {

using namespace kvt;
using Clock = std::chrono::steady_clock;

using bench::kBill;
using bench::kLines;

QString g_path;

/// Statements whose plan reads a large table through instead of using an index; each plan is
/// written to stderr.
int fullScans() {
    const QString id = QString::number(kBill);
    const QStringList statements = {
        BillHeaderSql(kBill),
        BillLinesSql(kBill),
        BillFrameLinesSql(kBill),
        QStringLiteral("select * from 历史单据 where 单据ID=") + id,
        QStringLiteral("delete from 单据明细 where 单据ID=") + id,
        QStringLiteral("delete from 历史单据 where 单据ID=") + id,
        BillListSql(false, false, QDate(), QDate(), QString()),
        BillListSql(false, true, QDate(2020, 3, 1), QDate(2020, 3, 31), QString()),
        BillListSql(true, false, QDate(), QDate(), QStringLiteral("77")),
        BillListSql(true, true, QDate(2020, 3, 1), QDate(2020, 3, 31), QStringLiteral("77")),
        ClientByNumberSql(QStringLiteral("77")),
        GoodsByNumberSql(QStringLiteral("1077")),
    };
    return bench::CountFullScans(g_path, statements);
}

double seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

/// The program's windows on the copy, the query window's result holding the bill.
struct Forms {
    bench::ProgramWindows windows{g_path};
    Forms() { bench::ListTheBill(); }
};

void loadCase(benchmark::State& state, const char* buttonName, const char* kind) {
    Forms forms;
    bench::TimeBillLoads(state, buttonName, kind);
    static const int scans = fullScans();
    state.counters["full_scans"] = scans;
    state.counters["target_ms"] = 10;
}

void saveCase(benchmark::State& state, const char* buttonName, const char* kind, int widthColumn) {
    Forms forms;
    bench::TimeBillSaves(state, buttonName, kind, widthColumn);
    state.counters["target_ms"] = 10;
}

void frameLoad(benchmark::State& state) {
    loadCase(state, "Button_kuang_load", "3");
}
void frameSave(benchmark::State& state) {
    saveCase(state, "Button_kuang_load", "3", 4);
}
void doorLeafLoad(benchmark::State& state) {
    loadCase(state, "Button_load", "2");
}
void doorLeafSave(benchmark::State& state) {
    saveCase(state, "Button_load", "2", 5);
}

/// A new frame bill of twelve lines from the main window's "新开门框": each iteration adds a bill.
void newFrameBillSave(benchmark::State& state) {
    Forms forms;
    bench::TimeNewFrameBillSaves(state);
    state.counters["target_ms"] = 10;
}

// The least work that gives the same result, on one open sqlite3 connection with the store's
// journal and durability settings: for a load, the same rows read and shown in a bare QTableWidget;
// for a save, the same statements (each line and the header written back where it still holds
// what was read) in one transaction.

struct BareDb {
    sqlite3* db = nullptr;
    BareDb() {
        sqlite3_open_v2(g_path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    }
    ~BareDb() { sqlite3_close(db); }
    /// Every row of sql with the bill number bound, as texts.
    QList<QStringList> rows(const char* sql) const {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        for (int i = 1; i <= sqlite3_bind_parameter_count(st); ++i)
            sqlite3_bind_int64(st, i, kBill);
        QList<QStringList> out;
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList row;
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                row << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                                         sqlite3_column_bytes(st, c));
            out << row;
        }
        sqlite3_finalize(st);
        return out;
    }
};

void bareLoad(benchmark::State& state) {
    BareDb bare;
    QTableWidget table;
    table.resize(800, 400);
    for (auto _ : state) {
        const auto start = Clock::now();
        const QList<QStringList> lines = bare.rows("select * from 单据明细 left join 商品信息 on "
                                                   "单据明细.商品ID=商品信息.商品ID where 单据明细.单据ID=? order by 门框ID");
        table.setColumnCount(14);
        table.setRowCount(int(lines.size()));
        for (int r = 0; r < lines.size(); ++r)
            for (int c = 0; c < 14 && c < lines[r].size(); ++c)
                table.setItem(r, c, new QTableWidgetItem(lines[r][c]));
        table.show();
        QApplication::processEvents();
        state.SetIterationTime(seconds(start));
        table.hide();
        QApplication::processEvents();
    }
    state.SetLabel("baseline");
}

/// A statement prepared once for the whole run.
struct Prepared {
    sqlite3_stmt* st = nullptr;
    Prepared(sqlite3* db, const QString& sql) { sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr); }
    ~Prepared() { sqlite3_finalize(st); }
};

/// Binds a row's values as the store does: integers, numbers or texts as they were read.
void bindValues(sqlite3_stmt* st, int first, const std::vector<sqlite3_value*>& values) {
    for (size_t k = 0; k < values.size(); ++k)
        sqlite3_bind_value(st, first + int(k), values[k]);
}

/// Rows of sql (bill number bound) with their values kept.
std::vector<std::vector<sqlite3_value*>> keptRows(sqlite3* db, const char* sql, QStringList* names) {
    std::vector<std::vector<sqlite3_value*>> out;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    sqlite3_bind_int64(st, 1, kBill);
    for (int c = 0; c < sqlite3_column_count(st); ++c)
        *names << QString::fromUtf8(sqlite3_column_name(st, c));
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<sqlite3_value*> row;
        for (int c = 0; c < sqlite3_column_count(st); ++c)
            row.push_back(sqlite3_value_dup(sqlite3_column_value(st, c)));
        out.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    return out;
}

QString matchAll(const QStringList& names) {
    QStringList m;
    for (const QString& n : names)
        m << QStringLiteral("\"%1\" IS ?").arg(n);
    return m.join(QStringLiteral(" AND "));
}

void bareSave(benchmark::State& state) {
    BareDb bare;
    QStringList lineNames, headerNames;
    auto lines = keptRows(bare.db, "select * from 单据明细 where 单据ID=? order by 门框ID", &lineNames);
    auto header = keptRows(bare.db, "select * from 历史单据 where 单据ID=?", &headerNames);
    // The eleven fields the frame save writes, and the six of the header.
    const QStringList written = {QStringLiteral("商品ID"), QStringLiteral("玻璃款式"), QStringLiteral("门框附加"),
                                 QStringLiteral("门框备注"), QStringLiteral("见光宽"), QStringLiteral("见光高"),
                                 QStringLiteral("门框总宽"), QStringLiteral("门框总高"), QStringLiteral("埋地"),
                                 QStringLiteral("单据ID"), QStringLiteral("数量")};
    QStringList sets;
    for (const QString& n : written)
        sets << QStringLiteral("\"%1\"=?").arg(n);
    QStringList headerSets;
    for (const QString& n : headerNames)
        headerSets << QStringLiteral("\"%1\"=?").arg(n);
    Prepared updateLine(bare.db, QStringLiteral("UPDATE 单据明细 SET %1 WHERE %2")
                                     .arg(sets.join(QLatin1Char(',')), matchAll(lineNames)));
    Prepared updateHeader(bare.db, QStringLiteral("UPDATE 历史单据 SET %1 WHERE %2")
                                       .arg(headerSets.join(QLatin1Char(',')), matchAll(headerNames)));
    const int width = int(lineNames.indexOf(QStringLiteral("见光宽")));
    int n = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        sqlite3_exec(bare.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        for (const auto& line : lines) {
            std::vector<sqlite3_value*> values;
            for (const QString& f : written)
                values.push_back(line[size_t(lineNames.indexOf(f))]);
            bindValues(updateLine.st, 1, values);
            sqlite3_bind_int(updateLine.st, int(written.indexOf(QStringLiteral("见光宽"))) + 1, 800 + 5 * (n % 2));
            bindValues(updateLine.st, int(written.size()) + 1, line);
            // What the line holds since the last save is what this one checks against.
            if (n > 0)
                sqlite3_bind_int(updateLine.st, int(written.size()) + 1 + width, 800 + 5 * ((n - 1) % 2));
            sqlite3_step(updateLine.st);
            sqlite3_reset(updateLine.st);
            if (sqlite3_changes(bare.db) != 1)
                state.SkipWithError("a line was not written");
        }
        bindValues(updateHeader.st, 1, header[0]);
        bindValues(updateHeader.st, int(headerNames.size()) + 1, header[0]);
        sqlite3_step(updateHeader.st);
        sqlite3_reset(updateHeader.st);
        sqlite3_exec(bare.db, "COMMIT", nullptr, nullptr, nullptr);
        ++n;
        state.SetIterationTime(seconds(start));
    }
    for (auto* rows : {&lines, &header})
        for (auto& row : *rows)
            for (sqlite3_value* v : row)
                sqlite3_value_free(v);
    state.SetLabel("baseline");
}

void prepare() {
    g_path = bench::FreshCopyOfBigDatabase(QStringLiteral("kvt-bill.db"));
    Database::Open(g_path);
    bench::MakeTwelveLineBill();
    Database::Close();
}

const bool registered = [] {
    auto add = [](const char* name, void (*fn)(benchmark::State&), int iterations) {
        benchmark::RegisterBenchmark(name, fn)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(iterations)
            ->Repetitions(3);
    };
    add("bare_window/Load12", bareLoad, 20);
    add("frame/Load12", frameLoad, 20);
    add("door_leaf/Load12", doorLeafLoad, 20);
    add("bare_save/Save12", bareSave, 20);
    add("frame/Save12", frameSave, 20);
    add("door_leaf/Save12", doorLeafSave, 20);
    add("window/NewFrameBillSave12", newFrameBillSave, 5);
    return true;
}();

} // namespace

int main(int argc, char** argv) {
    return kvt::bench::RunWidgetBenchmarks(argc, argv, prepare);
}
