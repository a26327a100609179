// The product editor's formula tools through the real windows: the save refused or asked about a
// formula, the untouched road of products without formulas, and the formula test window against
// what the bill window computes for the same line.

#include "bill/test_bill_support.h"
#include "controls/QorDBGrid.h"
#include "refdata/FormulaTestUnit.h"

#include <QPointer>
#include <QTableWidget>

using namespace kvt;
using namespace kvt::test;

namespace {

const QString Q = QStringLiteral("\"");

QWidget* cg() {
    return Form(QStringLiteral("CGForm"));
}
template <class T> T* cgc(const char* name) {
    return Control<T>(cg(), QString::fromLatin1(name));
}
DataQuery* list() {
    return cg()->findChild<DataQuery*>(QStringLiteral("CGQuery"));
}
TQorDBGrid* editorGrid() {
    return cgc<TQorDBGrid>("CGDBGrid");
}

/// The main window's "商品信息管理", then Enter in the empty search box: every product, by name.
void openProductEditor() {
    Control<QPushButton>(QStringLiteral("MainForm"), QStringLiteral("Button4"))->click();
    QVERIFY(QTest::qWaitForWindowActive(cg()));
    QTest::keyClick(cgc<QLineEdit>("Edit_Find"), Qt::Key_Return);
    editorGrid()->setFocus();
}
int listRowOf(const QString& name) {
    for (int r = 1; r <= list()->RowCount(); ++r)
        if (list()->TextAt(r, list()->FieldIndex(QStringLiteral("商品名称"))) == name)
            return r;
    return 0;
}
int shownColumnOf(const QString& field) {
    return list()->DisplayColumns().indexOf(list()->FieldIndex(field));
}
/// Gives a cell of the editor's list a new text the way the grid's editor does.
void editCell(int row, const QString& field, const QString& text) {
    QAbstractItemModel* m = editorGrid()->model();
    QVERIFY(m->setData(m->index(row - 1, shownColumnOf(field)), text, Qt::EditRole));
}
QString stored(const QString& name, const QString& field) {
    return Scalar(QStringLiteral("select %1 from 商品信息 where 商品名称=%2").arg(field, SqlText(name)));
}

TFormulaTestForm* testWindow() {
    return cg()->findChild<TFormulaTestForm*>();
}
/// Opens the formula test window on a product of the editor's list.
TFormulaTestForm* openTestWindow(const QString& product) {
    editorGrid()->setCurrentIndex(editorGrid()->model()->index(listRowOf(product) - 1, 0));
    cgc<QPushButton>("Button_formula_test")->click();
    return testWindow();
}
QLineEdit* openEditor(QTableWidget* grid) {
    for (QLineEdit* e : grid->findChildren<QLineEdit*>())
        if (e->isVisible())
            return e;
    return nullptr;
}
/// Types a cell of one of the window's grids as the user does: F2, the text, Enter.
void typeCell(QTableWidget* grid, int row, int col, const QString& text) {
    grid->setFocus();
    grid->setCurrentCell(row, col);
    QTest::keyClick(grid, Qt::Key_F2);
    QLineEdit* editor = openEditor(grid);
    QVERIFY(editor);
    editor->selectAll();
    // Key by key; characters beyond ASCII travel as the key event's text.
    for (QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    QTest::keyClick(editor, Qt::Key_Return);
}
int sampleRowOf(TFormulaTestForm* w, const QString& title) {
    for (int r = 0; r < w->Grid_Sample->rowCount(); ++r)
        if (w->Grid_Sample->item(r, 0)->text() == title)
            return r;
    return -1;
}
/// The window's results in the order of its rows (the product table's formula columns).
QStringList results(TFormulaTestForm* w) {
    QStringList out;
    for (int r = 0; r < w->Grid_Formula->rowCount(); ++r)
        out << w->Grid_Formula->item(r, 2)->text();
    return out;
}

} // namespace

class TestFormulaTest : public QObject {
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

    // A formula is tried when its product is saved; a refusal or a No writes nothing at all.
    void saveRefusedOrAsked_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("question");
        QTest::addColumn<bool>("saved");
        const QString unknown = Q + "见光高" + Q + "+" + Q + "宽度" + Q;
        const QString asked =
            QStringLiteral("商品“木门”的外框高公式用到了“宽度”，门框单据中没有这一列，计算时按0计。仍然保存吗？");
        QTest::newRow("cannot be evaluated") << "外框宽公式" << Q + "见光宽" + Q + "+*40"
                                             << ""
                                             << "商品“木门”的外框宽公式不能计算：表达式中运算符前后有误！;"
                                             << "" << false;
        QTest::newRow("unknown title, No") << "外框高公式" << unknown << "n"
                                           << "" << asked << false;
        QTest::newRow("unknown title, Yes") << "外框高公式" << unknown << "y"
                                            << "" << asked << true;
        QTest::newRow("frame title in a door-leaf formula, No")
            << "门扇玻璃高公式" << Q + "总高" + Q + "-10"
            << "n"
            << ""
            << "商品“木门”的门扇玻璃高公式用到了“总高”，门扇单据中没有这一列，计算时按0计。仍然保存吗？" << false;
        QTest::newRow("evaluates: saved exactly as typed") << "门扇宽公式"
                                                           << " " + Q + "现量宽" + Q + " - 5 "
                                                           << ""
                                                           << ""
                                                           << "" << true;
    }
    void saveRefusedOrAsked() {
        QFETCH(QString, field);
        QFETCH(QString, formula);
        QFETCH(QString, answer);
        QFETCH(bool, saved);
        addProduct(QStringLiteral("木门"), QStringLiteral("A1"));
        addProduct(QStringLiteral("钢门"), QStringLiteral("B1"));
        openProductEditor();
        QVERIFY(cgc<QPushButton>("Button_formula_test")->isVisible());
        editCell(listRowOf(QStringLiteral("钢门")), QStringLiteral("商品说明"), QStringLiteral("改过"));
        const int row = listRowOf(QStringLiteral("木门"));
        editCell(row, field, formula);
        if (!answer.isEmpty())
            m_dialogs->answers = {answer == QLatin1String("y")};

        QTest::mouseClick(cgc<QPushButton>("Button_save"), Qt::LeftButton);

        QFETCH(QString, message);
        QFETCH(QString, question);
        QCOMPARE(m_dialogs->messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(m_dialogs->questions, question.isEmpty() ? QStringList() : QStringList{question});
        QCOMPARE(stored(QStringLiteral("木门"), field), saved ? formula : QString());
        QCOMPARE(stored(QStringLiteral("钢门"), QStringLiteral("商品说明")),
                 saved ? QStringLiteral("改过") : QString());
        QCOMPARE(list()->HasPendingChanges(), !saved);
        if (!saved) {
            QCOMPARE(editorGrid()->currentIndex().row(), row - 1);
            QCOMPARE(editorGrid()->currentIndex().column(), shownColumnOf(field));
        }
    }

    // Products without formulas, and products left as they were, save as before: no question.
    void productsWithoutFormulasSaveAsBefore() {
        addProduct(QStringLiteral("坏门"), QStringLiteral("X1"), {QStringLiteral("1+*"), QStringLiteral("\"宽\"")});
        addProduct(QStringLiteral("木门"), QStringLiteral("A1"));
        openProductEditor();
        editCell(listRowOf(QStringLiteral("木门")), QStringLiteral("商品名称"), QStringLiteral("木门二"));
        QTest::keyClick(editorGrid(), Qt::Key_Insert);
        editCell(list()->RowCount(), QStringLiteral("商品名称"), QStringLiteral("新门"));
        QTest::mouseClick(cgc<QPushButton>("Button_save"), Qt::LeftButton);
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->messages.join(QLatin1Char('|'))));
        QVERIFY(m_dialogs->questions.isEmpty());
        QVERIFY(!list()->HasPendingChanges());
        QCOMPARE(countRows(QStringLiteral("select * from 商品信息 where 商品名称 in (\"木门二\", \"新门\")")), 2);
        QCOMPARE(stored(QStringLiteral("坏门"), QStringLiteral("外框宽公式")), QStringLiteral("1+*"));
    }

    // The window's results are what the bill window writes for the same line and product.
    void sampleWindowMatchesBill() {
        const ProductFormulas f{Q + "见光宽" + Q + "+40.5",
                                Q + "见光高" + Q + "+" + Q + "埋地" + Q + "/2+" + Q + "总宽" + Q + "/1000",
                                "(" + Q + "门框总宽" + Q + "-" + Q + "现量宽" + Q + ")*2+" + Q + "见光宽" + Q + "/4",
                                Q + "现量高" + Q + "-" + Q + "门框总高" + Q + "/100",
                                Q + "门扇宽" + Q + "-100.5",
                                "roundto(" + Q + "门扇高" + Q + "*2/3,0)-" + Q + "数量" + Q};
        const qint64 product = addProduct(QStringLiteral("木门"), QStringLiteral("A1"), f);
        const qint64 client = addClient(QStringLiteral("张三"), QStringLiteral("c1"));
        const qint64 installer = addClient(QStringLiteral("李四"), QStringLiteral("c2"));

        openProductEditor();
        QPointer<TFormulaTestForm> w = openTestWindow(QStringLiteral("木门"));
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QCOMPARE(w->Grid_Sample->item(sampleRowOf(w, QStringLiteral("现量高")), 1)->text(), QStringLiteral("2112"));
        // Titles the formulas name beyond the typed sizes are cells of the line too.
        QVERIFY(sampleRowOf(w, QStringLiteral("门框总宽")) > 0);
        typeCell(w->Grid_Sample, sampleRowOf(w, QStringLiteral("见光宽")), 1, QStringLiteral("1001"));
        QCOMPARE(w->Grid_Sample->currentRow(), 1); // Enter moved on
        const QStringList shown = results(w);
        // 外框宽, 外框高, 门扇宽, 门扇高, 门扇玻璃宽, 门扇玻璃高
        QCOMPARE(shown, (QStringList{"1042", "2111", "524", "2091", "424", "1393"}));
        QTest::keyClick(w->Grid_Sample, Qt::Key_Escape);
        QTRY_VERIFY(!w || !w->isVisible());
        cgc<QPushButton>("Button_exit")->click();

        // The same line in a new frame bill: Enter along 见光宽, 见光高 and 埋地.
        openNewBill();
        const int billId = billForm()->EditBill_id->text().toInt();
        fillHeader(client, installer);
        TQorStringGrid* g = billGrid();
        gotoCell(1, 1);
        g->SetCells(1, 1, QStringLiteral("A1"));
        g->SetCells(2, 1, QStringLiteral("木门"));
        g->SetCells(12, 1, QString::number(product));
        billForm()->FillFrameLineDefaults();
        g->SetCells(4, 1, QStringLiteral("1001"));
        g->SetCells(5, 1, QStringLiteral("2100"));
        g->SetCells(6, 1, QStringLiteral("20"));
        g->setFocus();
        gotoCell(4, 1);
        pressEnterInGrid();
        pressEnterInGrid();
        pressEnterInGrid();
        QCOMPARE(g->Cells(7, 1), shown[0]);
        QCOMPARE(g->Cells(8, 1), shown[1]);
        billForm()->ButtonSave->click();
        QVERIFY(m_dialogs->messages.isEmpty());

        // Its door-leaf view: Enter in 现量宽 and 现量高.
        openSavedBill(billId, true);
        g = billGrid();
        g->setFocus();
        gotoCell(7, 1);
        g->SetCells(7, 1, QStringLiteral("905"));
        pressEnterInGrid();
        g->SetCells(8, 1, QStringLiteral("2112"));
        pressEnterInGrid();
        QCOMPARE(g->Cells(9, 1), shown[2]);
        QCOMPARE(g->Cells(10, 1), shown[3]);
        QCOMPARE(g->Cells(11, 1), shown[4]);
        QCOMPARE(g->Cells(12, 1), shown[5]);
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    // An edited formula is tried at once; "应用" puts it into the editor's row, pending, while
    // "关闭" and Escape leave the row as it was.
    void applyOrClose_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("applied");
        QTest::newRow("应用") << "apply" << true;
        QTest::newRow("Enter on to 应用") << "enter" << true;
        QTest::newRow("关闭") << "close" << false;
        QTest::newRow("Escape") << "escape" << false;
    }
    void applyOrClose() {
        QFETCH(QString, how);
        QFETCH(bool, applied);
        addProduct(QStringLiteral("木门"), QStringLiteral("A1"), {Q + "见光宽" + Q + "+40"});
        openProductEditor();
        QPointer<TFormulaTestForm> w = openTestWindow(QStringLiteral("木门"));
        QVERIFY(w);
        QCOMPARE(results(w).value(0), QStringLiteral("940"));
        const QString typed = Q + "见光宽" + Q + "*2+" + Q + "备注";
        typeCell(w->Grid_Formula, 0, 1, typed);
        QCOMPARE(results(w).value(0), QStringLiteral("0"));
        QCOMPARE(w->Grid_Formula->item(0, 3)->text(), QStringLiteral("双引号不成对;"));
        typeCell(w->Grid_Formula, 0, 1, Q + "见光宽" + Q + "*2+" + Q + "数量" + Q);
        QCOMPARE(results(w).value(0), QStringLiteral("1801"));
        QCOMPARE(w->Grid_Formula->currentRow(), 1); // Enter moved on
        // A title of the other layout is named: the bill writes 0 and the window says why.
        typeCell(w->Grid_Formula, 1, 1, Q + "现量高" + Q + "-1");
        QCOMPARE(results(w).value(1), QStringLiteral("0"));
        QCOMPARE(w->Grid_Formula->item(1, 3)->text(), QStringLiteral("门框单据中没有“现量高”这一列，单据中写0"));
        if (how == QLatin1String("enter")) {
            for (int row = w->Grid_Formula->currentRow(); row < w->Grid_Formula->rowCount(); ++row)
                QTest::keyClick(w->Grid_Formula, Qt::Key_Return);
            // The window's focus child (the headless platform need not make the window active).
            QCOMPARE(w->focusWidget(), w->Button_apply);
            QTest::keyClick(w->Button_apply, Qt::Key_Return);
        } else if (how == QLatin1String("apply")) {
            w->Button_apply->click();
        } else if (how == QLatin1String("close"))
            w->Button_close->click();
        else
            QTest::keyClick(w->Grid_Formula, Qt::Key_Escape);
        QTRY_VERIFY(!w || !w->isVisible());

        const int row = listRowOf(QStringLiteral("木门"));
        const QString inGrid = list()->TextAt(row, list()->FieldIndex(QStringLiteral("外框宽公式")));
        QCOMPARE(inGrid, applied ? Q + "见光宽" + Q + "*2+" + Q + "数量" + Q : Q + "见光宽" + Q + "+40");
        const QString height = list()->TextAt(row, list()->FieldIndex(QStringLiteral("外框高公式")));
        QCOMPARE(height, applied ? Q + "现量高" + Q + "-1" : QString());
        QCOMPARE(list()->HasPendingChanges(), applied);
        QCOMPARE(stored(QStringLiteral("木门"), QStringLiteral("外框宽公式")), Q + "见光宽" + Q + "+40");
    }
};

QTEST_MAIN(TestFormulaTest)
#include "test_formula_test.moc"
