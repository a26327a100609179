// The measurer's two pages on the large database, as kvtweb answers them (the request's rules,
// the reads and the HTML, without the socket and the encryption), against a bare sqlite3 loop over
// the statements behind them: 待测量 (the newest bills with unmeasured lines, then those lines with
// their products' names) and one bill's page (its header, then its lines with their products' names),
// on one connection kept open.

#include "BenchSupport.h"
#include "BigDb.h"
#include "WebCases.h"

#include "store/Database.h"
#include "store/SqlDialect.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>
#include <stdexcept>

namespace {

using namespace kvt;

QString g_path;
std::unique_ptr<bench::WebPages> g_pages;

/// Statements of the program's dialect in SQLite's.
std::vector<std::string> inSqlite(const QStringList& statements) {
    std::vector<std::string> out;
    for (const QString& sql : statements)
        out.push_back(TranslateToSqlite(sql).toStdString());
    return out;
}

/// The statements run on one bare read-only connection kept open, as kvtweb keeps its own.
void bare(benchmark::State& state, const std::vector<std::string>& statements) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(g_path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open the large database");
    std::size_t rows = 0;
    for (auto _ : state) {
        rows = 0;
        for (const std::string& sql : statements) {
            const bench::StepLoopResult r = bench::StepLoop(db, sql);
            rows += r.rows;
            benchmark::DoNotOptimize(r.sum);
        }
    }
    sqlite3_close(db);
    state.SetLabel("baseline");
    state.counters["rows"] = double(rows);
}

void page(benchmark::State& state, const QString& path) {
    web::Reply reply;
    for (auto _ : state) {
        reply = g_pages->get(path);
        benchmark::DoNotOptimize(reply.body.data());
    }
    if (!bench::ShowsBills(reply))
        state.SkipWithError("the page did not show bills");
    state.counters["bytes"] = double(reply.body.size());
    state.counters["target_ratio"] = 1.5;
    state.counters["target_ms"] = 50;
}

void bareList(benchmark::State& state) {
    static const std::vector<std::string> statements = inSqlite(bench::UnmeasuredListStatements());
    bare(state, statements);
}
void pageList(benchmark::State& state) {
    page(state, QStringLiteral("/"));
}
void bareBill(benchmark::State& state) {
    static const std::vector<std::string> statements = inSqlite(bench::BillPageStatements());
    bare(state, statements);
}
void pageBill(benchmark::State& state) {
    page(state, QStringLiteral("/bill/%1").arg(bench::kWebBill));
}

/// A copy of the large database with one account, and a session logged in on it.
void prepare() {
    g_path = bench::FreshCopyOfBigDatabase(QStringLiteral("web.db"));
    Database::Open(g_path);
    g_pages = std::make_unique<bench::WebPages>();
}

const bool registered = [] {
    auto add = [](const char* name, void (*fn)(benchmark::State&)) {
        benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->Repetitions(3);
    };
    add("sqlite3/WebUnmeasuredList", bareList);
    add("kvtweb/WebUnmeasuredList", pageList);
    add("sqlite3/WebBillPage", bareBill);
    add("kvtweb/WebBillPage", pageBill);
    return true;
}();

} // namespace

int main(int argc, char** argv) {
    return kvt::bench::RunWidgetBenchmarks(argc, argv, prepare);
}
