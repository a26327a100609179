#pragma once
// The query window: bill lists, special queries, free SQL, print and export.

#include <QWidget>

class QLabel;

namespace kvt {
class DataQuery;

class TFormQuery : public QWidget {
    Q_OBJECT
public:
    explicit TFormQuery(QWidget* parent = nullptr);

    QLabel* Label_client_id;
    QLabel* query_modle_Label;
    DataQuery* ADOQuery1;
};

} // namespace kvt
