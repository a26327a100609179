#include "app/AppStart.h"

#include "app/MainFormUnit.h"
#include "bill/BillUnit.h"
#include "bill/DoorLineUnit.h"
#include "controls/Dialogs.h"
#include "controls/FormRegistry.h"
#include "query/QueryUnit.h"
#include "refdata/CGFormUnit.h"
#include "store/Backup.h"
#include "store/Database.h"
#include "store/StoreError.h"
#include "transfer/Copy.h"
#include "transfer/LegacyImport.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <exception>

namespace kvt {

TMainForm* MainForm = nullptr;
TBillForm* BillForm = nullptr;
TCGForm* CGForm = nullptr;
TFormQuery* FormQuery = nullptr;
TForm_DoorLine* Form_DoorLine = nullptr;

namespace {
const char* const kSongFace = "AR PL UMing CN";

void centre(QWidget* w)
{
    if (QScreen* s = QGuiApplication::primaryScreen())
        w->move(s->availableGeometry().center() - w->rect().center());
}
} // namespace

void InstallFontSubstitutions()
{
    const QString face = QString::fromLatin1(kSongFace);
    QFont::insertSubstitution(QStringLiteral("宋体"), face);
    QFont::insertSubstitution(QStringLiteral("SimSun"), face);
    QFont::insertSubstitution(QStringLiteral("新宋体"), face);
    QFont::insertSubstitution(QStringLiteral("NSimSun"), face);
}

QString SongTypeface()
{
    return QString::fromLatin1(kSongFace);
}

void CreateForms(const QString& databasePath)
{
    Database::Open(databasePath);
    try {
        MainForm = new TMainForm;
        RegisterForm(QStringLiteral("MainForm"), MainForm);
        // Workstations sharing a server say so: the clerk sees which database takes the bills.
        if (Database::IsServer()) {
            MainForm->setWindowTitle(QStringLiteral("主窗口 - ") + Database::Describe());
            MainForm->setToolTip(QStringLiteral("数据库：") + Database::Describe());
        }
        centre(MainForm);
    } catch (...) {
        DestroyForms();
        throw;
    }
    // The other four windows are hidden until a command shows them: each is built, once, when it
    // is first needed, so that start-up builds only what it shows.
    auto later = [](const char* name, auto*& global, auto make) {
        RegisterFormFactory(QString::fromLatin1(name), [&global, make]() -> QWidget* {
            global = make();
            centre(global);
            return global;
        });
    };
    later("BillForm", BillForm, [] { return new TBillForm; });
    later("CGForm", CGForm, [] { return new TCGForm; });
    later("FormQuery", FormQuery, [] { return new TFormQuery; });
    later("Form_DoorLine", Form_DoorLine, [] { return new TForm_DoorLine; });
}

void BuildAllForms()
{
    for (const char* name : {"BillForm", "CGForm", "FormQuery", "Form_DoorLine"})
        Form(QString::fromLatin1(name));
}

void DestroyForms()
{
    // Reverse order of creation: later windows may point into earlier ones.
    delete Form_DoorLine;
    Form_DoorLine = nullptr;
    delete FormQuery;
    FormQuery = nullptr;
    delete CGForm;
    CGForm = nullptr;
    delete BillForm;
    BillForm = nullptr;
    delete MainForm;
    MainForm = nullptr;
    ClearForms();
    if (Database::IsOpen())
        Database::Close();
}

bool OfferLegacyImport(const QString& databasePath, QWidget* parent)
{
    const QFileInfo database(databasePath);
    const QString old = database.absoluteDir().filePath(QStringLiteral("kvt.mdb"));
    if (database.exists() || !QFileInfo(old).isFile())
        return true;
    DialogService& dialogs = DialogService::instance();
    LegacyCounts counts;
    try {
        counts = LegacySource(old).counts();
    } catch (const StoreError& e) {
        dialogs.message(parent,
                        QStringLiteral("在这个文件夹中找到旧程序的数据库kvt.mdb，但读不了它：%1\n"
                                       "kvt没有启动，也没有建立新的数据库；旧文件没有改动。")
                            .arg(e.message()),
                        QString(), DialogService::Icon::Critical);
        return false;
    }
    const QString question = QStringLiteral("在这个文件夹中找到旧程序的数据库kvt.mdb（%1张单据、%2个客户、%3种商品）。现在把它导入kvt吗？")
                                 .arg(counts.bills)
                                 .arg(counts.clients)
                                 .arg(counts.products);
    if (!dialogs.confirm(parent, question, QStringLiteral("导入旧程序的数据")))
        return true;
    QProgressDialog progress(parent);
    progress.setWindowTitle(QStringLiteral("导入旧程序的数据"));
    progress.setCancelButton(nullptr);
    progress.setMinimumDuration(0);
    progress.setWindowModality(Qt::ApplicationModal);
    CopyOptions options;
    options.progress = [&progress](const QString& table, qint64 rows, qint64 total) {
        progress.setLabelText(QStringLiteral("正在导入“%1”：%2 / %3 行").arg(table).arg(rows).arg(total));
        progress.setMaximum(int(std::max<qint64>(total, 1)));
        progress.setValue(int(std::min(rows, std::max<qint64>(total, 1))));
    };
    CopyReport report;
    try {
        report = CopyDatabase(old, databasePath, options);
    } catch (const StoreError& e) {
        progress.close();
        dialogs.message(parent,
                        QStringLiteral("导入旧程序的数据库kvt.mdb没有成功：%1\n没有建立kvt.db，旧文件没有改动；下次启动时会再问。")
                            .arg(e.message()),
                        QString(), DialogService::Icon::Critical);
        return false;
    }
    progress.close();
    dialogs.showText(parent, report.Lines().join(QLatin1Char('\n')), QStringLiteral("导入报告"));
    return true;
}

void BackUpToday(QWidget* parent)
{
    if (Database::IsServer())
        return; // the server's database is backed up on the server
    const QString folder = QFileInfo(Database::Path()).absoluteDir().filePath(QStringLiteral("backups"));
    const DailyBackup done = MakeDailyBackup(folder, QDate::currentDate());
    if (done.outcome == DailyBackup::Outcome::Failed)
        DialogService::instance().message(parent, done.error, QString(), DialogService::Icon::Warning);
}

void FinishStart(QWidget* parent)
{
    if (Database::ViewOnlyForFullDisk()) {
        DialogService::instance().message(
            parent, QStringLiteral("磁盘空间已满：现在只能查看单据，不能保存。请先腾出磁盘空间。"), QString(),
            DialogService::Icon::Warning);
        return;
    }
    BackUpToday(parent);
}

int RunKvt(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kvt"));
    QApplication::setApplicationDisplayName(QStringLiteral("kvt"));
    QApplication::setQuitOnLastWindowClosed(false);
    InstallFontSubstitutions();
    auto stop = [](const QString& why) {
        DialogService::instance().message(nullptr, why, QString(), DialogService::Icon::Critical);
        DestroyForms();
        return 1;
    };
    QString problem;
    const QString databasePath = DatabasePathFromArguments(QApplication::arguments(), &problem);
    if (databasePath.isEmpty())
        return stop(problem);
    // A data folder of its own is made at the first start.
    const QString folder = QFileInfo(databasePath).absolutePath();
    if (!QDir().mkpath(folder))
        return stop(QStringLiteral("无法建立数据文件夹“%1”").arg(QDir::toNativeSeparators(folder)));
    const QString location = DatabaseLocation(databasePath, &problem);
    if (location.isEmpty())
        return stop(problem);
    if (location == databasePath && !OfferLegacyImport(databasePath, nullptr))
        return 1;
    try {
        CreateForms(location);
    } catch (const std::exception& e) {
        return stop(QString::fromUtf8(e.what()));
    }
    MainForm->show();
    FinishStart(MainForm);
    if (qEnvironmentVariableIsSet("KVT_QUIT_WHEN_SHOWN")) // start-up timing: leave once the window is up
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    const int rc = app.exec();
    DestroyForms();
    return rc;
}

} // namespace kvt
