// The bill window driven headless: opening steps, the header's Enter flow, the grid's Enter
// flows and cursor moves, line defaults, adding and deleting lines, and the close steps.

#include "test_bill_support.h"

#include <QDateEdit>

using namespace kvt;
using namespace kvt::test;

class TestBillWindow : public QObject {
    Q_OBJECT
    QTemporaryDir* m_dir = nullptr;
    FakeDialogs* m_dialogs = nullptr;

private slots:
    void init() {
        m_dir = new QTemporaryDir;
        m_dialogs = new FakeDialogs;
        CreateForms(m_dir->filePath(QStringLiteral("kvt.db")));
    }
    void cleanup() {
        DestroyForms();
        delete m_dialogs;
        delete m_dir;
    }

    void opensNewBillWithCounterNumber() {
        setCounter(57);
        openNewBill();
        TBillForm* b = billForm();
        QCOMPARE(b->EditBill_id->text(), QStringLiteral("57"));
        QCOMPARE(b->DatePicker1->date(), QDate::currentDate());
        QCOMPARE(billGrid()->ColCount(), 13);
        QCOMPARE(billGrid()->RowCount(), 11);
        QCOMPARE(billGrid()->Cells(4, 0), QStringLiteral("见光宽"));
        QCOMPARE(billGrid()->ColWidths(10), 140);
        QCOMPARE(b->focusWidget(), static_cast<QWidget*>(b->EditClient));
        QVERIFY(!b->Button_dele->isEnabled());
        // Leaving it unsaved and opening again shows the same number.
        b->ButtonExit->click();
        QVERIFY(!b->isVisible());
        openNewBill();
        QCOMPARE(b->EditBill_id->text(), QStringLiteral("57"));
    }

    void headerEnterFlow() {
        openNewBill();
        TBillForm* b = billForm();
        SearchRecorder rec;
        b->EditClient->setFocus();
        QTest::keyClicks(b->EditClient, QStringLiteral("w1"));
        QTest::keyClick(b->EditClient, Qt::Key_Return);
        QCOMPARE(rec.searches.size(), 1);
        QCOMPARE(rec.searches[0].mode, QStringLiteral("1"));
        QCOMPARE(rec.searches[0].text, QStringLiteral("w1"));
        QVERIFY(rec.searches[0].shown);
        // The focus moves on before any client is chosen.
        QCOMPARE(b->focusWidget(), static_cast<QWidget*>(b->EditAddress));

        QTest::keyClick(b->EditAddress, Qt::Key_Return);
        QCOMPARE(b->focusWidget() == b->DatePicker1 || b->DatePicker1->isAncestorOf(b->focusWidget()), true);
        QTest::keyClick(b->focusWidget(), Qt::Key_Return);
        QCOMPARE(b->focusWidget(), static_cast<QWidget*>(b->EditSetup_man));

        QTest::keyClicks(b->EditSetup_man, QStringLiteral("l2"));
        QTest::keyClick(b->EditSetup_man, Qt::Key_Return);
        QCOMPARE(rec.searches.size(), 2);
        QCOMPARE(rec.searches[1].mode, QStringLiteral("2"));
        QCOMPARE(rec.searches[1].text, QStringLiteral("l2"));
        QCOMPARE(b->focusWidget(), static_cast<QWidget*>(billGrid()));
        QCOMPARE(billGrid()->Col(), 1);
        QCOMPARE(billGrid()->Row(), 1);

        QTest::mouseDClick(b->EditClient, Qt::LeftButton);
        QCOMPARE(rec.searches.size(), 3);
        QCOMPARE(rec.searches[2].mode, QStringLiteral("1"));
    }

    void frameEnterMovesCursor_data() {
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("expectCol");
        QTest::addColumn<int>("expectRow");
        QTest::newRow("glass style to width") << 3 << 2 << 4 << 2;
        QTest::newRow("height to buried depth") << 5 << 2 << 6 << 2;
        QTest::newRow("total width to height") << 7 << 2 << 8 << 2;
        QTest::newRow("quantity to extra") << 9 << 2 << 10 << 2;
        QTest::newRow("remark to next row") << 11 << 2 << 1 << 3;
        QTest::newRow("remark on the last row stays") << 11 << 10 << 1 << 10;
        QTest::newRow("product id stays") << 12 << 2 << 12 << 2;
    }
    void frameEnterMovesCursor() {
        QFETCH(int, col);
        QFETCH(int, row);
        openNewBill();
        billGrid()->setFocus();
        billGrid()->SetCells(10, row, QStringLiteral("正门线")); // no door casing dialog here
        gotoCell(col, row);
        pressEnterInGrid();
        QTEST(billGrid()->Col(), "expectCol");
        QTEST(billGrid()->Row(), "expectRow");
    }

    void frameNumberColumnStartsProductSearch() {
        openNewBill();
        SearchRecorder rec;
        billGrid()->setFocus();
        gotoCell(1, 1);
        typeInGrid(QStringLiteral("A1"));
        pressEnterInGrid();
        QCOMPARE(rec.searches.size(), 1);
        QCOMPARE(rec.searches[0].mode, QStringLiteral("3"));
        QCOMPARE(rec.searches[0].text, QStringLiteral("A1"));
        QCOMPARE(billGrid()->Col(), 3);
    }

    void doorCasingDialogOnlyForEmptyExtra_data() {
        QTest::addColumn<QString>("extra");
        QTest::addColumn<bool>("opens");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("one space") << QStringLiteral(" ") << true;
        QTest::newRow("text") << QStringLiteral("无") << false;
    }
    void doorCasingDialogOnlyForEmptyExtra() {
        QFETCH(QString, extra);
        openNewBill();
        QWidget* dialog = Form(QStringLiteral("Form_DoorLine"));
        dialog->hide();
        billGrid()->SetCells(10, 1, extra);
        gotoCell(10, 1);
        pressEnterInGrid();
        QTEST(dialog->isVisible(), "opens");
        QCOMPARE(billGrid()->Col(), 11);
    }

    void frameLineDefaults() {
        openNewBill();
        TQorStringGrid* g = billGrid();
        g->SetCells(3, 2, QStringLiteral(" "));
        g->SetCells(9, 2, QStringLiteral("2"));
        g->SetCells(4, 2, QStringLiteral("900"));
        gotoCell(1, 2);
        CallFormMethod(QStringLiteral("BillForm"), "FillFrameLineDefaults");
        const QStringList expected = {"", "", "", " ", "900", "0", "0", "0", "0", "2", " ", " ", ""};
        for (int c = 0; c < 13; ++c)
            QCOMPARE(g->Cells(c, 2), expected[c]);
        gotoCell(1, 3);
        billForm()->FillFrameLineDefaults();
        QCOMPARE(g->Cells(9, 3), QStringLiteral("1"));
    }

    void doorLeafEnter_data() {
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("expectCol");
        QTest::addColumn<int>("expectRow");
        QTest::newRow("quantity") << 3 << 1 << 4 << 1;
        QTest::newRow("measured width without product") << 7 << 1 << 8 << 1;
        QTest::newRow("measured height without product") << 8 << 1 << 9 << 1;
        QTest::newRow("frame remark") << 15 << 1 << 16 << 1;
        QTest::newRow("frame height to next row") << 16 << 1 << 1 << 2;
        QTest::newRow("frame height on the last row") << 16 << 2 << 16 << 2;
        QTest::newRow("key column stays") << 17 << 1 << 17 << 1;
    }
    void doorLeafEnter() {
        QFETCH(int, col);
        QFETCH(int, row);
        // Two lines in the query give the door-leaf layout three rows.
        TBillForm* b = billForm();
        Database::Exec(QStringLiteral("insert into 单据明细 (单据ID) values (5)"));
        Database::Exec(QStringLiteral("insert into 单据明细 (单据ID) values (5)"));
        b->ADOQuery_bill->Close();
        b->ADOQuery_bill->SetSql(QStringLiteral("select * from 单据明细 where 单据ID=5 order by 门框ID"));
        b->ADOQuery_bill->Open();
        b->LabelbillType->setText(QStringLiteral("2"));
        b->EditBill_id->setText(QStringLiteral("5"));
        b->SetupDoorLeafGrid();
        QCOMPARE(b->LabelBillClass->text(), QStringLiteral("Door Detail"));
        QCOMPARE(billGrid()->ColCount(), 19);
        QCOMPARE(billGrid()->RowCount(), 3);
        b->show();
        gotoCell(col, row);
        pressEnterInGrid();
        QTEST(billGrid()->Col(), "expectCol");
        QTEST(billGrid()->Row(), "expectRow");
        // Whatever the column, the row's empty cells of columns 3 to 16 got their defaults.
        for (int c = 3; c <= 16; ++c)
            QCOMPARE(billGrid()->Cells(c, row),
                     (c == 4 || c == 13 || c == 14) ? QStringLiteral(" ") : QStringLiteral("0"));
        QCOMPARE(billGrid()->Cells(17, row), QString());
        QCOMPARE(billGrid()->Cells(9, row), QStringLiteral("0")); // nothing computed
    }

    void editingSwitchedByColumn_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("col");
        QTest::addColumn<bool>("editing");
        QTest::newRow("frame name") << "1" << 2 << false;
        QTest::newRow("frame product id") << "1" << 12 << false;
        QTest::newRow("frame width") << "1" << 4 << true;
        QTest::newRow("saved frame key") << "3" << 12 << false;
        QTest::newRow("door leaf product id") << "2" << 18 << false;
        QTest::newRow("door leaf key") << "2" << 17 << false;
        QTest::newRow("door leaf product id column of frame") << "2" << 12 << true;
    }
    void editingSwitchedByColumn() {
        QFETCH(QString, kind);
        QFETCH(int, col);
        TBillForm* b = billForm();
        b->LabelbillType->setText(kind);
        if (kind == QLatin1String("2"))
            b->SetupDoorLeafGrid(), billGrid()->SetRowCount(3);
        else
            b->SetupFrameGrid();
        gotoCell(3, 1);
        gotoCell(col, 1);
        QTEST(billGrid()->Editing(), "editing");
    }

    void addLineInSavedFrameBillUpToTwelve() {
        TBillForm* b = billForm();
        b->LabelbillType->setText(QStringLiteral("3"));
        b->EditBill_id->setText(QStringLiteral("9"));
        b->ADOQuery_bill->Close();
        b->ADOQuery_bill->SetSql(QStringLiteral("select * from 单据明细 where 单据ID=9 order by 门框ID"));
        b->ADOQuery_bill->Open();
        b->SetupFrameGrid();
        billGrid()->SetRowCount(12);
        b->Button_add_new->setEnabled(true);
        b->show();
        b->Button_add_new->click();
        QCOMPARE(billGrid()->RowCount(), 13);
        QCOMPARE(billGrid()->Row(), 12);
        QCOMPARE(billGrid()->Col(), 1);
        QCOMPARE(billGrid()->Cells(9, 12), QStringLiteral("1"));
        QCOMPARE(b->ADOQuery_bill->RowCount(), 1);
        QCOMPARE(b->ADOQuery_bill->Field(QStringLiteral("单据ID")).asString(), QStringLiteral("9"));
        b->Button_add_new->click();
        QCOMPARE(billGrid()->RowCount(), 13);
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("行数已满，不可再加了！")});
    }

    void deleteLineShiftsRowsUp() {
        TBillForm* b = billForm();
        for (int i = 0; i < 3; ++i)
            Database::Exec(QStringLiteral("insert into 单据明细 (单据ID, 门框备注) values (4, \"r%1\")").arg(i + 1));
        b->LabelbillType->setText(QStringLiteral("3"));
        b->ADOQuery_bill->Close();
        b->ADOQuery_bill->SetSql(QStringLiteral("select * from 单据明细 where 单据ID=4 order by 门框ID"));
        b->ADOQuery_bill->Open();
        b->SetupFrameGrid();
        billGrid()->SetRowCount(4);
        for (int r = 1; r <= 3; ++r)
            billGrid()->SetCells(11, r, QStringLiteral("r%1").arg(r));
        b->Button_dele->setEnabled(true);
        b->show();
        gotoCell(11, 2);

        // No (also a dialog closed by Escape or its frame) deletes nothing.
        m_dialogs->answers = {false};
        b->Button_dele->click();
        QCOMPARE(m_dialogs->questions, QStringList{QStringLiteral("确认要删除这条记录吗？")});
        QCOMPARE(billGrid()->RowCount(), 4);
        QCOMPARE(b->ADOQuery_bill->RowCount(), 3);

        m_dialogs->answers = {true};
        b->Button_dele->click();
        QCOMPARE(billGrid()->RowCount(), 3);
        QCOMPARE(billGrid()->Cells(11, 1), QStringLiteral("r1"));
        QCOMPARE(billGrid()->Cells(11, 2), QStringLiteral("r3"));
        QCOMPARE(b->ADOQuery_bill->RowCount(), 2);
        b->ADOQuery_bill->MoveToRow(2);
        QCOMPARE(b->ADOQuery_bill->Field(QStringLiteral("门框备注")).asString(), QStringLiteral("r3"));
        // Pending until a save.
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细 where 单据ID=4")), 3);
    }

    void doubleClickAddsLineLikeThisOne() {
        TBillForm* b = billForm();
        SearchRecorder rec;
        b->LabelbillType->setText(QStringLiteral("3"));
        b->EditBill_id->setText(QStringLiteral("4"));
        b->ADOQuery_bill->Close();
        b->ADOQuery_bill->SetSql(QStringLiteral("select * from 单据明细 where 单据ID=4 order by 门框ID"));
        b->ADOQuery_bill->Open();
        b->SetupFrameGrid();
        billGrid()->SetCells(11, 1, QStringLiteral("左开"));
        billGrid()->SetCells(12, 1, QStringLiteral("7"));
        b->show();
        gotoCell(12, 1);
        QTest::mouseDClick(billGrid()->viewport(), Qt::LeftButton, {}, billGrid()->CellRect(12, 1).center());
        QCOMPARE(billGrid()->RowCount(), 12);
        QCOMPARE(billGrid()->Cells(1, 11), QStringLiteral("厘"));
        QCOMPARE(billGrid()->Cells(11, 11), QStringLiteral("左开"));
        QCOMPARE(billGrid()->Cells(12, 11), QStringLiteral("7"));
        QCOMPARE(rec.searches.size(), 1);
        QCOMPARE(rec.searches[0].mode, QStringLiteral("3"));
        QCOMPARE(rec.searches[0].text, QStringLiteral("厘"));
        QCOMPARE(b->ADOQuery_bill->RowCount(), 1);
        QCOMPARE(b->ADOQuery_bill->Field(QStringLiteral("埋地")).asString(), QStringLiteral("0"));
    }

    // The line added by a double-click in column 11 or 12 carries the product its number and name
    // show. In the frame layout a product found at once by "厘" stays in column 12; otherwise the
    // old row's product is copied until one is chosen. The door-leaf layout copies its glass sizes.
    void doubleClickLineKeepsItsProduct_data() {
        QTest::addColumn<bool>("doorLeaf");
        QTest::addColumn<bool>("found"); // a product numbered "厘" exists
        QTest::addColumn<int>("col");
        QTest::newRow("frame, found at once, remark") << false << true << 11;
        QTest::newRow("frame, found at once, product id") << false << true << 12;
        QTest::newRow("frame, left to the list") << false << false << 12;
        QTest::newRow("door leaf, found at once") << true << true << 12;
        QTest::newRow("door leaf, left to the list") << true << false << 11;
    }
    void doubleClickLineKeepsItsProduct() {
        QFETCH(bool, doorLeaf);
        QFETCH(bool, found);
        QFETCH(int, col);
        const qint64 client = addClient(QStringLiteral("张三"), QStringLiteral("c1"));
        const qint64 oldProduct = addProduct(QStringLiteral("木门"), QStringLiteral("A1"));
        const qint64 li = found ? addProduct(QStringLiteral("厘门"), QStringLiteral("厘")) : 0;
        Database::Exec(
            QStringLiteral("insert into 历史单据 (单据ID,客户ID,单据日期,安装人员ID) values (4,%1,#2026-03-14#,%1)")
                .arg(client));
        Database::Exec(
            QStringLiteral("insert into 单据明细 (单据ID,商品ID,数量,玻璃款式,见光宽,见光高,现量宽,现量高,门扇宽,"
                           "门扇高,玻璃宽,玻璃高,门框总宽,门框总高,埋地,门框附加,门框备注) values "
                           "(4,%1,1,\"\",900,2000,880,1990,874,1980,700,1800,940,2040,20,\"无\",\"左开\")")
                .arg(oldProduct));
        openSavedBill(4, doorLeaf);
        gotoCell(col, 1);
        QTest::mouseDClick(billGrid()->viewport(), Qt::LeftButton, {}, billGrid()->CellRect(col, 1).center());
        TQorStringGrid* g = billGrid();
        QCOMPARE(g->RowCount(), 3);
        QCOMPARE(Form(QStringLiteral("CGForm"))->isVisible(), !found);
        if (doorLeaf) {
            // Columns 11 and 12 are the glass sizes here; the product goes to column 18.
            QCOMPARE(g->Cells(11, 2), QStringLiteral("700"));
            QCOMPARE(g->Cells(12, 2), QStringLiteral("1800"));
            QCOMPARE(g->Cells(18, 2), found ? QString::number(li) : QString());
            return;
        }
        QCOMPARE(g->Cells(11, 2), QStringLiteral("左开"));
        QCOMPARE(g->Cells(1, 2), found ? QStringLiteral("厘") : QStringLiteral("厘"));
        QCOMPARE(g->Cells(2, 2), found ? QStringLiteral("厘门") : QString());
        QCOMPARE(g->Cells(12, 2), QString::number(found ? li : oldProduct));
        if (!found)
            return;
        // Saved, reloaded and printed with the product it shows.
        billForm()->ButtonSave->click();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(';')));
        QCOMPARE(Scalar(QStringLiteral("select 商品ID from 单据明细 where 单据ID=4 order by 门框ID desc")),
                 QString::number(li));
        openSavedBill(4, false);
        QCOMPARE(billGrid()->Cells(2, 2), QStringLiteral("厘门"));
    }

    void doubleClickInNewBillAddsNothing() {
        openNewBill();
        gotoCell(11, 1);
        billForm()->Grid_BillDblClick();
        QCOMPARE(billGrid()->RowCount(), 11);
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void closeClearsTheWindow() {
        openNewBill();
        TBillForm* b = billForm();
        b->EditClient->setText(QStringLiteral("张三"));
        b->LabelClentID->setText(QStringLiteral("3"));
        b->EditAddress->setText(QStringLiteral("地址"));
        billGrid()->SetCells(4, 3, QStringLiteral("900"));
        const QDate date(2025, 1, 2);
        b->DatePicker1->setDate(date);
        m_dialogs->answers = {true};
        b->close(); // the frame's close box, which asks first with entries on screen
        QCOMPARE(m_dialogs->questions, QStringList{QStringLiteral("单据尚未保存，确定退出吗？")});
        QCOMPARE(billGrid()->Cells(4, 0), QString());
        QCOMPARE(billGrid()->Cells(4, 3), QString());
        QCOMPARE(billGrid()->RowCount(), 11);
        for (QLineEdit* e : {b->EditClient, b->EditAddress, b->EditBill_id, b->EditSetup_man})
            QCOMPARE(e->text(), QString());
        QCOMPARE(b->LabelClentID->text(), QString());
        QCOMPARE(b->LabelbillType->text(), QString());
        QCOMPARE(b->DatePicker1->date(), date);
        QCOMPARE(b->LabelBillClass->text(), QStringLiteral("门框生产排单"));
    }

    // Leaving a bill with entries not saved asks first; No stays with everything as it was, Yes
    // leaves as ever. A bill left as it was opened leaves without a question.
    void leavingUnsavedEntriesAsks_data() {
        QTest::addColumn<QString>("view");   // "new", "frame", "door"
        QTest::addColumn<QString>("change"); // "", "header", "cell", "date", "pick"
        QTest::addColumn<bool>("closeBox");  // the frame's close box instead of 退出
        QTest::addColumn<bool>("yes");
        QTest::newRow("new, untouched") << "new"
                                        << "" << false << false;
        QTest::newRow("new, untouched, close box") << "new"
                                                   << "" << true << false;
        QTest::newRow("new, header typed, No") << "new"
                                               << "header" << false << false;
        QTest::newRow("new, header typed, Yes") << "new"
                                                << "header" << false << true;
        QTest::newRow("new, line typed, close box No") << "new"
                                                       << "cell" << true << false;
        QTest::newRow("new, date changed, close box Yes") << "new"
                                                          << "date" << true << true;
        QTest::newRow("new, client picked, No") << "new"
                                                << "pick" << false << false;
        QTest::newRow("frame view, untouched") << "frame"
                                               << "" << false << false;
        QTest::newRow("frame view, cell changed, No") << "frame"
                                                      << "cell" << false << false;
        QTest::newRow("frame view, header changed, close box Yes") << "frame"
                                                                   << "header" << true << true;
        QTest::newRow("door-leaf view, untouched, close box") << "door"
                                                              << "" << true << false;
        QTest::newRow("door-leaf view, cell changed, No") << "door"
                                                          << "cell" << false << false;
        QTest::newRow("door-leaf view, cell changed, Yes") << "door"
                                                           << "cell" << false << true;
    }
    void leavingUnsavedEntriesAsks() {
        QFETCH(QString, view);
        QFETCH(QString, change);
        QFETCH(bool, closeBox);
        QFETCH(bool, yes);
        TBillForm* b = billForm();
        const qint64 client = addClient(QStringLiteral("王建国"), QStringLiteral("w1"));
        if (view == QLatin1String("new")) {
            openNewBill();
        } else {
            Database::Exec(
                QStringLiteral("insert into 历史单据 (单据ID,客户ID,单据日期,安装人员ID) values (8,%1,#2026-03-14#,%1)")
                    .arg(client));
            Database::Exec(
                QStringLiteral("insert into 单据明细 (单据ID,数量,见光宽,门框备注) values (8,1,900,\"r1\")"));
            openSavedBill(8, view == QLatin1String("door"));
        }
        QVERIFY(QTest::qWaitForWindowExposed(b));
        if (change == QLatin1String("header")) {
            b->EditAddress->setFocus();
            QTest::keyClicks(b->EditAddress, QStringLiteral("No.5"));
        } else if (change == QLatin1String("cell")) {
            gotoCell(4, 1);
            billGrid()->setFocus();
            typeInGrid(QStringLiteral("7"));
            pressEnterInGrid();
        } else if (change == QLatin1String("date")) {
            b->DatePicker1->setDate(b->DatePicker1->date().addDays(-1));
        } else if (change == QLatin1String("pick")) {
            b->EditClient->setText(QStringLiteral("w1"));
            QTest::keyClick(b->EditClient, Qt::Key_Return); // the exact number hands the client back
            QCOMPARE(b->LabelClentID->text(), QString::number(client));
        }
        const BillSnapshot before = b->Snapshot();
        const QString kindBefore = b->LabelbillType->text();

        m_dialogs->answers = {yes};
        if (closeBox)
            b->close();
        else
            b->ButtonExit->click();
        const bool asked = !change.isEmpty();
        QCOMPARE(m_dialogs->questions,
                 asked ? QStringList{QStringLiteral("单据尚未保存，确定退出吗？")} : QStringList());
        const bool leaves = !asked || yes;
        QCOMPARE(b->isVisible(), !leaves);
        if (leaves) {
            QCOMPARE(b->LabelbillType->text(), QString());
            QCOMPARE(billGrid()->Cells(1, 0), QString());
        } else {
            QCOMPARE(b->LabelbillType->text(), kindBefore);
            QCOMPARE(b->Snapshot().cells, before.cells);
            QCOMPARE(b->Snapshot().address, before.address);
            QCOMPARE(b->Snapshot().client, before.client);
            QCOMPARE(b->Snapshot().date, before.date);
        }
        QCOMPARE(countRows(QStringLiteral("select * from 历史单据")), view == QLatin1String("new") ? 0 : 1);
    }

    void saveLeavesWithoutAsking() {
        const qint64 client = addClient(QStringLiteral("王建国"), QStringLiteral("w1"));
        openNewBill();
        fillHeader(client, client);
        fillFrameRow(1, addProduct(QStringLiteral("木门"), QStringLiteral("A1")));
        billForm()->ButtonSave->click();
        QVERIFY(!billForm()->isVisible());
        QCOMPARE(m_dialogs->questions, QStringList());
        QCOMPARE(countRows(QStringLiteral("select * from 单据明细")), 1);
    }

    void snapshotReadsTheScreen() {
        openNewBill();
        TBillForm* b = billForm();
        b->EditClient->setText(QStringLiteral("张三"));
        b->DatePicker1->setDate(QDate(2026, 5, 6));
        billGrid()->SetCells(2, 1, QStringLiteral("木门"));
        const BillSnapshot s = b->Snapshot();
        QCOMPARE(s.billType, QStringLiteral("1"));
        QCOMPARE(s.client, QStringLiteral("张三"));
        QCOMPARE(s.date, QStringLiteral("2026-05-06"));
        QCOMPARE(s.rowCount(), 11);
        QCOMPARE(s.colCount(), 13);
        QCOMPARE(s.cell(2, 1), QStringLiteral("木门"));
        QCOMPARE(s.cell(12, 0), QStringLiteral("商品ID"));
        QCOMPARE(s.colWidths.value(2), 180);
    }
};

QTEST_MAIN(TestBillWindow)
#include "test_bill_window.moc"
