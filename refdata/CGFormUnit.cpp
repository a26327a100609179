#include "refdata/CGFormUnit.h"

#include "store/DataQuery.h"

#include <QLabel>
#include <QLineEdit>

namespace kvt {

TCGForm::TCGForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CGForm"));
    setWindowTitle(QStringLiteral("信息选择与编辑窗口"));
    LabelModol = new QLabel(this);
    LabelModol->setObjectName(QStringLiteral("LabelModol"));
    LabelModol->hide();
    Label_title = new QLabel(this);
    Label_title->setObjectName(QStringLiteral("Label_title"));
    Edit_Find = new QLineEdit(this);
    Edit_Find->setObjectName(QStringLiteral("Edit_Find"));
    CGQuery = new DataQuery(this);
    CGQuery->setObjectName(QStringLiteral("CGQuery"));
    CGQuery->SetSql(QStringLiteral("select * from 商品信息"));
    CGQuery->Open();
}

} // namespace kvt
