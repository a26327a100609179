#pragma once
// The data-bound highlighting grid and its table model. It paints its current row and cell as the
// string grid (QorControlUnit.h) does, through GridHighlight; the two grids know nothing of each other.

#include "controls/GridHighlight.h"
#include "store/DataQuery.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <QTableView>

namespace kvt {

/// Table model over a DataQuery: rows are the result's rows, columns its displayed fields in display
/// order. It only translates; every change goes to the query and stays pending there.
class DataQueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataQueryModel(QObject* parent = nullptr);
    void setQuery(DataQuery* query);
    DataQuery* query() const { return m_query; }
    void setEditable(bool on);
    bool editable() const { return m_editable; }
    /// Result position of a shown column (-1 outside).
    int fieldOf(int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    /// A cell was changed through setData (after the query took the value).
    void cellEdited(int row);

private:
    void reload();
    /// Query row (1-based) behind a model row; 0 for the row being removed.
    int queryRow(int modelRow) const;
    void onRowAppended(int row);
    void onRowRemoved(int row);
    void onRowChanged(int row);
    void onCurrentRowChanged(int row);

    QPointer<DataQuery> m_query;
    QList<int> m_columns; ///< result positions of the shown columns, as last announced to views
    int m_rows = 0;       ///< row count as last announced to views
    int m_currentRow = 0; ///< 1-based, for the record indicator
    int m_removing = 0;   ///< 1-based row the query already dropped while views are being told
    bool m_editable = false;
};

/// A grid bound to a DataQuery: shows its displayed fields in display order with their names as
/// titles, column 0 (the vertical header) the record indicator; the current record follows the
/// query's current row and back. Appended and deleted rows stay pending in the query.
/// The grid starts read-only; the owner switches editing on.
class TQorDBGrid : public QTableView, public GridHighlight {
    Q_OBJECT
public:
    explicit TQorDBGrid(QWidget* parent = nullptr);
    void SetDataQuery(DataQuery* query);
    DataQuery* dataQuery() const;
    DataQueryModel* queryModel() const { return m_model; }
    /// Editing switched by the owner: in editing mode cells can be changed, Down past the last row
    /// or Insert appends a row, Ctrl+Delete deletes the current row after a confirmation.
    void SetReadOnly(bool on);
    bool ReadOnly() const;
    int ColumnCount() const;                   ///< data columns shown
    QString ColumnTitle(int dataColumn) const; ///< 0-based among shown columns; "" outside
    int ColumnWidth(int dataColumn) const;     ///< 0 outside
    void SetColumnWidth(int dataColumn, int px);
    int CurrentDataColumn() const; ///< 0-based; -1 without a current cell
    /// Grid row (1-based, as the query counts) of the current record; 0 for none.
    int CurrentRecord() const;
    /// Rectangle of a data cell (0-based data column, 1-based record) in viewport coordinates.
    QRect CellRect(int dataColumn, int record) const;

signals:
    void keyDown(int& key, Qt::KeyboardModifiers modifiers); ///< also for wheel-made arrow keys
    void dblClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    friend class DBGridDelegate;
    void onQueryRowChanged(int row);
    void onModelReset();
    void appendRow();
    void dropUntouchedAppend();
    void deleteCurrentRow();

    DataQueryModel* m_model;
    bool m_readOnly = true;
    bool m_dblReported = false; ///< the ordinary double-click handling reported the click
    bool m_syncing = false;     ///< moving the grid because the query moved (or back)
    int m_untouchedAppend = 0;  ///< 1-based row the grid appended and nobody has typed into yet
    int m_wheelRest = 0;        ///< wheel amount not yet turned into a step
    QPointer<QWidget> m_editor; ///< the open in-cell editor
};

} // namespace kvt
