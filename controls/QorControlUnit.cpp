#include "controls/QorControlUnit.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace kvt {

namespace {
constexpr int kDefaultColWidth = 64;
constexpr int kDefaultRowHeight = 24;
constexpr int kFixedColWidth = 20;

/// Enter on the keypad and on the main keyboard are one key for the windows.
int normalizedKey(int key) {
    return key == Qt::Key_Enter ? Qt::Key_Return : key;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Helpers of the string grid

/// Selection that always equals the current cell, and a current cell that moves only when the
/// grid's cell-selection check allows it (for mouse, keyboard and program moves alike).
class StringGridSelectionModel : public QItemSelectionModel {
public:
    StringGridSelectionModel(QAbstractItemModel* model, TQorStringGrid* grid)
        : QItemSelectionModel(model, grid), m_grid(grid) {}

    void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags) override {
        if (index.isValid() && index != currentIndex() && !m_grid->m_bypassCheck &&
            !m_grid->allowMove(index.column() + 1, index.row() + 1))
            return;
        m_internal = true;
        QItemSelectionModel::setCurrentIndex(index, index.isValid() ? ClearAndSelect : NoUpdate);
        m_internal = false;
    }
    void select(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override {
        if (m_internal)
            QItemSelectionModel::select(index, command);
    }
    void select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) override {
        if (m_internal)
            QItemSelectionModel::select(selection, command);
    }

private:
    TQorStringGrid* m_grid;
    bool m_internal = false;
};

/// Paints cells the plain way of a string grid (fill, text 2 px in from the left and top) and
/// reports the in-cell editor's keys to the grid before the editor sees them.
class StringGridDelegate : public QStyledItemDelegate {
public:
    explicit StringGridDelegate(TQorStringGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        PaintGridCell(*p, option.rect, index.data(Qt::DisplayRole).toString(), m_grid->palette().color(QPalette::Base),
                      m_grid->palette().color(QPalette::Text), m_grid->font());
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setFrame(false);
        m_grid->editorOpened(editor, index);
        return editor;
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* editor = qobject_cast<QWidget*>(object);
            if (editor && m_grid->editorKeyPress(editor, static_cast<QKeyEvent*>(event)))
                return true;
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    TQorStringGrid* m_grid;
};

// ---------------------------------------------------------------------------------------------
// TQorStringGrid

TQorStringGrid::TQorStringGrid(QWidget* parent) : QTableWidget(parent), GridHighlight(this, QColor()) {
    QItemSelectionModel* old = selectionModel();
    setSelectionModel(new StringGridSelectionModel(model(), this));
    delete old;
    setItemDelegate(new StringGridDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(false);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::SelectedClicked);
    setWordWrap(false);

    QHeaderView* top = horizontalHeader();
    top->setSectionsClickable(false);
    top->setHighlightSections(false);
    top->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    top->setSectionResizeMode(QHeaderView::Fixed);
    top->setMinimumSectionSize(0);
    top->setDefaultSectionSize(kDefaultColWidth);
    QHeaderView* left = verticalHeader();
    left->setSectionsClickable(false);
    left->setHighlightSections(false);
    left->setSectionResizeMode(QHeaderView::Fixed);
    left->setMinimumSectionSize(0);
    left->setFixedWidth(kFixedColWidth);
    SetDefaultRowHeight(kDefaultRowHeight);

    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) {
            m_dblReported = true;
            emit dblClick(Col(), Row());
        }
    });
    SetColCount(5);
    SetRowCount(5);
}

int TQorStringGrid::ColCount() const {
    return columnCount() + 1;
}

void TQorStringGrid::SetColCount(int n) {
    if (n < 1)
        n = 1;
    if (n == ColCount())
        return;
    setColumnCount(n - 1);
    ensureHeaderItems();
    ensureCurrent();
}

int TQorStringGrid::RowCount() const {
    return rowCount() + 1;
}

void TQorStringGrid::SetRowCount(int n) {
    if (n < 1)
        n = 1;
    if (n == RowCount())
        return;
    if (m_editIndex.isValid() && m_editIndex.row() >= n - 1)
        closeEditorUnsaved();
    setRowCount(n - 1);
    ensureHeaderItems();
    ensureCurrent();
}

void TQorStringGrid::ensureHeaderItems() {
    // Without an item, a header section would show its number instead of an empty fixed cell.
    for (int c = 0; c < columnCount(); ++c)
        if (!horizontalHeaderItem(c))
            setHorizontalHeaderItem(c, new QTableWidgetItem(QString()));
    for (int r = 0; r < rowCount(); ++r)
        if (!verticalHeaderItem(r))
            setVerticalHeaderItem(r, new QTableWidgetItem(QString()));
}

void TQorStringGrid::ensureCurrent() {
    // Like a string grid, there is always a current line cell once there are any.
    if (currentIndex().isValid() || rowCount() == 0 || columnCount() == 0)
        return;
    m_bypassCheck = true;
    selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::ClearAndSelect);
    m_bypassCheck = false;
}

QString TQorStringGrid::Cells(int col, int row) const {
    if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount())
        return QString();
    if (col == 0 && row == 0)
        return m_corner;
    const QTableWidgetItem* it = row == 0   ? horizontalHeaderItem(col - 1)
                                 : col == 0 ? verticalHeaderItem(row - 1)
                                            : item(row - 1, col - 1);
    return it ? it->text() : QString();
}

void TQorStringGrid::SetCells(int col, int row, const QString& text) {
    if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount())
        return;
    if (col == 0 && row == 0) {
        m_corner = text;
        return;
    }
    if (row == 0) {
        horizontalHeaderItem(col - 1)->setText(text);
        return;
    }
    if (col == 0) {
        verticalHeaderItem(row - 1)->setText(text);
        return;
    }
    if (m_editor && m_editIndex.row() == row - 1 && m_editIndex.column() == col - 1)
        closeEditorUnsaved();
    if (QTableWidgetItem* it = item(row - 1, col - 1))
        it->setText(text);
    else
        setItem(row - 1, col - 1, new QTableWidgetItem(text));
}

void TQorStringGrid::ClearCells() {
    if (m_editor)
        closeEditorUnsaved();
    m_corner.clear();
    {
        const QSignalBlocker quiet(model());
        for (int c = 0; c < columnCount(); ++c)
            if (QTableWidgetItem* title = horizontalHeaderItem(c))
                title->setText(QString());
        for (int r = 0; r < rowCount(); ++r) {
            if (QTableWidgetItem* title = verticalHeaderItem(r))
                title->setText(QString());
            for (int c = 0; c < columnCount(); ++c)
                if (QTableWidgetItem* it = item(r, c); it && !it->text().isEmpty())
                    it->setText(QString());
        }
    }
    if (rowCount() > 0 && columnCount() > 0)
        emit model()->dataChanged(model()->index(0, 0), model()->index(rowCount() - 1, columnCount() - 1));
    if (columnCount() > 0)
        emit model()->headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (rowCount() > 0)
        emit model()->headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
}

int TQorStringGrid::ColWidths(int col) const {
    if (col == 0)
        return verticalHeader()->maximumWidth();
    return col > 0 && col < ColCount() ? columnWidth(col - 1) : 0;
}

void TQorStringGrid::SetColWidths(int col, int px) {
    if (col == 0)
        verticalHeader()->setFixedWidth(px);
    else if (col > 0 && col < ColCount())
        setColumnWidth(col - 1, px);
}

int TQorStringGrid::RowHeights(int row) const {
    if (row == 0)
        return horizontalHeader()->maximumHeight();
    return row > 0 && row < RowCount() ? rowHeight(row - 1) : 0;
}

void TQorStringGrid::SetDefaultRowHeight(int px) {
    horizontalHeader()->setFixedHeight(px);
    verticalHeader()->setDefaultSectionSize(px);
}

int TQorStringGrid::Col() const {
    const QModelIndex cur = currentIndex();
    return cur.isValid() ? cur.column() + 1 : 1;
}

int TQorStringGrid::Row() const {
    const QModelIndex cur = currentIndex();
    return cur.isValid() ? cur.row() + 1 : 1;
}

bool TQorStringGrid::SetCurrentCell(int col, int row) {
    if (col < 1 || row < 1 || col >= ColCount() || row >= RowCount())
        return false;
    const QModelIndex target = model()->index(row - 1, col - 1);
    if (target != currentIndex())
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    if (currentIndex() != target)
        return false;
    scrollTo(target);
    return true;
}

void TQorStringGrid::SetCol(int col) {
    SetCurrentCell(col, Row());
}

void TQorStringGrid::SetRow(int row) {
    SetCurrentCell(Col(), row);
}

QRect TQorStringGrid::CellRect(int col, int row) const {
    if (col < 1 || row < 1 || col >= ColCount() || row >= RowCount())
        return QRect();
    const QRect r = visualRect(model()->index(row - 1, col - 1));
    return r.intersects(viewport()->rect()) ? r : QRect();
}

void TQorStringGrid::SetEditing(bool on) {
    m_editing = on;
    if (!on && m_editor) {
        CommitEditor();
        closeEditorUnsaved();
    }
}

bool TQorStringGrid::Editing() const {
    return m_editing;
}

void TQorStringGrid::SetColumnEditable(int col, bool on) {
    if (col < 0)
        return;
    while (m_colEditable.size() <= col)
        m_colEditable.append(true);
    m_colEditable[col] = on;
}

bool TQorStringGrid::ColumnEditable(int col) const {
    return col < 0 || col >= m_colEditable.size() || m_colEditable[col];
}

void TQorStringGrid::SetRowSelect(bool on) {
    m_rowSelect = on;
    if (on && m_editor) {
        CommitEditor();
        closeEditorUnsaved();
    }
    viewport()->update();
}

bool TQorStringGrid::RowSelect() const {
    return m_rowSelect;
}

void TQorStringGrid::CommitEditor() {
    if (m_editor)
        commitData(m_editor);
}

bool TQorStringGrid::IsEditorOpen() const {
    return !m_editor.isNull();
}

// Painting happens only inside paintEvent: the two operations schedule the row's repaint, and the
// repaint draws the ordinary look first and the selection colours of the current row over it.
void TQorStringGrid::PaintSelectedRow(int, int row) {
    updateRow(row);
}

void TQorStringGrid::PaintPlainRow(int row) {
    updateRow(row);
}

void TQorStringGrid::updateRow(int row) {
    if (row < 1 || row >= RowCount())
        return;
    viewport()->update(QRect(0, rowViewportPosition(row - 1), viewport()->width(), rowHeight(row - 1)));
}

void TQorStringGrid::paintSelectedRowNow(QPainter& p, int col, int row) {
    for (int k = 1; k < ColCount(); ++k)
        paintCurrentRowCell(p, CellRect(k, row), Cells(k, row), font(), k == col && !m_rowSelect);
}

void TQorStringGrid::paintEvent(QPaintEvent* event) {
    QTableWidget::paintEvent(event);
    if (!currentIndex().isValid())
        return;
    QPainter p(viewport());
    p.setClipRegion(event->region());
    paintSelectedRowNow(p, Col(), Row());
}

bool TQorStringGrid::allowMove(int col, int row) {
    bool canSelect = true;
    emit selectCell(col, row, canSelect);
    if (!canSelect)
        return false;
    if (row != Row())
        PaintPlainRow(Row());
    PaintSelectedRow(col, row);
    return true;
}

void TQorStringGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableWidget::currentChanged(current, previous);
    if (previous.isValid())
        PaintPlainRow(previous.row() + 1);
    if (current.isValid())
        PaintSelectedRow(current.column() + 1, current.row() + 1);
}

void TQorStringGrid::keyPressEvent(QKeyEvent* event) {
    int key = normalizedKey(event->key());
    emit keyDown(key, event->modifiers());
    event->accept();
    if (key == 0 || key == Qt::Key_Return)
        return; // swallowed, or Enter: its work belongs to the window's handler
    m_inGridKey = true;
    if (key != normalizedKey(event->key())) {
        QKeyEvent changed(QEvent::KeyPress, key, event->modifiers());
        QTableWidget::keyPressEvent(&changed);
    } else {
        QTableWidget::keyPressEvent(event);
    }
    m_inGridKey = false;
}

void TQorStringGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double-click that arrives without its press first (the ordinary handling then only
    // presses) still counts as a double-click on the cell.
    m_dblReported = false;
    QTableWidget::mouseDoubleClickEvent(event);
    if (!m_dblReported && indexAt(event->position().toPoint()).isValid())
        emit dblClick(Col(), Row());
}

bool TQorStringGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (!index.isValid() || index != currentIndex() || !m_editing || m_rowSelect || !ColumnEditable(index.column() + 1))
        return false;
    return QTableWidget::edit(index, trigger, event);
}

void TQorStringGrid::editorOpened(QWidget* editor, const QModelIndex& index) {
    m_editor = editor;
    m_editIndex = index;
    m_editOriginal = index.data(Qt::EditRole).toString();
}

void TQorStringGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    if (editor == m_editor) {
        m_editor = nullptr;
        m_editIndex = QPersistentModelIndex();
    }
    QTableWidget::closeEditor(editor, hint);
}

void TQorStringGrid::closeEditorUnsaved() {
    if (m_editor)
        closeEditor(m_editor, QAbstractItemDelegate::NoHint);
}

bool TQorStringGrid::editorKeyPress(QWidget* editor, QKeyEvent* event) {
    if (m_inGridKey || editor != m_editor)
        return false; // the key that opened the editor was already reported by the grid
    const QPersistentModelIndex cell = m_editIndex;
    CommitEditor();
    int key = normalizedKey(event->key());
    emit keyDown(key, event->modifiers());
    if (key == 0)
        return true;
    if (key == Qt::Key_Return) {
        // The typed text is already in the cell; the editor must not write it again later.
        closeEditorUnsaved();
        return true;
    }
    if (key == Qt::Key_Escape) {
        if (m_editor == editor && cell.isValid())
            model()->setData(cell, m_editOriginal, Qt::EditRole);
        closeEditorUnsaved();
        return true;
    }
    if (m_editor != editor)
        return true; // the handler closed the editor (it moved the cursor or wrote the cell)
    if (key != normalizedKey(event->key())) {
        QKeyEvent changed(QEvent::KeyPress, key, event->modifiers());
        m_inGridKey = true;
        QCoreApplication::sendEvent(editor, &changed);
        m_inGridKey = false;
        return true;
    }
    return false;
}

} // namespace kvt

#include "moc_QorControlUnit.cpp"
