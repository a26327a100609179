// The selection and editing window driven through the real windows: picking clients,
// installers and products for a bill, the query window's client, and editing the tables.

#include "app/AppStart.h"
#include "controls/ColumnWidths.h"
#include "controls/FormRegistry.h"
#include "controls/QorControlUnit.h"
#include "controls/QorDBGrid.h"
#include "refdata/CGFormUnit.h"
#include "refdata/ProductPiecesPanel.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "support/FakeDialogs.h"
#include "support/QueryText.h"
#include "support/TestDatabase.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

using namespace kvt;

namespace {

QWidget* cg() {
    return Form(QStringLiteral("CGForm"));
}
QWidget* bill() {
    return Form(QStringLiteral("BillForm"));
}
template <class T> T* cgc(const char* name) {
    return Control<T>(cg(), QString::fromLatin1(name));
}
template <class T> T* billc(const char* name) {
    return Control<T>(bill(), QString::fromLatin1(name));
}
DataQuery* list() {
    return cg()->findChild<DataQuery*>(QStringLiteral("CGQuery"));
}
TQorStringGrid* billGrid() {
    return billc<TQorStringGrid>("Grid_Bill");
}

void addClient(const QString& number, const QString& name) {
    Database::Exec(
        QStringLiteral("insert into 客户信息 (自定义编号,客户名) values (%1,%2)").arg(SqlText(number), SqlText(name)));
}
void addProduct(const QString& number, const QString& name) {
    Database::Exec(QStringLiteral("insert into 商品信息 (自定义编号,商品名称,商品说明) values (%1,%2,%3)")
                       .arg(SqlText(number), SqlText(name), SqlText(QStringLiteral("说明"))));
}
/// One column of a table as texts, in the order given.
QStringList column(const QString& statement, const QString& field) {
    DataQuery q;
    q.SetSql(statement);
    q.Open();
    QStringList out;
    for (int r = 1; r <= q.RowCount(); ++r)
        out << q.TextAt(r, q.FieldIndex(field));
    return out;
}
QString idOf(const QString& table, const QString& idField, const QString& name, const QString& nameField) {
    return column(QStringLiteral("select * from %1 where %2=%3").arg(table, nameField, SqlText(name)), idField)
        .value(0);
}
QStringList listed(const QString& field) {
    QStringList out;
    for (int r = 1; r <= list()->RowCount(); ++r)
        out << list()->TextAt(r, list()->FieldIndex(field));
    return out;
}
void enter(QWidget* w) {
    QTest::keyClick(w, Qt::Key_Return);
}
/// A new frame bill, as the main window opens it.
void openNewBill() {
    Control<QPushButton>(QStringLiteral("MainForm"), QStringLiteral("Button1"))->click();
    QVERIFY(bill()->isVisible());
}
/// Types text into the bill grid's column 1 of the current row and presses Enter there.
void productSearchInBill(const QString& text) {
    billGrid()->SetCurrentCell(1, billGrid()->Row());
    billGrid()->SetCells(1, billGrid()->Row(), text);
    enter(billGrid());
}
/// The main window's management buttons: "4" clients (Button2), "5" products (Button4).
void openManagement(const QString& mode) {
    Control<QPushButton>(QStringLiteral("MainForm"),
                         mode == QLatin1String("4") ? QStringLiteral("Button2") : QStringLiteral("Button4"))
        ->click();
    QVERIFY(QTest::qWaitForWindowActive(cg()));
    enter(cgc<QLineEdit>("Edit_Find"));
    cgc<TQorDBGrid>("CGDBGrid")->setFocus();
}
/// Gives a shown cell of the list a new text the way the grid's editor does.
void editCell(int row, const QString& field, const QString& text) {
    auto* grid = cgc<TQorDBGrid>("CGDBGrid");
    const int shown = list()->DisplayColumns().indexOf(list()->FieldIndex(field));
    QVERIFY(grid->model()->setData(grid->model()->index(row - 1, shown), text, Qt::EditRole));
}

TQorDBGrid* piecesGrid() {
    return cgc<TQorDBGrid>("CGDBGrid_pieces");
}
/// Makes the product of that name the current row of the list, as a click on it does.
void goToProduct(const QString& name) {
    const int row = listed(QStringLiteral("商品名称")).indexOf(name) + 1;
    QVERIFY2(row > 0, qPrintable(name));
    list()->MoveToRow(row);
}
/// Adds a piece to the current product in its grid, the way the clerk does: Insert, then the cells.
void addPiece(const QString& name, const QString& material, const QString& count, const QString& formula) {
    QTest::keyClick(piecesGrid(), Qt::Key_Insert);
    DataQuery* pieces = piecesGrid()->dataQuery();
    QVERIFY(pieces);
    const int row = pieces->RowCount();
    const QStringList fields{"部件名称", "材料名称", "件数", "长度公式"};
    const QStringList values{name, material, count, formula};
    for (int i = 0; i < fields.size(); ++i) {
        const int shown = pieces->DisplayColumns().indexOf(pieces->FieldIndex(fields[i]));
        QVERIFY2(shown >= 0, qPrintable(fields[i]));
        QVERIFY(piecesGrid()->model()->setData(piecesGrid()->model()->index(row - 1, shown), values[i], Qt::EditRole));
    }
}
/// The saved pieces as "product|piece|material|count|formula", ordered by product and piece name.
QStringList savedPieces() {
    return test::Rows(
        QStringLiteral("select 商品名称,部件名称,商品部件.材料名称,件数,长度公式 from 商品部件 left join 商品信息 on "
                       "商品部件.商品ID=商品信息.商品ID order by 商品名称,部件名称"));
}

} // namespace

class TestCGForm : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    test::FakeDialogs m_dialogs;

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        CreateForms(test::FreshDatabaseFor(m_dir->filePath(QStringLiteral("kvt.db"))));
        m_dialogs.clear();
        addClient(QStringLiteral("1"), QStringLiteral("王建国"));
        addClient(QStringLiteral("8"), QStringLiteral("8号楼王"));
        addClient(QStringLiteral("8"), QStringLiteral("李八"));
        addClient(QStringLiteral("3"), QStringLiteral("18层张"));
        addClient(QStringLiteral("91"), QStringLiteral("刘师傅"));
        addProduct(QStringLiteral("101"), QStringLiteral("实木单开门框"));
        addProduct(QStringLiteral("102"), QStringLiteral("实木子母门框"));
        addProduct(QStringLiteral("201"), QStringLiteral("复合单开门框"));
        Database::Exec(QStringLiteral("insert into 材料 (材料名称,原料长度,锯缝,端头余量,最短余料) values "
                                      "(\"松木 45×95\",6000,4,10,500), (\"铝合金 6063\",6500,3.5,5,300)"));
    }
    void cleanup() {
        DestroyForms();
        m_dir.reset();
    }

    // An exact custom number hands the record back at once; the list is never left showing.
    void exactNumberHandsBack_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("idCarrier");
        QTest::addColumn<QString>("name");
        QTest::newRow("client") << "EditClient"
                                << "1"
                                << "LabelClentID"
                                << "王建国";
        QTest::newRow("installer") << "EditSetup_man"
                                   << "91"
                                   << "Label_setup_man_id"
                                   << "刘师傅";
    }
    void exactNumberHandsBack() {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        openNewBill();
        auto* edit = Control<QLineEdit>(bill(), box);
        QTest::keyClicks(edit, typed);
        enter(edit);
        QFETCH(QString, name);
        QFETCH(QString, idCarrier);
        QVERIFY(!cg()->isVisible());
        QCOMPARE(edit->text(), name);
        QCOMPARE(Control<QLabel>(bill(), idCarrier)->text(),
                 idOf(QStringLiteral("客户信息"), QStringLiteral("客户ID"), name, QStringLiteral("客户名")));
    }

    void exactProductNumber_data() {
        QTest::addColumn<bool>("doorLeaf");
        QTest::addColumn<QString>("number");
        QTest::newRow("frame line") << false << "102";
        QTest::newRow("door-leaf line") << true << "102";
        QTest::newRow("number holding a quote") << false << "1\"2";
    }
    void exactProductNumber() {
        QFETCH(bool, doorLeaf);
        QFETCH(QString, number);
        addProduct(QStringLiteral("1\"2"), QStringLiteral("引号门框"));
        const QString name = column(QStringLiteral("select * from 商品信息 where 自定义编号=") + SqlText(number),
                                    QStringLiteral("商品名称"))
                                 .value(0);
        const QString id = idOf(QStringLiteral("商品信息"), QStringLiteral("商品ID"), name, QStringLiteral("商品名称"));
        if (doorLeaf) {
            Database::Exec(QStringLiteral("insert into 单据明细 (单据ID,商品ID) values (5,1)"));
            billc<QLabel>("LabelbillType")->setText(QStringLiteral("2"));
            auto* lines = bill()->findChild<DataQuery*>(QStringLiteral("ADOQuery_bill"));
            lines->SetSql(QStringLiteral("select * from 单据明细 where 单据ID=5 order by 门框ID"));
            lines->Open();
            CallFormMethod(QStringLiteral("BillForm"), "LoadDoorLeafLines");
            bill()->show();
        } else {
            openNewBill();
        }
        productSearchInBill(number);
        QVERIFY(!cg()->isVisible());
        QCOMPARE(billGrid()->Cells(1, 1), number);
        QCOMPARE(billGrid()->Cells(2, 1), name);
        QCOMPARE(billGrid()->Cells(doorLeaf ? 18 : 12, 1), id);
        QCOMPARE(billGrid()->Col(), 3);
        if (!doorLeaf)
            QCOMPARE(billGrid()->Cells(9, 1), QStringLiteral("1")); // the line's defaults
    }

    // No single exact hit: the names containing the text, ordered by name, focus in the list.
    void nameSearchLists_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("shared number") << "8" << QStringList{"18层张", "8号楼王"};
        QTest::newRow("part of names") << "王" << QStringList{"8号楼王", "王建国"};
        QTest::newRow("empty lists all") << "" << QStringList{"18层张", "8号楼王", "刘师傅", "李八", "王建国"};
    }
    void nameSearchLists() {
        QFETCH(QString, typed);
        openNewBill();
        billc<QLineEdit>("EditClient")->setText(typed); // the box takes any text
        enter(billc<QLineEdit>("EditClient"));
        QVERIFY(cg()->isVisible());
        QCOMPARE(cgc<QLabel>("Label_title")->text(), QStringLiteral("客户信息"));
        QFETCH(QStringList, names);
        QCOMPARE(listed(QStringLiteral("客户名")), names);
        QCOMPARE(cgc<QLineEdit>("Edit_Find")->text(), QString());
        QCOMPARE(cg()->focusWidget(), cgc<TQorDBGrid>("CGDBGrid"));
        auto* grid = cgc<TQorDBGrid>("CGDBGrid");
        QCOMPARE(QList<int>({grid->ColumnWidth(0), grid->ColumnWidth(1), grid->ColumnWidth(2)}),
                 QList<int>({GridColumnWidth(*grid, 60), GridColumnWidth(*grid, 200), GridColumnWidth(*grid, 40)}));
        QVERIFY(billc<QLabel>("LabelClentID")->text().isEmpty());
    }

    // Search texts are taken literally: no quote breaks the statement, % _ \ are no wildcards.
    void hostileSearchTexts_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("handedBack");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("number %") << "%" << true << QStringList{"百分客户"};
        QTest::newRow("number \"") << "\"" << true << QStringList{"双引客户"};
        QTest::newRow("number '") << "'" << true << QStringList{"单'引客户"};
        QTest::newRow("number \\") << "\\" << true << QStringList{"斜杠客户"};
        QTest::newRow("name 0%") << "0%" << false << QStringList{"50%折扣店"};
        QTest::newRow("name _B") << "_B" << false << QStringList{"A_B店"};
        QTest::newRow("name 引\"") << "引\"" << false << QStringList{"引\"号店"};
        QTest::newRow("name 反\\") << "反\\" << false << QStringList{"反\\斜店"};
    }
    void hostileSearchTexts() {
        const char* rows[][2] = {{"%", "百分客户"},   {"\"", "双引客户"}, {"'", "单'引客户"}, {"\\", "斜杠客户"},
                                 {"h1", "50%折扣店"}, {"h2", "A_B店"},    {"h3", "AxB店"},    {"h4", "引\"号店"},
                                 {"h5", "反\\斜店"},  {"h6", "10号店"},   {"h7", "反斜店"}};
        for (auto& r : rows)
            addClient(QString::fromUtf8(r[0]), QString::fromUtf8(r[1]));
        QFETCH(QString, typed);
        QFETCH(bool, handedBack);
        QFETCH(QStringList, names);
        openNewBill();
        billc<QLineEdit>("EditClient")->setText(typed); // the box takes any text
        enter(billc<QLineEdit>("EditClient"));
        QVERIFY(m_dialogs.messages.isEmpty());
        QCOMPARE(cg()->isVisible(), !handedBack);
        if (handedBack)
            QCOMPARE(billc<QLineEdit>("EditClient")->text(), names.first());
        else
            QCOMPARE(listed(QStringLiteral("客户名")), names);
    }

    // Enter, a double-click and "确定" choose the current row; arrows and the wheel only move.
    void chooseFromList_data() {
        QTest::addColumn<QString>("gesture");
        QTest::newRow("enter") << "enter";
        QTest::newRow("double-click") << "dblclick";
        QTest::newRow("ok button") << "yes";
    }
    void chooseFromList() {
        openNewBill();
        productSearchInBill(QStringLiteral("门框"));
        QVERIFY(cg()->isVisible());
        QCOMPARE(cgc<QLabel>("Label_title")->text(), QStringLiteral("商品信息"));
        QCOMPARE(listed(QStringLiteral("商品名称")), QStringList({"复合单开门框", "实木单开门框", "实木子母门框"}));
        auto* grid = cgc<TQorDBGrid>("CGDBGrid");
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Up);
        QWheelEvent towardsUser(QPointF(20, 20), grid->viewport()->mapToGlobal(QPointF(20, 20)), QPoint(),
                                QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &towardsUser);
        QCOMPARE(list()->CurrentRow(), 3);
        QVERIFY(cg()->isVisible());
        QCOMPARE(billGrid()->Cells(2, 1), QString());

        QFETCH(QString, gesture);
        if (gesture == QLatin1String("enter"))
            enter(grid);
        else if (gesture == QLatin1String("yes"))
            cgc<QPushButton>("Button_yes")->click();
        else
            QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                               grid->visualRect(grid->model()->index(2, 2)).center());
        QVERIFY(!cg()->isVisible());
        QCOMPARE(billGrid()->Cells(1, 1), QStringLiteral("102"));
        QCOMPARE(billGrid()->Cells(2, 1), QStringLiteral("实木子母门框"));
        QCOMPARE(billGrid()->Cells(12, 1), idOf(QStringLiteral("商品信息"), QStringLiteral("商品ID"),
                                                QStringLiteral("实木子母门框"), QStringLiteral("商品名称")));
        QCOMPARE(billGrid()->Col(), 3);
    }

    void queryWindowClient() {
        QWidget* query = Form(QStringLiteral("FormQuery"));
        if (!query->findChild<QLineEdit*>(QStringLiteral("Edit_client")))
            QSKIP("the query window has no client box yet");
        query->show();
        auto* box = Control<QLineEdit>(query, QStringLiteral("Edit_client"));
        box->setText(QStringLiteral("王"));
        QTest::mouseDClick(box, Qt::LeftButton);
        QCOMPARE(cgc<QLabel>("LabelModol")->text(), QStringLiteral("6"));
        QCOMPARE(listed(QStringLiteral("客户名")), QStringList({"8号楼王", "王建国"}));
        enter(cgc<TQorDBGrid>("CGDBGrid"));
        QCOMPARE(box->text(), QStringLiteral("8号楼王"));
        QCOMPARE(Control<QLabel>(query, QStringLiteral("Label_client_id"))->text(),
                 idOf(QStringLiteral("客户信息"), QStringLiteral("客户ID"), QStringLiteral("8号楼王"),
                      QStringLiteral("客户名")));
    }

    // A choice made after its caller was left (退出, 保存, the query window closed) changes nothing
    // and closes the list; the bill window stays closed and a new bill opens whole.
    void choiceAfterCallerLeft_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("opening"); // the caller's text, which lists several records
        QTest::addColumn<QString>("number");  // typed into the search box afterwards; "" picks from the list
        QTest::newRow("client from the list") << "1"
                                              << "王"
                                              << "";
        QTest::newRow("client by number") << "1"
                                          << "王"
                                          << "1";
        QTest::newRow("installer from the list") << "2"
                                                 << "刘"
                                                 << "";
        QTest::newRow("frame product from the list") << "3"
                                                     << "门框"
                                                     << "";
        QTest::newRow("frame product by number") << "3"
                                                 << "门框"
                                                 << "102";
        QTest::newRow("query client from the list") << "6"
                                                    << "王"
                                                    << "";
        QTest::newRow("query client by number") << "6"
                                                << "王"
                                                << "1";
    }
    void choiceAfterCallerLeft() {
        QFETCH(QString, mode);
        QFETCH(QString, opening);
        QFETCH(QString, number);
        QWidget* query = Form(QStringLiteral("FormQuery"));
        if (mode == QLatin1String("6")) {
            query->show();
            auto* queryBox = Control<QLineEdit>(query, QStringLiteral("Edit_client"));
            queryBox->setText(opening);
            QTest::mouseDClick(queryBox, Qt::LeftButton);
            QVERIFY(cg()->isVisible());
            Control<QPushButton>(query, QStringLiteral("Button_exit"))->click();
            QVERIFY(!query->isVisible());
        } else {
            openNewBill();
            if (mode == QLatin1String("3")) {
                productSearchInBill(opening);
            } else {
                auto* box = billc<QLineEdit>(mode == QLatin1String("1") ? "EditClient" : "EditSetup_man");
                box->setText(opening);
                enter(box);
            }
            QVERIFY(cg()->isVisible());
            m_dialogs.answers = {true}; // leave the bill with its typed text
            billc<QPushButton>("ButtonExit")->click();
            QVERIFY(!bill()->isVisible());
        }
        QCOMPARE(cgc<QLabel>("LabelModol")->text(), mode);

        if (number.isEmpty()) {
            QVERIFY(list()->RowCount() > 0);
            cgc<QPushButton>("Button_yes")->click();
        } else {
            auto* find = cgc<QLineEdit>("Edit_Find");
            find->setText(number);
            enter(find);
        }
        QVERIFY(!cg()->isVisible());
        QVERIFY(!bill()->isVisible());
        QVERIFY(!query->isVisible());
        QCOMPARE(billc<QLineEdit>("EditClient")->text(), QString());
        QCOMPARE(billc<QLabel>("LabelClentID")->text(), QString());
        QCOMPARE(billc<QLineEdit>("EditSetup_man")->text(), QString());
        QCOMPARE(billc<QLabel>("LabelbillType")->text(), QString());
        for (int c = 0; c < billGrid()->ColCount(); ++c)
            QCOMPARE(billGrid()->Cells(c, 1), QString());
        QCOMPARE(Control<QLabel>(query, QStringLiteral("Label_client_id"))->text(), QString());
        QCOMPARE(m_dialogs.messages, QStringList());

        // The next new bill opens whole and saves.
        openNewBill();
        QCOMPARE(billGrid()->Cells(1, 0), QStringLiteral("编号"));
        QCOMPARE(billc<QLabel>("LabelbillType")->text(), QStringLiteral("1"));
        billc<QLineEdit>("EditClient")->setText(QStringLiteral("王建国"));
        billc<QLabel>("LabelClentID")->setText(QStringLiteral("1"));
        billc<QLabel>("Label_setup_man_id")->setText(QStringLiteral("5"));
        billc<QPushButton>("ButtonSave")->click();
        QCOMPARE(m_dialogs.messages, QStringList());
        QVERIFY(!bill()->isVisible());
        QCOMPARE(column(QStringLiteral("select * from 历史单据"), QStringLiteral("客户ID")), QStringList{"1"});
    }

    void searchBoxWhereItBelongs() {
        QCOMPARE(cgc<QLineEdit>("Edit_Find")->pos(), QPoint(128, 80));
        QCOMPARE(cgc<QLineEdit>("Edit_Find")->width(), 121);
    }

    // Management: change, add and delete wait for "保存"; choosing does nothing there.
    void editAndSave_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("nameField");
        QTest::newRow("clients") << "4"
                                 << "客户信息"
                                 << "客户名";
        QTest::newRow("products") << "5"
                                  << "商品信息"
                                  << "商品名称";
    }
    void editAndSave() {
        QFETCH(QString, mode);
        QFETCH(QString, table);
        QFETCH(QString, nameField);
        const QString all = QStringLiteral("select * from %1 order by %2").arg(table, nameField);
        const QStringList before = column(all, nameField);
        openManagement(mode);
        auto* grid = cgc<TQorDBGrid>("CGDBGrid");
        QVERIFY(!grid->ReadOnly());
        QVERIFY(cgc<QPushButton>("Button_save")->isVisible());
        QCOMPARE(listed(nameField), before);

        enter(grid);
        cgc<QPushButton>("Button_yes")->click();
        QVERIFY(cg()->isVisible());

        editCell(1, nameField, QStringLiteral("改名"));
        m_dialogs.answers = {false, true};
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier); // No: row 2 stays
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier); // Yes
        QCOMPARE(m_dialogs.questions, QStringList({"Delete record?", "Delete record?"}));
        QTest::keyClick(grid, Qt::Key_Insert);
        editCell(list()->RowCount(), nameField, QStringLiteral("新加"));
        QTest::keyClick(grid, Qt::Key_Insert); // a second one, left empty, is not written
        QCOMPARE(column(all, nameField), before);

        QTest::mouseClick(cgc<QPushButton>("Button_save"), Qt::LeftButton);
        QVERIFY2(m_dialogs.messages.isEmpty(), qPrintable(m_dialogs.messages.join(QLatin1Char('|'))));
        QStringList expected = before;
        expected[0] = QStringLiteral("改名");
        expected.removeAt(1);
        expected << QStringLiteral("新加");
        std::sort(expected.begin(), expected.end());
        QCOMPARE(column(all, nameField), expected);
        if (mode == QLatin1String("5")) {
            auto* goods = bill()->findChild<DataQuery*>(QStringLiteral("ADOQuery_goods"));
            QVERIFY(goods->IsOpen());
            QVERIFY(goods->FindRow(QStringLiteral("商品名称"), QStringLiteral("新加")));
        }
    }

    // A key typed over a saved client is refused at once: the client's bills keep their client.
    void keyOfSavedRowStays() {
        openManagement(QStringLiteral("4"));
        const QString all = QStringLiteral("select * from 客户信息 order by 客户ID");
        const QStringList ids = column(all, QStringLiteral("客户ID"));
        editCell(1, QStringLiteral("客户名"), QStringLiteral("改名"));
        auto* grid = cgc<TQorDBGrid>("CGDBGrid");
        const int shown = list()->DisplayColumns().indexOf(list()->FieldIndex(QStringLiteral("客户ID")));
        QVERIFY(!grid->model()->setData(grid->model()->index(1, shown), ids[0], Qt::EditRole));
        QCOMPARE(m_dialogs.messages, QStringList{QStringLiteral("“客户ID”由程序自动编号，不能修改。")});
        QCOMPARE(list()->TextAt(2, list()->FieldIndex(QStringLiteral("客户ID"))), ids[1]);
        // Typing the key a row already has changes nothing and says nothing.
        QVERIFY(grid->model()->setData(grid->model()->index(1, shown), ids[1], Qt::EditRole));
        QCOMPARE(m_dialogs.messages.size(), 1);
        QTest::mouseClick(cgc<QPushButton>("Button_save"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(column(all, QStringLiteral("客户ID")), ids);
        QVERIFY(column(all, QStringLiteral("客户名")).contains(QStringLiteral("改名")));
    }

    // Another workstation saved a client shown in the list: this save writes nothing and says so;
    // after a new search the same edit is saved.
    void changedByAnotherUser_data() {
        QTest::addColumn<QString>("meanwhile");
        QTest::newRow("renamed") << "update 客户信息 set 客户名=\"别人改的\" where 客户名=\"王建国\"";
        QTest::newRow("deleted") << "delete from 客户信息 where 客户名=\"王建国\"";
    }
    void changedByAnotherUser() {
        QFETCH(QString, meanwhile);
        openManagement(QStringLiteral("4"));
        const int row = listed(QStringLiteral("客户名")).indexOf(QStringLiteral("王建国")) + 1;
        QVERIFY(row > 0);
        editCell(row, QStringLiteral("客户电话"), QStringLiteral("555"));
        editCell(1 + (row % list()->RowCount()), QStringLiteral("客户电话"), QStringLiteral("666"));
        Database::Exec(meanwhile);
        const QStringList before =
            column(QStringLiteral("select * from 客户信息 order by 客户ID"), QStringLiteral("客户电话"));
        QTest::mouseClick(cgc<QPushButton>("Button_save"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages,
                 QStringList{QStringLiteral("数据已被其他用户修改，本次修改没有保存。请重新查询。")});
        QCOMPARE(column(QStringLiteral("select * from 客户信息 order by 客户ID"), QStringLiteral("客户电话")), before);
        QVERIFY(cg()->isVisible());
    }

    void unsavedChangesDropped_data() {
        QTest::addColumn<bool>("reshow");
        QTest::newRow("new search") << false;
        QTest::newRow("close and show again") << true;
    }
    void unsavedChangesDropped() {
        QFETCH(bool, reshow);
        openManagement(QStringLiteral("5"));
        editCell(1, QStringLiteral("商品名称"), QStringLiteral("未保存"));
        if (reshow) {
            cgc<QPushButton>("Button_exit")->click();
            QVERIFY(cgc<TQorDBGrid>("CGDBGrid")->ReadOnly());
            QVERIFY(!cgc<QPushButton>("Button_save")->isVisible());
            cg()->show();
            QVERIFY(!list()->IsOpen());
        }
        enter(cgc<QLineEdit>("Edit_Find"));
        QTest::mouseClick(cgc<QPushButton>("Button_save"), Qt::LeftButton);
        QVERIFY(!listed(QStringLiteral("商品名称")).contains(QStringLiteral("未保存")));
        QVERIFY(!column(QStringLiteral("select * from 商品信息"), QStringLiteral("商品名称"))
                     .contains(QStringLiteral("未保存")));
    }

    // A new mode while the window is up changes the mode and title, not the opening state.
    void newModeWhileVisible() {
        openNewBill();
        enter(billc<QLineEdit>("EditClient"));
        const int rows = list()->RowCount();
        Control<QPushButton>(QStringLiteral("MainForm"), QStringLiteral("Button4"))->click();
        QCOMPARE(cgc<QLabel>("LabelModol")->text(), QStringLiteral("5"));
        QCOMPARE(cgc<QLabel>("Label_title")->text(), QStringLiteral("商品信息"));
        QVERIFY(cgc<TQorDBGrid>("CGDBGrid")->ReadOnly());
        QVERIFY(!cgc<QPushButton>("Button_save")->isVisible());
        QCOMPARE(list()->RowCount(), rows);
    }

    // 部件: each product's pieces are edited under the list and saved with the products, several
    // products' pieces in one save; the grid follows the current product.
    void piecesSavedWithProducts() {
        openManagement(QStringLiteral("5"));
        QVERIFY(piecesGrid()->isVisible());
        goToProduct(QStringLiteral("实木单开门框"));
        QCOMPARE(cgc<QLabel>("Label_pieces")->text(), QStringLiteral("部件：实木单开门框"));
        QVERIFY(!piecesGrid()->ReadOnly());
        addPiece(QStringLiteral("立框"), QStringLiteral("松木 45×95"), QStringLiteral("2"),
                 QStringLiteral("\"见光高\"+\"埋地\"-5"));
        addPiece(QStringLiteral("上框"), QStringLiteral("松木 45×95"), QStringLiteral("1"),
                 QStringLiteral("\"门框总宽\""));
        goToProduct(QStringLiteral("复合单开门框"));
        QCOMPARE(piecesGrid()->dataQuery()->RowCount(), 0);
        addPiece(QStringLiteral("边框"), QStringLiteral("铝合金 6063"), QStringLiteral("2"),
                 QStringLiteral("\"总高\""));
        editCell(list()->CurrentRow(), QStringLiteral("商品说明"), QStringLiteral("改过"));
        // Back on the first product its pieces are still there, unsaved.
        goToProduct(QStringLiteral("实木单开门框"));
        QCOMPARE(piecesGrid()->dataQuery()->RowCount(), 2);
        QCOMPARE(savedPieces(), QStringList());
        QCOMPARE(qobject_cast<TCGForm*>(cg())->unsavedTable(), QStringLiteral("商品信息"));

        QTest::mouseClick(cgc<QPushButton>("Button_save"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages, QStringList());
        QCOMPARE(savedPieces(),
                 (QStringList{"复合单开门框|边框|铝合金 6063|2|\"总高\"", "实木单开门框|上框|松木 45×95|1|\"门框总宽\"",
                              "实木单开门框|立框|松木 45×95|2|\"见光高\"+\"埋地\"-5"}));
        QVERIFY(column(QStringLiteral("select * from 商品信息"), QStringLiteral("商品说明")).contains("改过"));
        QCOMPARE(qobject_cast<TCGForm*>(cg())->unsavedTable(), QString());
        // Closed and opened again, the editor reads them back.
        cgc<QPushButton>("Button_exit")->click();
        QVERIFY(!piecesGrid()->dataQuery());
        openManagement(QStringLiteral("5"));
        goToProduct(QStringLiteral("实木单开门框"));
        QCOMPARE(piecesGrid()->dataQuery()->RowCount(), 2);
        // In the order they were added, the name first.
        QAbstractItemModel* shown = piecesGrid()->model();
        QCOMPARE(shown->index(0, 0).data().toString(), QStringLiteral("立框"));
        QCOMPARE(shown->index(1, 0).data().toString(), QStringLiteral("上框"));
        QCOMPARE(shown->headerData(3, Qt::Horizontal).toString(), QStringLiteral("长度公式"));
    }

    // A bad piece stops the whole save: neither the products nor any piece is written, the
    // message names the field, and the cursor stands on it.
    void badPieceRefused_data() {
        QTest::addColumn<QString>("material");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("message");
        const QString ok = QStringLiteral("\"总宽\"-10");
        QTest::newRow("material that does not exist")
            << "柚木 45×95"
            << "2" << ok << "材料名称"
            << "商品“实木子母门框”的部件“立框”的材料“柚木 45×95”不存在，请先在材料表中添加。";
        QTest::newRow("count 0") << "松木 45×95"
                                 << "0" << ok << "件数"
                                 << "商品“实木子母门框”的部件“立框”的件数必须是不小于1的整数（现在是“0”）。";
        QTest::newRow("formula that cannot be evaluated")
            << "松木 45×95"
            << "2"
            << "\"总宽\"-"
            << "长度公式"
            << "商品“实木子母门框”的部件“立框”的长度公式不能计算：表达式中尾字符有误！;";
    }
    void badPieceRefused() {
        QFETCH(QString, material);
        QFETCH(QString, count);
        QFETCH(QString, formula);
        QFETCH(QString, field);
        QFETCH(QString, message);
        openManagement(QStringLiteral("5"));
        goToProduct(QStringLiteral("复合单开门框"));
        addPiece(QStringLiteral("边框"), QStringLiteral("铝合金 6063"), QStringLiteral("2"),
                 QStringLiteral("\"总高\""));
        editCell(list()->CurrentRow(), QStringLiteral("商品说明"), QStringLiteral("改过"));
        goToProduct(QStringLiteral("实木子母门框"));
        addPiece(QStringLiteral("立框"), material, count, formula);
        goToProduct(QStringLiteral("实木单开门框"));

        QTest::mouseClick(cgc<QPushButton>("Button_save"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(m_dialogs.messages[0], message);
        QCOMPARE(savedPieces(), QStringList());
        QVERIFY(!column(QStringLiteral("select * from 商品信息"), QStringLiteral("商品说明")).contains("改过"));
        // The cursor on the refused piece's field, its product current.
        QCOMPARE(list()->Field(QStringLiteral("商品名称")).asString(), QStringLiteral("实木子母门框"));
        DataQuery* pieces = piecesGrid()->dataQuery();
        QCOMPARE(piecesGrid()->currentIndex().row(), 0);
        QCOMPARE(pieces->DisplayColumns().value(piecesGrid()->currentIndex().column()), pieces->FieldIndex(field));
    }

    // A product deleted and saved takes its pieces along; the others keep theirs.
    void deletedProductTakesItsPieces() {
        const QString gone = idOf(QStringLiteral("商品信息"), QStringLiteral("商品ID"), QStringLiteral("实木子母门框"),
                                  QStringLiteral("商品名称"));
        const QString kept = idOf(QStringLiteral("商品信息"), QStringLiteral("商品ID"), QStringLiteral("实木单开门框"),
                                  QStringLiteral("商品名称"));
        Database::Exec(QStringLiteral("insert into 商品部件 (商品ID,部件名称,材料名称,件数,长度公式) values "
                                      "(%1,\"立框\",\"松木 45×95\",2,\"\"\"总高\"\"\"), "
                                      "(%2,\"立框\",\"松木 45×95\",2,\"\"\"总高\"\"\")")
                           .arg(gone, kept));
        QCOMPARE(savedPieces().size(), 2);
        openManagement(QStringLiteral("5"));
        goToProduct(QStringLiteral("实木子母门框"));
        QCOMPARE(piecesGrid()->dataQuery()->RowCount(), 1);
        m_dialogs.answers = {true};
        auto* grid = cgc<TQorDBGrid>("CGDBGrid");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QTest::mouseClick(cgc<QPushButton>("Button_save"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages, QStringList());
        QCOMPARE(savedPieces(), QStringList{"实木单开门框|立框|松木 45×95|2|\"总高\""});
    }

    // A product not saved yet has no number its pieces could name: they wait for its save.
    void newProductHasNoPiecesYet() {
        openManagement(QStringLiteral("5"));
        QTest::keyClick(cgc<TQorDBGrid>("CGDBGrid"), Qt::Key_Insert);
        QCOMPARE(cgc<QLabel>("Label_pieces")->text(), QStringLiteral("部件（新商品保存后才能录入部件）"));
        QVERIFY(piecesGrid()->ReadOnly());
        QVERIFY(!piecesGrid()->dataQuery());
    }

    // Another workstation changed a product meanwhile: nothing of the save is written, pieces
    // neither, and they stay in the grid for the next try.
    void conflictWritesNoPieces() {
        openManagement(QStringLiteral("5"));
        goToProduct(QStringLiteral("实木单开门框"));
        editCell(list()->CurrentRow(), QStringLiteral("商品说明"), QStringLiteral("改过"));
        addPiece(QStringLiteral("立框"), QStringLiteral("松木 45×95"), QStringLiteral("2"), QStringLiteral("\"总高\""));
        Database::Exec(QStringLiteral("update 商品信息 set 商品说明=\"别人改的\" where 商品名称=\"实木单开门框\""));
        QTest::mouseClick(cgc<QPushButton>("Button_save"), Qt::LeftButton);
        QCOMPARE(m_dialogs.messages,
                 QStringList{QStringLiteral("数据已被其他用户修改，本次修改没有保存。请重新查询。")});
        QCOMPARE(savedPieces(), QStringList());
        QCOMPARE(piecesGrid()->dataQuery()->RowCount(), 1);
        QVERIFY(piecesGrid()->dataQuery()->HasPendingChanges());
    }

    // Picking a product for a bill shows no pieces: the panel belongs to product editing.
    void noPiecesWhilePicking() {
        openNewBill();
        productSearchInBill(QStringLiteral("实木"));
        QVERIFY(cg()->isVisible());
        QVERIFY(!cgc<TProductPiecesPanel>("Panel_pieces")->isVisible());
        QCOMPARE(cg()->height(), 520);
    }
};

QTEST_MAIN(TestCGForm)
#include "test_cgform.moc"
