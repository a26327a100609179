// The door casing line dialog, opened from a frame line of the real bill window.

#include "app/AppStart.h"
#include "bill/DoorLineUnit.h"
#include "controls/FormRegistry.h"
#include "controls/QorControlUnit.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "support/FakeDialogs.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace kvt;

namespace {

TForm_DoorLine* dialog() {
    return static_cast<TForm_DoorLine*>(Form(QStringLiteral("Form_DoorLine")));
}
QWidget* bill() {
    return Form(QStringLiteral("BillForm"));
}
TQorStringGrid* grid() {
    return Control<TQorStringGrid>(bill(), QStringLiteral("Grid_Bill"));
}
QRadioButton* option(int n) {
    return Control<QRadioButton>(dialog(), QStringLiteral("RadioButton%1").arg(n));
}
/// Enter on "门框附加" of the row, as the user opens the dialog.
void openFromRow(int row) {
    QVERIFY(grid()->SetCurrentCell(10, row));
    QTest::keyClick(grid(), Qt::Key_Return);
    QVERIFY(dialog()->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(dialog()));
}
void activateElsewhereAndBack() {
    bill()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(bill()));
    dialog()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog()));
}

} // namespace

class TestDoorLine : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    test::FakeDialogs m_dialogs;

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        CreateForms(m_dir->filePath(QStringLiteral("kvt.db")));
        Control<QPushButton>(QStringLiteral("MainForm"), QStringLiteral("Button1"))->click();
        QVERIFY(QTest::qWaitForWindowActive(bill()));
    }
    void cleanup() {
        DestroyForms();
        m_dir.reset();
    }

    void compose_data() {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("editAt");
        QTest::addColumn<QPoint>("unitAt");
        QTest::newRow("front with 2") << 1 << "2" << true << "正门线加2斗" << QPoint(176, 72) << QPoint(232, 72);
        QTest::newRow("outside with 5") << 2 << "5" << false << "外门线加5斗" << QPoint(176, 104) << QPoint(232, 104);
        QTest::newRow("both, front board 3")
            << 3 << "3" << true << "双门线正面加3斗" << QPoint(264, 144) << QPoint(328, 144);
        QTest::newRow("both, outside board 1")
            << 4 << "1" << false << "双门线外面加1斗" << QPoint(264, 176) << QPoint(328, 176);
        QTest::newRow("both, no number") << 5 << "" << false << "双门线" << QPoint(264, 208) << QPoint(328, 208);
        QTest::newRow("none") << 6 << "" << false << "无" << QPoint(176, 72) << QPoint(232, 72);
        // The number box is off while "无门线" is chosen: what is typed there goes nowhere.
        QTest::newRow("none with 3") << 6 << "3" << false << "无" << QPoint(176, 72) << QPoint(232, 72);
        QTest::newRow("any text as typed")
            << 1 << "2.5 x" << true << "正门线加2.5 x斗" << QPoint(176, 72) << QPoint(232, 72);
    }
    void compose() {
        QFETCH(int, choice);
        QFETCH(QString, number);
        QFETCH(bool, byEnter);
        openFromRow(1);
        QTest::keyClicks(dialog()->Edit1, QStringLiteral("9")); // lost when another option is chosen
        option(choice)->click();
        if (choice != 6)
            QCOMPARE(dialog()->Edit1->text(), QString());
        else
            dialog()->Edit1->clear();
        QTest::keyClicks(dialog()->Edit1, number);
        QCOMPARE(dialog()->Edit1->isEnabled(), choice != 6);
        QFETCH(QPoint, editAt);
        QFETCH(QPoint, unitAt);
        QCOMPARE(dialog()->Edit1->pos(), editAt);
        QCOMPARE(dialog()->Label2->pos(), unitAt);
        if (byEnter)
            QTest::keyClick(dialog()->Edit1, Qt::Key_Return);
        else
            dialog()->Button1->click();
        QFETCH(QString, text);
        QCOMPARE(grid()->Cells(10, 1), text);
        QVERIFY(!dialog()->isVisible());
    }

    // Every opening and every return to the dialog starts again from "无门线".
    void activationResets() {
        openFromRow(1);
        dialog()->Button1->click();
        QCOMPARE(grid()->Cells(10, 1), QStringLiteral("无"));

        grid()->SetCells(10, 2, QStringLiteral(" "));
        openFromRow(2);
        option(3)->click();
        QTest::keyClicks(dialog()->Edit1, QStringLiteral("4"));
        activateElsewhereAndBack();
        QVERIFY(option(6)->isChecked());
        QCOMPARE(dialog()->Edit1->text(), QString());
        QCOMPARE(dialog()->DoorLineKind, QStringLiteral("无"));

        // With "无门线" chosen the number box is off: nothing typed reaches the result.
        QVERIFY(!dialog()->Edit1->isEnabled());
        QTest::keyClicks(dialog()->Edit1, QStringLiteral("7"));
        activateElsewhereAndBack();
        QCOMPARE(dialog()->Edit1->text(), QString());
        dialog()->Button1->click();
        QCOMPARE(grid()->Cells(10, 2), QStringLiteral("无"));

        openFromRow(3);
        QVERIFY(!dialog()->Edit1->isEnabled());
        option(1)->click();
        QVERIFY(dialog()->Edit1->isEnabled());
        dialog()->Button1->click();
        openFromRow(4); // reopened after closing with another option
        QVERIFY(option(6)->isChecked());
        dialog()->Button1->click();
        QCOMPARE(grid()->Cells(10, 4), QStringLiteral("无"));
    }

    // The row that is current at the moment of "确定" gets the text.
    void writesRowCurrentAtConfirm() {
        openFromRow(2);
        QCOMPARE(grid()->Col(), 11);
        option(1)->click();
        QTest::keyClicks(dialog()->Edit1, QStringLiteral("2"));
        QVERIFY(grid()->SetCurrentCell(3, 4));
        dialog()->Button1->click();
        QCOMPARE(grid()->Cells(10, 4), QStringLiteral("正门线加2斗"));
        QCOMPARE(grid()->Cells(10, 2), QString());
    }

    // A grid that no longer shows frame lines keeps its column 10 (there it holds a size).
    void leavesOtherLayoutsAlone() {
        openFromRow(1);
        auto* lines = bill()->findChild<DataQuery*>(QStringLiteral("ADOQuery_bill"));
        Database::Exec(QStringLiteral("insert into 单据明细 (单据ID,门扇高) values (5,2000)"));
        lines->Close();
        lines->SetSql(QStringLiteral("select * from 单据明细 where 单据ID=5 order by 门框ID"));
        lines->Open();
        CallFormMethod(QStringLiteral("BillForm"), "LoadDoorLeafLines");
        const QString before = grid()->Cells(10, 1);
        option(1)->click();
        QTest::keyClicks(dialog()->Edit1, QStringLiteral("2"));
        dialog()->Button1->click();
        QCOMPARE(grid()->Cells(10, 1), before);
        QVERIFY(!dialog()->isVisible());
    }
};

QTEST_MAIN(TestDoorLine)
#include "test_doorline.moc"
