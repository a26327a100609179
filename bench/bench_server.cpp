// The window cases on a PostgreSQL server on this machine: the query window's list of all bills, and
// the bill of twelve lines loaded and saved through the bill window, each against a bare libpq loop
// or transaction on a connection of its own that sends the same statements; and kvtweb's two pages
// answered in-process (待测量 and a bill of ten lines), against the bare statements behind them. As
// the loads' baselines show their cells in a bare table widget, the saves' baselines read their
// fields from one and close it, as the bill window's save reads its cells and closes the window; the
// bare transaction alone (libpq_tx) is listed beside them. Each case runs six times and its best run counts, as the
// machine's other work makes single runs vary by half. bench/run.sh runs this
// under pg_virtualenv: a throw-away server, with durable commits as a real one has, which is filled
// at start from the large database file, table by table.
//
// The server's own statement statistics (pg_stat_statements) check each baseline after its case:
// every statement the baseline sends for a step must be one the program sends for the same step, at
// least as often. What the program sends beyond that is written to stderr and counted in
// extra_statements: it is what the program does beyond the least work. The load and save cases
// also count the statements among theirs whose plan reads a large table through to find the bill's
// rows (full_scans), each such plan written to stderr.
//
// Every time is taken on the wall clock: most of the work is the server's, in another process.

#include "BenchSupport.h"
#include "BigDb.h"
#include "WebCases.h"
#include "WindowCases.h"

#include "query/QueryUnit.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "store/SqlDialect.h"

#include <QApplication>
#include <QDate>
#include <QHash>
#include <QTableWidget>

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace kvt;
using bench::kBill;
using bench::kLines;
using Clock = std::chrono::steady_clock;

/// The benchmark's database; the server comes from the environment pg_virtualenv sets (PGHOST,
/// PGPORT, PGUSER, PGPASSWORD).
const char* const kDatabase = "kvt_bench";
const QString kLocation = QStringLiteral("dbname=kvt_bench");

/// The session the program's store sets up, so that a baseline reads the same texts.
const char* const kSession = "SET standard_conforming_strings=on; SET DateStyle='ISO, YMD'; SET extra_float_digits=1";

double seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

std::string quoted(const std::string& name) {
    return '"' + name + '"';
}

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

/// A libpq connection of its own, outside the program's store. Every call throws with the server's
/// message unless the statement succeeded.
class Connection {
public:
    explicit Connection(const char* database) {
        const std::string info = std::string("dbname=") + database;
        m_conn = PQconnectdb(info.c_str());
        if (PQstatus(m_conn) != CONNECTION_OK) {
            const std::string error = PQerrorMessage(m_conn);
            PQfinish(m_conn);
            throw std::runtime_error("server: " + error);
        }
        PQsetNoticeProcessor(
            m_conn, [](void*, const char*) {}, nullptr);
        exec(kSession);
    }
    ~Connection() { PQfinish(m_conn); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    PGconn* get() const { return m_conn; }
    /// Text of one or more statements, as the store runs BEGIN and COMMIT.
    Result exec(const std::string& sql) const { return checked(PQexec(m_conn, sql.c_str()), sql); }
    /// One statement, as the store runs the statements it reads with: without parameters, or with
    /// text parameters (nullptr for NULL).
    Result read(const std::string& sql, const std::vector<const char*>& values = {}) const {
        return checked(
            PQexecParams(m_conn, sql.c_str(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0), sql);
    }
    void prepare(const char* name, const std::string& sql) const {
        checked(PQprepare(m_conn, name, sql.c_str(), 0, nullptr), sql);
    }
    /// A prepared statement with text parameters (nullptr for NULL), as the store sends them.
    Result run(const char* name, const std::vector<const char*>& values) const {
        return checked(PQexecPrepared(m_conn, name, int(values.size()), values.data(), nullptr, nullptr, 0), name);
    }
    /// BEGIN and then run(), in one round trip, as the store starts a transaction.
    Result beginAndRun(const char* name, const std::vector<const char*>& values) const {
        return begun(
            [&] { return PQsendQueryPrepared(m_conn, name, int(values.size()), values.data(), nullptr, nullptr, 0); },
            name);
    }
    /// BEGIN and then read(), without parameters, in one round trip.
    Result beginAndRead(const std::string& sql) const {
        return begun([&] { return PQsendQueryParams(m_conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0); },
                     sql);
    }

private:
    /// BEGIN and the statement sent gives in libpq's pipeline, one round trip; the statement's result.
    Result begun(const std::function<int()>& send, const std::string& what) const {
        if (!PQenterPipelineMode(m_conn) ||
            !PQsendQueryParams(m_conn, "BEGIN", 0, nullptr, nullptr, nullptr, nullptr, 0) || !send() ||
            !PQpipelineSync(m_conn))
            throw std::runtime_error("pipeline: " + std::string(PQerrorMessage(m_conn)));
        std::vector<Result> results;
        for (int part = 0; part < 2; ++part) {
            results.emplace_back(PQgetResult(m_conn), &PQclear);
            while (PGresult* more = PQgetResult(m_conn))
                PQclear(more);
        }
        const Result sync(PQgetResult(m_conn), &PQclear);
        if (PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC || !PQexitPipelineMode(m_conn))
            throw std::runtime_error(what.substr(0, 200) + ": " + PQerrorMessage(m_conn));
        checked(results[0].release(), "BEGIN");
        return checked(results[1].release(), what);
    }

    Result checked(PGresult* res, const std::string& what) const {
        Result r(res, &PQclear);
        const ExecStatusType status = PQresultStatus(res);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_COPY_IN)
            throw std::runtime_error(what.substr(0, 200) + ": " + PQerrorMessage(m_conn));
        return r;
    }
    PGconn* m_conn = nullptr;
};

/// Reads every value of a result once, keeping none: the least a client does with rows it asked for.
bench::StepLoopResult readEachValue(const PGresult* res) {
    bench::StepLoopResult out;
    out.rows = std::size_t(PQntuples(res));
    const int n = PQnfields(res);
    for (int r = 0; r < int(out.rows); ++r)
        for (int c = 0; c < n; ++c) {
            if (PQgetisnull(res, r, c))
                continue;
            const int length = PQgetlength(res, r, c);
            out.sum += length > 0 ? static_cast<unsigned char>(PQgetvalue(res, r, c)[0]) : 0;
            out.valueBytes += std::size_t(length);
        }
    return out;
}

/// The start of a long statement, cut between two characters.
std::string shortened(const std::string& text) {
    std::size_t end = 150;
    if (text.size() <= end)
        return text;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end) + " ...";
}

/// True when the server's plan for sql (with its parameters) reads one of the large tables through
/// instead of reaching its rows by an index; such a plan goes to stderr.
bool readsThrough(const Connection& server, const std::string& sql, const std::vector<const char*>& values = {}) {
    const Result plan = server.read("EXPLAIN " + sql, values);
    std::string text;
    bool through = false;
    for (int r = 0; r < PQntuples(plan.get()); ++r) {
        const std::string step = PQgetvalue(plan.get(), r, 0);
        text += "\n    " + step;
        if (step.find("Seq Scan on") != std::string::npos &&
            (step.find("单据明细") != std::string::npos || step.find("历史单据") != std::string::npos))
            through = true;
    }
    if (through)
        std::fprintf(stderr, "FULL SCAN: %s%s\n", shortened(sql).c_str(), text.c_str());
    return through;
}

/// True when a write changed exactly one row.
bool oneRow(const Result& r) {
    return std::strcmp(PQcmdTuples(r.get()), "1") == 0;
}

// ---------------------------------------------------------------- the server and its data

/// Appends text to a line of COPY's text format, escaped as that format wants.
void appendCopyText(std::string& out, const char* text, int length) {
    for (int i = 0; i < length; ++i) {
        switch (text[i]) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += text[i];
        }
    }
}

void putCopyData(const Connection& server, const std::string& chunk) {
    if (PQputCopyData(server.get(), chunk.data(), int(chunk.size())) != 1)
        throw std::runtime_error(std::string("copy: ") + PQerrorMessage(server.get()));
}

/// Copies a table of the file into the same table on the server, emptied in this transaction (so
/// the rows go in frozen, as a vacuumed table holds them); gives the rows copied.
std::size_t copyTable(sqlite3* file, const Connection& server, const std::string& table) {
    std::vector<std::string> columns;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(file, ("PRAGMA table_info(" + quoted(table) + ")").c_str(), -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW)
        columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    sqlite3_finalize(st);
    std::string list;
    for (const std::string& c : columns)
        list += (list.empty() ? "" : ",") + quoted(c);

    server.exec("TRUNCATE " + quoted(table));
    server.exec("COPY " + quoted(table) + " (" + list + ") FROM STDIN WITH (FREEZE)");
    if (sqlite3_prepare_v2(file, ("select " + list + " from " + quoted(table)).c_str(), -1, &st, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("large database: ") + sqlite3_errmsg(file));
    const int n = int(columns.size());
    std::size_t rows = 0;
    std::string chunk;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < n; ++c) {
            if (c)
                chunk += '\t';
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_NULL:
                chunk += "\\N";
                break;
            case SQLITE_INTEGER:
                chunk += std::to_string(sqlite3_column_int64(st, c));
                break;
            case SQLITE_FLOAT: {
                char buf[32];
                const auto r = std::to_chars(buf, buf + sizeof buf, sqlite3_column_double(st, c));
                chunk.append(buf, r.ptr);
                break;
            }
            default:
                appendCopyText(chunk, reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                               sqlite3_column_bytes(st, c));
            }
        }
        chunk += '\n';
        ++rows;
        if (chunk.size() >= (1u << 20)) {
            putCopyData(server, chunk);
            chunk.clear();
        }
    }
    sqlite3_finalize(st);
    putCopyData(server, chunk);
    if (PQputCopyEnd(server.get(), nullptr) != 1)
        throw std::runtime_error(std::string("copy: ") + PQerrorMessage(server.get()));
    Result done(PQgetResult(server.get()), &PQclear);
    if (PQresultStatus(done.get()) != PGRES_COMMAND_OK)
        throw std::runtime_error("copy of " + table + ": " + PQresultErrorMessage(done.get()));
    while (PGresult* more = PQgetResult(server.get()))
        PQclear(more);
    return rows;
}

/// Makes the benchmark's database on the server. A server that already has one is not the
/// throw-away server bench/run.sh starts: nothing on it is touched.
void createDatabase() {
    Connection admin("postgres");
    if (PQntuples(admin.read(std::string("select 1 from pg_database where datname='") + kDatabase + "'").get()) > 0)
        throw std::runtime_error(std::string("the server already has a database ") + kDatabase +
                                 ": run this through sh bench/run.sh, which starts a throw-away server");
    admin.exec(std::string("CREATE DATABASE ") + kDatabase);
    admin.exec("CREATE EXTENSION IF NOT EXISTS pg_stat_statements");
    try {
        admin.read("select count(*) from pg_stat_statements");
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(std::string("the statement checks need the server to preload pg_stat_statements "
                                             "(bench/run.sh starts it so): ") +
                                 e.what());
    }
}

/// The file's five tables into the program's tables on the server, in one transaction, with the
/// row counts checked; the identity columns go on after the keys copied, as the file's do.
void copyBigDatabase() {
    sqlite3* file = nullptr;
    if (sqlite3_open_v2(bench::BigDatabasePath().toUtf8().constData(), &file, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        throw std::runtime_error(std::string("large database: ") + sqlite3_errmsg(file));
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> closeFile(file, &sqlite3_close);
    Connection server(kDatabase);
    server.exec("BEGIN");
    // The indexes beside the keys go for the copy and come back after it, each by its own
    // definition: built once from the rows, they take a fraction of the time kept up row by row.
    const Result indexes = server.read("select quote_ident(indexname), indexdef from pg_indexes where "
                                       "schemaname=current_schema() and indexname not in (select conname from "
                                       "pg_constraint)");
    for (int r = 0; r < PQntuples(indexes.get()); ++r)
        server.exec(std::string("DROP INDEX ") + PQgetvalue(indexes.get(), r, 0));
    for (const char* table : {"历史单据", "单据明细", "商品信息", "客户信息", "系统设置"}) {
        const std::size_t rows = copyTable(file, server, table);
        const Result count = server.read("select count(*) from " + quoted(table));
        if (std::to_string(rows) != PQgetvalue(count.get(), 0, 0))
            throw std::runtime_error(std::string("copy of ") + table + ": " + std::to_string(rows) + " rows sent, " +
                                     PQgetvalue(count.get(), 0, 0) + " on the server");
    }
    for (int r = 0; r < PQntuples(indexes.get()); ++r)
        server.exec(PQgetvalue(indexes.get(), r, 1));
    const Result identities = server.read("select quote_ident(table_name), column_name, quote_ident(column_name) "
                                          "from information_schema.columns where table_schema=current_schema() "
                                          "and is_identity='YES'");
    for (int r = 0; r < PQntuples(identities.get()); ++r) {
        const std::string table = PQgetvalue(identities.get(), r, 0);
        server.read("select setval(pg_get_serial_sequence('" + table + "', '" + PQgetvalue(identities.get(), r, 1) +
                    "'), coalesce(max(" + PQgetvalue(identities.get(), r, 2) + "), 0) + 1, false) from " + table);
    }
    server.exec("COMMIT");
    server.exec("VACUUM ANALYZE");
}

void prepare() {
    try {
        const auto start = Clock::now();
        createDatabase();
        Database::Open(kLocation); // the program sets up its tables, indexes and counter row
        Database::Close();
        copyBigDatabase();
        Database::Open(kLocation);
        bench::MakeTwelveLineBill();
        Database::Close();
        std::fprintf(stderr, "server: the large database copied in %.1f s\n", seconds(start));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_server: %s\n", e.what());
        std::exit(1);
    }
}

// ---------------------------------------------------------------- what a step sends

/// A statement as the server's statistics show it, and how often it ran.
struct Sent {
    std::string text;
    long long calls = 0;
};
/// By the statistics' query id.
using SentStatements = std::map<std::string, Sent>;

/// What step sent to the benchmark's database, from the server's statement statistics.
SentStatements statementsSent(const std::function<void()>& step) {
    static Connection admin("postgres");
    admin.exec("select pg_stat_statements_reset()");
    step();
    const Result r = admin.read(std::string("select queryid::text, calls, query from pg_stat_statements where "
                                            "dbid=(select oid from pg_database where datname='") +
                                kDatabase + "')");
    SentStatements out;
    for (int i = 0; i < PQntuples(r.get()); ++i)
        out[PQgetvalue(r.get(), i, 0)] = {PQgetvalue(r.get(), i, 2), std::atoll(PQgetvalue(r.get(), i, 1))};
    return out;
}

/// Checks what the program sent for a step against what its baseline sent for the same step: each
/// of the baseline's statements must be among the program's, at least as often. The program's
/// others go to stderr and into the counters.
void compareStatements(benchmark::State& state, const char* which, const SentStatements& program,
                       const SentStatements& baseline) {
    long long total = 0, extra = 0;
    std::string missing, beyond;
    for (const auto& [id, b] : baseline) {
        const auto it = program.find(id);
        const long long got = it == program.end() ? 0 : it->second.calls;
        if (got < b.calls)
            missing += "\n    " + std::to_string(b.calls - got) + "x " + shortened(b.text);
    }
    for (const auto& [id, p] : program) {
        total += p.calls;
        const auto it = baseline.find(id);
        const long long base = it == baseline.end() ? 0 : it->second.calls;
        if (p.calls > base) {
            extra += p.calls - base;
            beyond += "\n    " + std::to_string(p.calls - base) + "x " + shortened(p.text);
        }
    }
    std::fprintf(stderr, "%s: the program sends %lld statements, %lld beyond its baseline's%s%s\n", which, total, extra,
                 extra ? ":" : "", beyond.c_str());
    state.counters["statements"] = double(total);
    state.counters["extra_statements"] = double(extra);
    if (total == 0) {
        state.SkipWithError("the server's statistics saw no statement of the program");
    } else if (!missing.empty()) {
        std::fprintf(stderr, "%s: the baseline sends what the program does not:%s\n", which, missing.c_str());
        state.SkipWithError("the baseline sends statements the program does not");
    }
}

// ---------------------------------------------------------------- the baselines

QString allBillsSql() {
    return BillListSql(false, false, QDate(), QDate(), QString());
}

/// The least work that brings the list to the client: the program's statement, translated as the
/// program translates it and sent as the program sends it, and every value read once.
class BareList {
public:
    bench::StepLoopResult once() const { return readEachValue(m_server.read(m_sql).get()); }

private:
    Connection m_server{kDatabase};
    std::string m_sql = utf8(TranslateToPostgres(allBillsSql()));
};

/// The least work that shows a loaded bill: the statements the bill window's load sends, every
/// value read once, and as many cells as the bill window fills, shown in a bare table widget.
class BareLoad {
public:
    explicit BareLoad(bool doorLeaf) : m_doorLeaf(doorLeaf) { m_table.resize(800, 400); }

    void once() {
        const QString id = QString::number(kBill);
        readEachValue(read(BillHeaderSql(kBill)).get());
        readEachValue(read(QStringLiteral("select * from 历史单据 where 单据ID=") + id).get());
        const Result lines = read(BillLinesSql(kBill));
        readEachValue(lines.get());
        const PGresult* shown = lines.get();
        int columns = 16;
        QHash<QByteArray, std::pair<QString, QString>> products;
        Result frameLines(nullptr, &PQclear);
        if (m_doorLeaf) {
            // The lines' products, by the numbers the lines hold.
            const int product = PQfnumber(shown, "\"商品ID\"");
            QStringList ids;
            for (int r = 0; r < PQntuples(shown); ++r)
                if (!PQgetisnull(shown, r, product))
                    ids << QString::fromUtf8(PQgetvalue(shown, r, product));
            const Result names =
                read(QStringLiteral("select 商品ID,自定义编号,商品名称 from 商品信息 where 商品ID in (") +
                     ids.join(QLatin1Char(',')) + QLatin1Char(')'));
            readEachValue(names.get());
            for (int r = 0; r < PQntuples(names.get()); ++r)
                products.insert(PQgetvalue(names.get(), r, 0), {QString::fromUtf8(PQgetvalue(names.get(), r, 1)),
                                                                QString::fromUtf8(PQgetvalue(names.get(), r, 2))});
        } else {
            frameLines = read(BillFrameLinesSql(kBill));
            readEachValue(frameLines.get());
            shown = frameLines.get();
            columns = 13;
        }
        const int rows = PQntuples(shown);
        m_table.setColumnCount(m_doorLeaf ? columns + 2 : columns);
        m_table.setRowCount(rows);
        for (int r = 0; r < rows; ++r) {
            int c = 0;
            if (m_doorLeaf) {
                const auto product = products.value(PQgetvalue(shown, r, PQfnumber(shown, "\"商品ID\"")));
                m_table.setItem(r, c++, new QTableWidgetItem(product.first));
                m_table.setItem(r, c++, new QTableWidgetItem(product.second));
            }
            for (int k = 0; k < columns && k < PQnfields(shown); ++k)
                m_table.setItem(
                    r, c++, new QTableWidgetItem(QString::fromUtf8(PQgetvalue(shown, r, k), PQgetlength(shown, r, k))));
        }
        m_table.show();
        QApplication::processEvents();
    }

    void hide() {
        m_table.hide();
        QApplication::processEvents();
    }

    /// How many of the statements that pick the bill's rows read a large table through.
    int fullScans() const {
        int scans = 0;
        for (const QString& statement :
             {BillHeaderSql(kBill), BillLinesSql(kBill), BillFrameLinesSql(kBill),
              QStringLiteral("select * from 历史单据 where 单据ID=") + QString::number(kBill)})
            scans += readsThrough(m_server, utf8(TranslateToPostgres(statement)));
        return scans;
    }

private:
    Result read(const QString& statement) const { return m_server.read(utf8(TranslateToPostgres(statement))); }

    Connection m_server{kDatabase};
    bool m_doorLeaf;
    QTableWidget m_table;
};

/// A row's values as the server gave them, as text; nullopt for NULL.
using Values = std::vector<std::optional<std::string>>;

Values rowValues(const PGresult* res, int row) {
    Values v;
    for (int c = 0; c < PQnfields(res); ++c)
        v.push_back(PQgetisnull(res, row, c) ? std::nullopt : std::optional<std::string>(PQgetvalue(res, row, c)));
    return v;
}

void addParameters(std::vector<const char*>& out, const Values& values) {
    for (const auto& v : values)
        out.push_back(v ? v->c_str() : nullptr);
}

std::vector<std::string> columnNames(const PGresult* res) {
    std::vector<std::string> names;
    for (int c = 0; c < PQnfields(res); ++c)
        names.emplace_back(PQfname(res, c));
    return names;
}

/// The store's optimistic write of a row: the given columns set where the row still holds every
/// value it was read with (NULL-safe; the key, never NULL, compared plainly so that its index finds
/// the row), parameters numbered as the store numbers them.
std::string optimisticUpdate(const std::string& table, const std::string& key, const std::vector<std::string>& columns,
                             const std::vector<int>& written) {
    std::string sets, matches;
    int k = 0;
    for (int c : written)
        sets += (sets.empty() ? "" : ",") + quoted(columns[size_t(c)]) + "=$" + std::to_string(++k);
    for (const std::string& c : columns)
        matches += (matches.empty() ? "" : " AND ") + quoted(c) + (c == key ? " = $" : " IS NOT DISTINCT FROM $") +
                   std::to_string(++k);
    return "UPDATE " + quoted(table) + " SET " + sets + " WHERE " + matches;
}

/// The store's insert of a new row: the given columns, the whole row read back.
std::string insertReturning(const std::string& table, const std::vector<std::string>& columns,
                            const std::vector<int>& written) {
    std::string names, marks, all;
    int k = 0;
    for (int c : written) {
        names += (names.empty() ? "" : ",") + quoted(columns[size_t(c)]);
        marks += (marks.empty() ? "$" : ",$") + std::to_string(++k);
    }
    for (const std::string& c : columns)
        all += (all.empty() ? "" : ",") + quoted(c);
    return "INSERT INTO " + quoted(table) + " (" + names + ") VALUES (" + marks + ") RETURNING " + all;
}

/// Positions of the named columns, in the table's order.
std::vector<int> positions(const std::vector<std::string>& columns, const std::vector<const char*>& names) {
    std::vector<int> out;
    for (int c = 0; c < int(columns.size()); ++c)
        for (const char* n : names)
            if (columns[size_t(c)] == n)
                out.push_back(c);
    return out;
}

/// The fields each view of a saved bill writes of its lines.
const std::vector<const char*> kFrameWritten = {"商品ID",   "玻璃款式", "门框附加", "门框备注", "见光宽", "见光高",
                                                "门框总宽", "门框总高", "埋地",     "单据ID",   "数量"};
const std::vector<const char*> kDoorLeafWritten = {"数量",     "玻璃款式", "见光宽", "见光高", "现量宽",   "现量高",
                                                   "门扇宽",   "门扇高",   "玻璃宽", "玻璃高", "门框附加", "门框备注",
                                                   "门框总宽", "门框总高", "单据ID", "商品ID"};

/// What a save reads its fields from and closes at its end, as bare as a window can be: a table
/// widget holding the texts the bill window's cells and boxes hold, one row a line, the last row
/// the header.
class BareForm {
public:
    BareForm(int rows, int columns) {
        m_table.setRowCount(rows);
        m_table.setColumnCount(columns);
        m_table.resize(800, 400);
    }
    void set(int row, int column, const std::optional<std::string>& text) {
        m_table.setItem(row, column, new QTableWidgetItem(text ? QString::fromStdString(*text) : QString()));
    }
    void show() {
        m_table.show();
        QApplication::processEvents();
    }
    /// A cell's text as a value to write: an empty cell stays NULL where the field held NULL.
    std::optional<std::string> text(int row, int column, bool wasNull) const {
        const QTableWidgetItem* item = m_table.item(row, column);
        const QString t = item ? item->text() : QString();
        if (t.isEmpty() && wasNull)
            return std::nullopt;
        return t.toStdString();
    }
    void close() {
        m_table.hide();
        QApplication::processEvents();
    }

private:
    QTableWidget m_table;
};

/// The least work that saves the bill with its first line's width changed: in one transaction, each
/// line's fields the view writes, where the line still holds every value it was read with, then the
/// header the same way; the statements prepared once, as the store keeps them on its connection, and
/// BEGIN sent with the first of them. With a form, the fields are read from it, as the window's save
/// reads its cells, and the form is closed at the end, as the window closes.
class BareSave {
public:
    explicit BareSave(const std::vector<const char*>& written, bool withForm = false) {
        const QString id = QString::number(kBill);
        const Result lines = m_server.read(utf8(TranslateToPostgres(BillLinesSql(kBill))));
        const Result header =
            m_server.read(utf8(TranslateToPostgres(QStringLiteral("select * from 历史单据 where 单据ID=") + id)));
        if (PQntuples(lines.get()) != kLines || PQntuples(header.get()) != 1)
            throw std::runtime_error("the bill is not on the server");
        const std::vector<std::string> lineColumns = columnNames(lines.get());
        const std::vector<std::string> headerColumns = columnNames(header.get());
        for (int r = 0; r < kLines; ++r)
            m_lines.push_back(rowValues(lines.get(), r));
        m_header = rowValues(header.get(), 0);
        m_written = positions(lineColumns, written);
        m_width = positions(lineColumns, {"见光宽"}).front();
        std::vector<int> allHeader(headerColumns.size());
        for (size_t c = 0; c < allHeader.size(); ++c)
            allHeader[c] = int(c);
        m_lineSql = optimisticUpdate("单据明细", "门框ID", lineColumns, m_written);
        m_headerSql = optimisticUpdate("历史单据", "单据ID", headerColumns, allHeader);
        m_server.prepare("line", m_lineSql);
        m_server.prepare("header", m_headerSql);
        if (withForm) {
            m_form.emplace(kLines + 1, int(std::max(m_written.size(), m_header.size())));
            for (int r = 0; r < kLines; ++r)
                for (size_t k = 0; k < m_written.size(); ++k)
                    m_form->set(r, int(k), m_lines[size_t(r)][size_t(m_written[k])]);
            for (size_t c = 0; c < m_header.size(); ++c)
                m_form->set(kLines, int(c), m_header[c]);
        }
    }

    /// Shows the form with the first line's width changed, as the window is before its save.
    void showForm(int width) {
        const auto at = std::find(m_written.begin(), m_written.end(), m_width);
        m_form->set(0, int(at - m_written.begin()), std::to_string(width));
        m_form->show();
    }

    void once(int width) {
        for (size_t r = 0; r < m_lines.size(); ++r) {
            Values now = m_lines[r];
            if (m_form)
                for (size_t k = 0; k < m_written.size(); ++k) {
                    const size_t c = size_t(m_written[k]);
                    now[c] = m_form->text(int(r), int(k), !m_lines[r][c]);
                }
            else if (r == 0)
                now[size_t(m_width)] = std::to_string(width);
            const std::vector<const char*> parameters = lineParameters(now, m_lines[r]);
            if (!oneRow(r == 0 ? m_server.beginAndRun("line", parameters) : m_server.run("line", parameters)))
                throw std::runtime_error("a line of the bill was not written");
            m_lines[r] = std::move(now);
        }
        Values header = m_header;
        if (m_form)
            for (size_t c = 0; c < header.size(); ++c)
                header[c] = m_form->text(kLines, int(c), !m_header[c]);
        std::vector<const char*> parameters;
        addParameters(parameters, header);
        addParameters(parameters, m_header);
        if (!oneRow(m_server.run("header", parameters)))
            throw std::runtime_error("the bill's header was not written");
        commit(m_server);
        m_header = std::move(header);
        if (m_form)
            m_form->close();
    }

    /// How many of the save's two writes read a large table through to find their row.
    int fullScans() const {
        return int(readsThrough(m_server, m_lineSql, lineParameters(m_lines[0], m_lines[0]))) +
               int(readsThrough(m_server, m_headerSql, headerParameters()));
    }

    static void commit(const Connection& server) {
        const Result done = server.exec("COMMIT");
        if (std::strcmp(PQcmdStatus(done.get()), "COMMIT") != 0)
            throw std::runtime_error("the server rolled the save back");
    }

private:
    /// The fields written, as they are to be, then every value as the line holds it now.
    std::vector<const char*> lineParameters(const Values& written, const Values& now) const {
        std::vector<const char*> parameters;
        for (int c : m_written)
            parameters.push_back(written[size_t(c)] ? written[size_t(c)]->c_str() : nullptr);
        addParameters(parameters, now);
        return parameters;
    }
    std::vector<const char*> headerParameters() const {
        std::vector<const char*> parameters;
        addParameters(parameters, m_header);
        addParameters(parameters, m_header);
        return parameters;
    }

    Connection m_server{kDatabase};
    std::string m_lineSql, m_headerSql;
    std::vector<Values> m_lines; // as they stand after the last save
    Values m_header;
    std::vector<int> m_written; // the line columns written, in the table's order
    int m_width = 0;            // the line column of the width that changes
    std::optional<BareForm> m_form;
};

/// The least work that saves a new frame bill as the main window's does: in one transaction, the
/// counter read under its row lock, its number checked free, the header and each line inserted with
/// the store's statements (each read back), and the counter moved on where it still holds what was read;
/// BEGIN sent with the counter's read. With a form, the fields are read from it and it is closed at
/// the end, as for BareSave.
class BareNewBill {
public:
    explicit BareNewBill(bool withForm = false) {
        const Result header =
            m_server.read(utf8(TranslateToPostgres(QStringLiteral("select * from 历史单据 where 1=0"))));
        const Result lines =
            m_server.read(utf8(TranslateToPostgres(QStringLiteral("select * from 单据明细 where 1=0"))));
        const Result counter =
            m_server.read(utf8(TranslateToPostgres(QStringLiteral("select * from 系统设置 where 1=0"))));
        const std::vector<std::string> headerColumns = columnNames(header.get());
        const std::vector<std::string> lineColumns = columnNames(lines.get());
        const std::vector<std::string> counterColumns = columnNames(counter.get());
        m_lineOrder = positions(lineColumns, kFrameWritten);
        std::vector<int> allHeader(headerColumns.size());
        for (size_t c = 0; c < allHeader.size(); ++c)
            allHeader[c] = int(c);
        m_server.prepare("header", insertReturning("历史单据", headerColumns, allHeader));
        m_server.prepare("line", insertReturning("单据明细", lineColumns, m_lineOrder));
        m_server.prepare("counter",
                         optimisticUpdate("系统设置", "ID", counterColumns, positions(counterColumns, {"值"})));
        m_lineColumns = lineColumns;
        if (withForm) {
            m_form.emplace(kLines + 1, int(m_lineOrder.size()));
            const std::vector<const char*> header = {"121", "文三路8号", "9", "刘师傅"};
            for (size_t c = 0; c < header.size(); ++c)
                m_form->set(kLines, int(c), header[c]);
            for (int r = 0; r < kLines; ++r)
                for (size_t k = 0; k < m_lineOrder.size(); ++k) {
                    const std::string& name = m_lineColumns[size_t(m_lineOrder[k])];
                    if (name != "单据ID")
                        m_form->set(r, int(k), lineCell(name, r + 1));
                }
        }
    }

    void showForm() { m_form->show(); }

    void once() {
        const Result counter = m_server.beginAndRead(m_takeCounter);
        const std::string number = PQgetvalue(counter.get(), 0, 1);
        const Result taken = m_server.read(utf8(TranslateToPostgres(
            QStringLiteral("select * from 历史单据 where 单据ID=") + QString::fromStdString(number))));
        if (PQntuples(taken.get()) != 0)
            throw std::runtime_error("the counter's number is taken");
        const std::string date = utf8(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
        if (m_form) {
            const auto client = m_form->text(kLines, 0, false), address = m_form->text(kLines, 1, false),
                       installerId = m_form->text(kLines, 2, false), installer = m_form->text(kLines, 3, false);
            readEachValue(m_server
                              .run("header", {number.c_str(), client->c_str(), address->c_str(), date.c_str(),
                                              installerId->c_str(), installer->c_str()})
                              .get());
        } else {
            readEachValue(
                m_server.run("header", {number.c_str(), "121", "文三路8号", date.c_str(), "9", "刘师傅"}).get());
        }
        for (int r = 1; r <= kLines; ++r) {
            std::vector<std::string> values;
            for (size_t k = 0; k < m_lineOrder.size(); ++k) {
                const std::string& name = m_lineColumns[size_t(m_lineOrder[k])];
                values.push_back(name == "单据ID" ? number
                                 : m_form       ? *m_form->text(r - 1, int(k), false)
                                                : lineCell(name, r));
            }
            std::vector<const char*> parameters;
            for (const std::string& v : values)
                parameters.push_back(v.c_str());
            readEachValue(m_server.run("line", parameters).get());
        }
        const std::string next = std::to_string(std::stoll(number) + 1);
        if (!oneRow(m_server.run("counter", {next.c_str(), PQgetvalue(counter.get(), 0, 0), number.c_str()})))
            throw std::runtime_error("the counter was not moved on");
        BareSave::commit(m_server);
        if (m_form)
            m_form->close();
    }

private:
    /// What the window's cells give a line's field, by name (the bill number aside).
    static std::string lineCell(const std::string& name, int line) {
        static const std::map<std::string, std::string> cells = {
            {"玻璃款式", "磨砂"}, {"门框附加", ""},     {"门框备注", ""},     {"见光宽", "800"}, {"见光高", "2050"},
            {"门框总宽", "840"},  {"门框总高", "2085"}, {"埋地", "20"},       {"数量", "1"}};
        return name == "商品ID" ? std::to_string(line) : cells.at(name);
    }

    Connection m_server{kDatabase};
    std::optional<BareForm> m_form;
    std::string m_takeCounter =
        utf8(TranslateToPostgres(QStringLiteral("select * from 系统设置 where ID=\"历史单据ID\" for update")));
    std::vector<std::string> m_lineColumns;
    std::vector<int> m_lineOrder; // the line columns inserted, in the table's order
};

// ---------------------------------------------------------------- the cases

void bareList(benchmark::State& state) {
    BareList bare;
    std::size_t values = 0, rows = 0;
    for (auto _ : state) {
        const bench::StepLoopResult read = bare.once();
        values = read.valueBytes;
        rows = read.rows;
        benchmark::DoNotOptimize(read.sum);
    }
    if (rows != std::size_t(bench::BigDbSize{}.bills))
        state.SkipWithError("the bare list did not read every bill");
    state.SetLabel("baseline");
    state.counters["value_bytes"] = double(values);
    state.counters["held_bytes"] = 0;
    state.counters["rows"] = double(rows);
}

/// The query object alone on the list's statement: the server's rows read into its cells.
void queryList(benchmark::State& state) {
    Database::Open(kLocation);
    int rows = 0;
    for (auto _ : state) {
        DataQuery q;
        q.SetSql(allBillsSql());
        q.Open();
        rows = q.RowCount();
        benchmark::DoNotOptimize(rows);
    }
    Database::Close();
    if (rows != bench::BigDbSize{}.bills)
        state.SkipWithError("the query did not read every bill");
    state.counters["rows"] = rows;
    state.counters["target_ratio"] = 1.2;
}

void windowList(benchmark::State& state) {
    bench::ProgramWindows windows(kLocation);
    bench::TimeAllBillsList(state);
    const SentStatements program = statementsSent(bench::ListAllBills);
    BareList bare;
    const SentStatements baseline = statementsSent([&] { bare.once(); });
    compareStatements(state, "ServerAllBills", program, baseline);
    state.counters["target_ratio"] = 1.5;
}

void bareLoad(benchmark::State& state, bool doorLeaf) {
    BareLoad bare(doorLeaf);
    for (auto _ : state) {
        const auto start = Clock::now();
        bare.once();
        state.SetIterationTime(seconds(start));
        bare.hide();
    }
    state.SetLabel("baseline");
    state.counters["lines"] = kLines;
}

/// The program's windows on the server, the query window's result holding the bill.
struct Forms {
    bench::ProgramWindows windows{kLocation};
    Forms() { bench::ListTheBill(); }
};

void windowLoad(benchmark::State& state, const char* buttonName, const char* kind, bool doorLeaf, const char* which) {
    Forms forms;
    bench::TimeBillLoads(state, buttonName, kind);
    const SentStatements program = statementsSent([&] { bench::LoadBill(buttonName); });
    bench::CloseBill();
    BareLoad bare(doorLeaf);
    const SentStatements baseline = statementsSent([&] { bare.once(); });
    compareStatements(state, which, program, baseline);
    state.counters["full_scans"] = bare.fullScans();
    state.counters["target_ratio"] = 1.5;
}

/// The bare save; with a form (the baseline), its fields read from it and the form closed at the end.
void bareSave(benchmark::State& state, const std::vector<const char*>& written, bool withForm) {
    BareSave bare(written, withForm);
    int n = 0;
    for (auto _ : state) {
        const int width = 800 + 5 * (n++ % 2);
        if (withForm)
            bare.showForm(width);
        const auto start = Clock::now();
        bare.once(width);
        state.SetIterationTime(seconds(start));
    }
    if (withForm)
        state.SetLabel("baseline");
    state.counters["lines"] = kLines;
}

void windowSave(benchmark::State& state, const char* buttonName, const char* kind, int widthColumn,
                const std::vector<const char*>& written, const char* which) {
    Forms forms;
    bench::TimeBillSaves(state, buttonName, kind, widthColumn);
    bench::LoadBill(buttonName);
    bench::ChangeFirstWidth(widthColumn, 810);
    const SentStatements program = statementsSent(bench::SaveBill);
    BareSave bare(written);
    const SentStatements baseline = statementsSent([&] { bare.once(815); });
    compareStatements(state, which, program, baseline);
    state.counters["full_scans"] = bare.fullScans();
    state.counters["target_ratio"] = 1.5;
    state.counters["target_ms"] = 20;
}

/// Takes out the bills the new-bill cases added, and puts the counter back: the other cases, in
/// whatever order they run, find the large database as it was copied.
void removeNewBills() {
    const Connection server(kDatabase);
    const std::string last = std::to_string(bench::BigDbSize{}.bills);
    server.exec("BEGIN; DELETE FROM \"单据明细\" WHERE \"单据ID\">" + last +
                "; DELETE FROM \"历史单据\" WHERE \"单据ID\">" + last + "; UPDATE \"系统设置\" SET \"值\"=" + last +
                "+1 WHERE \"ID\"='历史单据ID'; COMMIT");
}

void bareNewBill(benchmark::State& state, bool withForm) {
    BareNewBill bare(withForm);
    for (auto _ : state) {
        if (withForm)
            bare.showForm();
        const auto start = Clock::now();
        bare.once();
        state.SetIterationTime(seconds(start));
    }
    removeNewBills();
    if (withForm)
        state.SetLabel("baseline");
    state.counters["lines"] = kLines;
}

void windowNewBill(benchmark::State& state) {
    bench::ProgramWindows windows(kLocation);
    bench::TimeNewFrameBillSaves(state);
    bench::OpenNewFrameBill();
    const SentStatements program = statementsSent(bench::SaveBill);
    BareNewBill bare;
    const SentStatements baseline = statementsSent([&] { bare.once(); });
    compareStatements(state, "ServerNewBillSave12", program, baseline);
    removeNewBills();
    state.counters["target_ratio"] = 1.5;
    state.counters["target_ms"] = 20;
}

// ---------------------------------------------------------------- kvtweb's pages

/// The program's store open on the server for as long as it lives.
struct OpenStore {
    OpenStore() { Database::Open(kLocation); }
    ~OpenStore() { Database::Close(); }
    OpenStore(const OpenStore&) = delete;
    OpenStore& operator=(const OpenStore&) = delete;
};

/// The least work that brings a page's rows to the client: the page's statements, translated as the
/// program translates them and sent as it sends them, one round trip each, every value read once.
class BarePage {
public:
    explicit BarePage(const QStringList& statements) {
        for (const QString& sql : statements)
            m_sql.push_back(utf8(TranslateToPostgres(sql)));
    }
    bench::StepLoopResult once() const {
        bench::StepLoopResult all;
        for (const std::string& sql : m_sql) {
            const bench::StepLoopResult read = readEachValue(m_server.read(sql).get());
            all.rows += read.rows;
            all.sum += read.sum;
            all.valueBytes += read.valueBytes;
        }
        return all;
    }

private:
    Connection m_server{kDatabase};
    std::vector<std::string> m_sql;
};

using PageStatements = QStringList (*)();

/// Builds a page's statements on the program's store, as the page builds them.
BarePage barePageOf(PageStatements statements) {
    const OpenStore store;
    return BarePage(statements());
}

void barePage(benchmark::State& state, PageStatements statements) {
    const BarePage bare = barePageOf(statements);
    std::size_t rows = 0;
    for (auto _ : state) {
        const bench::StepLoopResult read = bare.once();
        rows = read.rows;
        benchmark::DoNotOptimize(read.sum);
    }
    if (rows == 0)
        state.SkipWithError("the bare statements read no rows");
    state.SetLabel("baseline");
    state.counters["rows"] = double(rows);
}

void webPage(benchmark::State& state, const QString& path, PageStatements statements, const char* which) {
    const OpenStore store;
    bench::WebPages pages;
    web::Reply reply;
    for (auto _ : state) {
        reply = pages.get(path);
        benchmark::DoNotOptimize(reply.body.data());
    }
    if (!bench::ShowsBills(reply)) {
        state.SkipWithError("the page did not show bills");
        return;
    }
    const SentStatements program = statementsSent([&] { pages.get(path); });
    const BarePage bare(statements());
    const SentStatements baseline = statementsSent([&] { bare.once(); });
    compareStatements(state, which, program, baseline);
    state.counters["bytes"] = double(reply.body.size());
    state.counters["target_ratio"] = 1.5;
    state.counters["target_ms"] = 50;
}

const bool registered = [] {
    // A case that fails (the server refuses a statement, a check throws) shows as an error in the
    // table instead of ending the run.
    auto add = [](const char* name, std::function<void(benchmark::State&)> fn, int iterations) {
        return benchmark::RegisterBenchmark(name,
                                            [fn](benchmark::State& state) {
                                                try {
                                                    fn(state);
                                                } catch (const std::exception& e) {
                                                    state.SkipWithError(e.what());
                                                }
                                            })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(iterations)
            ->Repetitions(6);
    };
    add("libpq_loop/ServerAllBills", bareList, 2)->UseRealTime();
    add("DataQuery/ServerAllBills", queryList, 2)->UseRealTime();
    add("window/ServerAllBills", windowList, 2)->UseRealTime();
    using namespace std::placeholders;
    add("libpq_window/ServerFrameLoad12", std::bind(bareLoad, _1, false), 20)->UseManualTime();
    add("frame/ServerFrameLoad12", std::bind(windowLoad, _1, "Button_kuang_load", "3", false, "ServerFrameLoad12"), 20)
        ->UseManualTime();
    add("libpq_window/ServerDoorLeafLoad12", std::bind(bareLoad, _1, true), 20)->UseManualTime();
    add("door_leaf/ServerDoorLeafLoad12", std::bind(windowLoad, _1, "Button_load", "2", true, "ServerDoorLeafLoad12"),
        20)
        ->UseManualTime();
    // The saves' baseline reads its fields from a bare form and closes it, as the window's save does;
    // the bare transaction alone is shown beside it.
    add("libpq_window/ServerFrameSave12", std::bind(bareSave, _1, kFrameWritten, true), 20)->UseManualTime();
    add("libpq_tx/ServerFrameSave12", std::bind(bareSave, _1, kFrameWritten, false), 20)->UseManualTime();
    add("frame/ServerFrameSave12",
        std::bind(windowSave, _1, "Button_kuang_load", "3", 4, kFrameWritten, "ServerFrameSave12"), 20)
        ->UseManualTime();
    add("libpq_window/ServerDoorLeafSave12", std::bind(bareSave, _1, kDoorLeafWritten, true), 20)->UseManualTime();
    add("libpq_tx/ServerDoorLeafSave12", std::bind(bareSave, _1, kDoorLeafWritten, false), 20)->UseManualTime();
    add("door_leaf/ServerDoorLeafSave12",
        std::bind(windowSave, _1, "Button_load", "2", 5, kDoorLeafWritten, "ServerDoorLeafSave12"), 20)
        ->UseManualTime();
    add("libpq_window/ServerNewBillSave12", std::bind(bareNewBill, _1, true), 10)->UseManualTime();
    add("libpq_tx/ServerNewBillSave12", std::bind(bareNewBill, _1, false), 10)->UseManualTime();
    add("window/ServerNewBillSave12", windowNewBill, 10)->UseManualTime();
    add("libpq_loop/ServerWebUnmeasuredList", std::bind(barePage, _1, bench::UnmeasuredListStatements), 50)
        ->UseRealTime();
    add("kvtweb/ServerWebUnmeasuredList",
        std::bind(webPage, _1, QStringLiteral("/"), bench::UnmeasuredListStatements, "ServerWebUnmeasuredList"), 50)
        ->UseRealTime();
    add("libpq_loop/ServerWebBillPage", std::bind(barePage, _1, bench::BillPageStatements), 50)->UseRealTime();
    add("kvtweb/ServerWebBillPage",
        std::bind(webPage, _1, QStringLiteral("/bill/%1").arg(bench::kWebBill), bench::BillPageStatements,
                  "ServerWebBillPage"),
        50)
        ->UseRealTime();
    return true;
}();

} // namespace

int main(int argc, char** argv) {
    return kvt::bench::RunWidgetBenchmarks(argc, argv, prepare);
}
