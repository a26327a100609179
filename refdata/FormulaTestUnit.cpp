#include "refdata/FormulaTestUnit.h"

#include "controls/Dialogs.h"
#include "controls/QorDBGrid.h"
#include "store/DataQuery.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kvt {
namespace {

bool isEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Columns of the formula grid.
constexpr int kFieldColumn = 0;
constexpr int kFormulaColumn = 1;
constexpr int kResultColumn = 2;
constexpr int kRemarkColumn = 3;

QTableWidgetItem* fixedItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

/// What the window says beside a result.
QString remarkOf(const SizeFormulaColumn& column, const SampleResult& r, const QString& formula) {
    if (formula.isEmpty())
        return QStringLiteral("没有公式，不计算");
    QStringList parts;
    if (!r.computed)
        parts << QStringLiteral("“%1”为0，不计算").arg(QString::fromUtf8(column.trigger));
    for (const QString& title : r.unknownTitles)
        parts << QStringLiteral("%1中没有“%2”这一列，单据中写0")
                     .arg(column.doorLeaf ? QStringLiteral("门扇单据") : QStringLiteral("门框单据"), title);
    if (!r.messages.isEmpty())
        parts << r.messages;
    return parts.join(QLatin1Char(' '));
}

} // namespace

ProductSample ProductOfRow(DataQuery* list, int row) {
    auto text = [&](const char* name) {
        const int column = list->FieldIndex(QString::fromUtf8(name));
        return column < 0 ? QString() : list->TextAt(row, column);
    };
    ProductSample p;
    p.number = text("自定义编号");
    p.name = text("商品名称");
    p.id = text("商品ID");
    for (std::size_t i = 0; i < kSizeFormulas.size(); ++i)
        p.formulas[i] = text(kSizeFormulas[i].field);
    return p;
}

TFormulaTestForm::TFormulaTestForm(const ProductSample& product, QWidget* parent)
    : QDialog(parent), m_product(product) {
    setObjectName(QStringLiteral("FormulaTestForm"));
    setWindowTitle(QStringLiteral("公式测试"));
    resize(760, 520);

    Label_product = new QLabel(QStringLiteral("商品：%1").arg(product.name), this);
    Label_product->setObjectName(QStringLiteral("Label_product"));

    Grid_Sample = new QTableWidget(0, 2, this);
    Grid_Sample->setObjectName(QStringLiteral("Grid_Sample"));
    Grid_Sample->setHorizontalHeaderLabels({QStringLiteral("列名"), QStringLiteral("值")});
    Grid_Sample->verticalHeader()->hide();
    Grid_Sample->setColumnWidth(0, 100);
    Grid_Sample->setColumnWidth(1, 100);
    Grid_Sample->setMaximumWidth(230);

    Grid_Formula = new QTableWidget(int(kSizeFormulas.size()), 4, this);
    Grid_Formula->setObjectName(QStringLiteral("Grid_Formula"));
    Grid_Formula->setHorizontalHeaderLabels(
        {QStringLiteral("公式列"), QStringLiteral("公式"), QStringLiteral("结果"), QStringLiteral("说明")});
    Grid_Formula->verticalHeader()->hide();
    Grid_Formula->setColumnWidth(kFieldColumn, 110);
    Grid_Formula->setColumnWidth(kFormulaColumn, 200);
    Grid_Formula->setColumnWidth(kResultColumn, 60);
    Grid_Formula->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < int(kFormulaTableOrder.size()); ++row) {
        const int i = kFormulaTableOrder[std::size_t(row)];
        Grid_Formula->setItem(row, kFieldColumn, fixedItem(QString::fromUtf8(kSizeFormulas[std::size_t(i)].field)));
        Grid_Formula->setItem(row, kFormulaColumn, new QTableWidgetItem(product.formulas[std::size_t(i)]));
        Grid_Formula->setItem(row, kResultColumn, fixedItem(QString()));
        Grid_Formula->setItem(row, kRemarkColumn, fixedItem(QString()));
    }

    Button_apply = new QPushButton(QStringLiteral("应用"), this);
    Button_apply->setObjectName(QStringLiteral("Button_apply"));
    Button_close = new QPushButton(QStringLiteral("关闭"), this);
    Button_close->setObjectName(QStringLiteral("Button_close"));
    // Enter in the grids moves on; only a focused button answers Enter.
    Button_apply->setAutoDefault(false);
    Button_close->setAutoDefault(false);

    auto* grids = new QHBoxLayout;
    grids->addWidget(Grid_Sample);
    grids->addWidget(Grid_Formula, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button_apply);
    buttons->addWidget(Button_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label_product);
    layout->addLayout(grids, 1);
    layout->addLayout(buttons);

    for (QTableWidget* grid : {Grid_Sample, Grid_Formula})
        grid->installEventFilter(this);
    for (QPushButton* b : {Button_apply, Button_close})
        b->installEventFilter(this);

    for (const auto& [title, value] : DefaultSampleValues())
        m_values.insert(title, value);
    refresh();

    connect(Grid_Sample, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (m_refreshing || item->column() != 1)
            return;
        m_values.insert(Grid_Sample->item(item->row(), 0)->text(), item->text());
        refresh();
    });
    connect(Grid_Formula, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_refreshing && item->column() == kFormulaColumn)
            refresh();
    });
    connect(Button_apply, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button_applyClick(); }); });
    connect(Button_close, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Button_closeClick(); }); });

    Grid_Sample->setCurrentCell(0, 1);
    Grid_Sample->setFocus();
}

std::array<QString, 6> TFormulaTestForm::formulas() const {
    std::array<QString, 6> out;
    for (int row = 0; row < int(kFormulaTableOrder.size()); ++row)
        out[std::size_t(kFormulaTableOrder[std::size_t(row)])] = Grid_Formula->item(row, kFormulaColumn)->text();
    return out;
}

SampleValues TFormulaTestForm::sampleValues() const {
    return m_values;
}

void TFormulaTestForm::refresh() {
    m_refreshing = true;
    ProductSample product = m_product;
    product.formulas = formulas();
    const SampleOutcome outcome = TrySample(product, m_values);

    // The typed sizes, then every other title the formulas name, each with its value on the line.
    QStringList titles;
    for (const auto& [title, value] : DefaultSampleValues())
        titles << title;
    for (const QString& title : NamedTitles(product.formulas))
        if (!titles.contains(title))
            titles << title;
    const int current = Grid_Sample->currentRow();
    Grid_Sample->setRowCount(int(titles.size()));
    for (int row = 0; row < int(titles.size()); ++row) {
        Grid_Sample->setItem(row, 0, fixedItem(titles[row]));
        const QString value = outcome.valueOf(titles[row]);
        QTableWidgetItem* item = Grid_Sample->item(row, 1);
        if (!item)
            Grid_Sample->setItem(row, 1, new QTableWidgetItem(value));
        else if (item->text() != value)
            item->setText(value);
    }
    if (current >= 0 && current < Grid_Sample->rowCount())
        Grid_Sample->setCurrentCell(current, 1);

    for (int row = 0; row < int(kFormulaTableOrder.size()); ++row) {
        const std::size_t i = std::size_t(kFormulaTableOrder[std::size_t(row)]);
        const SampleResult& r = outcome.results[i];
        const bool computed = !product.formulas[i].isEmpty() && r.computed;
        Grid_Formula->item(row, kResultColumn)->setText(computed ? r.cell : QString());
        Grid_Formula->item(row, kRemarkColumn)->setText(remarkOf(kSizeFormulas[i], r, product.formulas[i]));
    }
    m_refreshing = false;
}

void TFormulaTestForm::moveOn(QTableWidget* grid) {
    const int editable = grid == Grid_Sample ? 1 : kFormulaColumn;
    const int next = grid->currentRow() + 1;
    if (next < grid->rowCount()) {
        grid->setCurrentCell(next, editable);
    } else if (grid == Grid_Sample) {
        Grid_Formula->setCurrentCell(0, kFormulaColumn);
        Grid_Formula->setFocus();
    } else {
        Button_apply->setFocus();
    }
}

bool TFormulaTestForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (!isEnter(key->key()))
        return QDialog::eventFilter(watched, event);
    if (watched == Grid_Sample || watched == Grid_Formula) {
        moveOn(static_cast<QTableWidget*>(watched));
        return true;
    }
    if (watched == Button_apply || watched == Button_close) {
        static_cast<QPushButton*>(watched)->click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormulaTestForm::Button_applyClick() {
    accept();
}

void TFormulaTestForm::Button_closeClick() {
    reject();
}

// --- the product editor's side -----------------------------------------------------------------

void OpenFormulaTest(QWidget* parent, DataQuery* list) {
    if (!list->IsOpen() || list->CurrentRow() == 0) {
        ShowMessage(parent, QStringLiteral("请先选中一个商品。"));
        return;
    }
    const int row = list->CurrentRow();
    const ProductSample product = ProductOfRow(list, row);
    auto* form = new TFormulaTestForm(product, parent);
    form->setAttribute(Qt::WA_DeleteOnClose);
    // The editor's list must stay as it is while the formulas are tried on it.
    form->setWindowModality(Qt::ApplicationModal);
    QObject::connect(form, &QDialog::accepted, list, [list, form, row, product] {
        Guarded(form->parentWidget(), [&] {
            if (!list->IsOpen() || row > list->RowCount())
                throw StoreError(QStringLiteral("商品列表已经换了，公式没有写回。"));
            const std::array<QString, 6> edited = form->formulas();
            for (std::size_t i = 0; i < edited.size(); ++i) {
                const int column = list->FieldIndex(QString::fromUtf8(kSizeFormulas[i].field));
                if (column >= 0 && edited[i] != product.formulas[i])
                    list->SetTextAt(row, column, edited[i]);
            }
        });
    });
    form->show();
    form->raise();
    form->activateWindow();
}

bool CheckFormulasBeforeSave(QWidget* parent, TQorDBGrid* grid) {
    DataQuery* list = grid->dataQuery();
    if (!list || !list->IsOpen())
        return true;
    struct Found {
        int row;
        FormulaFinding finding;
    };
    QList<Found> refusals;
    QList<Found> questions;
    for (int row = 1; row <= list->RowCount(); ++row) {
        if (list->StateOf(row) == RowState::Unchanged)
            continue;
        for (const FormulaFinding& f : CheckProductFormulas(ProductOfRow(list, row)))
            (f.kind == FormulaFinding::CannotEvaluate ? refusals : questions).push_back({row, f});
    }
    auto goTo = [&](const Found& f) {
        const int column = list->FieldIndex(QString::fromUtf8(kSizeFormulas[std::size_t(f.finding.formula)].field));
        const int shown = list->DisplayColumns().indexOf(column);
        grid->setFocus();
        if (shown >= 0)
            grid->setCurrentIndex(grid->model()->index(f.row - 1, shown));
        else
            list->MoveToRow(f.row);
    };
    return TellFindings(parent, refusals, questions, goTo);
}

} // namespace kvt
