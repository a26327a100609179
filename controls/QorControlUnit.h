#pragma once
// The string grid of the two highlighting grids; the grid bound to a DataQuery is QorDBGrid.h. Both
// paint the current row and the current cell in colours of their own over the ordinary look, as
// GridHighlight paints them.

#include "controls/GridHighlight.h"

#include <QList>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTableWidget>

namespace kvt {

/// A string grid with the fixed title row 0 and the fixed column 0; cells addressed (column, row).
/// Row 0 is the horizontal header and column 0 the vertical header, so neither can become current
/// and the title row stays in view while the lines scroll.
class TQorStringGrid : public QTableWidget, public GridHighlight {
    Q_OBJECT
public:
    explicit TQorStringGrid(QWidget* parent = nullptr);

    int ColCount() const; ///< includes the fixed column 0
    void SetColCount(int n);
    int RowCount() const; ///< includes the fixed row 0
    void SetRowCount(int n);
    /// Text of a cell; "" outside the grid.
    QString Cells(int col, int row) const;
    /// Writes a cell (ignored outside the grid). An editor open on that cell is closed unsaved,
    /// so it cannot later overwrite what the program wrote.
    void SetCells(int col, int row, const QString& text);
    /// Empties every cell, the fixed ones too, as SetCells with "" on each would, with one repaint
    /// for the whole grid instead of one per cell.
    void ClearCells();
    int ColWidths(int col) const;
    void SetColWidths(int col, int px);
    int RowHeights(int row) const;
    void SetDefaultRowHeight(int px);

    int Col() const; ///< current column (1 when the grid has no line cells)
    int Row() const; ///< current row (1 when the grid has no line cells)
    /// Moves the current cell (runs the cell-selection check; false when refused or outside the
    /// movable cells).
    bool SetCurrentCell(int col, int row);
    void SetCol(int col);
    void SetRow(int row);
    /// Rectangle of a line cell in viewport coordinates (empty outside or scrolled away).
    QRect CellRect(int col, int row) const;

    /// In-cell editing on/off for the whole grid and per column (a cell is editable when both are on).
    void SetEditing(bool on);
    bool Editing() const;
    void SetColumnEditable(int col, bool on);
    bool ColumnEditable(int col) const;
    void SetRowSelect(bool on); ///< whole-row selection mode
    bool RowSelect() const;
    /// Commits an open in-cell editor into its cell (the grid does this itself before keyDown).
    void CommitEditor();
    /// True while an in-cell editor is open.
    bool IsEditorOpen() const;

    /// Shows row `row` in the selection colours with (col, row) as the current cell.
    void PaintSelectedRow(int col, int row);
    /// Shows row `row` in the grid's own background and font colours.
    void PaintPlainRow(int row);

signals:
    /// Every key press on the grid or on its open in-cell editor, before the ordinary handling,
    /// with the editor's text already in Cells(). Set key = 0 to swallow the key.
    void keyDown(int& key, Qt::KeyboardModifiers modifiers);
    /// Double-click on a cell; (col, row) is the current cell after the click moved it.
    void dblClick(int col, int row);
    /// Asked before the current cell moves to (col, row); set canSelect = false to refuse.
    void selectCell(int col, int row, bool& canSelect);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    friend class StringGridDelegate;
    friend class StringGridSelectionModel;
    /// The cell-selection check: the window's handler first, then the repaint of the rows.
    bool allowMove(int col, int row);
    /// Key press arriving at the open editor; true when it was consumed.
    bool editorKeyPress(QWidget* editor, QKeyEvent* event);
    void editorOpened(QWidget* editor, const QModelIndex& index);
    void closeEditorUnsaved();
    void ensureCurrent();
    void ensureHeaderItems();
    void paintSelectedRowNow(QPainter& p, int col, int row);
    void updateRow(int row);

    QString m_corner; ///< text of cell (0, 0)
    bool m_editing = false;
    bool m_rowSelect = false;
    bool m_inGridKey = false;   ///< the grid is handling a key itself (forwarding it to a new editor)
    bool m_bypassCheck = false; ///< internal moves that do not ask the window
    bool m_dblReported = false; ///< the ordinary double-click handling reported the click
    QList<bool> m_colEditable;  ///< per grid column; columns beyond the list are editable
    QPointer<QWidget> m_editor; ///< the open in-cell editor
    QPersistentModelIndex m_editIndex;
    QString m_editOriginal; ///< cell text when the editor opened, restored by Escape
};

} // namespace kvt
