#pragma once
// The door casing line dialog: composes the "门框附加" text of a frame line from one of six
// kinds of door casing line and an optional number, and writes it into the bill grid.

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kvt {

class TForm_DoorLine : public QWidget {
    Q_OBJECT
public:
    explicit TForm_DoorLine(QWidget* parent = nullptr);

    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QRadioButton* RadioButton3;
    QRadioButton* RadioButton4;
    QRadioButton* RadioButton5;
    QRadioButton* RadioButton6;
    QLabel* Label3;
    QLabel* Label5;
    QLabel* Label7;
    /// The number of the line; any text is taken as typed.
    QLineEdit* Edit1;
    /// The unit word after the number; moves with Edit1.
    QLabel* Label2;
    QPushButton* Button1;

    /// Kind of door line of the chosen option ("无", "正门线", ...); empty until one is chosen.
    QString DoorLineKind;
    /// Word joining the kind to the number ("加", "正面加", ...).
    QString DoorLineAddWord;

    /// Each activation starts again from "无门线".
    void FormActivate();
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton3Click();
    void RadioButton4Click();
    void RadioButton5Click();
    void RadioButton6Click();
    void Edit1KeyDown(int& key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    /// "确定": writes the composed text into column 10 of the bill grid's current row and closes.
    void Button1Click();

    /// The text the dialog writes: kind + joining word + number + "斗", or the kind alone
    /// when no number was typed.
    QString ComposedText() const;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Captions sized to their text when the dialog is first shown.
    QList<QWidget*> m_fitToText;
    /// Sets the two texts and, when given, places the number box and its unit on a line.
    void choose(const QString& kind, const QString& addWord, int editLeft = -1, int top = -1, int labelLeft = -1);
};

} // namespace kvt
