// Start-up of the program on the large database, from process start to the main window shown
// and the program ended, against the smallest Qt program that shows one window. Both run
// offscreen and leave as soon as their window is up; the time is the wall time of the whole run.

#include "BigDb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

/// Runs program in folder with the offscreen platform and the quit-when-shown switch; returns its
/// exit status, or -1 when it could not be started or did not end normally.
int runOnce(const std::string& program, const std::string& folder) {
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("KVT_QUIT_WHEN_SHOWN", "1", 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string g_folder;

void run(benchmark::State& state, const char* program) {
    int status = 0;
    for (auto _ : state)
        status = runOnce(program, g_folder);
    if (status != 0)
        state.SkipWithError("the program did not start and end cleanly");
}

void bareWindow(benchmark::State& state) {
    run(state, KVT_BARE_WINDOW);
    state.SetLabel("baseline");
}

void program(benchmark::State& state) {
    run(state, KVT_PROGRAM);
    state.counters["target_ratio"] = 1.5;
}

} // namespace

BENCHMARK(bareWindow)
    ->Name("bare_window/StartUp")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5)
    ->Repetitions(3);
BENCHMARK(program)->Name("kvt/StartUp")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5)->Repetitions(3);

int main(int argc, char** argv) {
    // The program opens kvt.db in its working folder: a folder of its own holding the large database.
    const QString big = kvt::bench::BigDatabasePath();
    kvt::bench::MakeBigDatabase(big);
    const QDir data = QFileInfo(big).dir();
    data.mkpath(QStringLiteral("start-up"));
    const QString db = data.filePath(QStringLiteral("start-up/kvt.db"));
    QFile::remove(db);
    QFile::remove(db + QStringLiteral("-journal"));
    if (!QFile::copy(big, db)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(big));
        return 1;
    }
    g_folder = QFileInfo(db).absolutePath().toStdString();
    // The first start of a day copies the database into backups/; that start is not timed.
    QDir(data.filePath(QStringLiteral("start-up/backups"))).removeRecursively();
    if (runOnce(KVT_PROGRAM, g_folder) != 0) {
        std::fprintf(stderr, "%s did not start in %s\n", KVT_PROGRAM, g_folder.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
