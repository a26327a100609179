// The query window's list of all bills on the large database: the statement the window builds,
// the fill of its query object and the grid painted, against a bare sqlite3 step loop reading each
// value of the same statement once.

#include "BenchSupport.h"
#include "BigDb.h"
#include "WindowCases.h"

#include "query/QueryUnit.h"

#include <QDate>

#include <benchmark/benchmark.h>

namespace {

using namespace kvt;

QString allBillsSql() {
    return BillListSql(false, false, QDate(2021, 1, 14), QDate(2021, 1, 14), QString());
}

void bareBillList(benchmark::State& state) {
    const std::string sql = allBillsSql().toStdString();
    std::size_t values = 0, rows = 0;
    for (auto _ : state) {
        const bench::StepLoopResult read = bench::StepLoop(bench::BigDatabasePath(), sql);
        values = read.valueBytes;
        rows = read.rows;
        benchmark::DoNotOptimize(read.sum);
    }
    state.SetLabel("baseline");
    state.counters["value_bytes"] = double(values);
    state.counters["held_bytes"] = 0;
    state.counters["rows"] = double(rows);
}

void windowBillList(benchmark::State& state) {
    bench::ProgramWindows windows(bench::BigDatabasePath());
    bench::TimeAllBillsList(state);
    state.counters["target_ratio"] = 2;
}

} // namespace

BENCHMARK(bareBillList)
    ->Name("step_loop/QueryWindowAllBills")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->Repetitions(3);
BENCHMARK(windowBillList)
    ->Name("window/QueryWindowAllBills")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->Repetitions(3);

int main(int argc, char** argv) {
    return kvt::bench::RunWidgetBenchmarks(argc, argv);
}
