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
