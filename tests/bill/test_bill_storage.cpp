// Saving, loading and deleting bills through the real window, compared with the database;
// refused saves that write nothing; two copies of the program on one file; a killed save.

#include "test_bill_support.h"

#include "support/PdfWords.h"
#include "support/PrintPreview.h"
#include "support/TestDatabase.h"
#include "support/UrlOpenRecorder.h"

#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <limits>

using namespace kvt;
using namespace kvt::test;

class TestBillStorage : public QObject {
    Q_OBJECT
    QTemporaryDir* m_dir = nullptr;
    FakeDialogs* m_dialogs = nullptr;
    qint64 m_client = 0, m_installer = 0, m_product = 0;

    /// The database of the case: a file in its folder, or its schema on the test server.
    QString m_location;
    QString dbPath() const { return m_location; }

    /// 门框备注 of the bill's lines in the order of 门框ID.
    static QStringList remarks(int billId) {
        DataQuery q;
        q.SetSql(QStringLiteral("select * from 单据明细 where 单据ID=%1 order by 门框ID").arg(billId));
        q.Open();
        QStringList out;
        for (int r = 1; r <= q.RowCount(); ++r) {
            q.MoveToRow(r);
            out << q.Field(QStringLiteral("门框备注")).asString();
        }
        return out;
    }

    /// Saves a new bill with products in the given rows and returns its number.
    int saveNewBill(const QList<int>& rows) {
        openNewBill();
        const int n = billForm()->EditBill_id->text().toInt();
        fillHeader(m_client, m_installer);
        for (int r : rows)
            fillFrameRow(r, m_product);
        billForm()->ButtonSave->click();
        return n;
    }

private slots:
    void init() {
        m_dir = new QTemporaryDir;
        m_dialogs = new FakeDialogs;
        m_location = test::FreshDatabaseFor(m_dir->filePath(QStringLiteral("kvt.db")));
        CreateForms(dbPath());
        m_client = addClient(QStringLiteral("张三"), QStringLiteral("c1"));
        m_installer = addClient(QStringLiteral("李四"), QStringLiteral("c2"));
        m_product = addProduct(QStringLiteral("木门"), QStringLiteral("A1"));
    }
    void cleanup() {
        DestroyForms();
        delete m_dialogs;
        delete m_dir;
    }

    void newBillWritesHeaderLinesAndCounter() {
        setCounter(57);
        QCOMPARE(saveNewBill({1, 2, 4}), 57);
        QVERIFY(!billForm()->isVisible());
        QCOMPARE(billForm()->EditBill_id->text(), QString());
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据 where 单据ID=57")), 1);
        QCOMPARE(Scalar(QStringLiteral("select 客户地址 from 历史单据 where 单据ID=57")), QStringLiteral("东街1号"));
        QCOMPARE(Scalar(QStringLiteral("select 单据日期 from 历史单据 where 单据ID=57")), QStringLiteral("2026-03-14"));
        QCOMPARE(Scalar(QStringLiteral("select 安装人员ID from 历史单据 where 单据ID=57")),
                 QString::number(m_installer));
        QCOMPARE(remarks(57), (QStringList{"备注1", "备注2", "备注4"}));
        QCOMPARE(Scalar(QStringLiteral("select 见光宽 from 单据明细 where 单据ID=57")), QStringLiteral("900"));
        QCOMPARE(Scalar(QStringLiteral("select 值 from 系统设置 where ID=\"历史单据ID\"")), QStringLiteral("58"));
        QVERIFY(m_dialogs->messages.isEmpty());

        // A bill without lines is stored as a header and still uses a number.
        QCOMPARE(saveNewBill({}), 58);
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据 where 单据ID=58")), 1);
        QCOMPARE(remarks(58), QStringList());
        QCOMPARE(Scalar(QStringLiteral("select 值 from 系统设置 where ID=\"历史单据ID\"")), QStringLiteral("59"));
    }

    void refusedNewBillWritesNothing_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("named");
        QTest::newRow("no client") << "client"
                                   << "请先选择客户。";
        QTest::newRow("no installer") << "installer"
                                      << "请先选择安装人员。";
        QTest::newRow("width not a number") << "width"
                                            << "abc";
        QTest::newRow("empty quantity") << "quantity"
                                        << "数量";
    }
    void refusedNewBillWritesNothing() {
        QFETCH(QString, what);
        setCounter(10);
        openNewBill();
        TBillForm* b = billForm();
        fillHeader(m_client, m_installer);
        fillFrameRow(1, m_product);
        fillFrameRow(2, m_product);
        if (what == QLatin1String("client"))
            b->LabelClentID->clear();
        else if (what == QLatin1String("installer"))
            b->Label_setup_man_id->clear();
        else if (what == QLatin1String("width"))
            billGrid()->SetCells(4, 2, QStringLiteral("abc"));
        else
            billGrid()->SetCells(9, 2, QString());
        const BillSnapshot before = b->Snapshot();
        b->ButtonSave->click();

        QCOMPARE(m_dialogs->messages.size(), 1);
        QFETCH(QString, named);
        QVERIFY2(m_dialogs->messages[0].contains(named), qPrintable(m_dialogs->messages[0]));
        QVERIFY(b->isVisible());
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据")), 0);
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细")), 0);
        QCOMPARE(Scalar(QStringLiteral("select 值 from 系统设置 where ID=\"历史单据ID\"")), QStringLiteral("10"));
        const BillSnapshot after = b->Snapshot();
        QCOMPARE(after.cells, before.cells);
        QCOMPARE(after.client, before.client);
        QCOMPARE(after.billId, QStringLiteral("10"));

        // Mended, the same bill saves once.
        fillHeader(m_client, m_installer);
        fillFrameRow(2, m_product);
        b->ButtonSave->click();
        QVERIFY(!b->isVisible());
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据 where 单据ID=10")), 1);
        QCOMPARE(remarks(10), (QStringList{"备注1", "备注2"}));
        QCOMPARE(Scalar(QStringLiteral("select 值 from 系统设置 where ID=\"历史单据ID\"")), QStringLiteral("11"));
    }

    void frameViewSaveUpdatesDeletesAndInserts() {
        setCounter(20);
        saveNewBill({1, 2, 3});
        Database::Exec(QStringLiteral("update 单据明细 set 现量宽=777, 门扇宽=555 where 单据ID=20"));
        const QString oldSecond = Scalar(QStringLiteral("select 门框ID from 单据明细 where 门框备注=\"备注2\""));
        openSavedBill(20, false);
        TQorStringGrid* g = billGrid();
        QCOMPARE(g->ColCount(), 14);
        QCOMPARE(g->RowCount(), 4);
        QCOMPARE(g->Cells(1, 1), QStringLiteral("A1"));
        QCOMPARE(g->Cells(2, 1), QStringLiteral("木门"));
        QCOMPARE(g->Cells(12, 1), QString::number(m_product));
        QCOMPARE(g->Cells(13, 2), oldSecond);

        gotoCell(3, 2);
        m_dialogs->answers = {true};
        billForm()->Button_dele->click();
        billForm()->Button_add_new->click();
        QCOMPARE(g->RowCount(), 4);
        g->SetCells(11, 3, QStringLiteral("新行"));
        g->SetCells(12, 3, QString::number(m_product));
        g->SetCells(11, 1, QStringLiteral("改过"));
        billForm()->ButtonSave->click();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(';')));
        QVERIFY(!billForm()->isVisible());
        QCOMPARE(remarks(20), (QStringList{"改过", "备注3", "新行"}));
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 门框ID=") + oldSecond), 0);
        // The frame save leaves the door-leaf columns alone.
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 单据ID=20 and 现量宽=777")), 2);
    }

    void frameViewRowWithoutProductIsRefused() {
        setCounter(30);
        saveNewBill({1});
        openSavedBill(30, false);
        billForm()->Button_add_new->click();
        billForm()->ButtonSave->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages[0].contains(QStringLiteral("商品ID")), qPrintable(m_dialogs->messages[0]));
        QVERIFY(billForm()->isVisible());
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 单据ID=30")), 1);
        // The pending line is still there: choosing its product and saving again inserts it.
        billGrid()->SetCells(12, 2, QString::number(m_product));
        billGrid()->SetCells(11, 2, QStringLiteral("补上"));
        billForm()->ButtonSave->click();
        QVERIFY(!billForm()->isVisible());
        QCOMPARE(remarks(30), (QStringList{"备注1", "补上"}));
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据 where 单据ID=30")), 1);
    }

    // Every refused save ends by saying that nothing was saved; the window keeps the entries.
    void refusedSaveSaysBillNotSaved_data() {
        QTest::addColumn<QString>("view"); // "new", "frame", "door"
        QTest::addColumn<int>("col");      // the cell made unacceptable in row 1 (0: the client id)
        QTest::addColumn<QString>("text");
        QTest::newRow("new bill without client") << "new" << 0 << "";
        QTest::newRow("new bill, width not a number") << "new" << 4 << "abc";
        QTest::newRow("frame view, quantity empty") << "frame" << 9 << "";
        QTest::newRow("door-leaf view, measured width not a number") << "door" << 7 << "8x0";
        QTest::newRow("new bill, lines refused by the database") << "new" << -1 << "";
        QTest::newRow("frame view, lines refused by the database") << "frame" << -1 << "";
    }
    void refusedSaveSaysBillNotSaved() {
        QFETCH(QString, view);
        QFETCH(int, col);
        QFETCH(QString, text);
        setCounter(70);
        if (view == QLatin1String("new")) {
            openNewBill();
            fillHeader(m_client, m_installer);
            fillFrameRow(1, m_product);
        } else {
            saveNewBill({1});
            openSavedBill(70, view == QLatin1String("door"));
        }
        if (col == 0)
            billForm()->LabelClentID->clear();
        else if (col > 0)
            billGrid()->SetCells(col, 1, text);
        else
            test::CreateRefusingTrigger(QStringLiteral("拒收"), QStringLiteral("before insert"),
                                        QStringLiteral("单据明细"), QStringLiteral("拒收"));
        if (col < 0 && view == QLatin1String("frame"))
            test::CreateRefusingTrigger(QStringLiteral("拒改"), QStringLiteral("before update"),
                                        QStringLiteral("单据明细"), QStringLiteral("拒改"));
        const BillSnapshot before = billForm()->Snapshot();
        billForm()->ButtonSave->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        const QString message = m_dialogs->messages[0];
        QVERIFY2(message.endsWith(QStringLiteral("。本单据没有保存。")), qPrintable(message));
        QVERIFY2(message.size() > QStringLiteral("。本单据没有保存。").size(), qPrintable(message));
        QVERIFY(billForm()->isVisible());
        QCOMPARE(billForm()->Snapshot().cells, before.cells);
        QCOMPARE(billForm()->LabelbillType->text(), view == QLatin1String("new")    ? QStringLiteral("1")
                                                    : view == QLatin1String("door") ? QStringLiteral("2")
                                                                                    : QStringLiteral("3"));
    }

    // A line added in the door-leaf view and left without a product is not written: the bill
    // stays whole and can be saved again in its frame view.
    void doorLeafLineWithoutProductIsNotWritten() {
        setCounter(45);
        saveNewBill({1, 2});
        openSavedBill(45, true);
        billForm()->Button_add_new->click();
        billGrid()->SetCells(7, 3, QStringLiteral("850")); // typed, but no product chosen
        billForm()->Button_add_new->click();
        billGrid()->SetCells(1, 4, QStringLiteral("A1"));
        billGrid()->SetCells(2, 4, QStringLiteral("木门"));
        billGrid()->SetCells(18, 4, QString::number(m_product));
        billGrid()->SetCells(14, 4, QStringLiteral("新门扇"));
        billForm()->ButtonSave->click();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(';')));
        QCOMPARE(remarks(45), (QStringList{"备注1", "备注2", "新门扇"}));
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 商品ID is null")), 0);

        openSavedBill(45, false);
        QCOMPARE(billGrid()->RowCount(), 4);
        billGrid()->SetCells(11, 3, QStringLiteral("框里改"));
        billForm()->ButtonSave->click();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(';')));
        QVERIFY(!billForm()->isVisible());
        QCOMPARE(remarks(45), (QStringList{"备注1", "备注2", "框里改"}));
    }

    void doorLeafSave() {
        setCounter(40);
        saveNewBill({1, 2});
        openSavedBill(40, true);
        TQorStringGrid* g = billGrid();
        QCOMPARE(g->RowCount(), 3);
        QCOMPARE(g->Cells(2, 1), QStringLiteral("木门"));
        QCOMPARE(g->Cells(15, 1), QStringLiteral("940"));
        g->SetCells(7, 1, QStringLiteral("810"));
        g->SetCells(9, 1, QStringLiteral("800"));
        g->SetCells(18, 2, QString()); // not assigned by the save
        g->SetCells(7, 2, QStringLiteral("999"));
        billForm()->Button_add_new->click();
        billForm()->ButtonSave->click();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(';')));
        QCOMPARE(Scalar(QStringLiteral("select 现量宽 from 单据明细 where 门框备注=\"备注1\"")), QStringLiteral("810"));
        QCOMPARE(Scalar(QStringLiteral("select 门扇宽 from 单据明细 where 门框备注=\"备注1\"")), QStringLiteral("800"));
        QCOMPARE(Scalar(QStringLiteral("select 现量宽 from 单据明细 where 门框备注=\"备注2\"")), QStringLiteral("0"));
        // 埋地 is no column of this layout and keeps its value; the line added and left without a
        // product is not written, so the bill stays savable in its frame view.
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 单据ID=40 and 埋地=20")), 2);
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 单据ID=40")), 2);
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 商品ID is null")), 0);
    }

    void emptyBillLoadsInBothViewsAndDeletes() {
        setCounter(50);
        saveNewBill({});
        openSavedBill(50, false);
        QCOMPARE(billGrid()->RowCount(), 1);
        QCOMPARE(billGrid()->Cells(13, 0), QStringLiteral("门框ID"));
        billForm()->Button_add_new->click();
        QCOMPARE(billGrid()->RowCount(), 2);
        billGrid()->SetCells(12, 1, QString::number(m_product));
        billForm()->ButtonSave->click();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(';')));
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 单据ID=50")), 1);

        saveNewBill({});
        openSavedBill(51, true);
        QCOMPARE(billGrid()->RowCount(), 1);
        QCOMPARE(billGrid()->ColCount(), 19);

        m_dialogs->answers = {false};
        billForm()->Button_del_bill->click();
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据 where 单据ID=51")), 1);
        QVERIFY(billForm()->isVisible());
        m_dialogs->answers = {true};
        billForm()->Button_del_bill->click();
        QCOMPARE(m_dialogs->questions.last(), QStringLiteral("确认要删除这张单据吗？"));
        QVERIFY(!billForm()->isVisible());
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据 where 单据ID=51")), 0);
        QCOMPARE(Scalar(QStringLiteral("select 值 from 系统设置 where ID=\"历史单据ID\"")), QStringLiteral("52"));
    }

    void deleteRemovesHeaderAndLines() {
        setCounter(60);
        saveNewBill({1, 2});
        saveNewBill({1});
        openSavedBill(60, false);
        m_dialogs->answers = {true};
        billForm()->Button_del_bill->click();
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据 where 单据ID=60")), 0);
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 单据ID=60")), 0);
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 单据ID=61")), 1);
        QCOMPARE(saveNewBill({}), 62);
    }

    void deletedProductShowsEmptyCells() {
        setCounter(70);
        const qint64 gone = addProduct(QStringLiteral("旧门"), QStringLiteral("OLD"));
        openNewBill();
        fillHeader(m_client, m_installer);
        fillFrameRow(1, m_product);
        fillFrameRow(2, gone);
        billForm()->ButtonSave->click();
        Database::Exec(QStringLiteral("delete from 商品信息 where 商品ID=%1").arg(gone));
        openSavedBill(70, false);
        for (int c : {1, 2, 12})
            QCOMPARE(billGrid()->Cells(c, 2), QString());
        QCOMPARE(billGrid()->Cells(2, 1), QStringLiteral("木门"));
        billForm()->close();
        openSavedBill(70, true);
        QCOMPARE(billGrid()->Cells(1, 2), QString());
        QCOMPARE(billGrid()->Cells(2, 2), QString());
        QCOMPARE(billGrid()->Cells(2, 1), QStringLiteral("木门"));
    }

    void twoCopiesNeverShareANumber() {
        setCounter(80);
        openNewBill();
        QCOMPARE(billForm()->EditBill_id->text(), QStringLiteral("80"));
        fillHeader(m_client, m_installer);
        fillFrameRow(1, m_product);

        // The other copy opens a bill with the same number and saves it first.
        QProcess other;
        other.start(QStringLiteral(KVT_BILL_SAVE_CHILD), {dbPath(), QStringLiteral("once")});
        QVERIFY(other.waitForFinished(60000));
        QCOMPARE(other.exitCode(), 0);
        QCOMPARE(QString::fromLatin1(other.readAllStandardOutput()).trimmed(), QStringLiteral("80"));

        billForm()->ButtonSave->click();
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("单据编号80已被占用，本单据已保存为81号。")});
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据 where 单据ID=80")), 1);
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据 where 单据ID=81")), 1);
        QCOMPARE(Scalar(QStringLiteral("select 客户地址 from 历史单据 where 单据ID=81")), QStringLiteral("东街1号"));
        QCOMPARE(remarks(81), QStringList{QStringLiteral("备注1")});
        QCOMPARE(remarks(80).size(), 10);
        QCOMPARE(Scalar(QStringLiteral("select 值 from 系统设置 where ID=\"历史单据ID\"")), QStringLiteral("82"));
    }

    // A sheet printed or a workbook sent under the number shown, then that number taken by
    // another workstation before the save: the save says the paper is wrong and offers the sheet
    // again under the number the bill got. Only what really left the window counts.
    void renumberedAfterHandingOut_data() {
        QTest::addColumn<QString>("handOut"); // "print", "export", "preview closed"
        QTest::addColumn<bool>("taken");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("reprinted");
        QTest::newRow("printed, Yes prints again") << "print" << true << true << true << true;
        QTest::newRow("exported, No closes") << "export" << true << false << true << false;
        QTest::newRow("printed, number still free") << "print" << false << true << false << false;
        QTest::newRow("preview closed unprinted") << "preview closed" << true << true << false << false;
    }
    void renumberedAfterHandingOut() {
        QFETCH(QString, handOut);
        QFETCH(bool, taken);
        QFETCH(bool, answer);
        QFETCH(bool, asked);
        QFETCH(bool, reprinted);
        setCounter(80);
        openNewBill();
        fillHeader(m_client, m_installer);
        fillFrameRow(1, m_product);
        if (handOut == QLatin1String("print")) {
            QCOMPARE(PrintThroughPreview(billForm()->ButtonPrint, m_dir->filePath(QStringLiteral("80.pdf"))),
                     QStringLiteral("打印预览"));
        } else if (handOut == QLatin1String("export")) {
            QCOMPARE(FilesOpenedBy([] { billForm()->send_excel->click(); }).size(), 1);
        } else {
            QTimer close; // the preview's close box, once it is up and idle
            connect(&close, &QTimer::timeout, this, [&] {
                auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
                if (preview && preview->isVisible() && preview->isEnabled())
                    preview->reject();
            });
            close.start(10);
            billForm()->ButtonPrint->click();
        }
        if (taken) {
            QProcess other;
            other.start(QStringLiteral(KVT_BILL_SAVE_CHILD), {dbPath(), QStringLiteral("once")});
            QVERIFY(other.waitForFinished(60000));
            QCOMPARE(QString::fromLatin1(other.readAllStandardOutput()).trimmed(), QStringLiteral("80"));
        }
        m_dialogs->answers = {answer};
        const QString again = m_dir->filePath(QStringLiteral("again.pdf"));
        const QString preview = PrintThroughPreview(billForm()->ButtonSave, again);

        const QString moved = QStringLiteral("单据编号80已被占用，本单据已保存为81号。");
        QCOMPARE(m_dialogs->questions,
                 asked ? QStringList{moved + QStringLiteral("已经打印或导出的单据上是80号，现在重新打印生产排单吗？")}
                       : QStringList());
        QCOMPARE(m_dialogs->messages, taken && !asked ? QStringList{moved} : QStringList());
        QCOMPARE(preview, reprinted ? QStringLiteral("打印预览") : QStringLiteral("no print preview"));
        if (reprinted) {
            QStringList words;
            for (const PdfWord& w : PdfWords(again))
                words << w.text;
            QVERIFY2(words.contains(QStringLiteral("单据编号:81")), qPrintable(words.join(QLatin1Char(' '))));
        }
        QVERIFY(!billForm()->isVisible());
        const int saved = taken ? 81 : 80;
        QCOMPARE(Scalar(QStringLiteral("select 客户地址 from 历史单据 where 单据ID=%1").arg(saved)), QStringLiteral("东街1号"));
        QCOMPARE(Scalar(QStringLiteral("select 值 from 系统设置 where ID=\"历史单据ID\"")), QString::number(saved + 1));
    }

    // Killed at random moments while it saves bill after bill: every bill is whole or absent,
    // the counter follows the last one and the file checks out.
    void killedSaveLeavesWholeBillsOnly() {
        setCounter(1);
        DestroyForms(); // the child has the file to itself
        const QString path = dbPath();
        for (int round = 0; round < 30; ++round) {
            QProcess child;
            child.start(QStringLiteral(KVT_BILL_SAVE_CHILD), {path, QStringLiteral("loop")});
            QVERIFY(child.waitForStarted());
            QVERIFY(child.waitForReadyRead(60000)); // at least one bill saved
            QTest::qWait(int(QRandomGenerator::global()->bounded(1, 40)));
            child.kill();
            QVERIFY(child.waitForFinished());
        }

        CreateForms(path);
        if (!test::OnServer())
            QCOMPARE(Scalar(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
        DataQuery headers;
        headers.SetSql(QStringLiteral("select * from 历史单据 order by 单据ID"));
        headers.Open();
        QVERIFY(headers.RowCount() >= 30);
        qint64 last = 0;
        for (int r = 1; r <= headers.RowCount(); ++r) {
            headers.MoveToRow(r);
            const qint64 id = headers.Field(QStringLiteral("单据ID")).asInteger();
            QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 单据ID=%1").arg(id)), 10);
            last = id;
        }
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细")), headers.RowCount() * 10);
        QCOMPARE(Scalar(QStringLiteral("select 值 from 系统设置 where ID=\"历史单据ID\"")), QString::number(last + 1));
    }

    // A save whose last statement fails after the lines were written: the message says nothing
    // was saved, the window keeps everything, and 保存 again writes exactly what it shows.
    void retryAfterFailedSaveWritesTheWindow_data() {
        QTest::addColumn<bool>("doorLeaf");
        QTest::newRow("frame view") << false;
        QTest::newRow("door-leaf view") << true;
    }
    void retryAfterFailedSaveWritesTheWindow() {
        QFETCH(bool, doorLeaf);
        setCounter(90);
        saveNewBill({1, 2, 3});
        openSavedBill(90, doorLeaf);
        TQorStringGrid* g = billGrid();
        const int remark = doorLeaf ? 14 : 11;
        const int product = doorLeaf ? 18 : 12;
        g->SetCells(remark, 1, QStringLiteral("改过"));
        gotoCell(3, 2);
        m_dialogs->answers = {true};
        billForm()->Button_dele->click();
        billForm()->Button_add_new->click();
        const int added = g->RowCount() - 1;
        g->SetCells(remark, added, QStringLiteral("新行"));
        g->SetCells(product, added, QString::number(m_product));
        for (int c = 3; c < product; ++c)
            if (g->Cells(c, added).isEmpty())
                g->SetCells(c, added, QStringLiteral("0"));
        billForm()->EditAddress->setText(QStringLiteral("新地址"));

        // The header is written last: a trigger refuses it.
        test::CreateRefusingTrigger(QStringLiteral("refuse"), QStringLiteral("before update"),
                                    QStringLiteral("历史单据"), QStringLiteral("磁盘出错"));
        billForm()->ButtonSave->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(
            m_dialogs->messages[0].startsWith(QStringLiteral("数据库拒绝了这次修改，本次修改没有保存。(磁盘出错)")),
            qPrintable(m_dialogs->messages[0]));
        QVERIFY(billForm()->isVisible());
        QCOMPARE(remarks(90), (QStringList{"备注1", "备注2", "备注3"}));

        test::DropTrigger(QStringLiteral("refuse"), QStringLiteral("历史单据"));
        billForm()->ButtonSave->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(!billForm()->isVisible());
        QCOMPARE(remarks(90), (QStringList{"改过", "备注3", "新行"}));
        QCOMPARE(Scalar(QStringLiteral("select 客户地址 from 历史单据 where 单据ID=90")), QStringLiteral("新地址"));
    }

    // Two workstations open bill 100; the other one saves first. This one's save is refused
    // whole, with the message; after reading the bill again its save goes through.
    void twoWorkstationsEditOneBill() {
        setCounter(100);
        saveNewBill({1, 2});
        openSavedBill(100, false);
        billGrid()->SetCells(11, 1, QStringLiteral("甲改"));
        billGrid()->SetCells(11, 2, QStringLiteral("甲也改"));

        QProcess other;
        other.start(QStringLiteral(KVT_BILL_SAVE_CHILD),
                    {dbPath(), QStringLiteral("edit"), QStringLiteral("100"), QStringLiteral("乙改")});
        QVERIFY(other.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(other.readAllStandardOutput()).trimmed(), QStringLiteral("saved"));
        QCOMPARE(remarks(100), (QStringList{"乙改", "备注2"}));

        billForm()->ButtonSave->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages[0].startsWith(
                     QStringLiteral("单据100已被其他用户修改，本次修改没有保存。请重新读取该单据。")),
                 qPrintable(m_dialogs->messages[0]));
        QVERIFY(billForm()->isVisible());
        QCOMPARE(billGrid()->Cells(11, 2), QStringLiteral("甲也改"));
        QCOMPARE(remarks(100), (QStringList{"乙改", "备注2"}));

        billForm()->close();
        openSavedBill(100, false);
        QCOMPARE(billGrid()->Cells(11, 1), QStringLiteral("乙改"));
        billGrid()->SetCells(11, 2, QStringLiteral("甲也改"));
        billForm()->ButtonSave->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QCOMPARE(remarks(100), (QStringList{"乙改", "甲也改"}));
    }

    // Two workstations save fifty new bills each, at the same moment: every bill gets a number of
    // its own, none is lost, and each is whole.
    void twoWorkstationsSaveFiftyBillsEach() {
        setCounter(1);
        DestroyForms();
        QProcess first, second;
        for (QProcess* p : {&first, &second})
            p->start(QStringLiteral(KVT_BILL_SAVE_CHILD), {dbPath(), QStringLiteral("loop"), QStringLiteral("50")});
        QStringList numbers;
        for (QProcess* p : {&first, &second}) {
            QVERIFY(p->waitForFinished(240000));
            QCOMPARE(p->exitCode(), 0);
            // A number a line; a number the other had taken first comes with its message.
            const QStringList printed =
                QString::fromUtf8(p->readAllStandardOutput())
                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                    .filter(QRegularExpression(QStringLiteral("^[0-9]+$")));
            QCOMPARE(printed.size(), 50);
            numbers << printed;
        }
        CreateForms(dbPath());
        QSet<QString> distinct(numbers.begin(), numbers.end());
        QCOMPARE(distinct.size(), 100);
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据")), 100);
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细")), 1000);
        for (const QString& n : numbers)
            QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 单据ID=") + n), 10);
        QCOMPARE(Scalar(QStringLiteral("select 值 from 系统设置 where ID=\"历史单据ID\"")), QStringLiteral("101"));
    }

    // The connection to the server drops in the middle of a save (the server ends it while the
    // header is written): nothing is half-written, the window keeps the clerk's entries and says
    // what happened, and the next 保存 connects again and writes it all.
    void connectionLostDuringSave() {
        if (!test::OnServer())
            QSKIP("a file has no connection to lose");
        setCounter(130);
        saveNewBill({1, 2});
        openSavedBill(130, false);
        billGrid()->SetCells(11, 1, QStringLiteral("改过"));
        billForm()->EditAddress->setText(QStringLiteral("新地址"));
        Database::Exec(QStringLiteral("create function 断开() returns trigger language plpgsql as "
                                      "$$begin perform pg_terminate_backend(pg_backend_pid()); return new; end$$"));
        Database::Exec(QStringLiteral("create trigger 断开 before update on 历史单据 for each row execute function 断开()"));
        billForm()->ButtonSave->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages[0].startsWith(QStringLiteral("与数据库服务器的连接已断开，本次修改没有保存。")),
                 qPrintable(m_dialogs->messages[0]));
        QVERIFY2(m_dialogs->messages[0].endsWith(QStringLiteral("本单据没有保存。")), qPrintable(m_dialogs->messages[0]));
        QVERIFY(billForm()->isVisible());
        QCOMPARE(billGrid()->Cells(11, 1), QStringLiteral("改过"));
        QCOMPARE(billForm()->EditAddress->text(), QStringLiteral("新地址"));
        {
            // Another workstation: nothing of the save is there, and it takes the trigger away.
            test::OtherConnection other(dbPath());
            QCOMPARE(other.exec(QStringLiteral("select string_agg(门框备注, ',' order by \"门框ID\") from 单据明细 "
                                               "where \"单据ID\"=130")),
                     QString());
            QCOMPARE(other.lastValue(), QStringLiteral("备注1,备注2"));
            QCOMPARE(other.exec(QStringLiteral("drop trigger 断开 on 历史单据")), QString());
            QCOMPARE(other.exec(QStringLiteral("drop function 断开()")), QString());
        }
        billForm()->ButtonSave->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(!billForm()->isVisible());
        QCOMPARE(remarks(130), (QStringList{"改过", "备注2"}));
        QCOMPARE(Scalar(QStringLiteral("select 客户地址 from 历史单据 where 单据ID=130")), QStringLiteral("新地址"));
    }

    // The bill was deleted on another workstation while it was open here.
    void savingADeletedBillIsRefused() {
        setCounter(110);
        saveNewBill({1});
        openSavedBill(110, true);
        billGrid()->SetCells(7, 1, QStringLiteral("905"));
        Database::Exec(QStringLiteral("delete from 单据明细 where 单据ID=110"));
        Database::Exec(QStringLiteral("delete from 历史单据 where 单据ID=110"));
        billForm()->ButtonSave->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages[0].startsWith(QStringLiteral("单据110已被其他用户修改")),
                 qPrintable(m_dialogs->messages[0]));
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据 where 单据ID=110")), 0);
    }

    // A header without client or installer says what to do; the counter at its end refuses
    // the save instead of wrapping round. Nothing is written either way.
    void incompleteHeaderAndLastNumber_data() {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("installer");
        QTest::addColumn<qint64>("counter");
        QTest::addColumn<QString>("message");
        QTest::newRow("no client") << ""
                                   << "2" << qint64(120) << "请先选择客户。";
        QTest::newRow("no installer") << "1"
                                      << "" << qint64(120) << "请先选择安装人员。";
        QTest::newRow("largest number") << "1"
                                        << "2" << std::numeric_limits<qint64>::max()
                                        << "单据编号已用到最大值9223372036854775807，不能再保存新单据。";
    }
    void incompleteHeaderAndLastNumber() {
        QFETCH(QString, client);
        QFETCH(QString, installer);
        QFETCH(qint64, counter);
        QFETCH(QString, message);
        Database::Exec(QStringLiteral("update 系统设置 set 值=%1 where ID=\"历史单据ID\"").arg(counter));
        openNewBill();
        fillHeader(m_client, m_installer);
        billForm()->LabelClentID->setText(client);
        billForm()->Label_setup_man_id->setText(installer);
        fillFrameRow(1, m_product);
        billForm()->ButtonSave->click();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages[0].startsWith(message), qPrintable(m_dialogs->messages[0]));
        QVERIFY(billForm()->isVisible());
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据")), 0);
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细")), 0);
        QCOMPARE(Scalar(QStringLiteral("select 值 from 系统设置")), QString::number(counter));
    }
};

QTEST_MAIN(TestBillStorage)
#include "test_bill_storage.moc"
