#include "bill/BillUnit.h"

#include "store/DataQuery.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kvt {

TBillForm::TBillForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("BillForm"));
    setWindowTitle(QStringLiteral("开单窗口"));
    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        return e;
    };
    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    LabelBillClass = label("LabelBillClass");
    LabelbillType = label("LabelbillType");
    LabelbillType->hide();
    LabelClentID = label("LabelClentID");
    LabelClentID->hide();
    Label_setup_man_id = label("Label_setup_man_id");
    Label_setup_man_id->hide();
    EditClient = edit("EditClient");
    EditAddress = edit("EditAddress");
    EditBill_id = edit("EditBill_id");
    EditBill_id->setEnabled(false);
    EditSetup_man = edit("EditSetup_man");
    Button_del_bill = button("Button_del_bill", "删除单据");
    ButtonSave = button("ButtonSave", "保存");
    Button_add_new = button("Button_add_new", "新增");
    Button_dele = button("Button_dele", "删除单条记录");
    send_excel = button("send_excel", "发送至EXCEL");
    ButtonPrint = button("ButtonPrint", "打印");
    ButtonExit = button("ButtonExit", "退出");

    ADOQuery_bill = new DataQuery(this);
    ADOQuery_bill->setObjectName(QStringLiteral("ADOQuery_bill"));
    ADOQuery_bill->SetSql(QStringLiteral("select * from 单据明细 left join 商品信息 on "
                                         "单据明细.门框ID=商品信息.商品ID where 单据明细.单据ID=3"));
    ADOQuery_bill->Open();
    ADOQuery_goods = new DataQuery(this);
    ADOQuery_goods->setObjectName(QStringLiteral("ADOQuery_goods"));
    ADOQuery_goods->SetSql(QStringLiteral("select * from 商品信息 "));
    ADOQuery_goods->Open();
}

} // namespace kvt
