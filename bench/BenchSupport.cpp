#include "BenchSupport.h"

#include "BigDb.h"
#include "app/AppStart.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>

namespace kvt::bench {
namespace {

/// Qt's notes about what the offscreen platform cannot do (raise a window and the like) would
/// bury the benchmark's own output; everything else still reaches stderr.
void qtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtDebugMsg || type == QtInfoMsg || text.startsWith(QStringLiteral("This plugin does not support")))
        return;
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

} // namespace

int RunWidgetBenchmarks(int argc, char** argv, void (*prepare)()) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(qtMessages);
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InstallFontSubstitutions();
    MakeBigDatabase(BigDatabasePath());
    if (prepare)
        prepare();
    QuietDialogs dialogs;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

QuietDialogs::QuietDialogs() {
    DialogService::setInstance(this);
}

QuietDialogs::~QuietDialogs() {
    DialogService::setInstance(nullptr);
}

void QuietDialogs::message(QWidget*, const QString& text, const QString&, Icon) {
    messages << text;
    std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
}

bool QuietDialogs::confirm(QWidget*, const QString& text, const QString&) {
    std::fprintf(stderr, "confirm: %s\n", text.toUtf8().constData());
    return true;
}

std::size_t BareReadAll(const QString& path, const std::string& sql, std::vector<BareCell>& out) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        const std::string err = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw std::runtime_error(err);
    }
    const int n = sqlite3_column_count(st);
    std::size_t bytes = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < n; ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_INTEGER:
                out.emplace_back(sqlite3_column_int64(st, c));
                bytes += 8;
                break;
            case SQLITE_FLOAT:
                out.emplace_back(sqlite3_column_double(st, c));
                bytes += 8;
                break;
            case SQLITE_NULL:
                out.emplace_back();
                break;
            default: {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                const int len = sqlite3_column_bytes(st, c);
                out.emplace_back(std::string(t, std::size_t(len)));
                bytes += std::size_t(len);
            }
            }
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return bytes;
}

std::size_t HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

QString FreshCopyOfBigDatabase(const QString& name) {
    const QString source = BigDatabasePath();
    const QString copy = QFileInfo(source).dir().filePath(name);
    QFile::remove(copy);
    QFile::remove(copy + QStringLiteral("-journal"));
    if (!QFile::copy(source, copy))
        throw std::runtime_error("cannot copy the large database to " + copy.toStdString());
    return copy;
}

DataQuery* OpenOnBigDatabase(const QString& statement) {
    Database::Open(BigDatabasePath());
    auto* query = new DataQuery; // lives for the whole run
    query->SetSql(statement);
    query->Open();
    return query;
}

} // namespace kvt::bench
