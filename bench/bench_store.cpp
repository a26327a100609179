// DataQuery::Open against a bare sqlite3 step loop over the same statement that reads each value
// once, on the large database: time, and memory held per value read.

#include "BigDb.h"

#include "store/DataQuery.h"
#include "store/Database.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

namespace {

const char* const kLines = "select * from 单据明细";
const char* const kBillList =
    "select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID order by 单据日期,单据ID";

void runBare(benchmark::State& state, const char* sql)
{
    size_t values = 0;
    for (auto _ : state) {
        const kvt::bench::StepLoopResult read = kvt::bench::StepLoop(kvt::bench::BigDatabasePath(), sql);
        values = read.valueBytes;
        benchmark::DoNotOptimize(read.sum);
    }
    state.SetLabel("baseline");
    state.counters["value_bytes"] = double(values);
    state.counters["held_bytes"] = 0;
}

void runQuery(benchmark::State& state, const char* sql)
{
    kvt::Database::Open(kvt::bench::BigDatabasePath());
    size_t held = 0;
    int rows = 0;
    for (auto _ : state) {
        kvt::DataQuery q;
        q.SetSql(QString::fromUtf8(sql));
        const size_t before = kvt::bench::HeapInUse();
        q.Open();
        held = kvt::bench::HeapInUse() - before;
        rows = q.RowCount();
        benchmark::DoNotOptimize(rows);
    }
    kvt::Database::Close();
    state.counters["rows"] = rows;
    state.counters["held_bytes"] = double(held);
    state.counters["target_ratio"] = 1.2;
    state.counters["target_held"] = 2; // memory held, to the bytes of the values read
}

void BM_OpenLines_Bare(benchmark::State& s) { runBare(s, kLines); }
void BM_OpenLines_DataQuery(benchmark::State& s) { runQuery(s, kLines); }
void BM_OpenBillList_Bare(benchmark::State& s) { runBare(s, kBillList); }
void BM_OpenBillList_DataQuery(benchmark::State& s) { runQuery(s, kBillList); }

} // namespace

BENCHMARK(BM_OpenLines_Bare)->Name("step_loop/OpenLines1M")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenLines_DataQuery)->Name("DataQuery/OpenLines1M")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenBillList_Bare)->Name("step_loop/OpenBillList100k")->Unit(benchmark::kMillisecond)->Iterations(5);
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
