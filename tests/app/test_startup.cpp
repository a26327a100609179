// Start-up and the main window: the database a first start creates, the five windows,
// and what each main-window command does to the other windows.

#include "app/AppStart.h"
#include "app/MainFormUnit.h"
#include "bill/BillUnit.h"
#include "controls/FormRegistry.h"
#include "controls/QorControlUnit.h"
#include "controls/QorDBGrid.h"
#include "query/QueryUnit.h"
#include "store/Backup.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "support/FakeDialogs.h"
#include "support/TinyFilesystem.h"
#include "support/QueryText.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace kvt;

/// Notes that the application was asked to quit.
struct QuitWatch : QObject {
    bool asked = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Quit)
            asked = true;
        return false;
    }
};

class TestStartup : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    test::FakeDialogs* m_dialogs = nullptr;
    QString dbPath() const { return m_dir.filePath(QStringLiteral("kvt.db")); }

    static QWidget* form(const char* name) { return Form(QString::fromLatin1(name)); }
    static QString labelText(const char* formName, const char* label)
    {
        return Control<QLabel>(form(formName), QString::fromLatin1(label))->text();
    }

    /// kvt started on fs's kvt.db (client 1, product 3 and bill 7 in it), the disk filled but for
    /// freeKb first.
    static void startOnFullDisk(const test::TinyFilesystem& fs, int freeKb) {
        const QString path = fs.path(QStringLiteral("kvt.db"));
        CreateForms(path);
        Database::Exec(QStringLiteral("insert into 客户信息 (客户ID,自定义编号,客户名,客户电话) values "
                                      "(1,\"1\",\"王建国\",\"13800001111\")"));
        Database::Exec(QStringLiteral("insert into 历史单据 (单据ID,客户ID,客户地址,单据日期,安装人员ID,安装人员) "
                                      "values (7,1,\"东街1号\",#2021-01-14#,1,\"王建国\")"));
        Database::Exec(
            QStringLiteral("insert into 商品信息 (商品ID,自定义编号,商品名称) values (3,\"101\",\"实木单开门框\")"));
        DestroyForms();
        fs.fill(freeKb * 1024);
        CreateForms(path);
        MainForm->show();
        FinishStart(MainForm);
    }

    /// A new frame bill for client 1, its installer chosen.
    static TBillForm* newBillForClient1() {
        QTest::mouseClick(MainForm->Button1, Qt::LeftButton);
        auto* bill = qobject_cast<TBillForm*>(form("BillForm"));
        bill->EditClient->setText(QStringLiteral("王建国"));
        bill->LabelClentID->setText(QStringLiteral("1"));
        bill->EditSetup_man->setText(QStringLiteral("王建国"));
        bill->Label_setup_man_id->setText(QStringLiteral("1"));
        return bill;
    }

private slots:
    void initTestCase() { InstallFontSubstitutions(); }

    void init()
    {
        QFile::remove(dbPath());
        m_dialogs = new test::FakeDialogs;
        CreateForms(dbPath());
    }

    void cleanup()
    {
        DestroyForms();
        delete m_dialogs;
        m_dialogs = nullptr;
    }

    void firstStartCreatesTheTables()
    {
        QVERIFY(QFile::exists(dbPath()));
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 商品信息"));
        q.Open();
        const QStringList goods = q.FieldNames();
        QCOMPARE(goods.value(0), QStringLiteral("商品名称"));
        QCOMPARE(goods.value(3), QStringLiteral("自定义编号"));
        QCOMPARE(goods.value(4), QStringLiteral("商品ID"));
        for (const char* col : {"商品说明", "外框宽公式", "外框高公式", "门扇宽公式", "门扇高公式", "门扇玻璃宽公式",
                                "门扇玻璃高公式"})
            QVERIFY2(goods.contains(QString::fromUtf8(col)), col);

        struct Table {
            const char* name;
            QStringList columns;
        };
        const Table tables[] = {
            {"历史单据", {"单据ID", "客户ID", "客户地址", "单据日期", "安装人员ID", "安装人员"}},
            {"单据明细", {"门框ID", "单据ID", "商品ID", "数量", "玻璃款式", "见光宽", "见光高", "现量宽", "现量高", "门扇宽",
                          "门扇高", "玻璃宽", "玻璃高", "门框总宽", "门框总高", "埋地", "门框附加", "门框备注"}},
            {"客户信息", {"客户ID", "自定义编号", "客户名", "客户电话", "客户备注"}},
            {"系统设置", {"ID", "值"}},
        };
        for (const Table& t : tables) {
            q.Close();
            q.SetSql(QStringLiteral("select * from ") + QString::fromUtf8(t.name));
            q.Open();
            QCOMPARE(q.RowCount(), QString::fromUtf8(t.name) == QStringLiteral("系统设置") ? 1 : 0);
            for (const QString& c : t.columns)
                QVERIFY2(q.FieldNames().contains(c), qPrintable(QString::fromUtf8(t.name) + "." + c));
        }
    }

    void firstStartSetsTheCounterToOne()
    {
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 系统设置 where ID=\"历史单据ID\""));
        q.Open();
        QCOMPARE(q.RowCount(), 1);
        QCOMPARE(q.FieldAt(1).asInteger(), 1);
        QCOMPARE(q.Field(QStringLiteral("值")).asInteger(), 1);
    }

    // Start-up builds the main window only; each other window is built once, when first asked for.
    void hiddenWindowsBuiltWhenFirstNeeded()
    {
        QVERIFY(MainForm);
        QVERIFY(!BillForm);
        QVERIFY(!CGForm);
        QVERIFY(!FormQuery);
        QVERIFY(!Form_DoorLine);
        QWidget* bill = Form(QStringLiteral("BillForm"));
        QCOMPARE(bill, static_cast<QWidget*>(BillForm));
        QCOMPARE(Form(QStringLiteral("BillForm")), bill);
        QVERIFY(!CGForm);
        QTest::mouseClick(MainForm->Button3, Qt::LeftButton); // 查询 builds and shows the query window
        QVERIFY(FormQuery);
        QVERIFY(FormQuery->isVisible());
    }

    void fiveWindowsWithTheirCaptions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::newRow("main") << "MainForm" << "主窗口";
        QTest::newRow("bill") << "BillForm" << "开单窗口";
        QTest::newRow("selection") << "CGForm" << "信息选择与编辑窗口";
        QTest::newRow("query") << "FormQuery" << "查询窗口";
        QTest::newRow("door line") << "Form_DoorLine" << "门套线属性窗口";
    }

    void fiveWindowsWithTheirCaptions()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QWidget* w = FindForm(name);
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), caption);
        QCOMPARE(w->objectName(), name);
        QVERIFY(!w->isVisible());
    }

    void mainWindowButtonsInOrder()
    {
        const char* names[] = {"Button1", "Button3", "Button4", "Button2", "ButtonExit"};
        const char* captions[] = {"新开门框", "查询功能", "商品信息管理", "客户信息管理", "退出"};
        int lastTop = -1;
        for (int i = 0; i < 5; ++i) {
            auto* b = Control<QPushButton>(MainForm, QString::fromLatin1(names[i]));
            QCOMPARE(b->text(), QString::fromUtf8(captions[i]));
            QCOMPARE(b->font().pixelSize(), 16);
            QVERIFY(b->geometry().top() > lastTop);
            lastTop = b->geometry().top();
        }
        // Tab order starts at the exit button.
        QStringList order;
        QWidget* w = Control<QPushButton>(MainForm, QStringLiteral("ButtonExit"));
        for (int i = 0; i < 5; ++i) {
            order << w->objectName();
            do
                w = w->nextInFocusChain();
            while (w->focusPolicy() == Qt::NoFocus);
        }
        QCOMPARE(order, QStringList({"ButtonExit", "Button1", "Button2", "Button3", "Button4"}));
    }

    void newFrameBillShowsTheBillWindow()
    {
        MainForm->show();
        QTest::mouseClick(MainForm->Button1, Qt::LeftButton);
        QCOMPARE(labelText("BillForm", "LabelbillType"), QStringLiteral("1"));
        QCOMPARE(labelText("BillForm", "LabelBillClass"), QStringLiteral("门框生产排单"));
        for (const char* b : {"Button_del_bill", "Button_add_new", "Button_dele"})
            QVERIFY2(!Control<QPushButton>(form("BillForm"), QString::fromLatin1(b))->isEnabled(), b);
        QVERIFY(form("BillForm")->isVisible());
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void newFrameBillOverALoadedBillKeepsItsContents()
    {
        QWidget* bill = form("BillForm");
        MainForm->show();
        QTest::mouseClick(MainForm->Button1, Qt::LeftButton);
        QVERIFY(bill->isVisible());
        // As if the query window had loaded a saved bill meanwhile.
        Control<QLabel>(bill, QStringLiteral("LabelbillType"))->setText(QStringLiteral("3"));
        Control<QPushButton>(bill, QStringLiteral("Button_dele"))->setEnabled(true);
        Control<QLineEdit>(bill, QStringLiteral("EditClient"))->setText(QStringLiteral("王建国"));
        Control<QLineEdit>(bill, QStringLiteral("EditBill_id"))->setText(QStringLiteral("57"));

        QTest::mouseClick(MainForm->Button1, Qt::LeftButton);
        QCOMPARE(labelText("BillForm", "LabelbillType"), QStringLiteral("1"));
        QVERIFY(!Control<QPushButton>(bill, QStringLiteral("Button_dele"))->isEnabled());
        QCOMPARE(Control<QLineEdit>(bill, QStringLiteral("EditClient"))->text(), QStringLiteral("王建国"));
        QCOMPARE(Control<QLineEdit>(bill, QStringLiteral("EditBill_id"))->text(), QStringLiteral("57"));
    }

    void managementButtonsSetTheSelectionMode()
    {
        MainForm->show();
        QTest::mouseClick(MainForm->Button2, Qt::LeftButton);
        QCOMPARE(labelText("CGForm", "LabelModol"), QStringLiteral("4"));
        QCOMPARE(labelText("CGForm", "Label_title"), QStringLiteral("客户信息"));
        QVERIFY(form("CGForm")->isVisible());
        // Again without closing the selection window: only mode and title change.
        QTest::mouseClick(MainForm->Button4, Qt::LeftButton);
        QCOMPARE(labelText("CGForm", "LabelModol"), QStringLiteral("5"));
        QCOMPARE(labelText("CGForm", "Label_title"), QStringLiteral("商品信息"));
    }

    void queryButtonShowsTheQueryWindow()
    {
        MainForm->show();
        QTest::mouseClick(MainForm->Button3, Qt::LeftButton);
        QVERIFY(form("FormQuery")->isVisible());
        form("FormQuery")->hide();
        MainForm->N8Click();
        QVERIFY(form("FormQuery")->isVisible());
    }

    void exitClosesTheMainWindowOnly()
    {
        MainForm->show();
        QTest::mouseClick(MainForm->Button1, Qt::LeftButton);
        QTest::mouseClick(MainForm->ButtonExit, Qt::LeftButton);
        QVERIFY(!MainForm->isVisible());
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    // The main window's 退出 and close box ask once, before any window goes, when something is
    // not saved; No leaves every window as it was, Yes ends the program without another question.
    // The program's own event loop runs, so "ended" is the loop coming back by itself.
    void exitAsksBeforeAnyWindowGoes_data()
    {
        QTest::addColumn<QString>("unsaved"); // "bill", a selection mode "4"/"5", or "" for nothing
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("question");
        const QString bill = QStringLiteral("单据尚未保存，确定退出吗？");
        QTest::newRow("bill, No") << "bill" << false << false << bill;
        QTest::newRow("bill, Yes") << "bill" << false << true << bill;
        QTest::newRow("bill, close box, No") << "bill" << true << false << bill;
        QTest::newRow("client edits, No") << "4" << false << false << "客户信息尚未保存，确定退出吗？";
        QTest::newRow("product edits, Yes") << "5" << true << true << "商品信息尚未保存，确定退出吗？";
        QTest::newRow("bill and client edits, No")
            << "bill4" << false << false << "单据和客户信息尚未保存，确定退出吗？";
        QTest::newRow("nothing unsaved") << "" << false << false << "";
    }

    void exitAsksBeforeAnyWindowGoes()
    {
        QFETCH(QString, unsaved);
        QFETCH(bool, closeBox);
        QFETCH(bool, answer);
        QFETCH(QString, question);
        Database::Exec(QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (\"1\",\"王建国\")"));
        Database::Exec(QStringLiteral("insert into 商品信息 (自定义编号,商品名称) values (\"101\",\"实木单开门框\")"));
        MainForm->show();
        QWidget* bill = form("BillForm");
        QTest::mouseClick(MainForm->Button1, Qt::LeftButton);
        if (unsaved.startsWith(QLatin1String("bill")))
            Control<QLineEdit>(bill, QStringLiteral("EditClient"))->setText(QStringLiteral("王"));
        QWidget* cg = form("CGForm");
        const QString mode = unsaved.right(1);
        if (mode == QLatin1String("4") || mode == QLatin1String("5")) {
            QTest::mouseClick(mode == QLatin1String("4") ? MainForm->Button2 : MainForm->Button4, Qt::LeftButton);
            QTest::keyClick(Control<QLineEdit>(cg, QStringLiteral("Edit_Find")), Qt::Key_Return);
            auto* grid = Control<TQorDBGrid>(cg, QStringLiteral("CGDBGrid"));
            QVERIFY(grid->model()->setData(grid->model()->index(0, 1), QStringLiteral("改"), Qt::EditRole));
        }
        const bool cgShown = cg->isVisible();
        if (!question.isEmpty())
            m_dialogs->answers.push_back(answer);

        // The program's own loop runs, as quitting needs one; the test ends it once the click is done.
        QuitWatch quit;
        qApp->installEventFilter(&quit);
        QObject loop; // a stop not needed any more goes with it
        QTimer::singleShot(0, &loop, [&] {
            if (closeBox)
                MainForm->close();
            else
                QTest::mouseClick(MainForm->ButtonExit, Qt::LeftButton);
            QTimer::singleShot(0, &loop, [] { QCoreApplication::exit(0); });
        });
        QCoreApplication::exec();
        qApp->removeEventFilter(&quit);

        QCOMPARE(m_dialogs->questions, question.isEmpty() ? QStringList() : QStringList{question});
        // Ending: quitting asked for with no window left open to refuse it.
        const bool ends = question.isEmpty() || answer;
        QCOMPARE(quit.asked, ends);
        QCOMPARE(MainForm->isVisible(), !ends);
        QCOMPARE(bill->isVisible(), !ends);
        if (ends)
            for (QWidget* w : QApplication::topLevelWidgets())
                QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        if (!ends) {
            QCOMPARE(cg->isVisible(), cgShown);
            if (unsaved.startsWith(QLatin1String("bill")))
                QCOMPARE(Control<QLineEdit>(bill, QStringLiteral("EditClient"))->text(), QStringLiteral("王"));
            if (cgShown)
                QVERIFY(cg->findChild<DataQuery*>(QStringLiteral("CGQuery"))->HasPendingChanges());
        }
    }

    void startMakesTodaysBackup()
    {
        QDir(m_dir.filePath(QStringLiteral("backups"))).removeRecursively();
        BackUpToday(MainForm);
        QVERIFY(m_dialogs->messages.isEmpty());
        const QString copy = m_dir.filePath(QStringLiteral("backups/") + BackupFileName(QDate::currentDate()));
        QVERIFY2(QFileInfo(copy).isFile(), qPrintable(copy));
    }

    void failedBackupIsShownAndTheProgramGoesOn()
    {
        // A file where the backup folder belongs: no copy can be made.
        const QString taken = m_dir.filePath(QStringLiteral("backups"));
        QDir(taken).removeRecursively();
        QFile f(taken);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        BackUpToday(MainForm);
        QFile::remove(taken);
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages.at(0).contains(QStringLiteral("备份")), qPrintable(m_dialogs->messages.at(0)));
        QCOMPARE(m_dialogs->icons.back(), DialogService::Icon::Warning);
        MainForm->show();
        QTest::mouseClick(MainForm->Button3, Qt::LeftButton);
        QVERIFY(form("FormQuery")->isVisible());
    }

    void chineseFaceDrawsChinese()
    {
        QFont song(QStringLiteral("宋体"));
        QCOMPARE(QFontInfo(song).family(), SongTypeface());
        const QFontMetrics fm(song);
        for (QChar c : QStringLiteral("门框生产排单客户名安装人员斗"))
            QVERIFY2(fm.inFont(c), qPrintable(QString(c)));
    }

    // A disk with too little room for the write-ahead log's index: kvt starts, says once that
    // bills can only be looked at, lists them, refuses a save with the full disk's reason and
    // keeps the bill; with room again it starts as always.
    void fullDiskStartsForLookingUp_data()
    {
        QTest::addColumn<int>("freeKb");
        QTest::newRow("nothing free") << 0;
        QTest::newRow("4 KB free") << 4;
        QTest::newRow("16 KB free") << 16;
    }
    void fullDiskStartsForLookingUp()
    {
        QFETCH(int, freeKb);
        test::TinyFilesystem fs("1m");
        if (!fs.mounted())
            QSKIP("needs root to mount a filesystem of its own");
        const QString path = fs.path(QStringLiteral("kvt.db"));
        startOnFullDisk(fs, freeKb);
        QCOMPARE(m_dialogs->messages,
                 QStringList{QStringLiteral("磁盘空间已满：现在只能查看单据，不能保存。请先腾出磁盘空间。")});
        QTest::mouseClick(MainForm->Button3, Qt::LeftButton);
        QTest::mouseClick(Control<QPushButton>(form("FormQuery"), QStringLiteral("Button_query")), Qt::LeftButton);
        QCOMPARE(qobject_cast<TFormQuery*>(form("FormQuery"))->ADOQuery1->RowCount(), 1);

        auto* bill = newBillForClient1();
        QTest::mouseClick(bill->ButtonSave, Qt::LeftButton);
        QCOMPARE(m_dialogs->messages.size(), 2);
        QVERIFY2(m_dialogs->messages[1].startsWith(QStringLiteral("磁盘空间已满，本次修改没有保存。")),
                 qPrintable(m_dialogs->messages[1]));
        QVERIFY(bill->isVisible());
        QCOMPARE(bill->EditClient->text(), QStringLiteral("王建国"));
        DestroyForms();

        fs.unfill();
        m_dialogs->clear();
        CreateForms(path);
        FinishStart(MainForm);
        QCOMPARE(m_dialogs->messages, QStringList());
        QVERIFY(QFileInfo::exists(fs.path(QStringLiteral("backups/") + BackupFileName(QDate::currentDate()))));
        Database::Exec(QStringLiteral("update 历史单据 set 客户地址=\"西街\" where 单据ID=7"));
    }

    // Started on a full disk, a bill typed meanwhile is saved once the clerk has made room, by
    // pressing 保存 again, without a new start; the file is whole and another program reads it.
    void fullDiskSavesOnceRoomIsMade_data() {
        QTest::addColumn<int>("freeKb");
        QTest::newRow("nothing free") << 0;
        QTest::newRow("8 KB free") << 8;
    }
    void fullDiskSavesOnceRoomIsMade() {
        QFETCH(int, freeKb);
        test::TinyFilesystem fs("1m");
        if (!fs.mounted())
            QSKIP("needs root to mount a filesystem of its own");
        startOnFullDisk(fs, freeKb);
        m_dialogs->clear();
        auto* bill = newBillForClient1();
        const QStringList line = {"101", "实木单开门框", "磨砂", "900", "2000", "20",
                                  "940", "2040",         "2",    "无",  "左开", "3"};
        for (int c = 0; c < line.size(); ++c)
            bill->Grid_Bill->SetCells(c + 1, 1, line[c]);
        QTest::mouseClick(bill->ButtonSave, Qt::LeftButton);
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages[0].contains(QStringLiteral("还需要再腾出")), qPrintable(m_dialogs->messages[0]));
        QVERIFY(bill->isVisible());

        fs.unfill();
        QTest::mouseClick(bill->ButtonSave, Qt::LeftButton);
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(!bill->isVisible());
        QVERIFY(!Database::ViewOnlyForFullDisk());
        const auto rows = &test::Rows;
        QCOMPARE(rows(QStringLiteral("select 单据ID,客户ID,安装人员 from 历史单据 where 单据ID=1")),
                 QStringList{"1|1|王建国"});
        QCOMPARE(rows(QStringLiteral("select 单据ID,商品ID,玻璃款式,见光宽,门框总高,数量,门框备注 from 单据明细")),
                 QStringList{"1|3|磨砂|900|2040|2|左开"});
        QCOMPARE(rows(QStringLiteral("select 值 from 系统设置 where ID=\"历史单据ID\"")), QStringList{"2"});
        QCOMPARE(rows(QStringLiteral("PRAGMA integrity_check")), QStringList{"ok"});
        // While kvt still runs, another program reads the file, the new bill included.
        QProcess other;
        other.start(QStringLiteral("sqlite3"), {fs.path(QStringLiteral("kvt.db")),
                                                QStringLiteral("select count(*) from 单据明细 where 单据ID=1")});
        QVERIFY(other.waitForFinished(60000));
        QCOMPARE(other.readAllStandardError(), QByteArray());
        QCOMPARE(other.readAllStandardOutput().trimmed(), QByteArray("1"));
    }
};

// Start-up on a file that is there but is no database of ours must stop before any window.
class TestBrokenDatabase : public QObject {
    Q_OBJECT
private slots:
    void brokenFileStopsStartUp_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("garbage") << QByteArray("this is not a database at all, just some text\n").repeated(100);
        QTest::newRow("foreign sqlite") << QByteArray(); // made below
    }

    void brokenFileStopsStartUp()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kvt.db"));
        if (content.isEmpty()) {
            // A database of some other program: valid file, none of our tables.
            QVERIFY(makeForeign(path));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        bool threw = false;
        try {
            CreateForms(path);
        } catch (const StoreError& e) {
            threw = true;
            QVERIFY(!e.message().isEmpty());
        }
        QVERIFY(threw);
        QVERIFY(!FindForm(QStringLiteral("MainForm")));
        QVERIFY(!FindForm(QStringLiteral("BillForm")));
        QVERIFY(!Database::IsOpen());
    }

    // A file that cannot be written stops start-up with the reason, before any bill is typed.
    void readOnlyFileStopsStartUp()
    {
        test::TinyFilesystem fs("1m");
        if (!fs.mounted())
            QSKIP("needs root to mount a filesystem of its own");
        const QString path = fs.path(QStringLiteral("kvt.db"));
        CreateForms(path);
        DestroyForms();
        QVERIFY(fs.remountReadOnly());
        try {
            CreateForms(path);
            QFAIL("started on a read-only file");
        } catch (const StoreError& e) {
            QCOMPARE(e.message(),
                     QStringLiteral("数据库文件“%1”是只读的（或它所在的文件夹不能写入），不能保存单据。").arg(path));
        }
        QVERIFY(!FindForm(QStringLiteral("MainForm")));
        QVERIFY(!Database::IsOpen());
    }

    // A server nobody answers on stops start-up as an unusable file does, without the password.
    void unreachableServerStopsStartUp()
    {
        try {
            CreateForms(QStringLiteral("host=127.0.0.1 port=1 user=office password=geheim connect_timeout=5"));
            QFAIL("started without its database");
        } catch (const StoreError& e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("无法连接数据库服务器（")), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QStringLiteral("user=office")), qPrintable(e.message()));
            QVERIFY2(!e.message().contains(QStringLiteral("geheim")), qPrintable(e.message()));
        }
        QVERIFY(!FindForm(QStringLiteral("MainForm")));
        QVERIFY(!Database::IsOpen());
    }

private:
    static bool makeForeign(const QString& path)
    {
        return QProcess::execute(QStringLiteral("sqlite3"),
                                 {path, QStringLiteral("create table t(a); insert into t values(1);")}) == 0;
    }
};

// Where the database lives, from the command line.
class TestArguments : public QObject {
    Q_OBJECT
private slots:
    void databasePath_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("path"); // empty: refused
        const QString home = QDir::homePath();
        QTest::newRow("none: the working folder") << QStringList{"kvt"} << "kvt.db";
        QTest::newRow("data folder") << QStringList{"kvt", "--data-dir=/srv/kvt"} << "/srv/kvt/kvt.db";
        QTest::newRow("data folder, value apart") << QStringList{"kvt", "--data-dir", "/srv/kvt"} << "/srv/kvt/kvt.db";
        QTest::newRow("home folder") << QStringList{"kvt", "--data-dir=~/kvt"} << home + "/kvt/kvt.db";
        QTest::newRow("home itself") << QStringList{"kvt", "--data-dir=~"} << home + "/kvt.db";
        QTest::newRow("tilde inside") << QStringList{"kvt", "--data-dir=/a/~b"} << "/a/~b/kvt.db";
        QTest::newRow("relative") << QStringList{"kvt", "--data-dir=data"} << "data/kvt.db";
        QTest::newRow("empty folder") << QStringList{"kvt", "--data-dir="} << "";
        QTest::newRow("missing folder") << QStringList{"kvt", "--data-dir"} << "";
        QTest::newRow("unknown option") << QStringList{"kvt", "--datadir=/x"} << "";
        QTest::newRow("stray argument") << QStringList{"kvt", "other.db"} << "";
    }

    void databasePath()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, path);
        QString error;
        QCOMPARE(DatabasePathFromArguments(arguments, &error), path);
        QCOMPARE(error.isEmpty(), !path.isEmpty());
    }

    // kvt.ini beside kvt.db may name a server instead; anything it holds that is not understood
    // stops the start with a message, rather than quietly using the file.
    void serverFromIni_data()
    {
        QTest::addColumn<QByteArray>("ini");      // kvt.ini's bytes; "-" for no file
        QTest::addColumn<QString>("location");    // where the program goes; "" when refused
        QTest::addColumn<QString>("message");     // part of the refusal
        QTest::newRow("no kvt.ini: the file") << QByteArray("-") << "@file" << "";
        QTest::newRow("keyword pairs") << QByteArray("[database]\nconnection=host=192.168.1.10 dbname=kvt user=office\n")
                                       << "host=192.168.1.10 dbname=kvt user=office" << "";
        QTest::newRow("URI") << QByteArray("[database]\nconnection=postgresql://office@server/kvt\n")
                             << "postgresql://office@server/kvt" << "";
        QTest::newRow("several hosts") << QByteArray("[database]\nconnection=host=a,b dbname=kvt\n")
                                       << "host=a,b dbname=kvt" << "";
        QTest::newRow("no connection key: the file") << QByteArray("[database]\n") << "@file" << "";
        QTest::newRow("empty file: the file") << QByteArray("") << "@file" << "";
        QTest::newRow("unknown key") << QByteArray("[database]\nconnection=dbname=kvt\nconection=x\n") << ""
                                     << "不认识的设置：database/conection";
        QTest::newRow("key outside the section") << QByteArray("connection=dbname=kvt\n") << ""
                                                 << "不认识的设置：connection";
        QTest::newRow("empty connection") << QByteArray("[database]\nconnection=\n") << ""
                                          << "connection 后面没有给出数据库服务器";
        QTest::newRow("a file path is no server") << QByteArray("[database]\nconnection=/srv/kvt.db\n") << ""
                                                  << "不是数据库服务器的连接字符串";
        QTest::newRow("unreadable") << QByteArray("@unreadable") << "" << "无法读取配置文件";
    }

    void serverFromIni()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, location);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("kvt.db"));
        const QString iniPath = dir.filePath(QStringLiteral("kvt.ini"));
        if (ini == "@unreadable") {
            QVERIFY(QDir().mkpath(iniPath)); // a folder named kvt.ini: there, but no file to read
        } else if (ini != "-") {
            QFile f(iniPath);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ini);
        }
        QString error;
        const QString got = DatabaseLocation(db, &error);
        QCOMPARE(got, location == QLatin1String("@file") ? db : location);
        QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(error.isEmpty(), !location.isEmpty());
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int rc = 0;
    {
        TestStartup t;
        rc |= QTest::qExec(&t, argc, argv);
    }
    {
        TestBrokenDatabase t;
        rc |= QTest::qExec(&t, argc, argv);
    }
    {
        TestArguments t;
        rc |= QTest::qExec(&t, argc, argv);
    }
    return rc;
}

#include "test_startup.moc"
