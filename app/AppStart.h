#pragma once
// Start-up: fonts, the database, the five program-wide windows.

#include "app/DataLocation.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace kvt {

class TMainForm;
class TBillForm;
class TCGForm;
class TFormQuery;
class TForm_DoorLine;

/// The five windows, each created once per run: the main window at start-up, the others when first
/// asked for by name (Form / FindForm); nullptr until then.
extern TMainForm* MainForm;
extern TBillForm* BillForm;
extern TCGForm* CGForm;
extern TFormQuery* FormQuery;
extern TForm_DoorLine* Form_DoorLine;

/// Makes "宋体" and "SimSun" resolve to the installed Chinese serif face.
void InstallFontSubstitutions();
/// The family "宋体" resolves to on this machine.
QString SongTypeface();

/// Opens (or creates) the database at path (or on the server a connection string names), creates the main window and registers the other four,
/// which are built when first asked for; throws the store's error when the database cannot be
/// reached. Needs a QApplication.
void CreateForms(const QString& databasePath);
/// Builds the four windows not built yet (benchmarks and tests that reach them directly).
void BuildAllForms();
/// Destroys the windows and closes the database (used by tests between cases).
void DestroyForms();

/// At the first start in the old program's folder: when the database file at databasePath does not
/// exist yet and kvt.mdb stands beside it, asks whether to bring the old data across and, on Yes,
/// imports it with a progress dialog, then shows the report (also kept beside the new file). The
/// old file is only read. Gives false when the start must stop: the old file cannot be read or the
/// import failed (said why; no database file is left, so the next start asks again).
bool OfferLegacyImport(const QString& databasePath, QWidget* parent);

/// Makes today's copy of the open database in the folder "backups" beside it. A failure is shown
/// in a message box over parent; the program goes on either way.
void BackUpToday(QWidget* parent);

/// The start's last step, once the main window is up: a file opened on a full disk is said so
/// once (bills can be looked up, not saved) and no copy is tried on that disk; otherwise today's
/// copy is made.
void FinishStart(QWidget* parent);

/// The whole program: start-up, the main window, the event loop. Returns the exit code.
int RunKvt(int argc, char** argv);

} // namespace kvt
