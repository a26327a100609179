// The highlighting string grid: cell addressing, the selection colours on rendered pixels, the
// cell-selection check, and keys reaching the window while an in-cell editor is open.

#include "controls/QorControlUnit.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using kvt::TQorStringGrid;

namespace {
const QColor kCell(0, 0, 255);
const QColor kRow(0, 128, 0);
const QColor kBase(255, 255, 255);

/// A shown 5 x 4 grid (4 x 3 line cells) with short texts and distinct colours.
struct ShownGrid {
    TQorStringGrid grid;
    ShownGrid() {
        QPalette pal = grid.palette();
        pal.setColor(QPalette::Base, kBase);
        pal.setColor(QPalette::Text, Qt::black);
        grid.setPalette(pal);
        grid.SetColCount(5);
        grid.SetRowCount(4);
        for (int c = 1; c < 5; ++c) {
            grid.SetCells(c, 0, QStringLiteral("T%1").arg(c));
            for (int r = 1; r < 4; ++r)
                grid.SetCells(c, r, QStringLiteral("%1").arg(c * 10 + r));
        }
        grid.SetSelCellColor(kCell);
        grid.SetSelRowColor(kRow);
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
    }
    /// Fill colour of a line cell, read near its bottom-right corner (the text sits top-left).
    QColor fillOf(int col, int row) {
        const QImage img = grid.viewport()->grab().toImage();
        const QRect r = grid.CellRect(col, row);
        return img.pixelColor(r.right() - 2, r.bottom() - 2);
    }
};

/// Moves written as "R", "L", "D", "U" (arrow keys), "c:col,row" (mouse click), "s:col,row"
/// (SetCurrentCell).
void applyMove(TQorStringGrid& grid, const QString& move) {
    static const QHash<QString, Qt::Key> keys{
        {"R", Qt::Key_Right}, {"L", Qt::Key_Left}, {"D", Qt::Key_Down}, {"U", Qt::Key_Up}};
    if (keys.contains(move)) {
        QTest::keyClick(&grid, keys[move]);
        return;
    }
    const QStringList parts = move.mid(2).split(',');
    const int col = parts[0].toInt(), row = parts[1].toInt();
    if (move.startsWith("c:"))
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.CellRect(col, row).center());
    else
        grid.SetCurrentCell(col, row);
}
} // namespace

class TestStringGrid : public QObject {
    Q_OBJECT
private slots:
    void addressing();
    void colours_data();
    void colours();
    void checkSeesProgramMoves();
    void keysWhileEditing_data();
    void keysWhileEditing();
    void programWriteBeatsOpenEditor();
    void clearingEmptiesWhatIsShown();
    void editingPerColumn();
    void doubleClickReportsCurrentCell();
};

void TestStringGrid::addressing() {
    TQorStringGrid grid;
    grid.SetColCount(13);
    grid.SetRowCount(11);
    QCOMPARE(grid.ColCount(), 13);
    QCOMPARE(grid.RowCount(), 11);
    grid.SetCells(3, 0, "玻璃款式");
    grid.SetCells(12, 10, "7");
    grid.SetCells(0, 4, "x");
    QCOMPARE(grid.Cells(3, 0), QString("玻璃款式"));
    QCOMPARE(grid.Cells(12, 10), QString("7"));
    QCOMPARE(grid.Cells(0, 4), QString("x"));
    QCOMPARE(grid.Cells(5, 5), QString());  // never written
    QCOMPARE(grid.Cells(13, 1), QString()); // outside
    QCOMPARE(grid.Cells(1, 11), QString());
    QCOMPARE(grid.Cells(-1, 0), QString());
    // Fixed cells carry no numbers of their own.
    QCOMPARE(grid.Cells(7, 0), QString());
    QCOMPARE(grid.Cells(0, 7), QString());

    grid.SetColWidths(0, 20);
    grid.SetColWidths(2, 180);
    QCOMPARE(grid.ColWidths(0), 20);
    QCOMPARE(grid.ColWidths(2), 180);

    // The current cell is a line cell from the start, and fixed cells cannot become current.
    QCOMPARE(grid.Col(), 1);
    QCOMPARE(grid.Row(), 1);
    QVERIFY(!grid.SetCurrentCell(0, 3));
    QVERIFY(!grid.SetCurrentCell(3, 0));
    QVERIFY(!grid.SetCurrentCell(13, 1));
    QVERIFY(grid.SetCurrentCell(12, 10));
    QCOMPARE(grid.Col(), 12);
    QCOMPARE(grid.Row(), 10);

    // Shrinking keeps the texts of the rows that remain; growing adds empty rows.
    grid.SetRowCount(4);
    QCOMPARE(grid.RowCount(), 4);
    QVERIFY(grid.Row() <= 3);
    grid.SetRowCount(6);
    QCOMPARE(grid.Cells(12, 5), QString());
    QCOMPARE(grid.Cells(3, 0), QString("玻璃款式"));
}

void TestStringGrid::colours_data() {
    QTest::addColumn<QStringList>("moves");
    QTest::addColumn<QPoint>("refused"); // a cell the window refuses, (0,0) for none
    QTest::addColumn<bool>("rowSelect");
    QTest::addColumn<QPoint>("current");

    QTest::newRow("start") << QStringList{} << QPoint() << false << QPoint(1, 1);
    QTest::newRow("within row by key") << QStringList{"R", "R"} << QPoint() << false << QPoint(3, 1);
    QTest::newRow("within row and back") << QStringList{"R", "R", "L"} << QPoint() << false << QPoint(2, 1);
    QTest::newRow("to another row by key") << QStringList{"R", "D"} << QPoint() << false << QPoint(2, 2);
    QTest::newRow("to another row by click") << QStringList{"c:4,3"} << QPoint() << false << QPoint(4, 3);
    QTest::newRow("by program") << QStringList{"s:3,2", "s:1,3"} << QPoint() << false << QPoint(1, 3);
    QTest::newRow("refused key") << QStringList{"R", "D"} << QPoint(2, 2) << false << QPoint(2, 1);
    QTest::newRow("refused click") << QStringList{"s:2,2", "c:4,3"} << QPoint(4, 3) << false << QPoint(2, 2);
    QTest::newRow("refused program") << QStringList{"s:3,3"} << QPoint(3, 3) << false << QPoint(1, 1);
    QTest::newRow("row select") << QStringList{"R", "D"} << QPoint() << true << QPoint(2, 2);
}

void TestStringGrid::colours() {
    QFETCH(QStringList, moves);
    QFETCH(QPoint, refused);
    QFETCH(bool, rowSelect);
    QFETCH(QPoint, current);

    ShownGrid g;
    g.grid.SetRowSelect(rowSelect);
    g.grid.setFocus();
    QObject::connect(&g.grid, &TQorStringGrid::selectCell, [&](int c, int r, bool& can) {
        if (QPoint(c, r) == refused)
            can = false;
    });
    for (const QString& m : moves)
        applyMove(g.grid, m);

    QCOMPARE(QPoint(g.grid.Col(), g.grid.Row()), current);
    for (int r = 1; r < 4; ++r)
        for (int c = 1; c < 5; ++c) {
            const QColor want = r != current.y() ? kBase : (c == current.x() && !rowSelect) ? kCell : kRow;
            if (g.fillOf(c, r) != want)
                QFAIL(qPrintable(QStringLiteral("cell (%1,%2) is %3, expected %4")
                                     .arg(c)
                                     .arg(r)
                                     .arg(g.fillOf(c, r).name(), want.name())));
        }
    // The text of the current cell is written in the cell's text colour over its fill.
    const QImage img = g.grid.viewport()->grab().toImage();
    const QRect rc = g.grid.CellRect(current.x(), current.y());
    bool whiteInk = false;
    for (int y = rc.top(); y < rc.top() + 16 && !whiteInk; ++y)
        for (int x = rc.left(); x < rc.left() + 20; ++x)
            whiteInk |= img.pixelColor(x, y) == QColor(Qt::white);
    QVERIFY(whiteInk);
}

void TestStringGrid::checkSeesProgramMoves() {
    TQorStringGrid grid;
    grid.SetColCount(13);
    grid.SetRowCount(11);
    QList<QPoint> asked;
    QObject::connect(&grid, &TQorStringGrid::selectCell, [&](int c, int r, bool& can) {
        asked << QPoint(c, r);
        can = c != 12;
    });
    grid.SetCol(3);
    grid.SetRow(4);
    QVERIFY(!grid.SetCurrentCell(12, 4));
    grid.SetCol(3); // already there: nothing to ask
    QCOMPARE(asked, (QList<QPoint>{{3, 1}, {3, 4}, {12, 4}}));
    QCOMPARE(QPoint(grid.Col(), grid.Row()), QPoint(3, 4));
}

void TestStringGrid::keysWhileEditing_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("finalKey");
    QTest::addColumn<QString>("seenAtKey"); // Cells() of the current cell when the key arrived
    QTest::addColumn<QString>("cellAfter");

    QTest::newRow("enter sees typed text") << "abc" << int(Qt::Key_Return) << "abc"
                                           << "abc";
    QTest::newRow("keypad enter is enter") << "12" << int(Qt::Key_Enter) << "12"
                                           << "12";
    QTest::newRow("escape restores") << "xyz" << int(Qt::Key_Escape) << "xyz"
                                     << "old";
}

void TestStringGrid::keysWhileEditing() {
    QFETCH(QString, typed);
    QFETCH(int, finalKey);
    QFETCH(QString, seenAtKey);
    QFETCH(QString, cellAfter);

    ShownGrid g;
    g.grid.SetEditing(true);
    g.grid.SetCells(1, 1, "old");
    g.grid.setFocus();
    QList<int> keys;
    QString seen;
    QObject::connect(&g.grid, &TQorStringGrid::keyDown, [&](int& key, Qt::KeyboardModifiers) {
        keys << key;
        seen = g.grid.Cells(g.grid.Col(), g.grid.Row());
    });
    QTest::keyClicks(&g.grid, typed.left(1)); // the first key opens the editor, which takes the focus
    QVERIFY(g.grid.IsEditorOpen());
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    QTest::keyClicks(editor, typed.mid(1));
    QCOMPARE(editor->text(), typed);
    QTest::keyClick(editor, Qt::Key(finalKey));

    QCOMPARE(keys.size(), typed.size() + 1); // every key once, the opening key included
    QCOMPARE(keys.last(), finalKey == Qt::Key_Enter ? int(Qt::Key_Return) : finalKey);
    QCOMPARE(seen, seenAtKey);
    QCOMPARE(g.grid.Cells(1, 1), cellAfter);
    QVERIFY(!g.grid.IsEditorOpen());
}

void TestStringGrid::clearingEmptiesWhatIsShown() {
    // The bill window empties its grid on closing in one go; what the grid shows afterwards, the
    // titles and an editor left open included, must be as empty as what it holds.
    ShownGrid g;
    g.grid.SetCells(0, 0, "角");
    g.grid.SetCells(0, 2, "行2");
    // Read from the screen, not rendered afresh: a cell left unrepainted still shows its text there.
    auto darkPixels = [&](QWidget* w) {
        QApplication::processEvents();
        const QPoint at = w->mapTo(&g.grid, QPoint(0, 0));
        const QImage img =
            g.grid.screen()->grabWindow(g.grid.winId(), at.x(), at.y(), w->width(), w->height()).toImage();
        int dark = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor p = img.pixelColor(x, y);
                dark += p.red() < 80 && p.green() < 80 && p.blue() < 80;
            }
        return dark;
    };
    QVERIFY(darkPixels(g.grid.viewport()) > 0);
    QVERIFY(darkPixels(g.grid.horizontalHeader()->viewport()) > 0);

    g.grid.ClearCells();
    for (int c = 0; c < g.grid.ColCount(); ++c)
        for (int r = 0; r < g.grid.RowCount(); ++r)
            QVERIFY2(g.grid.Cells(c, r).isEmpty(), qPrintable(QStringLiteral("%1,%2").arg(c).arg(r)));
    QCOMPARE(darkPixels(g.grid.viewport()), 0);
    QCOMPARE(darkPixels(g.grid.horizontalHeader()->viewport()), 0);
    QCOMPARE(darkPixels(g.grid.verticalHeader()->viewport()), 0);
    // Writing again shows again.
    g.grid.SetCells(3, 2, "新");
    QVERIFY(darkPixels(g.grid.viewport()) > 0);

    // An editor open on a cell is closed unsaved: what was typed does not come back later.
    g.grid.SetEditing(true);
    g.grid.SetCurrentCell(2, 3);
    g.grid.setFocus();
    QTest::keyClick(&g.grid, Qt::Key_X);
    QVERIFY(g.grid.IsEditorOpen());
    g.grid.ClearCells();
    QVERIFY(!g.grid.IsEditorOpen());
    g.grid.SetCurrentCell(1, 1);
    QCOMPARE(g.grid.Cells(2, 3), QString());
    QCOMPARE(g.grid.Cells(3, 2), QString());
}

void TestStringGrid::programWriteBeatsOpenEditor() {
    // The window's Enter handler fills cells of the row (as a product choice does) while the editor
    // is still open; closing the editor later must not bring the typed text back.
    ShownGrid g;
    g.grid.SetEditing(true);
    g.grid.setFocus();
    QObject::connect(&g.grid, &TQorStringGrid::keyDown, [&](int& key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_Return) {
            g.grid.SetCells(1, 1, "A01");
            g.grid.SetCells(2, 1, "门框");
        }
    });
    QTest::keyClick(&g.grid, Qt::Key_L);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    g.grid.SetCurrentCell(3, 2);
    QCOMPARE(g.grid.Cells(1, 1), QString("A01"));
    QCOMPARE(g.grid.Cells(2, 1), QString("门框"));

    // A swallowed key opens no editor and changes nothing.
    QObject::connect(&g.grid, &TQorStringGrid::keyDown, [](int& key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_Q)
            key = 0;
    });
    QTest::keyClick(&g.grid, Qt::Key_Q);
    QVERIFY(!g.grid.IsEditorOpen());
    QCOMPARE(g.grid.Cells(3, 2), QString("32"));
}

void TestStringGrid::editingPerColumn() {
    ShownGrid g;
    g.grid.setFocus();
    QTest::keyClicks(&g.grid, "9");
    QVERIFY(!g.grid.IsEditorOpen()); // editing is off until the owner switches it on

    g.grid.SetEditing(true);
    g.grid.SetColumnEditable(2, false);
    QVERIFY(g.grid.SetCurrentCell(2, 1));
    QTest::keyClicks(&g.grid, "9");
    QVERIFY(!g.grid.IsEditorOpen());
    QCOMPARE(g.grid.Cells(2, 1), QString("21"));

    QVERIFY(g.grid.SetCurrentCell(3, 1));
    QTest::keyClicks(&g.grid, "9");
    QVERIFY(g.grid.IsEditorOpen());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(g.grid.Cells(3, 1), QString("9"));
}

void TestStringGrid::doubleClickReportsCurrentCell() {
    ShownGrid g;
    QSignalSpy spy(&g.grid, &TQorStringGrid::dblClick);
    QTest::mouseDClick(g.grid.viewport(), Qt::LeftButton, {}, g.grid.CellRect(3, 2).center());
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy[0][0].toInt(), 3);
    QCOMPARE(spy[0][1].toInt(), 2);
    // The full sequence of a real double-click reports once.
    QTest::mouseClick(g.grid.viewport(), Qt::LeftButton, {}, g.grid.CellRect(1, 3).center());
    QTest::mouseDClick(g.grid.viewport(), Qt::LeftButton, {}, g.grid.CellRect(1, 3).center());
    QCOMPARE(spy.size(), 2);
    QCOMPARE(spy[1][1].toInt(), 3);
}

QTEST_MAIN(TestStringGrid)
#include "test_string_grid.moc"
