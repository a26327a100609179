// The query window's tab 下料单 driven through the real window on a file and on the server:
// 计算 on bills with pieces, a product without pieces and a line not measured; 确认下料, also
// against a second workstation and an offcut that went meanwhile; the editors of 材料 and 余料;
// the printout and the export read back.

#include "app/AppStart.h"
#include "controls/FormRegistry.h"
#include "controls/QorControlUnit.h"
#include "controls/QorDBGrid.h"
#include "query/CuttingList.h"
#include "query/CuttingTab.h"
#include "query/MaterialEditors.h"
#include "query/QueryUnit.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "support/FakeDialogs.h"
#include "support/PdfWords.h"
#include "support/PrintPreview.h"
#include "support/QueryText.h"
#include "support/RecordingSink.h"
#include "support/TestDatabase.h"
#include "support/UrlOpenRecorder.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace kvt;
using test::Rows;
using test::Scalar;

namespace {

/// A frame product with two jambs and a head of pine, a product without pieces, and bills in
/// March 2021: bill 71 one frame 900 × 2100, bill 72 the product without pieces, bill 74 (outside
/// the range) another frame.
void seed() {
    TransactionScope scope;
    Database::Exec(QStringLiteral("insert into 客户信息 (客户ID,自定义编号,客户名) values (1,\"1\",\"王建国\")"));
    Database::Exec(QStringLiteral("insert into 商品信息 (商品ID,自定义编号,商品名称) values (1,\"101\",\"实木门框\"), "
                                  "(2,\"201\",\"门套线\")"));
    Database::Exec(QStringLiteral("insert into 材料 (材料名称,原料长度,锯缝,端头余量,最短余料) values "
                                  "(\"松木 45×95\",6000,4,10,500)"));
    Database::Exec(QStringLiteral("insert into 商品部件 (商品ID,部件名称,材料名称,件数,长度公式) values "
                                  "(1,\"立框\",\"松木 45×95\",2,\"\"\"门框总高\"\"-5\"), "
                                  "(1,\"上框\",\"松木 45×95\",1,\"\"\"门框总宽\"\"\")"));
    for (const auto& [bill, date] : {std::pair{71, "2021-03-01"}, {72, "2021-03-05"}, {74, "2021-02-28"}})
        Database::Exec(QStringLiteral("insert into 历史单据 (单据ID,客户ID,客户地址,单据日期,安装人员ID,安装人员) "
                                      "values (%1,1,\"\",#%2#,9,\"刘师傅\")")
                           .arg(bill)
                           .arg(QString::fromLatin1(date)));
    for (const auto& [line, bill, product] : {std::tuple{501, 71, 1}, {502, 72, 2}, {503, 74, 1}})
        Database::Exec(QStringLiteral("insert into 单据明细 (门框ID,单据ID,商品ID,数量,见光宽,见光高,埋地,门框总宽,"
                                      "门框总高,现量宽,现量高,门扇宽,门扇高,玻璃宽,玻璃高) values "
                                      "(%1,%2,%3,1,860,2080,20,900,2100,0,0,0,0,0,0)")
                           .arg(line)
                           .arg(bill)
                           .arg(product));
    scope.Commit();
}

QStringList cellsOf(QTreeWidgetItem* item) {
    QStringList out;
    for (int c = 0; c < item->columnCount(); ++c)
        out << item->text(c);
    while (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

/// The tree as lines, children after their parent with a ">" per level.
QStringList treeLines(QTreeWidget* tree) {
    QStringList out;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
        out << QString(depth, QLatin1Char('>')) + cellsOf(item).join(QLatin1Char('|'));
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 0);
    return out;
}

// 6000 - 2×10 - (2095 + 2095 + 900) - 2×4 = 882, kept (≥ 500)
const QStringList kPlanOf71{"松木 45×95|3件|1根|0根|1根|84.8%|留用 882",
                            ">1 新料 6000|立框 2095 (单据71)，立框 2095 (单据71)，上框 900 (单据71)|||||882 余料",
                            "不能下料（1）", ">单据72 明细502|商品没有部件"};

} // namespace

class TestCuttingTab : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::FakeDialogs> m_dialogs;

    TFormQuery* form() const { return qobject_cast<TFormQuery*>(Form(QStringLiteral("FormQuery"))); }
    TCuttingTab* tab() const { return form()->CuttingTab; }
    QTreeWidget* tree() const { return form()->findChild<QTreeWidget*>(QStringLiteral("Tree_cut_plan")); }
    QPushButton* button(const char* name) const { return form()->findChild<QPushButton*>(QString::fromLatin1(name)); }

    void openTab() {
        QTabBar* bar = form()->PageControl1->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(4).center());
    }
    /// 计算, and the plan it makes off the window's thread awaited.
    void clickCalculate() {
        QTest::mouseClick(button("Button_cut_calc"), Qt::LeftButton);
        waitForPlan();
    }
    void waitForPlan() { QTRY_VERIFY_WITH_TIMEOUT(!tab()->calculating(), 60000); }
    /// The range 2021-03-01 to 2021-03-10 on the tab, then 计算.
    void calculate() {
        openTab();
        form()->CheckBox__add_date->setChecked(true);
        form()->DateTimePicker1->setDate(QDate(2021, 3, 1));
        form()->DateTimePicker2->setDate(QDate(2021, 3, 10));
        clickCalculate();
    }
    CuttingListFilter march() const {
        CuttingListFilter f;
        f.byDate = true;
        f.from = QDate(2021, 3, 1);
        f.to = QDate(2021, 3, 10);
        return f;
    }

    template <class Editor> Editor* openEditor(const char* buttonName) {
        QTest::mouseClick(button(buttonName), Qt::LeftButton);
        auto* editor = tab()->findChild<Editor*>();
        if (editor)
            editor->Grid->setFocus();
        return editor;
    }
    /// Types a value into a cell of the editor's grid, as its in-cell editor does.
    static bool setCell(TTableEditor* editor, int row, const char* field, const QString& text) {
        DataQuery* q = editor->Query;
        const int shown = q->DisplayColumns().indexOf(q->FieldIndex(QString::fromUtf8(field)));
        return editor->Grid->model()->setData(editor->Grid->model()->index(row - 1, shown), text, Qt::EditRole);
    }

private slots:
    void initTestCase() { QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("AR PL UMing CN")); }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_dialogs = std::make_unique<test::FakeDialogs>();
        CreateForms(test::FreshDatabaseFor(m_dir->filePath(QStringLiteral("kvt.db"))));
        seed();
        form()->show();
        tab()->TimeLimitPerMaterial = 1;
    }
    void cleanup() {
        DestroyForms();
        m_dialogs.reset();
        m_dir.reset();
    }

    void tabBesideTheGlassList() {
        QCOMPARE(form()->PageControl1->tabText(4), QStringLiteral("下料单"));
        openTab();
        // The filter group of the other tabs comes along; the result grid makes room for the plan.
        QCOMPARE(form()->GroupBox1->parentWidget(), static_cast<QWidget*>(tab()));
        QVERIFY(form()->GroupBox1->isVisible());
        QVERIFY(!form()->QorDBGridQuery->isVisible());
        QVERIFY(tree()->isVisible());
        // Nothing to print, export or confirm before 计算.
        QVERIFY(!button("Button_cut_print")->isEnabled());
        QVERIFY(!button("Button_cut_excel")->isEnabled());
        QVERIFY(!button("Button_cut_confirm")->isEnabled());
        form()->PageControl1->setCurrentIndex(0);
        QVERIFY(form()->QorDBGridQuery->isVisible());
        QCOMPARE(form()->GroupBox1->parentWidget(), form()->TabSheet1);
    }

    void calculateShowsThePlan() {
        calculate();
        QCOMPARE(m_dialogs->messages, QStringList());
        QCOMPARE(treeLines(tree()), kPlanOf71);
        QCOMPARE(form()->findChild<QLabel*>(QStringLiteral("Label_cut_status"))->text(),
                 QStringLiteral("1种材料，3件部件，新料1根，用余料0根；1条不能下料"));
        QVERIFY(button("Button_cut_confirm")->isEnabled());
        // Changes nothing.
        QCOMPARE(Scalar(QStringLiteral("select count(*) from 下料记录")), QStringLiteral("0"));
    }

    // The plan is made off the window's thread: meanwhile the tab says so, 计算 waits, and no plan
    // is shown; then the plan comes. Asked again meanwhile, it plans again after; a window closed
    // before the plan comes waits for it and goes.
    void planningLeavesTheWindowFree() {
        openTab();
        form()->CheckBox__add_date->setChecked(true);
        form()->DateTimePicker1->setDate(QDate(2021, 3, 1));
        form()->DateTimePicker2->setDate(QDate(2021, 3, 10));
        QTest::mouseClick(button("Button_cut_calc"), Qt::LeftButton);
        QVERIFY(tab()->calculating());
        QVERIFY(!button("Button_cut_calc")->isEnabled());
        QVERIFY(!button("Button_cut_confirm")->isEnabled());
        QVERIFY(!tab()->plan());
        QCOMPARE(form()->findChild<QLabel*>(QStringLiteral("Label_cut_status"))->text(),
                 QStringLiteral("正在计算下料方案……"));
        waitForPlan();
        QVERIFY(button("Button_cut_calc")->isEnabled());
        QCOMPARE(treeLines(tree()), kPlanOf71);
        // Asked again while planning (as after a client is picked): planned again for what was asked last.
        QTest::mouseClick(button("Button_cut_calc"), Qt::LeftButton);
        form()->CheckBox__add_date->setChecked(false);
        tab()->Button_cut_calcClick();
        waitForPlan();
        QCOMPARE(tab()->plan()->materials.at(0).pieceCount(), PlanCuttingList({}, 1).materials.at(0).pieceCount());
        QVERIFY(tab()->plan()->materials.at(0).pieceCount() > 3);
        QTest::mouseClick(button("Button_cut_calc"), Qt::LeftButton);
        QVERIFY(tab()->calculating());
        // cleanup() closes the windows now.
    }

    // A client filter: bill 74 is the same client's, but outside the dates; without the dates it
    // is planned too.
    void clientAndDates() {
        QTest::keyClicks(form()->Edit_client, QStringLiteral("1"));
        QTest::mouseDClick(form()->Edit_client, Qt::LeftButton);
        QCOMPARE(form()->Label_client_id->text(), QStringLiteral("1"));
        openTab();
        form()->CheckBox__add_date->setChecked(false);
        clickCalculate();
        QCOMPARE(m_dialogs->messages, QStringList());
        QCOMPARE(tab()->plan()->materials.size(), size_t(1));
        QCOMPARE(tab()->plan()->materials[0].pieceCount(), 6);
    }

    void confirmRecordsThePlan() {
        calculate();
        QTest::mouseClick(button("Button_cut_confirm"), Qt::LeftButton);
        QCOMPARE(m_dialogs->messages.size(), 1);
        QVERIFY2(m_dialogs->messages[0].endsWith(QStringLiteral("已确认，余料已入库。")),
                 qPrintable(m_dialogs->messages[0]));
        QCOMPARE(Rows(QStringLiteral("select 门框ID,长度 from 下料记录 order by 长度 desc, 序号")),
                 (QStringList{"501|2095", "501|2095", "501|900"}));
        QCOMPARE(Rows(QStringLiteral("select 材料名称,长度 from 余料")), QStringList{"松木 45×95|882"});
        // The same plan cannot be confirmed twice.
        QVERIFY(!button("Button_cut_confirm")->isEnabled());
        // Computed again, the line's pieces are not offered again; the kept leftover is in stock.
        clickCalculate();
        QCOMPARE(treeLines(tree()), (QStringList{"不能下料（1）", ">单据72 明细502|商品没有部件"}));
        m_dialogs->clear();
        QTest::mouseClick(button("Button_cut_confirm"), Qt::LeftButton);
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("所选单据中没有可以下料的部件。")});
        QCOMPARE(Scalar(QStringLiteral("select count(*) from 下料记录")), QStringLiteral("3"));
    }

    // Another workstation confirmed the same line, or took the offcut the plan uses, after this
    // plan was made: nothing of it is written, the clerk is told, and the plan is made again.
    void confirmRefusedAfterAnotherWorkstation_data() {
        QTest::addColumn<bool>("offcutGone");
        QTest::newRow("the same line confirmed") << false;
        QTest::newRow("the offcut used is gone") << true;
    }
    void confirmRefusedAfterAnotherWorkstation() {
        QFETCH(bool, offcutGone);
        // Bars of 5000: the three pieces need two, or one and the offcut for the head.
        Database::Exec(QStringLiteral("update 材料 set 原料长度=5000"));
        Database::Exec(QStringLiteral("insert into 余料 (材料名称,长度,来源,入库日期) values "
                                      "(\"松木 45×95\",1000,\"架上\",#2021-02-01#)"));
        calculate();
        QCOMPARE(tab()->plan()->materials.at(0).offcutsUsed, 1);
        if (offcutGone)
            Database::Exec(QStringLiteral("delete from 余料"));
        else
            ConfirmCuttingPlan(PlanCuttingList(march(), 1));
        const QStringList recorded = Rows(QStringLiteral("select * from 下料记录 order by 记录ID"));
        const QStringList stock = Rows(QStringLiteral("select * from 余料 order by 余料ID"));

        QTest::mouseClick(button("Button_cut_confirm"), Qt::LeftButton);
        waitForPlan();
        QCOMPARE(m_dialogs->messages,
                 QStringList{QStringLiteral("其他工作站已确认了其中的部件，或所用的余料已不在，本次没有确认。"
                                            "下料单已重新计算，请核对后再确认。")});
        QCOMPARE(Rows(QStringLiteral("select * from 下料记录 order by 记录ID")), recorded);
        QCOMPARE(Rows(QStringLiteral("select * from 余料 order by 余料ID")), stock);
        // The plan shown is the new one: what is still to cut.
        if (offcutGone) {
            QCOMPARE(tab()->plan()->materials.at(0).offcutsUsed, 0);
            QVERIFY(button("Button_cut_confirm")->isEnabled());
        } else {
            QVERIFY(tab()->plan()->materials.empty());
        }
    }

    // 材料: a bad value is refused naming its field and nothing is written; a good row is saved.
    void materialEditor_data() {
        QTest::addColumn<QStringList>("values"); // 材料名称, 原料长度, 锯缝, 端头余量, 最短余料
        QTest::addColumn<QString>("message");
        QTest::newRow("good") << QStringList{"铝合金 6063", "6500", "3.5", "5", "300"} << "";
        QTest::newRow("negative kerf") << QStringList{"铝合金 6063", "6500", "-3", "5", "300"}
                                       << "材料“铝合金 6063”的锯缝不能是负数（-3）。";
        QTest::newRow("stock no larger than two trims")
            << QStringList{"铝合金 6063", "100", "3", "50", "300"}
            << "材料“铝合金 6063”的原料长度（100）必须大于两端的端头余量之和（2×50）。";
        QTest::newRow("two decimals") << QStringList{"铝合金 6063", "6500", "3.25", "5", "300"}
                                      << "材料“铝合金 6063”的锯缝“3.25”不是长度：请填毫米数，最多一位小数。";
        QTest::newRow("a name twice") << QStringList{"松木 45×95", "6500", "3", "5", "300"}
                                      << "材料名称“松木 45×95”重复：每种材料只能有一行。";
    }
    void materialEditor() {
        QFETCH(QStringList, values);
        QFETCH(QString, message);
        openTab();
        auto* editor = openEditor<TMaterialEditor>("Button_cut_materials");
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->Query->RowCount(), 1);
        QTest::keyClick(editor->Grid, Qt::Key_Insert);
        const char* fields[] = {"材料名称", "原料长度", "锯缝", "端头余量", "最短余料"};
        for (int i = 0; i < 5; ++i)
            QVERIFY(setCell(editor, 2, fields[i], values[i]));
        QTest::mouseClick(editor->Button_save, Qt::LeftButton);
        const QStringList saved = Rows(QStringLiteral("select 材料名称,原料长度,锯缝,端头余量,最短余料 from 材料 "
                                                      "order by 材料名称"));
        if (message.isEmpty()) {
            QCOMPARE(m_dialogs->messages, QStringList());
            QCOMPARE(saved, (QStringList{"松木 45×95|6000|4|10|500", "铝合金 6063|6500|3.5|5|300"}));
        } else {
            QCOMPARE(m_dialogs->messages, QStringList{message});
            QCOMPARE(saved, QStringList{"松木 45×95|6000|4|10|500"});
            QVERIFY(editor->Query->HasPendingChanges());
        }
    }

    // A material renamed takes its pieces and offcuts along; one still in use is not deleted.
    void materialRenamedOrDeleted() {
        Database::Exec(QStringLiteral("insert into 余料 (材料名称,长度,来源,入库日期) values "
                                      "(\"松木 45×95\",1200,\"架上\",#2021-02-01#)"));
        openTab();
        auto* editor = openEditor<TMaterialEditor>("Button_cut_materials");
        QVERIFY(setCell(editor, 1, "材料名称", QStringLiteral("松木 45×90")));
        QTest::mouseClick(editor->Button_save, Qt::LeftButton);
        QCOMPARE(m_dialogs->messages, QStringList());
        QCOMPARE(Rows(QStringLiteral("select distinct 材料名称 from 商品部件")), QStringList{"松木 45×90"});
        QCOMPARE(Rows(QStringLiteral("select 材料名称 from 余料")), QStringList{"松木 45×90"});
        calculate();
        QCOMPARE(tab()->plan()->materials.at(0).material, QStringLiteral("松木 45×90"));

        m_dialogs->answers = {true};
        editor->Grid->setFocus();
        QTest::keyClick(editor->Grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(editor->Query->RowCount(), 0);
        QTest::mouseClick(editor->Button_save, Qt::LeftButton);
        QCOMPARE(m_dialogs->messages,
                 QStringList{QStringLiteral("材料“松木 45×90”还有2个商品部件和1根余料在用，不能删除。")});
        QCOMPARE(Scalar(QStringLiteral("select count(*) from 材料")), QStringLiteral("1"));
    }

    // 余料: an offcut found on the rack is added (today's date, 来源 手工录入 unless typed), one
    // that is gone is deleted; a bad row is refused naming its field.
    void offcutEditor() {
        openTab();
        auto* editor = openEditor<TOffcutEditor>("Button_cut_offcuts");
        QVERIFY(editor && editor->isVisible());
        QTest::keyClick(editor->Grid, Qt::Key_Insert);
        QVERIFY(setCell(editor, 1, "材料名称", QStringLiteral("柚木")));
        QVERIFY(setCell(editor, 1, "长度", QStringLiteral("1500")));
        QTest::mouseClick(editor->Button_save, Qt::LeftButton);
        QCOMPARE(m_dialogs->messages, QStringList{QStringLiteral("余料的材料“柚木”不存在。")});
        QVERIFY(setCell(editor, 1, "材料名称", QStringLiteral("松木 45×95")));
        QVERIFY(setCell(editor, 1, "长度", QStringLiteral("1500.25")));
        QTest::mouseClick(editor->Button_save, Qt::LeftButton);
        QCOMPARE(m_dialogs->messages.last(),
                 QStringLiteral("余料（松木 45×95）的长度“1500.25”必须是大于0的毫米数，最多一位小数。"));
        QCOMPARE(Scalar(QStringLiteral("select count(*) from 余料")), QStringLiteral("0"));
        QVERIFY(setCell(editor, 1, "长度", QStringLiteral("1500.5")));
        m_dialogs->clear();
        QTest::mouseClick(editor->Button_save, Qt::LeftButton);
        QCOMPARE(m_dialogs->messages, QStringList());
        QCOMPARE(Rows(QStringLiteral("select 材料名称,长度,来源,入库日期 from 余料")),
                 QStringList{QStringLiteral("松木 45×95|1500.5|手工录入|") +
                             QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))});
        // Gone from the rack.
        m_dialogs->answers = {true};
        editor->Grid->setFocus();
        QTest::keyClick(editor->Grid, Qt::Key_Delete, Qt::ControlModifier);
        QTest::mouseClick(editor->Button_save, Qt::LeftButton);
        QCOMPARE(m_dialogs->messages, QStringList());
        QCOMPARE(Scalar(QStringLiteral("select count(*) from 余料")), QStringLiteral("0"));
    }

    void printout() {
        calculate();
        const QString pdf = m_dir->filePath(QStringLiteral("plan.pdf"));
        QCOMPARE(test::PrintThroughPreview(button("Button_cut_print"), pdf), QStringLiteral("打印预览"));
        QCOMPARE(m_dialogs->messages, QStringList());
        QStringList words;
        for (const test::PdfWord& w : test::PdfWords(pdf))
            words << w.text;
        const QString all = words.join(QLatin1Char(' '));
        for (const char* text : {"下料单", "松木", "45×95", "第1根", "6000", "882", "余料", "上框", "900"})
            QVERIFY2(words.contains(QString::fromUtf8(text)), qPrintable(all));
        // Each piece's label under the bar, and in its box.
        QCOMPARE(words.count(QStringLiteral("(单据71)")), 3);
        QCOMPARE(words.count(QStringLiteral("单据71")), 3);
        QCOMPARE(words.count(QStringLiteral("2095")), 4);
    }

    void exportReadBack() {
        calculate();
        const QList<QUrl> opened =
            test::FilesOpenedBy([this] { QTest::mouseClick(button("Button_cut_excel"), Qt::LeftButton); });
        QCOMPARE(m_dialogs->messages, QStringList());
        QCOMPARE(opened.size(), 1);
        QVERIFY(opened[0].toLocalFile().endsWith(QStringLiteral("下料单.xlsx")));
        QString error;
        const test::RecordingSink book = test::ReadWorkbook(opened[0].toLocalFile(), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(book.range(), QStringLiteral("A1:H5"));
        QCOMPARE(book.text(QStringLiteral("A1")), QStringLiteral("材料"));
        QCOMPARE(book.text(QStringLiteral("A2")), QStringLiteral("松木 45×95"));
        QCOMPARE(book.text(QStringLiteral("D4")), QStringLiteral("上框"));
        QCOMPARE(book.at(QStringLiteral("E4")).value.toDouble(), 900.0);
        QCOMPARE(book.at(QStringLiteral("G4")).value.toDouble(), 501.0);
        QCOMPARE(book.text(QStringLiteral("A5")), QStringLiteral("不能下料"));
        QCOMPARE(book.text(QStringLiteral("H5")), QStringLiteral("商品没有部件"));
    }
};

QTEST_MAIN(TestCuttingTab)
#include "test_cutting_tab.moc"
