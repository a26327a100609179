// Line sizes from product formulas: the formula preparation and rounding on their own, then
// the four Enter triggers through the real window.

#include "bill/BillFormula.h"
#include "test_bill_support.h"

#include <cmath>
#include <limits>

using namespace kvt;
using namespace kvt::test;

namespace {
const QStringList kFrameTitles = {"",     "编号", "商品名称", "玻璃款式", "见光宽", "见光高", "埋地",
                                  "总宽", "总高", "数量",     "门框附加", "备注",   "商品ID"};
const QString Q = QStringLiteral("\"");
} // namespace

class TestBillSizes : public QObject {
    Q_OBJECT
    QTemporaryDir* m_dir = nullptr;
    FakeDialogs* m_dialogs = nullptr;

    void startWindows() {
        m_dir = new QTemporaryDir;
        CreateForms(m_dir->filePath(QStringLiteral("kvt.db")));
    }

private slots:
    void init() { m_dialogs = new FakeDialogs; }
    void cleanup() {
        if (m_dir) {
            DestroyForms();
            delete m_dir;
            m_dir = nullptr;
        }
        delete m_dialogs;
    }

    void substitute_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("prepared");
        QTest::newRow("one title") << Q + "见光宽" + Q + "+40" << true << "900+40";
        QTest::newRow("two titles") << Q + "见光宽" + Q + "-" + Q + "埋地" + Q << true << "900-20";
        QTest::newRow("no quotes") << "12*2" << true << "12*2";
        QTest::newRow("space cell verbatim") << Q + "玻璃款式" + Q + "1" << true << " 1";
        QTest::newRow("unknown title fails") << Q + "见光宽" + Q + "+" + Q + "宽度" + Q << false << "";
        QTest::newRow("unclosed quote fails") << "10+" + Q + "见光宽" << false << "";
        QTest::newRow("column 0 is no title") << Q + Q + "+1" << false << "";
    }
    void substitute() {
        QFETCH(QString, formula);
        QStringList row(13);
        row[3] = " ";
        row[4] = "900";
        row[6] = "20";
        const std::optional<QString> out = substituteFields(formula, kFrameTitles, row);
        QTEST(out.has_value(), "ok");
        if (out)
            QTEST(*out, "prepared");
    }

    void rounding_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("850.5") << 850.5 << qint64(850);
        QTest::newRow("851.5") << 851.5 << qint64(852);
        QTest::newRow("12.5") << 12.5 << qint64(12);
        QTest::newRow("13.5") << 13.5 << qint64(14);
        QTest::newRow("-2.5") << -2.5 << qint64(-2);
        QTest::newRow("-2.6") << -2.6 << qint64(-3);
        QTest::newRow("940.49") << 940.49 << qint64(940);
    }
    void rounding() {
        QFETCH(double, value);
        QVERIFY(roundHalfEven(value).has_value());
        QTEST(*roundHalfEven(value), "expected");
    }

    void roundingRefusesWhatNoIntegerHolds() {
        QVERIFY(!roundHalfEven(std::numeric_limits<double>::infinity()));
        QVERIFY(!roundHalfEven(std::nan("")));
        QVERIFY(!roundHalfEven(1e300));
    }

    void frameTriggers_data() {
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("entered");
        QTest::addColumn<QString>("formula");
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("nextCol");
        const QString w = Q + "见光宽" + Q;
        QTest::newRow("width 940") << 4 << "900" << w + "+40" << 7 << "940" << 5;
        QTest::newRow("width entered 0") << 4 << "0" << w + "+40" << 7 << "keep" << 5;
        QTest::newRow("width 850.5") << 4 << "850.5" << w << 7 << "850" << 5;
        QTest::newRow("width 851.5") << 4 << "851.5" << w << 7 << "852" << 5;
        QTest::newRow("width invalid") << 4 << "abc" << w + "+40" << 7 << "0" << 5;
        QTest::newRow("width unknown title") << 4 << "900" << Q + "宽" + Q + "+40" << 7 << "0" << 5;
        QTest::newRow("width empty formula") << 4 << "900"
                                             << "" << 7 << "keep" << 5;
        QTest::newRow("height") << 6 << "30" << Q + "见光高" + Q + "+" + Q + "埋地" + Q << 8 << "2030" << 8;
        QTest::newRow("height buried 0") << 6 << "0" << Q + "见光高" + Q << 8 << "keep" << 8;
        QTest::newRow("height empty formula") << 6 << "30"
                                              << "" << 8 << "keep" << 8;
    }
    void frameTriggers() {
        QFETCH(int, col);
        QFETCH(QString, entered);
        QFETCH(QString, formula);
        QFETCH(int, target);
        QFETCH(QString, expected);
        startWindows();
        const qint64 other = addProduct(QStringLiteral("别的"), QStringLiteral("B"), {"1", "1"});
        const qint64 id = col == 4 ? addProduct(QStringLiteral("木门"), QStringLiteral("A"), {formula, ""})
                                   : addProduct(QStringLiteral("木门"), QStringLiteral("A"), {"", formula});
        Q_UNUSED(other);
        openNewBill();
        TQorStringGrid* g = billGrid();
        g->SetCells(12, 1, QString::number(id));
        g->SetCells(5, 1, QStringLiteral("2000"));
        g->SetCells(target, 1, QStringLiteral("keep"));
        g->setFocus();
        gotoCell(col, 1);
        typeInGrid(entered);
        pressEnterInGrid();
        QCOMPARE(g->Cells(col, 1), entered);
        QCOMPARE(g->Cells(target, 1), expected);
        QTEST(g->Col(), "nextCol");
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void frameWithoutProductIsRefusedClearly() {
        startWindows();
        openNewBill();
        billGrid()->SetCells(4, 1, QStringLiteral("900"));
        gotoCell(4, 1);
        pressEnterInGrid();
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_dialogs->messages[0].contains(QStringLiteral("商品ID")));
        QCOMPARE(billGrid()->Col(), 4);
        QCOMPARE(billGrid()->Cells(7, 1), QString());
    }

    void unknownProductComputesNothing() {
        startWindows();
        const qint64 id = addProduct(QStringLiteral("木门"), QStringLiteral("A"), {"1+1", ""});
        openNewBill();
        // The lookup before leaves the product query on a product with a formula.
        billGrid()->SetCells(12, 1, QString::number(id));
        billGrid()->SetCells(4, 1, QStringLiteral("5"));
        gotoCell(4, 1);
        pressEnterInGrid();
        QCOMPARE(billGrid()->Cells(7, 1), QStringLiteral("2"));
        billGrid()->SetCells(12, 2, QString::number(id + 100));
        billGrid()->SetCells(4, 2, QStringLiteral("5"));
        billGrid()->SetCells(7, 2, QStringLiteral("keep"));
        gotoCell(4, 2);
        pressEnterInGrid();
        QCOMPARE(billGrid()->Cells(7, 2), QStringLiteral("keep"));
        QCOMPARE(billGrid()->Col(), 5);
    }

    void doorLeafTriggers() {
        startWindows();
        const QString mw = Q + "现量宽" + Q;
        const qint64 stored =
            addProduct(QStringLiteral("钢门"), QStringLiteral("S"),
                       {"", "", mw + "-10", Q + "现量高" + Q + "-5", "x" + mw, Q + "现量高" + Q + "/2"});
        const qint64 chosen = addProduct(QStringLiteral("木门"), QStringLiteral("W"), {"", "", mw + "+1", "", "", ""});
        Database::Exec(QStringLiteral("insert into 单据明细 (单据ID, 商品ID) values (8, %1)").arg(stored));
        TBillForm* b = billForm();
        b->LabelbillType->setText(QStringLiteral("2"));
        b->EditBill_id->setText(QStringLiteral("8"));
        b->ADOQuery_bill->Close();
        b->ADOQuery_bill->SetSql(QStringLiteral("select * from 单据明细 where 单据ID=8 order by 门框ID"));
        b->ADOQuery_bill->Open();
        b->LoadDoorLeafLines();
        b->show();
        TQorStringGrid* g = billGrid();
        QCOMPARE(g->Cells(2, 1), QStringLiteral("钢门"));
        // The stored product counts, not a different id typed into the cell.
        g->SetCells(18, 1, QString::number(chosen));
        g->SetCells(7, 1, QStringLiteral("800"));
        gotoCell(7, 1);
        pressEnterInGrid();
        QCOMPARE(g->Cells(9, 1), QStringLiteral("790"));
        QCOMPARE(g->Cells(11, 1), QStringLiteral("0")); // glass formula fails silently
        QCOMPARE(g->Col(), 8);
        g->SetCells(8, 1, QStringLiteral("2001"));
        pressEnterInGrid();
        QCOMPARE(g->Cells(10, 1), QStringLiteral("1996"));
        QCOMPARE(g->Cells(12, 1), QStringLiteral("1000")); // 1000.5 to even
        QCOMPARE(g->Col(), 9);

        // A line added since the load has no stored product: the one chosen into its cell counts.
        b->Button_add_new->setEnabled(true);
        b->Button_add_new->click();
        QCOMPARE(g->RowCount(), 3);
        g->SetCells(18, 2, QString::number(chosen));
        g->SetCells(7, 2, QStringLiteral("800"));
        gotoCell(7, 2);
        pressEnterInGrid();
        QCOMPARE(g->Cells(9, 2), QStringLiteral("801"));
        QVERIFY(m_dialogs->messages.isEmpty());
    }
};

QTEST_MAIN(TestBillSizes)
#include "test_bill_sizes.moc"
