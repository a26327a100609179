#pragma once
// The bill window: header, line grid and the commands on one bill.
//
// The window is one of the five program-wide windows. Other windows talk to it through its
// controls (the hidden labels are carriers) and through the Q_INVOKABLE operations below.
// Its line query ADOQuery_bill holds the bill-number counter row while a new bill is open and
// the bill's lines (query row n = grid row n) while a saved bill is shown.

#include "bill/BillSnapshot.h"

#include <QStringList>
#include <QWidget>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kvt {
class DataQuery;
class TQorStringGrid;

class TBillForm : public QWidget {
    Q_OBJECT
public:
    explicit TBillForm(QWidget* parent = nullptr);

    QLabel* LabelBillClass;
    QLabel* LabelClient;
    QLabel* Label3;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    /// Carriers: bill kind ("1" new frame bill, "2" door-leaf view, "3" frame view), client ID,
    /// installer ID.
    QLabel* LabelbillType;
    QLabel* LabelClentID;
    QLabel* Label_setup_man_id;
    QLineEdit* EditClient;
    QLineEdit* EditAddress;
    /// The bill number; a carrier, shown but not editable.
    QLineEdit* EditBill_id;
    QLineEdit* EditSetup_man;
    QDateEdit* DatePicker1;
    TQorStringGrid* Grid_Bill;
    QPushButton* Button_del_bill;
    QPushButton* ButtonSave;
    QPushButton* Button_add_new;
    QPushButton* Button_dele;
    QPushButton* send_excel;
    QPushButton* ButtonPrint;
    QPushButton* ButtonExit;
    /// The line query (counter row, or the bill's lines) and the product query.
    DataQuery* ADOQuery_bill;
    DataQuery* ADOQuery_goods;

    // Grid layouts and line defaults; other windows call these by name.
    /// Frame layout: 13 columns, 11 rows; line cells are not touched.
    Q_INVOKABLE void SetupFrameGrid();
    /// Door-leaf layout: 19 columns, one row per record of ADOQuery_bill plus the title row.
    Q_INVOKABLE void SetupDoorLeafGrid();
    /// Fills the empty cells of the current row with the frame line defaults.
    Q_INVOKABLE void FillFrameLineDefaults();
    /// Fills the empty cells of columns 3 to 16 of the current row with the door-leaf defaults.
    Q_INVOKABLE void FillDoorLeafLineDefaults();

    // Persistence (BillStorage.cpp).
    /// Frame layout with the key column, filled from ADOQuery_bill (the joined lines); then
    /// reopens ADOQuery_bill on the bill's plain lines for editing.
    Q_INVOKABLE void LoadFrameLines();
    /// Door-leaf layout filled from ADOQuery_bill (the bill's lines).
    Q_INVOKABLE void LoadDoorLeafLines();
    /// Saves the bill on screen as a new bill (header, lines, counter) in one transaction.
    void SaveNewFrameBill();
    /// Writes the frame lines and the header of a saved bill back in one transaction.
    void SaveFrameBillChanges();
    /// Writes the door-leaf lines and the header of a saved bill back in one transaction.
    void SaveDoorLeafBill();

    // Enter flows of the grid.
    void FrameGridEnter();
    void DoorLeafGridEnter();

    // Sizes (BillSizes.cpp).
    /// Sets column to the first column from 1 on whose title is name; leaves it when none is.
    void FindColumnByTitle(const QString& name, int& column) const;
    /// The formula with every quoted title replaced by that column's text in row; ok is false
    /// when a quoted name is no title of the layout in use.
    QString SubstituteFormulaFields(const QString& formula, int row, bool* ok = nullptr) const;

    /// What the window shows, for the production sheets and the export.
    BillSnapshot Snapshot() const;

    // Handlers of the window's controls.
    void form_show();
    void FormActivate();
    void BillForm_close();
    void ButtonExitClick();
    void editClentOnkeydown(int& key, Qt::KeyboardModifiers modifiers);
    void EditClientDblClick();
    void EditAddress_key_down(int& key, Qt::KeyboardModifiers modifiers);
    void DatePicker_keydown(int& key, Qt::KeyboardModifiers modifiers);
    void EditSetup_man_key_down(int& key, Qt::KeyboardModifiers modifiers);
    void EditSetup_manDblClick();
    void Grid_Bill_key_down(int& key, Qt::KeyboardModifiers modifiers);
    void grid_bill_selectcell(int col, int row, bool& canSelect);
    void Grid_BillDblClick();
    void Button_add_newClick();
    void Button_deleClick();
    void ButtonSaveClick();
    void Button_del_billClick();
    void ButtonPrintClick();
    void send_excelClick();

    /// True when the window is open with entries that were not saved.
    Q_INVOKABLE bool hasUnsavedEntries() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void wireHandlers();
    QString kind() const;
    /// The texts of row 0 and of one row, indexed by column.
    QStringList gridTitles() const;
    QStringList gridRow(int row) const;
    /// Frame width (Enter in column 4) or height (column 6) of row r.
    void computeFrameSize(int row, bool width);
    /// Door-leaf and glass widths (Enter in column 7) or heights (column 8) of row r.
    void computeDoorLeafSizes(int row, bool widths);
    /// Makes ADOQuery_goods current on the product; false when there is none.
    bool findProduct(qint64 productId);
    /// Adds a line like the current one (double-click in column 11 or 12).
    void addLineLikeCurrent();
    /// Writes the six header fields of the current row of query.
    void assignHeaderFields(DataQuery& query, const QString& billId) const;
    /// Writes the header back into the saved bill's row of 历史单据, as read at the load.
    void updateSavedHeader(const QString& billId);
    /// Refuses a save whose client or installer has not been chosen.
    void requireHeader() const;
    /// The saved bill's header row as it was read when the bill was loaded.
    DataQuery& savedHeader();
    void readSavedHeader();
    DataQuery* m_savedHeader = nullptr;
    /// Kind, header and every grid cell: what a save would keep.
    QStringList entryState() const;
    /// The window now shows what the database holds (a new bill opened, a saved bill loaded).
    void markEntriesKept();
    /// Asks before unsaved entries are left; true when the window may close.
    bool confirmLeaving();

    /// entryState() when the bill was opened or loaded.
    QStringList m_keptEntries;
    /// Remembers the number a new bill's sheet was printed or its workbook sent under.
    void noteNumberHandedOut(const BillSnapshot& shown);
    /// The number on paper or in a workbook before the save; the save may give the bill another.
    QString m_numberHandedOut;
    /// Set while a command that leaves the window on purpose (退出 after its question, a save,
    /// the bill delete) closes it, so the close does not ask.
    bool m_closingByCommand = false;
};

} // namespace kvt
