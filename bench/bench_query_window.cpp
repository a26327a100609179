// The query window's list of all bills on the large database: the statement the window builds,
// the fill of its query object and the grid painted, against a bare sqlite3 step loop reading each
// value of the same statement once.

#include "BenchSupport.h"
#include "BigDb.h"

#include "app/AppStart.h"
#include "controls/QorDBGrid.h"
#include "query/QueryUnit.h"
#include "store/DataQuery.h"

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QLineEdit>
#include <QPushButton>

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
    CreateForms(bench::BigDatabasePath());
    BuildAllForms();
    FormQuery->show();
    QApplication::processEvents();
    FormQuery->Edit_client->clear();
    FormQuery->CheckBox__add_date->setChecked(false);
    std::size_t held = 0;
    int rows = 0;
    for (auto _ : state) {
        // The previous list goes first, as it does when the user presses the button again.
        state.PauseTiming();
        FormQuery->ADOQuery1->Close();
        QApplication::processEvents();
        const std::size_t before = bench::HeapInUse();
        state.ResumeTiming();

        FormQuery->Button_query->click();
        QApplication::processEvents();
        FormQuery->repaint();

        state.PauseTiming();
        held = bench::HeapInUse() - before;
        rows = FormQuery->ADOQuery1->RowCount();
        state.ResumeTiming();
    }
    if (rows != bench::BigDbSize{}.bills)
        state.SkipWithError("the bill list did not show every bill");
    state.counters["rows"] = rows;
    state.counters["held_bytes"] = double(held);
    state.counters["target_ratio"] = 2;
    DestroyForms();
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
