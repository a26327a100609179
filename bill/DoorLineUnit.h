#pragma once
// The door casing line dialog.

#include <QWidget>

namespace kvt {

class TForm_DoorLine : public QWidget {
    Q_OBJECT
public:
    explicit TForm_DoorLine(QWidget* parent = nullptr);
};

} // namespace kvt
