#pragma once
// The selection and editing window for clients, installers and products.

#include <QWidget>

class QLabel;
class QLineEdit;

namespace kvt {
class DataQuery;

class TCGForm : public QWidget {
    Q_OBJECT
public:
    explicit TCGForm(QWidget* parent = nullptr);

    QLabel* LabelModol;
    QLabel* Label_title;
    QLineEdit* Edit_Find;
    DataQuery* CGQuery;
};

} // namespace kvt
