// The query window's glass order list on the large database: every bill, and one month's, from
// the click on its button to the painted grid, against a bare sqlite3 loop over the same two
// statements (the list and the count of lines without glass sizes).
//
// Before the timings, the plans of the statements are checked for every kind of filter: each must
// reach its rows through an index, not by reading a large table through.

#include "BenchSupport.h"
#include "BigDb.h"

#include "app/AppStart.h"
#include "query/GlassList.h"
#include "query/QueryUnit.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "store/SqlDialect.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>

namespace {

using namespace kvt;

const QDate kMonthFrom(2020, 3, 1);
const QDate kMonthTo(2020, 3, 31);

GlassListFilter everyBill() {
    return {};
}

GlassListFilter oneMonth() {
    GlassListFilter filter;
    filter.byDate = true;
    filter.from = kMonthFrom;
    filter.to = kMonthTo;
    return filter;
}

/// Statements whose plan reads a large table through instead of using an index; each plan is
/// written to stderr.
int fullScans() {
    GlassListFilter client;
    client.byClient = true;
    client.clientId = 77;
    GlassListFilter both = oneMonth();
    both.byClient = true;
    both.clientId = 77;
    QStringList statements;
    for (const GlassListFilter& f : {everyBill(), oneMonth(), client, both})
        statements << GlassListSql(f) << UnfinishedGlassLinesSql(f);
    // The scans of the list's own groups (玻璃分组) and of the subquery over them are small.
    return bench::CountFullScans(bench::BigDatabasePath(), statements,
                                 {QStringLiteral("单据明细"), QStringLiteral("历史单据")});
}

void bareCase(benchmark::State& state, const GlassListFilter& filter) {
    const std::string list = TranslateToSqlite(GlassListSql(filter)).toStdString();
    const std::string count = TranslateToSqlite(UnfinishedGlassLinesSql(filter)).toStdString();
    std::size_t rows = 0;
    for (auto _ : state) {
        const bench::StepLoopResult groups = bench::StepLoop(bench::BigDatabasePath(), list);
        const bench::StepLoopResult unfinished = bench::StepLoop(bench::BigDatabasePath(), count);
        rows = groups.rows;
        benchmark::DoNotOptimize(groups.sum);
        benchmark::DoNotOptimize(unfinished.sum);
    }
    state.SetLabel("baseline");
    state.counters["rows"] = double(rows);
}

void windowCase(benchmark::State& state, const GlassListFilter& filter) {
    CreateForms(bench::BigDatabasePath());
    BuildAllForms();
    FormQuery->show();
    FormQuery->PageControl1->setCurrentWidget(FormQuery->TabSheet4);
    QApplication::processEvents();
    FormQuery->Edit_client->clear();
    FormQuery->CheckBox__add_date->setChecked(filter.byDate);
    FormQuery->DateTimePicker1->setDate(filter.from.isValid() ? filter.from : kMonthFrom);
    FormQuery->DateTimePicker2->setDate(filter.to.isValid() ? filter.to : kMonthTo);
    int rows = 0;
    QString last;
    for (auto _ : state) {
        state.PauseTiming();
        FormQuery->ADOQuery1->Close();
        QApplication::processEvents();
        state.ResumeTiming();

        FormQuery->glass_list_Button->click();
        QApplication::processEvents();
        FormQuery->repaint();

        state.PauseTiming();
        rows = FormQuery->ADOQuery1->RowCount();
        last = rows ? FormQuery->ADOQuery1->TextAt(rows, 0) : QString();
        state.ResumeTiming();
    }
    if (rows < 2 || last != QStringLiteral("合计"))
        state.SkipWithError("the glass list did not show its groups and 合计");
    state.counters["rows"] = rows;
    static const int scans = fullScans();
    state.counters["full_scans"] = scans;
    state.counters["target_ms"] = 1000;
    DestroyForms();
}

void bareEveryBill(benchmark::State& state) {
    bareCase(state, everyBill());
}
void windowEveryBill(benchmark::State& state) {
    windowCase(state, everyBill());
}
void bareMonth(benchmark::State& state) {
    bareCase(state, oneMonth());
}
void windowMonth(benchmark::State& state) {
    windowCase(state, oneMonth());
}

/// A database made before the list had its index gets it when the store first opens it.
void prepare() {
    Database::Open(bench::BigDatabasePath());
    Database::Close();
}

const bool registered = [] {
    auto add = [](const char* name, void (*fn)(benchmark::State&), int iterations) {
        benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->Iterations(iterations)->Repetitions(3);
    };
    add("sqlite3/GlassListAllBills", bareEveryBill, 2);
    add("window/GlassListAllBills", windowEveryBill, 2);
    add("sqlite3/GlassListMonth", bareMonth, 20);
    add("window/GlassListMonth", windowMonth, 20);
    return true;
}();

} // namespace

int main(int argc, char** argv) {
    return kvt::bench::RunWidgetBenchmarks(argc, argv, prepare);
}
