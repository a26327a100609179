// DataQuery::Open against a bare sqlite3 step loop over the same statement, on the large
// database: time, and memory held per value read.

#include "BigDb.h"

#include "store/DataQuery.h"
#include "store/Database.h"

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <string>
#include <variant>
#include <vector>

namespace {

using Cell = std::variant<std::monostate, long long, double, std::string>;

const char* const kLines = "select * from 单据明细";
const char* const kBillList =
    "select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID order by 单据日期,单据ID";

/// Reads every row into memory the plainest way, returning the bytes of the values read.
size_t bareLoop(const char* sql, std::vector<Cell>& out)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(kvt::bench::BigDatabasePath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    const int n = sqlite3_column_count(st);
    size_t bytes = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < n; ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_INTEGER: out.emplace_back(sqlite3_column_int64(st, c)); bytes += 8; break;
            case SQLITE_FLOAT: out.emplace_back(sqlite3_column_double(st, c)); bytes += 8; break;
            case SQLITE_NULL: out.emplace_back(); break;
            default: {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                const int len = sqlite3_column_bytes(st, c);
                out.emplace_back(std::string(t, len));
                bytes += size_t(len);
            }
            }
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return bytes;
}

size_t heapInUse()
{
    // Large blocks are mapped on their own and not counted among the arena's.
    const struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

void runBare(benchmark::State& state, const char* sql)
{
    size_t values = 0, held = 0;
    for (auto _ : state) {
        std::vector<Cell> cells;
        const size_t before = heapInUse();
        values = bareLoop(sql, cells);
        held = heapInUse() - before;
        benchmark::DoNotOptimize(cells.data());
    }
    state.SetLabel("baseline");
    state.counters["value_bytes"] = double(values);
    state.counters["held_bytes"] = double(held);
}

void runQuery(benchmark::State& state, const char* sql)
{
    kvt::Database::Open(kvt::bench::BigDatabasePath());
    size_t held = 0;
    int rows = 0;
    for (auto _ : state) {
        kvt::DataQuery q;
        q.SetSql(QString::fromUtf8(sql));
        const size_t before = heapInUse();
        q.Open();
        held = heapInUse() - before;
        rows = q.RowCount();
        benchmark::DoNotOptimize(rows);
    }
    kvt::Database::Close();
    state.counters["rows"] = rows;
    state.counters["held_bytes"] = double(held);
    state.counters["target_ratio"] = 1.5;
    state.counters["target_held"] = 2; // memory held, to the bytes of the values read
}

void BM_OpenLines_Bare(benchmark::State& s) { runBare(s, kLines); }
void BM_OpenLines_DataQuery(benchmark::State& s) { runQuery(s, kLines); }
void BM_OpenBillList_Bare(benchmark::State& s) { runBare(s, kBillList); }
void BM_OpenBillList_DataQuery(benchmark::State& s) { runQuery(s, kBillList); }

} // namespace

BENCHMARK(BM_OpenLines_Bare)->Name("sqlite3/OpenLines1M")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenLines_DataQuery)->Name("DataQuery/OpenLines1M")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenBillList_Bare)->Name("sqlite3/OpenBillList100k")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_OpenBillList_DataQuery)
    ->Name("DataQuery/OpenBillList100k")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

int main(int argc, char** argv)
{
    kvt::bench::MakeBigDatabase(kvt::bench::BigDatabasePath());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
