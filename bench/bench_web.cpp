// The measurer's two pages on the large database, as kvtweb answers them (the request's rules,
// the reads and the HTML, without the socket and the encryption), against a bare sqlite3 loop over
// the statements behind them: 待测量 (the newest bills with unmeasured lines, then those lines with
// their products' names) and one bill's page (its header, then its lines with their products' names),
// on one connection kept open.

#include "BenchSupport.h"
#include "BigDb.h"

#include "store/DataQuery.h"
#include "store/Database.h"
#include "store/SqlDialect.h"
#include "web/Accounts.h"
#include "web/Measure.h"
#include "web/WebServer.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>
#include <stdexcept>

namespace {

using namespace kvt;

/// The bill shown by the bill page: the newest, with ten lines.
constexpr qint64 kBill = 100000;

QString g_path;
std::unique_ptr<web::WebSite> g_site;
QByteArray g_cookie;

/// The first column of a statement's rows, as the texts of the keys.
QStringList keys(const QString& sql) {
    DataQuery q;
    q.SetSql(sql);
    q.Open();
    QStringList out;
    for (int r = 1; r <= q.RowCount(); ++r)
        out << q.TextAt(r, 0);
    out.removeDuplicates();
    return out;
}

/// The statements behind a page as they stand on the large database, in SQLite's dialect.
std::vector<std::string> listStatements() {
    const QStringList bills = keys(web::unmeasuredBillsSql(QString())).mid(0, web::kListedBills);
    return {TranslateToSqlite(web::unmeasuredBillsSql(QString())).toStdString(),
            TranslateToSqlite(web::unmeasuredLinesSql(bills)).toStdString()};
}

std::vector<std::string> billStatements() {
    return {TranslateToSqlite(web::billHeaderSql(kBill)).toStdString(),
            TranslateToSqlite(web::billLinesShownSql(kBill)).toStdString()};
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
    web::Request request;
    request.method = "GET";
    request.path = path;
    request.cookie = g_cookie;
    request.address = QStringLiteral("127.0.0.1");
    web::Reply reply;
    for (auto _ : state) {
        reply = g_site->handle(request);
        benchmark::DoNotOptimize(reply.body.data());
    }
    if (reply.status != 200 || !reply.body.contains("class=\"bill\""))
        state.SkipWithError("the page did not show bills");
    state.counters["bytes"] = double(reply.body.size());
    state.counters["target_ratio"] = 1.5;
    state.counters["target_ms"] = 50;
}

void bareList(benchmark::State& state) {
    static const std::vector<std::string> statements = listStatements();
    bare(state, statements);
}
void pageList(benchmark::State& state) {
    page(state, QStringLiteral("/"));
}
void bareBill(benchmark::State& state) {
    static const std::vector<std::string> statements = billStatements();
    bare(state, statements);
}
void pageBill(benchmark::State& state) {
    page(state, QStringLiteral("/bill/%1").arg(kBill));
}

/// A copy of the large database with one account, and a session logged in on it.
void prepare() {
    g_path = bench::FreshCopyOfBigDatabase(QStringLiteral("web.db"));
    Database::Open(g_path);
    web::saveAccount(QStringLiteral("李工"), QStringLiteral("password1"));
    g_site = std::make_unique<web::WebSite>(true);
    web::Request login;
    login.method = "POST";
    login.path = QStringLiteral("/login");
    login.body = QStringLiteral("name=%E6%9D%8E%E5%B7%A5&password=password1").toLatin1();
    login.address = QStringLiteral("127.0.0.1");
    const web::Reply reply = g_site->handle(login);
    for (const auto& [name, value] : reply.headers)
        if (name == "Set-Cookie")
            g_cookie = value.left(value.indexOf(';'));
    if (g_cookie.isEmpty())
        throw std::runtime_error("the bench account could not log in");
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
