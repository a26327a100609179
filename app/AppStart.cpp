#include "app/AppStart.h"

#include "app/MainFormUnit.h"
#include "bill/BillUnit.h"
#include "bill/DoorLineUnit.h"
#include "controls/Dialogs.h"
#include "controls/FormRegistry.h"
#include "query/QueryUnit.h"
#include "refdata/CGFormUnit.h"
#include "store/Backup.h"
#include "store/Copy.h"
#include "store/Database.h"
#include "store/LegacyImport.h"
#include "store/StoreError.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QScreen>
#include <QSettings>
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

QString DatabasePathFromArguments(const QStringList& arguments, QString* error)
{
    QCommandLineParser parser;
    const QCommandLineOption dataDir(QStringLiteral("data-dir"), QString(), QStringLiteral("DIR"));
    parser.addOption(dataDir);
    QString problem;
    if (!parser.parse(arguments))
        problem = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        problem = QStringLiteral("不认识的参数：") + parser.positionalArguments().join(QLatin1Char(' '));
    else if (parser.isSet(dataDir) && parser.value(dataDir).isEmpty())
        problem = QStringLiteral("--data-dir 后面没有给出文件夹");
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return QString();
    }
    const QString file = QStringLiteral("kvt.db");
    if (!parser.isSet(dataDir))
        return file;
    QString dir = parser.value(dataDir);
    if (dir == QStringLiteral("~") || dir.startsWith(QStringLiteral("~/")))
        dir = QDir::homePath() + dir.mid(1);
    return QDir(dir).filePath(file);
}

QString DatabaseLocation(const QString& databasePath, QString* error)
{
    const QString ini = QFileInfo(databasePath).absoluteDir().filePath(QStringLiteral("kvt.ini"));
    const QFileInfo info(ini);
    if (!info.exists())
        return databasePath;
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return QString();
    };
    const QString shown = QDir::toNativeSeparators(ini);
    if (!info.isFile() || !info.isReadable())
        return fail(QStringLiteral("无法读取配置文件“%1”。").arg(shown));
    QSettings settings(ini, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return fail(QStringLiteral("配置文件“%1”的格式不对，无法读取。").arg(shown));
    const QString key = QStringLiteral("database/connection");
    QStringList unknown;
    for (const QString& k : settings.allKeys())
        if (k != key)
            unknown << k;
    if (!unknown.isEmpty())
        return fail(QStringLiteral("配置文件“%1”中有不认识的设置：%2。（只认识 [database] 下的 connection）")
                        .arg(shown, unknown.join(QStringLiteral("、"))));
    if (!settings.contains(key))
        return databasePath;
    // A value with commas (several hosts) is read as a list: it is one connection string.
    const QVariant value = settings.value(key);
    const QString connection = (value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                                          : value.toString())
                                   .trimmed();
    if (connection.isEmpty())
        return fail(QStringLiteral("配置文件“%1”中 connection 后面没有给出数据库服务器。").arg(shown));
    if (!IsServerConnection(connection))
        return fail(QStringLiteral("配置文件“%1”中的 connection 不是数据库服务器的连接字符串"
                                   "（应为“host=服务器 dbname=数据库 user=用户”或“postgresql://用户@服务器/数据库”）。")
                        .arg(shown));
    return connection;
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
    BackUpToday(MainForm);
    if (qEnvironmentVariableIsSet("KVT_QUIT_WHEN_SHOWN")) // start-up timing: leave once the window is up
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    const int rc = app.exec();
    DestroyForms();
    return rc;
}

} // namespace kvt
