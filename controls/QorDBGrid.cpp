// The data-bound highlighting grid and its table model over a DataQuery. Kept apart from the
// string grid so that windows using only the string grid do not link the store's query object.

#include "controls/QorDBGrid.h"

#include "controls/Dialogs.h"
#include "store/DataQuery.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QWheelEvent>

namespace kvt {

namespace {
constexpr int kIndicatorWidth = 16;
constexpr int kMinColumnWidth = 64;
constexpr int kWheelStep = 120; // one notch of an ordinary mouse wheel

int normalizedKey(int key) {
    return key == Qt::Key_Enter ? Qt::Key_Return : key;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// DataQueryModel

DataQueryModel::DataQueryModel(QObject* parent) : QAbstractTableModel(parent) {}

void DataQueryModel::setQuery(DataQuery* query) {
    if (m_query)
        disconnect(m_query, nullptr, this, nullptr);
    m_query = query;
    if (query) {
        connect(query, &DataQuery::resultReset, this, &DataQueryModel::reload);
        connect(query, &DataQuery::layoutChanged, this, &DataQueryModel::reload);
        connect(query, &DataQuery::rowAppended, this, &DataQueryModel::onRowAppended);
        connect(query, &DataQuery::rowRemoved, this, &DataQueryModel::onRowRemoved);
        connect(query, &DataQuery::rowChanged, this, &DataQueryModel::onRowChanged);
        connect(query, &DataQuery::currentRowChanged, this, &DataQueryModel::onCurrentRowChanged);
        connect(query, &QObject::destroyed, this, &DataQueryModel::reload);
    }
    reload();
}

void DataQueryModel::setEditable(bool on) {
    m_editable = on;
}

int DataQueryModel::fieldOf(int column) const {
    return column >= 0 && column < m_columns.size() ? m_columns[column] : -1;
}

void DataQueryModel::reload() {
    // The query announces a new result after it has it; the model's own copy of the shape keeps
    // what views were told consistent until the reset.
    beginResetModel();
    const bool open = m_query && m_query->IsOpen();
    m_columns = open ? m_query->DisplayColumns() : QList<int>();
    m_rows = open ? m_query->RowCount() : 0;
    m_currentRow = open ? m_query->CurrentRow() : 0;
    endResetModel();
}

void DataQueryModel::onRowAppended(int row) {
    if (!m_query || row != m_rows + 1 || m_query->RowCount() != m_rows + 1) {
        reload();
        return;
    }
    beginInsertRows(QModelIndex(), row - 1, row - 1);
    ++m_rows;
    endInsertRows();
}

void DataQueryModel::onRowRemoved(int row) {
    if (!m_query || row < 1 || row > m_rows || m_query->RowCount() != m_rows - 1) {
        reload();
        return;
    }
    // The query has removed the row already; until views have been told, the rows are read as
    // they were before.
    m_removing = row;
    beginRemoveRows(QModelIndex(), row - 1, row - 1);
    --m_rows;
    m_removing = 0;
    if (m_currentRow > m_rows)
        m_currentRow = m_rows;
    endRemoveRows();
}

void DataQueryModel::onRowChanged(int row) {
    if (row < 1 || row > m_rows || m_columns.isEmpty())
        return;
    emit dataChanged(index(row - 1, 0), index(row - 1, int(m_columns.size()) - 1));
    emit headerDataChanged(Qt::Vertical, row - 1, row - 1);
}

void DataQueryModel::onCurrentRowChanged(int row) {
    const int old = m_currentRow;
    m_currentRow = row;
    if (old >= 1 && old <= m_rows)
        emit headerDataChanged(Qt::Vertical, old - 1, old - 1);
    if (row >= 1 && row <= m_rows)
        emit headerDataChanged(Qt::Vertical, row - 1, row - 1);
}

int DataQueryModel::queryRow(int modelRow) const {
    if (!m_removing || modelRow + 1 < m_removing)
        return modelRow + 1;
    return modelRow + 1 == m_removing ? 0 : modelRow;
}

int DataQueryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int DataQueryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant DataQueryModel::data(const QModelIndex& index, int role) const {
    const int row = index.isValid() ? queryRow(index.row()) : 0;
    if (!m_query || row < 1 || index.row() >= m_rows || index.column() >= m_columns.size() || row > m_query->RowCount())
        return {};
    const int field = m_columns[index.column()];
    try {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return m_query->TextAt(row, field);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(
                Qt::Alignment((m_query->IsNumericColumn(field) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
        default:
            return {};
        }
    } catch (const StoreError&) {
        return {};
    }
}

bool DataQueryModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const int row = index.row() + 1;
    const int field = m_columns[index.column()];
    try {
        if (m_query->IsKeyColumn(field)) {
            // Keys are the engine's: a key typed over a saved row would cut it off from
            // everything that refers to it, and a new row gets its key when it is saved.
            if (value.toString() == m_query->TextAt(row, field))
                return true;
            ShowMessage(nullptr, QStringLiteral("“%1”由程序自动编号，不能修改。").arg(m_query->FieldNames().at(field)));
            return false;
        }
        m_query->SetTextAt(row, field, value.toString());
    } catch (const StoreError& e) {
        // A value the column cannot take (text in a number column): the user sees why, the row
        // keeps its old value.
        ShowMessage(nullptr, e.message());
        return false;
    }
    emit dataChanged(index, index);
    emit cellEdited(row);
    return true;
}

Qt::ItemFlags DataQueryModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_editable && m_query && m_query->IsOpen() && !m_query->IsReadOnly())
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant DataQueryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (role != Qt::DisplayRole || section < 0 || section >= m_columns.size() || !m_query)
            return {};
        const QStringList names = m_query->FieldNames();
        const int field = m_columns[section];
        return field < names.size() ? names[field] : QString();
    }
    if (section < 0 || section >= m_rows)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role != Qt::DisplayRole)
        return {};
    // The record indicator: an arrow on the current record, an asterisk while it is a new row.
    const int row = queryRow(section);
    if (row < 1 || row != m_currentRow || !m_query || row > m_query->RowCount())
        return QString();
    return m_query->StateOf(row) == RowState::Inserted ? QStringLiteral("*") : QStringLiteral("\u25B6");
}

// ---------------------------------------------------------------------------------------------
// TQorDBGrid

/// Draws a data cell the ordinary way, then the current record's row in the row colours and the
/// current cell in the cell colours, focused or not.
class DBGridDelegate : public QStyledItemDelegate {
public:
    explicit DBGridDelegate(TQorDBGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyledItemDelegate::paint(p, option, index);
        const QModelIndex current = m_grid->currentIndex();
        if (!current.isValid() || index.row() != current.row())
            return;
        Qt::Alignment align = Qt::AlignLeft;
        const QVariant a = index.data(Qt::TextAlignmentRole);
        if (a.isValid())
            align = a.value<Qt::Alignment>() & Qt::AlignHorizontal_Mask;
        m_grid->paintCurrentRowCell(*p, option.rect, index.data(Qt::DisplayRole).toString(), option.font,
                                    index == current || (option.state & QStyle::State_Selected), align, 2);
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        m_grid->m_editor = editor;
        return editor;
    }

private:
    TQorDBGrid* m_grid;
};

TQorDBGrid::TQorDBGrid(QWidget* parent)
    : QTableView(parent), GridHighlight(this, QColor(0, 0, 128)), m_model(new DataQueryModel(this)) {
    setModel(m_model);
    setItemDelegate(new DBGridDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setWordWrap(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(0);
    verticalHeader()->setFixedWidth(kIndicatorWidth);
    verticalHeader()->setSectionsClickable(false);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(0);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    SetReadOnly(true);

    connect(m_model, &QAbstractItemModel::modelReset, this, &TQorDBGrid::onModelReset);
    connect(m_model, &DataQueryModel::cellEdited, this, [this](int row) {
        if (row == m_untouchedAppend)
            m_untouchedAppend = 0;
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) {
            m_dblReported = true;
            emit dblClick();
        }
    });
}

void TQorDBGrid::SetDataQuery(DataQuery* query) {
    if (DataQuery* old = m_model->query())
        disconnect(old, nullptr, this, nullptr);
    m_untouchedAppend = 0;
    m_model->setQuery(query);
    if (query)
        connect(query, &DataQuery::currentRowChanged, this, &TQorDBGrid::onQueryRowChanged);
}

DataQuery* TQorDBGrid::dataQuery() const {
    return m_model->query();
}

void TQorDBGrid::SetReadOnly(bool on) {
    if (on && m_editor) {
        commitData(m_editor);
        closeEditor(m_editor, QAbstractItemDelegate::NoHint);
    }
    m_readOnly = on;
    m_model->setEditable(!on);
    setEditTriggers(on ? QAbstractItemView::NoEditTriggers
                       : QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::SelectedClicked);
    if (on)
        dropUntouchedAppend();
}

bool TQorDBGrid::ReadOnly() const {
    return m_readOnly;
}

int TQorDBGrid::ColumnCount() const {
    return m_model->columnCount();
}

QString TQorDBGrid::ColumnTitle(int dataColumn) const {
    return m_model->headerData(dataColumn, Qt::Horizontal, Qt::DisplayRole).toString();
}

int TQorDBGrid::ColumnWidth(int dataColumn) const {
    return dataColumn >= 0 && dataColumn < ColumnCount() ? columnWidth(dataColumn) : 0;
}

void TQorDBGrid::SetColumnWidth(int dataColumn, int px) {
    if (dataColumn >= 0 && dataColumn < ColumnCount())
        setColumnWidth(dataColumn, px);
}

int TQorDBGrid::CurrentDataColumn() const {
    const QModelIndex cur = currentIndex();
    return cur.isValid() ? cur.column() : -1;
}

int TQorDBGrid::CurrentRecord() const {
    const DataQuery* q = dataQuery();
    return q && q->IsOpen() ? q->CurrentRow() : 0;
}

QRect TQorDBGrid::CellRect(int dataColumn, int record) const {
    if (dataColumn < 0 || dataColumn >= ColumnCount() || record < 1 || record > m_model->rowCount())
        return QRect();
    return visualRect(m_model->index(record - 1, dataColumn));
}

void TQorDBGrid::onModelReset() {
    m_untouchedAppend = 0;
    m_wheelRest = 0;
    const QFontMetrics fm = horizontalHeader()->fontMetrics();
    for (int c = 0; c < ColumnCount(); ++c)
        setColumnWidth(c, qMax(kMinColumnWidth, fm.horizontalAdvance(ColumnTitle(c)) + 12));
    onQueryRowChanged(CurrentRecord());
}

void TQorDBGrid::onQueryRowChanged(int row) {
    if (m_syncing || row < 1 || row > m_model->rowCount())
        return;
    const QModelIndex cur = currentIndex();
    if (cur.isValid() && cur.row() == row - 1)
        return;
    m_syncing = true;
    setCurrentIndex(m_model->index(row - 1, cur.isValid() ? cur.column() : 0));
    m_syncing = false;
}

void TQorDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    viewport()->update(); // the whole current row changes colour, not just the two cells
    if (m_syncing || !current.isValid())
        return;
    if (m_untouchedAppend && current.row() + 1 != m_untouchedAppend)
        dropUntouchedAppend();
    DataQuery* q = dataQuery();
    if (!q || !q->IsOpen() || !currentIndex().isValid() || currentIndex().row() + 1 == q->CurrentRow())
        return;
    // While a removed row is being announced the view may step onto a row the query no longer
    // has; the query has already chosen its new current row and tells us so itself.
    if (currentIndex().row() + 1 > q->RowCount())
        return;
    m_syncing = true;
    Guarded(this, [&] { q->MoveToRow(currentIndex().row() + 1); });
    m_syncing = false;
}

void TQorDBGrid::keyPressEvent(QKeyEvent* event) {
    int key = normalizedKey(event->key());
    const Qt::KeyboardModifiers mods = event->modifiers();
    emit keyDown(key, mods);
    event->accept();
    if (key == 0 || key == Qt::Key_Return)
        return; // swallowed, or Enter: its meaning belongs to the owner
    DataQuery* q = dataQuery();
    const bool canEdit = !m_readOnly && q && q->IsOpen() && !q->IsReadOnly();
    const bool plain = (mods & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (canEdit && plain && key == Qt::Key_Down &&
        (m_model->rowCount() == 0 || currentIndex().row() + 1 == m_model->rowCount())) {
        appendRow();
        return;
    }
    if (canEdit && plain && key == Qt::Key_Insert) {
        appendRow();
        return;
    }
    if (canEdit && key == Qt::Key_Delete && (mods & Qt::ControlModifier)) {
        deleteCurrentRow();
        return;
    }
    if (key != normalizedKey(event->key())) {
        QKeyEvent changed(QEvent::KeyPress, key, mods);
        QTableView::keyPressEvent(&changed);
    } else {
        QTableView::keyPressEvent(event);
    }
}

void TQorDBGrid::wheelEvent(QWheelEvent* event) {
    const int dy = event->angleDelta().y();
    if (dy == 0) {
        QTableView::wheelEvent(event); // a sideways wheel scrolls as usual
        return;
    }
    event->accept();
    // Fine-grained wheels and touchpads report parts of a notch; each whole notch is one key.
    if ((m_wheelRest > 0) != (dy > 0))
        m_wheelRest = 0;
    m_wheelRest += dy;
    while (m_wheelRest >= kWheelStep || m_wheelRest <= -kWheelStep) {
        const bool away = m_wheelRest > 0;
        m_wheelRest += away ? -kWheelStep : kWheelStep;
        QKeyEvent arrow(QEvent::KeyPress, away ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
        keyPressEvent(&arrow);
    }
}

void TQorDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    // As in the string grid: a double-click without its press first still counts.
    m_dblReported = false;
    QTableView::mouseDoubleClickEvent(event);
    if (!m_dblReported && indexAt(event->position().toPoint()).isValid())
        emit dblClick();
}

void TQorDBGrid::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
}

void TQorDBGrid::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    // Focus going into the grid's own cell editor is not leaving the grid.
    QWidget* now = QApplication::focusWidget();
    if (now && (now == m_editor || isAncestorOf(now)))
        return;
    dropUntouchedAppend();
}

void TQorDBGrid::appendRow() {
    DataQuery* q = dataQuery();
    if (m_untouchedAppend && m_untouchedAppend == CurrentRecord())
        return; // already standing on a new, untouched row
    if (m_editor)
        commitData(m_editor);
    const int column = qMax(0, CurrentDataColumn());
    Guarded(this, [&] {
        q->AppendRow();
        m_untouchedAppend = q->CurrentRow();
        m_syncing = true;
        setCurrentIndex(m_model->index(q->CurrentRow() - 1, column));
        m_syncing = false;
    });
}

void TQorDBGrid::dropUntouchedAppend() {
    const int row = m_untouchedAppend;
    m_untouchedAppend = 0;
    DataQuery* q = dataQuery();
    if (!row || !q || !q->IsOpen() || row > q->RowCount() || q->StateOf(row) != RowState::Inserted)
        return;
    m_syncing = true;
    Guarded(this, [&] {
        q->MoveToRow(row);
        q->DeleteRow();
    });
    m_syncing = false;
    // Bring the query back to the record the grid now shows as current.
    const QModelIndex cur = currentIndex();
    if (cur.isValid() && cur.row() + 1 != q->CurrentRow()) {
        m_syncing = true;
        Guarded(this, [&] { q->MoveToRow(cur.row() + 1); });
        m_syncing = false;
    }
    viewport()->update();
}

void TQorDBGrid::deleteCurrentRow() {
    DataQuery* q = dataQuery();
    const QModelIndex cur = currentIndex();
    if (!cur.isValid() || !ConfirmYesNo(this, QStringLiteral("Delete record?")))
        return;
    if (m_editor)
        closeEditor(m_editor, QAbstractItemDelegate::NoHint);
    if (cur.row() + 1 == m_untouchedAppend)
        m_untouchedAppend = 0;
    Guarded(this, [&] {
        q->MoveToRow(cur.row() + 1);
        q->DeleteRow();
    });
    viewport()->update();
}

} // namespace kvt

#include "moc_QorDBGrid.cpp"
