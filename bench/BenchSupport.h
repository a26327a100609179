#pragma once
// What the benchmarks of the windows share: an offscreen application with the program's fonts,
// a quiet dialog service, the large database opened for the program.

#include "BigDb.h"
#include "controls/Dialogs.h"

#include <QString>
#include <QStringList>


namespace kvt {
class DataQuery;
}

namespace kvt::bench {

/// Sets up an offscreen QApplication with the program's font substitutions, makes the large
/// database, calls prepare (when given) and runs the registered benchmarks. The body of main() of
/// every window benchmark.
int RunWidgetBenchmarks(int argc, char** argv, void (*prepare)() = nullptr);

/// Collects messages instead of showing modal boxes (a box would stop the benchmark); every
/// message is also written to stderr, so an unexpected one is seen. Confirmations answer Yes.
class QuietDialogs final : public DialogService {
public:
    QuietDialogs();
    ~QuietDialogs() override;
    void message(QWidget* parent, const QString& text, const QString& caption, Icon icon) override;
    bool confirm(QWidget* parent, const QString& text, const QString& caption) override;
    QStringList messages;
};


/// Opens the program's store on the large database and a query on statement, kept for the run.
DataQuery* OpenOnBigDatabase(const QString& statement);

/// A fresh copy of the large database for benchmarks that write, so the shared one stays as made.
QString FreshCopyOfBigDatabase(const QString& name);

} // namespace kvt::bench
