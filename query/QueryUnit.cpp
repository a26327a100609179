#include "query/QueryUnit.h"

#include "store/DataQuery.h"

#include <QLabel>

namespace kvt {

TFormQuery::TFormQuery(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FormQuery"));
    setWindowTitle(QStringLiteral("查询窗口"));
    Label_client_id = new QLabel(this);
    Label_client_id->setObjectName(QStringLiteral("Label_client_id"));
    Label_client_id->hide();
    query_modle_Label = new QLabel(this);
    query_modle_Label->setObjectName(QStringLiteral("query_modle_Label"));
    query_modle_Label->hide();
    ADOQuery1 = new DataQuery(this);
    ADOQuery1->setObjectName(QStringLiteral("ADOQuery1"));
}

} // namespace kvt
