#pragma once
// The query window: bill lists, special queries, free SQL, print and export.
//
// It owns one query object, ADOQuery1, shown in the read-only result grid QorDBGridQuery.
// A listed bill is opened in the bill window by writing that window's header carriers,
// opening its line query and calling its loaders by name.

#include <QDate>
#include <QString>
#include <QWidget>

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace kvt {
class DataQuery;
class TQorDBGrid;
class TCuttingTab;
struct GlassListFilter;

/// The bill list statement for the filter: clientId is used when clientFilter is on, the two
/// dates (both included) when dateFilter is on.
QString BillListSql(bool clientFilter, bool dateFilter, const QDate& from, const QDate& to, const QString& clientId);
/// A date as the statements write it: between number signs, year-month-day.
QString SqlDate(const QDate& date);
/// The header statement of one bill, joined with its client.
QString BillHeaderSql(qint64 billId);
/// The bill's plain lines (door-leaf view) and its lines joined with their products (frame view).
QString BillLinesSql(qint64 billId);
QString BillFrameLinesSql(qint64 billId);
/// Lines with a visible-light width that were never measured.
QString FramesNotMeasuredSql();
/// Measured lines whose door leaf was never worked out.
QString DoorLeavesNotCutSql();

/// True when text holds more than one SQL statement: anything but blanks and comments after a
/// semicolon outside quotes, brackets and comments (one trailing semicolon is fine).
bool HoldsSeveralStatements(const QString& text);

/// What a free statement did: either it filled the query with rows, or it changed rowsChanged rows.
struct FreeSqlOutcome {
    bool returnedRows = false;
    int rowsChanged = 0;
};
/// Runs a statement typed by a maintainer on query. A statement that yields rows leaves them in
/// query; any other is carried out and its changed-row count returned, with query closed. A
/// statement the engine rejects throws its message and leaves the database as it was; a text of
/// several statements is refused before any of them runs.
FreeSqlOutcome RunFreeSql(DataQuery& query, const QString& statement);

class TFormQuery : public QWidget {
    Q_OBJECT
public:
    explicit TFormQuery(QWidget* parent = nullptr);

    TQorDBGrid* QorDBGridQuery;
    DataQuery* ADOQuery1;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    QWidget* TabSheet4;
    /// Tab 5, 下料单: the cutting list of the bills the filter of tab 1 chooses; the filter group
    /// moves onto it while it is shown, and the result grid makes room for its plan.
    TCuttingTab* CuttingTab;

    // Tab 1: bill list and loading a listed bill.
    QPushButton* Button_query;
    QPushButton* Button_load;
    QPushButton* Button_kuang_load;
    QGroupBox* GroupBox1;
    QLabel* Label3;
    /// Client name of the filter; empty means no client filter. Emptied whenever the window shows.
    QLineEdit* Edit_client;
    /// Carrier: 客户ID of the client picked for the filter. Written by the selection window,
    /// cleared when the user types in Edit_client.
    QLabel* Label_client_id;
    QCheckBox* CheckBox__add_date;
    QLabel* Label2;
    QDateEdit* DateTimePicker1;
    QLabel* Label1;
    QDateEdit* DateTimePicker2;

    // Tab 2: unfinished work.
    QPushButton* no_liang_query_Button;
    QPushButton* no_door_Button;

    // Tab 3: free SQL.
    QLineEdit* Edit1;
    QPushButton* Button_exSQL;
    QLabel* Label4;

    // Tab 4: the glass order list over the bills the filter of tab 1 chooses; the filter group
    // moves onto this tab while it is shown.
    QPushButton* glass_list_Button;
    /// Under the result: how many lines of the listed bills have no glass size yet.
    QLabel* Label_glass_note;

    QPushButton* send_excel_Button;
    QPushButton* print_Button;
    QPushButton* Button_exit;
    /// "3" after the frames-not-measured query, "4" after the door-leaves-not-cut query.
    QLabel* query_modle_Label;

    /// Opens the bill of the current result record in the bill window as door-leaf lines.
    void LoadDoorLeafBill();

    // Handlers of the window's controls.
    void FormShow();
    void Button_queryClick();
    void Edit_clientDblClick();
    void Button_loadClick();
    void QorDBGridQueryDblClick();
    void Button_kuang_loadClick();
    void no_liang_query_ButtonClick();
    void no_door_ButtonClick();
    void Button_exSQLClick();
    void glass_list_ButtonClick();
    void print_ButtonClick();
    void send_excel_ButtonClick();
    void Button_exitClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void wireHandlers();
    /// Replaces the result with statement and opens it.
    void runQuery(const QString& statement);
    /// 单据ID of the current result record; throws when there is none or it is no whole number.
    qint64 currentBillId();
    /// Opens the bill's header in the bill window's line query and copies it into its carriers.
    void fillBillHeader(QWidget* bill, DataQuery& billQuery, qint64 billId);
    /// Shows the bill window and puts its line query into edit state when it holds a line.
    void showBillForEditing(QWidget* bill, DataQuery& billQuery);
    /// Shows the filter group on the tab that is current, when that tab uses it.
    void moveFilterToTab(int index);
    /// The bills the filter chooses; false when a client name was typed and not picked: the
    /// picker is then open, and again runs once the pick comes back (dropResult: the result
    /// grid is emptied meanwhile).
    bool listFilter(GlassListFilter& filter, void (TFormQuery::*again)(), bool dropResult);
    /// 计算 of the cutting list, run again after the client was picked.
    void cuttingCalcAfterPick();

    /// Title and footer of the glass list while the result shows it; empty titles otherwise.
    QString m_glassTitle;
    QString m_glassNote;

    /// The list (查询 or the glass list) waiting for the client picker opened for a typed name.
    void (TFormQuery::*m_queryOnPick)() = nullptr;
};

} // namespace kvt
