#pragma once
// The bill window: header, line grid and the commands on one bill.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kvt {
class DataQuery;

class TBillForm : public QWidget {
    Q_OBJECT
public:
    explicit TBillForm(QWidget* parent = nullptr);

    QLabel* LabelBillClass;
    QLabel* LabelbillType;
    QLabel* LabelClentID;
    QLabel* Label_setup_man_id;
    QLineEdit* EditClient;
    QLineEdit* EditAddress;
    QLineEdit* EditBill_id;
    QLineEdit* EditSetup_man;
    QPushButton* Button_del_bill;
    QPushButton* ButtonSave;
    QPushButton* Button_add_new;
    QPushButton* Button_dele;
    QPushButton* send_excel;
    QPushButton* ButtonPrint;
    QPushButton* ButtonExit;
    DataQuery* ADOQuery_bill;
    DataQuery* ADOQuery_goods;
};

} // namespace kvt
