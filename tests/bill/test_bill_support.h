#pragma once
// Shared set-up of the bill window tests: the five windows over a fresh database, products and
// clients, typing into the grid, and a recorder of the searches started in the selection window.

#include "app/AppStart.h"
#include "bill/BillUnit.h"
#include "controls/FormRegistry.h"
#include "controls/QorControlUnit.h"
#include "store/DataQuery.h"
#include "store/Database.h"
#include "support/FakeDialogs.h"
#include "support/QueryText.h"

#include <QApplication>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace kvt::test {

inline TBillForm* billForm() {
    return qobject_cast<TBillForm*>(Form(QStringLiteral("BillForm")));
}

inline TQorStringGrid* billGrid() {
    return billForm()->Grid_Bill;
}

inline int countRows(const QString& sql) {
    DataQuery q;
    q.SetSql(sql);
    q.Open();
    return q.RowCount();
}

struct ProductFormulas {
    QString width, height, leafWidth, leafHeight, glassWidth, glassHeight;
};

/// Adds a product and returns its 商品ID.
inline qint64 addProduct(const QString& name, const QString& code, const ProductFormulas& f = {}) {
    DataQuery q;
    q.SetSql(QStringLiteral("select * from 商品信息"));
    q.Open();
    q.AppendRow();
    q.Field(QStringLiteral("商品名称")).setString(name);
    q.Field(QStringLiteral("自定义编号")).setString(code);
    q.Field(QStringLiteral("外框宽公式")).setString(f.width);
    q.Field(QStringLiteral("外框高公式")).setString(f.height);
    q.Field(QStringLiteral("门扇宽公式")).setString(f.leafWidth);
    q.Field(QStringLiteral("门扇高公式")).setString(f.leafHeight);
    q.Field(QStringLiteral("门扇玻璃宽公式")).setString(f.glassWidth);
    q.Field(QStringLiteral("门扇玻璃高公式")).setString(f.glassHeight);
    q.ApplyUpdates();
    return Scalar(QStringLiteral("select 商品ID from 商品信息 where 自定义编号=") + SqlText(code)).toLongLong();
}

/// Adds a client (or installer) and returns its 客户ID.
inline qint64 addClient(const QString& name, const QString& code) {
    DataQuery q;
    q.SetSql(QStringLiteral("select * from 客户信息"));
    q.Open();
    q.AppendRow();
    q.Field(QStringLiteral("客户名")).setString(name);
    q.Field(QStringLiteral("自定义编号")).setString(code);
    q.ApplyUpdates();
    return Scalar(QStringLiteral("select 客户ID from 客户信息 where 自定义编号=") + SqlText(code)).toLongLong();
}

inline void setCounter(int next) {
    Database::Exec(QStringLiteral("update 系统设置 set 值=%1 where ID=\"历史单据ID\"").arg(next));
}

/// Records every Enter sent to the selection window's search box with the state it met, and
/// swallows it, so the tests see exactly what the bill window handed over.
class SearchRecorder : public QObject {
public:
    struct Search {
        QString mode, text;
        bool shown;
    };
    SearchRecorder() {
        m_find = Control<QLineEdit>(QStringLiteral("CGForm"), QStringLiteral("Edit_Find"));
        m_find->installEventFilter(this);
    }
    ~SearchRecorder() override {
        if (m_find)
            m_find->removeEventFilter(this);
    }
    QList<Search> searches;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::KeyPress)
            return false;
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() != Qt::Key_Return && k->key() != Qt::Key_Enter)
            return false;
        QWidget* cg = Form(QStringLiteral("CGForm"));
        searches.push_back(
            {Control<QLabel>(cg, QStringLiteral("LabelModol"))->text(), m_find->text(), cg->isVisible()});
        return true;
    }

private:
    QPointer<QLineEdit> m_find;
};

/// The widget keys go to in the grid: its open in-cell editor, or the grid itself.
inline QWidget* gridKeyTarget() {
    TQorStringGrid* g = billGrid();
    if (g->IsEditorOpen())
        for (QLineEdit* e : g->findChildren<QLineEdit*>())
            if (e->isVisible())
                return e;
    return g;
}

inline void pressEnterInGrid() {
    QTest::keyClick(gridKeyTarget(), Qt::Key_Return);
}

/// Types text into the current cell of the grid, as the user does.
inline void typeInGrid(const QString& text) {
    for (QChar ch : text)
        QTest::keyClicks(gridKeyTarget(), QString(ch));
}

/// Puts the cursor on a cell as a click does.
inline void gotoCell(int col, int row) {
    QVERIFY(billGrid()->SetCurrentCell(col, row));
}

/// Opens a new frame bill as the main window's "新开门框" does.
inline void openNewBill() {
    Control<QPushButton>(QStringLiteral("MainForm"), QStringLiteral("Button1"))->click();
}

/// Fills a header that the saves accept.
inline void fillHeader(qint64 clientId, qint64 installerId) {
    TBillForm* b = billForm();
    b->EditClient->setText(QStringLiteral("张三"));
    b->LabelClentID->setText(QString::number(clientId));
    b->EditAddress->setText(QStringLiteral("东街1号"));
    b->EditSetup_man->setText(QStringLiteral("李四"));
    b->Label_setup_man_id->setText(QString::number(installerId));
    b->DatePicker1->setDate(QDate(2026, 3, 14));
}

/// Writes a complete frame line into row r of the grid, as product choice and typing leave it.
inline void fillFrameRow(int r, qint64 productId, const QString& width = QStringLiteral("900")) {
    TQorStringGrid* g = billGrid();
    const QStringList cells = {QStringLiteral("L%1").arg(r),
                               QStringLiteral("产品"),
                               QStringLiteral("平板"),
                               width,
                               QStringLiteral("2000"),
                               QStringLiteral("20"),
                               QStringLiteral("940"),
                               QStringLiteral("2040"),
                               QStringLiteral("1"),
                               QStringLiteral("无"),
                               QStringLiteral("备注%1").arg(r),
                               QString::number(productId)};
    for (int c = 1; c <= 12; ++c)
        g->SetCells(c, r, cells[c - 1]);
}

/// Opens a saved bill the way the query window does: header, line query, loader, show.
inline void openSavedBill(qint64 billId, bool doorLeaf) {
    TBillForm* b = billForm();
    const QString id = QString::number(billId);
    b->ADOQuery_bill->Close();
    b->ADOQuery_bill->SetSql(
        QStringLiteral("select * from 历史单据 left join 客户信息 on 历史单据.客户ID=客户信息.客户ID "
                       "where 单据ID=") +
        id);
    b->ADOQuery_bill->Open();
    b->LabelbillType->setText(doorLeaf ? QStringLiteral("2") : QStringLiteral("3"));
    b->EditBill_id->setText(id);
    b->LabelClentID->setText(b->ADOQuery_bill->Field(QStringLiteral("客户信息.客户ID")).asString());
    b->EditClient->setText(b->ADOQuery_bill->Field(QStringLiteral("客户名")).asString());
    b->Label_setup_man_id->setText(b->ADOQuery_bill->Field(QStringLiteral("安装人员ID")).asString());
    b->DatePicker1->setDate(b->ADOQuery_bill->Field(QStringLiteral("单据日期")).asDate());
    b->EditSetup_man->setText(b->ADOQuery_bill->Field(QStringLiteral("安装人员")).asString());
    b->EditAddress->setText(b->ADOQuery_bill->Field(QStringLiteral("客户地址")).asString());
    b->ADOQuery_bill->Close();
    if (doorLeaf) {
        b->ADOQuery_bill->SetSql(QStringLiteral("select * from 单据明细 where 单据ID=") + id +
                                 QStringLiteral(" order by 门框ID"));
        b->ADOQuery_bill->Open();
        CallFormMethod(QStringLiteral("BillForm"), "LoadDoorLeafLines");
        b->LabelBillClass->setText(QStringLiteral("---门扇生产排单---"));
    } else {
        b->ADOQuery_bill->SetSql(
            QStringLiteral("select * from 单据明细 left join 商品信息 on 单据明细.商品ID=商品信息.商品ID "
                           "where 单据明细.单据ID=") +
            id + QStringLiteral(" order by 门框ID"));
        b->ADOQuery_bill->Open();
        CallFormMethod(QStringLiteral("BillForm"), "LoadFrameLines");
        b->LabelBillClass->setText(QStringLiteral("门框生产排单"));
    }
    b->Button_add_new->setEnabled(true);
    b->Button_dele->setEnabled(true);
    b->Button_del_bill->setEnabled(true);
    b->show();
}

} // namespace kvt::test
