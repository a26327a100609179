#pragma once
// The main window: a column of five commands.

#include <QWidget>

class QPushButton;

namespace kvt {

class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);

    QPushButton* Button1;
    QPushButton* Button3;
    QPushButton* Button4;
    QPushButton* Button2;
    QPushButton* ButtonExit;

    /// New frame bill: kind "1", frame title, three buttons off, bill window shown.
    void Button1Click();
    /// Query window shown.
    void Button3Click();
    /// Selection window in product editing mode "5".
    void Button4Click();
    /// Selection window in client editing mode "4".
    void Button2Click();
    void ButtonExitClick();
    /// Same as Button3Click; no control calls it.
    void N8Click();
    /// Bill window with the door-leaf layout and no kind; no control calls it.
    void N3Click();

protected:
    void closeEvent(QCloseEvent* event) override;
};

} // namespace kvt
