// Bringing a large old kvt.mdb (20,000 bills, about 110,000 lines) across into a new kvt.db with
// kvtcopy, against the do-it-yourself path a maintainer would take: mdb-export of the five tables
// into CSV, then the sqlite3 shell's .import of them into a new kvt.db in one transaction, with the
// same journal as kvtcopy gives a file it writes (the rollback journal) and synchronous=FULL. Both
// run as child processes, timed on the wall clock; the peak memory of kvtcopy is its maximum
// resident set. The old file comes from ../shared/legacy/big.mdb.xz beside the source folder,
// unpacked once; without it the cases say they were skipped.

#include "store/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

const char* const kTables[] = {"历史单据", "单据明细", "商品信息", "客户信息", "系统设置"};

QString g_data;    // the unpacked old file, "" when the packed one is not there
QString g_folder;  // targets and CSV files, removed after each run
QString g_skipped; // why the cases cannot run

/// Runs a program with its standard output into outFile (or nowhere); its exit code, or -1.
int run(const std::vector<std::string>& args, const std::string& outFile = "/dev/null", long* peakKb = nullptr) {
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        FILE* out = std::fopen(outFile.c_str(), "w");
        if (!out)
            _exit(126);
        dup2(fileno(out), 1);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status))
        return -1;
    if (peakKb)
        *peakKb = usage.ru_maxrss;
    return WEXITSTATUS(status);
}

void clearFolder() {
    QDir(g_folder).removeRecursively();
    QDir().mkpath(g_folder);
}

std::string inFolder(const QString& name) {
    return QDir(g_folder).filePath(name).toStdString();
}

void BM_ExportImport(benchmark::State& state) {
    if (!g_skipped.isEmpty()) {
        state.SkipWithError(g_skipped.toUtf8().constData());
        return;
    }
    const std::string target = inFolder(QStringLiteral("diy.db"));
    std::string script = "PRAGMA journal_mode=DELETE;\nPRAGMA synchronous=FULL;\nBEGIN;\nDELETE FROM 系统设置;\n.mode csv\n";
    for (const char* t : kTables)
        script +=
            std::string(".import --skip 1 ") + inFolder(QString::fromUtf8(t) + QStringLiteral(".csv")) + " " + t + "\n";
    script += "COMMIT;\n";
    for (auto _ : state) {
        state.PauseTiming();
        clearFolder();
        // A new kvt.db as the program makes it: its tables, indexes and journal.
        kvt::Database::Open(QString::fromStdString(target));
        kvt::Database::Close();
        const std::string scriptFile = inFolder(QStringLiteral("import.sql"));
        QFile f(QString::fromStdString(scriptFile));
        f.open(QIODevice::WriteOnly);
        f.write(script.c_str());
        f.close();
        state.ResumeTiming();
        bool ok = true;
        for (const char* t : kTables)
            ok = ok && run({"mdb-export", g_data.toStdString(), t},
                           inFolder(QString::fromUtf8(t) + QStringLiteral(".csv"))) == 0;
        ok = ok && run({"sqlite3", target, ".read " + scriptFile}) == 0;
        if (!ok) {
            state.SkipWithError("mdb-export or sqlite3 failed (apt-get install mdbtools sqlite3)");
            break;
        }
    }
    clearFolder();
    state.SetLabel("baseline");
}

void BM_Kvtcopy(benchmark::State& state) {
    if (!g_skipped.isEmpty()) {
        state.SkipWithError(g_skipped.toUtf8().constData());
        return;
    }
    long peakKb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        clearFolder();
        state.ResumeTiming();
        if (run({KVTCOPY_PROGRAM, g_data.toStdString(), inFolder(QStringLiteral("kvt.db"))}, "/dev/null", &peakKb) !=
            0) {
            state.SkipWithError("kvtcopy failed");
            break;
        }
    }
    clearFolder();
    state.counters["target_ratio"] = 1.0;
    state.counters["peak_bytes"] = double(peakKb) * 1024;
    state.counters["target_peak_mb"] = 200;
}

} // namespace

BENCHMARK(BM_ExportImport)
    ->Name("mdb-export+sqlite3/ImportBig")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_Kvtcopy)
    ->Name("kvtcopy/ImportBig")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

int main(int argc, char** argv) {
    const QString packed = QStringLiteral(KVT_SOURCE_DIR "/../shared/legacy/big.mdb.xz");
    const QString data = QStringLiteral(KVT_BENCH_DATA_DIR "/big.mdb");
    g_folder = QStringLiteral(KVT_BENCH_DATA_DIR "/import-bench");
    if (!QFileInfo::exists(data) && QFileInfo::exists(packed)) {
        QDir().mkpath(QFileInfo(data).absolutePath());
        if (run({"xz", "-dkc", packed.toStdString()}, (data + QStringLiteral(".part")).toStdString()) == 0)
            QFile::rename(data + QStringLiteral(".part"), data);
    }
    if (QFileInfo::exists(data))
        g_data = data;
    else
        g_skipped = QStringLiteral("skipped: %1 is not there").arg(QDir::cleanPath(packed));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QDir(g_folder).removeRecursively();
    return 0;
}
