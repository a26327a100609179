// The day's backup of the large database (copy, integrity check, rename) against the sqlite3
// shell's ".backup" of the same file, and the integrity check alone. Wall time: the work waits
// for the disk, and the shell runs in a child process.

#include "BigDb.h"

#include "store/Backup.h"
#include "store/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

QString g_folder; // the copies are written here and removed after each run

void removeCopies() {
    QDir(g_folder).removeRecursively();
    QDir().mkpath(g_folder);
}

/// Runs `sqlite3 source ".backup target"`; true when it ended cleanly.
bool shellBackup(const std::string& source, const std::string& target) {
    const std::string command = ".backup \"" + target + "\"";
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execlp("sqlite3", "sqlite3", source.c_str(), command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_Shell(benchmark::State& state) {
    const std::string source = kvt::bench::BigDatabasePath().toStdString();
    const std::string target = QDir(g_folder).filePath(QStringLiteral("shell.db")).toStdString();
    for (auto _ : state) {
        state.PauseTiming();
        removeCopies();
        state.ResumeTiming();
        if (!shellBackup(source, target)) {
            state.SkipWithError("sqlite3 .backup failed (is the sqlite3 shell installed?)");
            break;
        }
    }
    state.counters["copy_bytes"] = double(QFileInfo(QString::fromStdString(target)).size());
    removeCopies();
    state.SetLabel("baseline");
}

void BM_DailyBackup(benchmark::State& state) {
    kvt::Database::Open(kvt::bench::BigDatabasePath());
    for (auto _ : state) {
        state.PauseTiming();
        removeCopies();
        state.ResumeTiming();
        const kvt::DailyBackup done = kvt::MakeDailyBackup(g_folder, QDate(2026, 1, 5));
        if (done.outcome != kvt::DailyBackup::Outcome::Made) {
            state.SkipWithError(done.error.toUtf8().constData());
            break;
        }
    }
    kvt::Database::Close();
    removeCopies();
    state.counters["target_ms"] = 2000;
}

/// What the check of a copy costs on its own, on the large file.
void BM_IntegrityCheck(benchmark::State& state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(kvt::bench::BigDatabasePath().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check(5)", -1, &st, nullptr);
        const bool ok = sqlite3_step(st) == SQLITE_ROW &&
                        std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) == "ok";
        sqlite3_finalize(st);
        if (!ok) {
            state.SkipWithError("the large database fails its integrity check");
            break;
        }
    }
    sqlite3_close(db);
}

} // namespace

BENCHMARK(BM_Shell)
    ->Name("sqlite3/Backup1M")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_DailyBackup)
    ->Name("MakeDailyBackup/Backup1M")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_IntegrityCheck)
    ->Name("integrity_check/Backup1M")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

int main(int argc, char** argv) {
    const QString big = kvt::bench::BigDatabasePath();
    kvt::bench::MakeBigDatabase(big);
    g_folder = QFileInfo(big).dir().filePath(QStringLiteral("backup-bench"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QDir(g_folder).removeRecursively();
    return 0;
}
