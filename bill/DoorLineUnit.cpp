#include "bill/DoorLineUnit.h"

#include "controls/Dialogs.h"
#include "controls/FormRegistry.h"
#include "controls/QorControlUnit.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kvt {
namespace {
constexpr int kExtraColumn = 10;
const QString kExtraTitle = QStringLiteral("门框附加");
} // namespace

TForm_DoorLine::TForm_DoorLine(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form_DoorLine"));
    setWindowTitle(QStringLiteral("门套线属性窗口"));
    setFixedSize(394, 348);

    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(19);
    setFont(font);

    auto radio = [this](const char* name, const QString& caption, int top) {
        auto* r = new QRadioButton(caption, this);
        r->setObjectName(QString::fromLatin1(name));
        r->move(24, top);
        m_fitToText << r;
        return r;
    };
    auto label = [this](const char* name, const QString& caption, int left, int top) {
        auto* l = new QLabel(caption, this);
        l->setObjectName(QString::fromLatin1(name));
        l->move(left, top);
        m_fitToText << l;
        return l;
    };
    RadioButton6 = radio("RadioButton6", QStringLiteral("无门线"), 48);
    RadioButton1 = radio("RadioButton1", QStringLiteral("正面门线加"), 80);
    RadioButton2 = radio("RadioButton2", QStringLiteral("外面门线加"), 112);
    RadioButton3 = radio("RadioButton3", QStringLiteral("双面门线"), 144);
    Label3 = label("Label3", QStringLiteral("正面加扣板"), 152, 144);
    RadioButton4 = radio("RadioButton4", QStringLiteral("双面门线"), 176);
    Label5 = label("Label5", QStringLiteral("外面加扣板"), 152, 176);
    RadioButton5 = radio("RadioButton5", QStringLiteral("双面门线"), 208);
    Label7 = label("Label7", QStringLiteral("双面加扣板"), 152, 208);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(176, 72, 49, 27);
    Edit1->installEventFilter(this);
    Label2 = label("Label2", QStringLiteral("斗"), 232, 72);

    Button1 = new QPushButton(QStringLiteral("确定"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    QFont buttonFont = font;
    buttonFont.setPixelSize(16);
    Button1->setFont(buttonFont);
    Button1->setGeometry(136, 256, 113, 33);

    setTabOrder(RadioButton6, RadioButton1);
    setTabOrder(RadioButton1, RadioButton2);
    setTabOrder(RadioButton2, RadioButton3);
    setTabOrder(RadioButton3, RadioButton4);
    setTabOrder(RadioButton4, RadioButton5);
    setTabOrder(RadioButton5, Button1);
    setTabOrder(Button1, Edit1);

    // An option's handler runs when it becomes chosen, by click or by keyboard.
    auto wire = [this](QRadioButton* r, void (TForm_DoorLine::*handler)()) {
        connect(r, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on)
                Guarded(this, [this, handler] { (this->*handler)(); });
        });
    };
    wire(RadioButton1, &TForm_DoorLine::RadioButton1Click);
    wire(RadioButton2, &TForm_DoorLine::RadioButton2Click);
    wire(RadioButton3, &TForm_DoorLine::RadioButton3Click);
    wire(RadioButton4, &TForm_DoorLine::RadioButton4Click);
    wire(RadioButton5, &TForm_DoorLine::RadioButton5Click);
    wire(RadioButton6, &TForm_DoorLine::RadioButton6Click);
    connect(Button1, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button1Click(); }); });
}

bool TForm_DoorLine::event(QEvent* e) {
    if (e->type() == QEvent::Show && !m_fitToText.isEmpty()) {
        // Measured when first shown rather than at start-up, where the dialog's font would be
        // loaded only to size captions nobody sees yet.
        for (QWidget* w : std::as_const(m_fitToText))
            w->adjustSize();
        m_fitToText.clear();
    }
    const bool handled = QWidget::event(e);
    // Showing the dialog activates it; both start the choice again.
    if (e->type() == QEvent::WindowActivate || (e->type() == QEvent::Show && !e->spontaneous()))
        Guarded(this, [this] { FormActivate(); });
    return handled;
}

bool TForm_DoorLine::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Edit1 && e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        int key = ke->key();
        Guarded(this, [&] { Edit1KeyDown(key, ke->modifiers()); });
        if (key == 0)
            return true;
    }
    return QWidget::eventFilter(watched, e);
}

void TForm_DoorLine::FormActivate() {
    RadioButton6->setFocus(Qt::OtherFocusReason);
    // Focusing an option chooses it; an option already chosen changes nothing.
    RadioButton6->setChecked(true);
}

void TForm_DoorLine::choose(const QString& kind, const QString& addWord, int editLeft, int top, int labelLeft) {
    DoorLineKind = kind;
    DoorLineAddWord = addWord;
    if (top >= 0) {
        Edit1->move(editLeft, top);
        Label2->move(labelLeft, top);
    }
    Edit1->clear();
    // "无门线" takes no number: its result is always "无".
    Edit1->setEnabled(!addWord.isEmpty());
}

void TForm_DoorLine::RadioButton1Click() {
    choose(QStringLiteral("正门线"), QStringLiteral("加"), 176, 72, 232);
}

void TForm_DoorLine::RadioButton2Click() {
    choose(QStringLiteral("外门线"), QStringLiteral("加"), 176, 104, 232);
}

void TForm_DoorLine::RadioButton3Click() {
    choose(QStringLiteral("双门线"), QStringLiteral("正面加"), 264, 144, 328);
}

void TForm_DoorLine::RadioButton4Click() {
    choose(QStringLiteral("双门线"), QStringLiteral("外面加"), 264, 176, 328);
}

void TForm_DoorLine::RadioButton5Click() {
    choose(QStringLiteral("双门线"), QStringLiteral("双面加"), 264, 208, 328);
}

void TForm_DoorLine::RadioButton6Click() {
    choose(QStringLiteral("无"), QString());
}

void TForm_DoorLine::Edit1KeyDown(int& key, Qt::KeyboardModifiers) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        key = 0;
        Button1Click();
    }
}

QString TForm_DoorLine::ComposedText() const {
    const QString number = Edit1->text();
    if (number.isEmpty() || !Edit1->isEnabled())
        return DoorLineKind;
    return DoorLineKind + DoorLineAddWord + number + QStringLiteral("斗");
}

void TForm_DoorLine::Button1Click() {
    auto* grid = Control<TQorStringGrid>(QStringLiteral("BillForm"), QStringLiteral("Grid_Bill"));
    // Only a frame line has this column; a grid laid out otherwise (door-leaf lines, or a bill
    // window closed meanwhile) is left alone rather than have another column overwritten.
    if (grid->Cells(kExtraColumn, 0) == kExtraTitle)
        grid->SetCells(kExtraColumn, grid->Row(), ComposedText());
    close();
}

} // namespace kvt
