#include "bill/DoorLineUnit.h"

namespace kvt {

TForm_DoorLine::TForm_DoorLine(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form_DoorLine"));
    setWindowTitle(QStringLiteral("门套线属性窗口"));
}

} // namespace kvt
