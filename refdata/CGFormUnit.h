#pragma once
// The selection and editing window for clients, installers and products.
//
// The caller sets the mode in LabelModol, shows the window and hands its user's text over
// through Edit_Find and an Enter key there. A custom number that names exactly one record is
// written straight back into the caller and the window closes before the list is seen;
// otherwise the list shows the records whose name contains the text. Modes "4" and "5" edit
// the client and the product table, with every change held until "保存".

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kvt {
class DataQuery;
class TQorDBGrid;
class TProductPiecesPanel;

class TCGForm : public QWidget {
    Q_OBJECT
public:
    explicit TCGForm(QWidget* parent = nullptr);

    QLabel* Label1;
    /// The search text.
    QLineEdit* Edit_Find;
    QLabel* Label_title;
    /// Mode carrier "1" to "7", set by the caller before it shows the window.
    QLabel* LabelModol;
    TQorDBGrid* CGDBGrid;
    QPushButton* Button_yes;
    QPushButton* Button_save;
    /// "公式测试": the current product's formulas on a sample line (product editing only).
    QPushButton* Button_formula_test;
    QPushButton* Button_exit;
    /// 部件: the current product's pieces, under the list (product editing only).
    TProductPiecesPanel* Panel_pieces;
    /// The rows of the list; the searches replace its statement.
    DataQuery* CGQuery;

    // Handlers.
    /// Opening steps: empties the list, sets the title or switches editing on, by mode.
    void CGForm_show();
    /// Closing steps, however the window is closed: editing off, "保存" hidden.
    void CGForm_close();
    /// Enter runs the mode's search; every key then sets the column widths by title.
    Q_INVOKABLE void Edit_Find_keydown(int& key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void Edit_FindDblClick();
    /// Enter hands the current row back in the picking modes.
    void CGDBGrid_keydown(int& key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void CGDBGridDblClick();
    void Button_yesClick();
    /// Writes every pending change of the list in one go.
    void Button_saveClick();
    void Button_formula_testClick();
    void Button_exitClick();

    // Searches, one per mode (the text is that of Edit_Find).
    void clent_find();
    void set_man_find();
    void goods_find();
    void client_edit_find();
    void goods_edit_find();

    // Hand-backs of the current list row.
    void CGDBGrid_writ_client();
    void CGDBGrid_writ_setup_man();
    void CGDBGrid_writ_goods();
    void CGDBGrid_writ_query_client();
    void CGDBGrid_writ_door_goods();

    void CGDBGrid_set_colwide_client();
    void CGDBGrid_set_colwide_goods();

    /// "客户信息" or "商品信息" while the window is open editing that table with changes not yet
    /// saved; empty otherwise.
    Q_INVOKABLE QString unsavedTable() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// The search caption is sized to its text at the first showing, not at start-up.
    bool m_captionFitted = false;
    QString mode() const;
    /// Client and installer search; a single exact hit goes to the bill window's or the
    /// query window's name box and id carrier.
    void personFind(const QString& formName, const QString& nameBox, const QString& idCarrier);
    /// Runs a list statement, then the given widths and the focus in the list.
    void openList(const QString& statement, void (TCGForm::*widths)());
    /// Writes a product into the bill grid's current row: number, name, and id into idColumn.
    void writeGoods(const QString& number, const QString& name, const QString& id, int idColumn);
    /// Text of the current list row in the list's shown column.
    QString shownText(int shownColumn) const;
    /// The same read as an integer, as decimal text.
    QString shownInteger(int shownColumn) const;
    /// Brings a window to the front and closes this one.
    void returnTo(const QString& formName);
};

} // namespace kvt
