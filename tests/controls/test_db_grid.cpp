// The highlighting data grid over a query: its model, the current record in both directions, the
// colours with and without focus, the wheel as arrow keys, and editing with pending rows.

#include "controls/QorDBGrid.h"
#include "store/Database.h"
#include "support/FakeDialogs.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

using namespace kvt;

namespace {
const QColor kNavy(0, 0, 128);
const QColor kGreen(0, 128, 0);

const QString kClients =
    QStringLiteral("select 客户信息.自定义编号,客户信息.客户名,客户信息.客户ID from 客户信息 order by 客户ID");

/// A fresh database file with four clients, open while it lives.
struct ClientsDb {
    QTemporaryDir dir;
    ClientsDb() {
        Database::Open(dir.filePath("kvt.db"));
        Database::Exec("insert into 客户信息 (自定义编号,客户名) values (\"A1\",\"甲\")");
        Database::Exec("insert into 客户信息 (自定义编号,客户名) values (\"B2\",\"乙\")");
        Database::Exec("insert into 客户信息 (自定义编号,客户名) values (\"C3\",\"丙\")");
        Database::Exec("insert into 客户信息 (自定义编号,客户名) values (\"D4\",\"丁\")");
    }
    ~ClientsDb() { Database::Close(); }
};

/// A shown window with the grid over an open client list and an edit box to take the focus.
struct Window {
    ClientsDb db;
    QWidget top;
    QLineEdit* other = new QLineEdit(&top);
    TQorDBGrid* grid = new TQorDBGrid(&top);
    DataQuery query;
    Window() {
        auto* layout = new QVBoxLayout(&top);
        layout->addWidget(other);
        layout->addWidget(grid);
        top.resize(500, 300);
        grid->SetDataQuery(&query);
        query.SetSql(kClients);
        query.Open();
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));
    }
    QColor fillOf(int dataColumn, int record) {
        const QImage img = grid->viewport()->grab().toImage();
        const QRect r = grid->CellRect(dataColumn, record);
        return img.pixelColor(r.right() - 3, r.bottom() - 2);
    }
    void wheel(int amount) {
        const QPointF at = grid->viewport()->rect().center();
        QWheelEvent ev(at, grid->viewport()->mapToGlobal(at), QPoint(), QPoint(0, amount), Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &ev);
    }
};
} // namespace

class TestDBGrid : public QObject {
    Q_OBJECT
private slots:
    void modelFollowsQuery();
    void currentRecordBothWays();
    void colours_data();
    void colours();
    void coloursSetLater_data();
    void coloursSetLater();
    void wheelIsArrowKey_data();
    void wheelIsArrowKey();
    void readOnlyByDefault();
    void appendAndDrop();
    void editAndDelete();
};

void TestDBGrid::modelFollowsQuery() {
    ClientsDb db;
    DataQuery q;
    TQorDBGrid grid;
    QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    grid.SetDataQuery(&q);
    QCOMPARE(grid.ColumnCount(), 0);
    q.SetSql(kClients);
    q.Open();
    QCOMPARE(grid.ColumnCount(), 3);
    QCOMPARE(grid.model()->rowCount(), 4);
    QCOMPARE(grid.ColumnTitle(1), QString("客户名"));
    QCOMPARE(grid.model()->index(2, 1).data().toString(), QString("丙"));
    // Numbers stand to the right, texts to the left.
    QCOMPARE(grid.model()->index(0, 2).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
             Qt::AlignRight);

    // Hidden and moved fields: the grid shows what the query displays, in its order.
    q.SetFieldVisible(0, false);
    q.SetDisplayIndex(2, 0);
    QCOMPARE(grid.ColumnCount(), 2);
    QCOMPARE(grid.ColumnTitle(0), QString("客户ID"));
    QCOMPARE(grid.ColumnTitle(1), QString("客户名"));
    QCOMPARE(grid.model()->index(3, 0).data().toString(), QString("4"));

    grid.SetReadOnly(false);
    q.AppendRow();
    QCOMPARE(grid.model()->rowCount(), 5);
    QVERIFY(grid.model()->setData(grid.model()->index(4, 1), "戊"));
    QCOMPARE(q.TextAt(5, 1), QString("戊"));
    q.MoveToRow(2);
    q.DeleteRow();
    QCOMPARE(grid.model()->rowCount(), 4);
    QCOMPARE(grid.model()->index(1, 1).data().toString(), QString("丙"));
    q.Close();
    QCOMPARE(grid.model()->rowCount(), 0);
    QCOMPARE(grid.ColumnCount(), 0);
}

void TestDBGrid::currentRecordBothWays() {
    Window w;
    w.grid->setFocus();
    QCOMPARE(w.grid->currentIndex().row(), 0);
    w.query.MoveToRow(3);
    QCOMPARE(w.grid->currentIndex().row(), 2);
    QTest::keyClick(w.grid, Qt::Key_Down);
    QCOMPARE(w.query.CurrentRow(), 4);
    QTest::mouseClick(w.grid->viewport(), Qt::LeftButton, {}, w.grid->CellRect(1, 2).center());
    QCOMPARE(w.query.CurrentRow(), 2);
    QCOMPARE(w.grid->CurrentDataColumn(), 1);
    QCOMPARE(w.grid->model()->headerData(1, Qt::Vertical).toString(), QString(QChar(0x25B6)));
    QCOMPARE(w.grid->model()->headerData(0, Qt::Vertical).toString(), QString());
}

void TestDBGrid::colours_data() {
    QTest::addColumn<bool>("focused");
    QTest::addColumn<int>("record");
    QTest::addColumn<int>("column");
    QTest::newRow("focused") << true << 2 << 1;
    QTest::newRow("unfocused") << false << 3 << 0;
}

void TestDBGrid::colours() {
    QFETCH(bool, focused);
    QFETCH(int, record);
    QFETCH(int, column);
    Window w;
    w.grid->setFocus();
    w.grid->setCurrentIndex(w.grid->model()->index(record - 1, column));
    if (!focused)
        w.other->setFocus();
    QCOMPARE(w.grid->hasFocus(), focused);
    QCOMPARE(w.query.CurrentRow(), record);
    for (int r = 1; r <= 4; ++r)
        for (int c = 0; c < 3; ++c) {
            const QColor got = w.fillOf(c, r);
            if (r == record)
                QCOMPARE(got, c == column ? kNavy : kGreen);
            else
                QVERIFY2(got != kNavy && got != kGreen, qPrintable(QString("(%1,%2)").arg(c).arg(r)));
        }
}

void TestDBGrid::coloursSetLater_data() {
    QTest::addColumn<QColor>("cellColor"); // set when not invalid
    QTest::addColumn<QColor>("rowColor");  // set when not invalid
    QTest::addColumn<bool>("clearCell");   // the cell colour set to none
    QTest::addColumn<QColor>("cell");
    QTest::addColumn<QColor>("row");
    const QColor red(200, 0, 0), yellow(220, 220, 0);
    QTest::newRow("cell colour") << red << QColor() << false << red << kGreen;
    QTest::newRow("row colour") << QColor() << yellow << false << kNavy << yellow;
    QTest::newRow("both") << red << yellow << false << red << yellow;
    // As the string grid's: no cell colour of its own follows the desktop's highlight colour.
    QTest::newRow("no cell colour") << QColor() << QColor() << true << QColor() << kGreen;
}

void TestDBGrid::coloursSetLater() {
    QFETCH(QColor, cellColor);
    QFETCH(QColor, rowColor);
    QFETCH(bool, clearCell);
    QFETCH(QColor, cell);
    QFETCH(QColor, row);
    Window w;
    w.grid->setFocus();
    w.grid->setCurrentIndex(w.grid->model()->index(1, 1));
    if (cellColor.isValid() || clearCell)
        w.grid->SetSelCellColor(cellColor);
    if (rowColor.isValid())
        w.grid->SetSelRowColor(rowColor);
    if (!cell.isValid())
        cell = w.grid->palette().color(QPalette::Active, QPalette::Highlight);
    QCOMPARE(w.grid->SelCellColor(), cell);
    QCOMPARE(w.fillOf(1, 2), cell);
    QCOMPARE(w.fillOf(0, 2), row);
    QCOMPARE(w.fillOf(2, 2), row);
    QVERIFY(w.fillOf(1, 1) != cell && w.fillOf(1, 1) != row);
}

void TestDBGrid::wheelIsArrowKey_data() {
    QTest::addColumn<QList<int>>("amounts");
    QTest::addColumn<int>("record");
    QTest::addColumn<QList<int>>("keys");
    const int up = Qt::Key_Up, down = Qt::Key_Down;
    QTest::newRow("towards the user") << QList<int>{-120} << 3 << QList<int>{down};
    QTest::newRow("away from the user") << QList<int>{120} << 1 << QList<int>{up};
    QTest::newRow("two notches in one") << QList<int>{-240} << 4 << QList<int>{down, down};
    QTest::newRow("half notches") << QList<int>{-60, -60} << 3 << QList<int>{down};
    QTest::newRow("half back and forth") << QList<int>{-60, 60} << 2 << QList<int>{};
    QTest::newRow("past the last row") << QList<int>{-120, -120, -120} << 4 << QList<int>{down, down, down};
}

void TestDBGrid::wheelIsArrowKey() {
    QFETCH(QList<int>, amounts);
    QFETCH(int, record);
    QFETCH(QList<int>, keys);
    Window w;
    w.query.MoveToRow(2);
    QList<int> seen;
    QObject::connect(w.grid, &TQorDBGrid::keyDown, [&](int& key, Qt::KeyboardModifiers) { seen << key; });
    for (int a : amounts)
        w.wheel(a);
    QCOMPARE(w.query.CurrentRow(), record);
    QCOMPARE(seen, keys);
    QCOMPARE(w.query.RowCount(), 4); // read-only: the wheel never appends
}

void TestDBGrid::readOnlyByDefault() {
    Window w;
    QVERIFY(w.grid->ReadOnly());
    w.grid->setFocus();
    QTest::keyClicks(w.grid, "x");
    QCOMPARE(w.grid->focusWidget(), w.grid); // no editor opened
    QTest::keyClick(w.grid, Qt::Key_Insert);
    QTest::keyClick(w.grid, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(w.grid, Qt::Key_Down);
    QCOMPARE(w.query.RowCount(), 4);
    QVERIFY(!w.query.HasPendingChanges());
}

void TestDBGrid::appendAndDrop() {
    Window w;
    w.grid->SetReadOnly(false);
    w.grid->setFocus();
    w.query.MoveToRow(4);
    QTest::keyClick(w.grid, Qt::Key_Down);
    QCOMPARE(w.query.RowCount(), 5);
    QCOMPARE(w.query.CurrentRow(), 5);
    QCOMPARE(w.query.StateOf(5), RowState::Inserted);
    QCOMPARE(w.grid->model()->headerData(4, Qt::Vertical).toString(), QString("*"));
    QTest::keyClick(w.grid, Qt::Key_Down); // standing on the new row: no second one
    QCOMPARE(w.query.RowCount(), 5);

    // Leaving the untouched row drops it.
    QTest::keyClick(w.grid, Qt::Key_Up);
    QCOMPARE(w.query.RowCount(), 4);
    QCOMPARE(w.query.CurrentRow(), 4);
    QVERIFY(!w.query.HasPendingChanges());

    // Insert appends too; losing the focus drops an untouched row.
    QTest::keyClick(w.grid, Qt::Key_Insert);
    QCOMPARE(w.query.RowCount(), 5);
    w.other->setFocus();
    QCOMPARE(w.query.RowCount(), 4);

    // A row typed into stays, pending.
    w.grid->setFocus();
    w.wheel(-120); // on the last row a wheel step is a Down key as well
    QCOMPARE(w.query.RowCount(), 5);
    QTest::keyClicks(w.grid, "E");
    QWidget* editor = QApplication::focusWidget();
    QVERIFY(editor != w.grid);
    QTest::keyClicks(editor, "5");
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClick(w.grid, Qt::Key_Up);
    QCOMPARE(w.query.RowCount(), 5);
    QCOMPARE(w.query.TextAt(5, 0), QString("E5"));
    QCOMPARE(w.query.StateOf(5), RowState::Inserted);
}

void TestDBGrid::editAndDelete() {
    test::FakeDialogs dialogs;
    Window w;
    w.grid->SetReadOnly(false);
    w.grid->setFocus();

    // A value the column refuses is reported and not taken.
    QVERIFY(!w.grid->model()->setData(w.grid->model()->index(0, 2), "abc"));
    QCOMPARE(dialogs.messages.size(), 1);
    QCOMPARE(w.query.TextAt(1, 2), QString("1"));

    w.query.MoveToRow(2);
    dialogs.answers = {false};
    QTest::keyClick(w.grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(dialogs.questions, QStringList{"Delete record?"});
    QCOMPARE(w.query.RowCount(), 4);
    dialogs.answers = {true};
    QTest::keyClick(w.grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(w.query.RowCount(), 3);
    QCOMPARE(w.query.TextAt(2, 1), QString("丙"));
    QVERIFY(w.query.HasPendingChanges());

    // The owner can swallow a key before the grid acts on it.
    QObject::connect(w.grid, &TQorDBGrid::keyDown, [](int& key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_Insert)
            key = 0;
    });
    QTest::keyClick(w.grid, Qt::Key_Insert);
    QCOMPARE(w.query.RowCount(), 3);

    // Switching editing off closes an open editor and keeps what was typed.
    QTest::keyClicks(w.grid, "Z");
    QVERIFY(QApplication::focusWidget() != w.grid);
    w.grid->SetReadOnly(true);
    QCOMPARE(w.query.TextAt(w.query.CurrentRow(), w.grid->queryModel()->fieldOf(w.grid->CurrentDataColumn())),
             QString("Z"));
}

QTEST_MAIN(TestDBGrid)
#include "test_db_grid.moc"
