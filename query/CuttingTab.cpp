#include "query/CuttingTab.h"

#include "controls/Dialogs.h"
#include "controls/SpreadsheetSink.h"
#include "query/CuttingRows.h"
#include "query/CuttingSheet.h"
#include "query/MaterialEditors.h"
#include "store/StoreError.h"

#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

namespace kvt {
namespace {

void addRows(QTreeWidgetItem* parent, QTreeWidget* tree, const std::vector<PlanRow>& rows) {
    for (const PlanRow& row : rows) {
        auto* item = parent ? new QTreeWidgetItem(parent, row.cells) : new QTreeWidgetItem(tree, row.cells);
        item->setToolTip(1, row.cells.value(1));
        if (row.kind == PlanRow::Kind::Material || row.kind == PlanRow::Kind::NotCutHeading) {
            QFont bold = item->font(0);
            bold.setBold(true);
            for (int c = 0; c < tree->columnCount(); ++c)
                item->setFont(c, bold);
        }
        if (row.kind == PlanRow::Kind::NotCut || row.kind == PlanRow::Kind::NotCutHeading)
            for (int c = 0; c < tree->columnCount(); ++c)
                item->setForeground(c, QColor(0xc0, 0, 0));
        addRows(item, tree, row.children);
    }
}

QString statusOf(const CuttingPlan& plan) {
    int pieces = 0, bars = 0, offcuts = 0;
    for (const MaterialPlan& m : plan.materials) {
        pieces += m.pieceCount();
        bars += m.newBars;
        offcuts += m.offcutsUsed;
    }
    QString text = QStringLiteral("%1种材料，%2件部件，新料%3根，用余料%4根")
                       .arg(plan.materials.size())
                       .arg(pieces)
                       .arg(bars)
                       .arg(offcuts);
    if (!plan.notCut.empty())
        text += QStringLiteral("；%1条不能下料").arg(plan.notCut.size());
    return text;
}

} // namespace

TCuttingTab::TCuttingTab(std::function<bool(CuttingListFilter&)> filter, QWidget* parent)
    : QWidget(parent), m_filter(std::move(filter)) {
    setObjectName(QStringLiteral("CuttingTab"));
    auto button = [this](const char* name, const char* caption, void (TCuttingTab::*handler)()) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this,
                [this, handler] { Guarded(this, [this, handler] { (this->*handler)(); }); });
        return b;
    };
    Button_cut_calc = button("Button_cut_calc", "计算", &TCuttingTab::Button_cut_calcClick);
    Button_cut_print = button("Button_cut_print", "打印", &TCuttingTab::Button_cut_printClick);
    Button_cut_excel = button("Button_cut_excel", "发送至EXCEL", &TCuttingTab::Button_cut_excelClick);
    Button_cut_confirm = button("Button_cut_confirm", "确认下料", &TCuttingTab::Button_cut_confirmClick);
    Button_cut_materials = button("Button_cut_materials", "材料", &TCuttingTab::Button_cut_materialsClick);
    Button_cut_offcuts = button("Button_cut_offcuts", "余料", &TCuttingTab::Button_cut_offcutsClick);

    Tree_cut_plan = new QTreeWidget(this);
    Tree_cut_plan->setObjectName(QStringLiteral("Tree_cut_plan"));
    Tree_cut_plan->setHeaderLabels(PlanColumns());
    // The pieces take what the other columns leave.
    Tree_cut_plan->header()->setStretchLastSection(false);
    for (int c = 0; c < Tree_cut_plan->columnCount(); ++c)
        Tree_cut_plan->header()->setSectionResizeMode(c, c == 1 ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    Label_cut_status = new QLabel(this);
    Label_cut_status->setObjectName(QStringLiteral("Label_cut_status"));

    FilterPlace = new QVBoxLayout;
    auto* buttons = new QGridLayout;
    buttons->addWidget(Button_cut_calc, 0, 0);
    buttons->addWidget(Button_cut_confirm, 0, 1);
    buttons->addWidget(Button_cut_materials, 0, 2);
    buttons->addWidget(Button_cut_print, 1, 0);
    buttons->addWidget(Button_cut_excel, 1, 1);
    buttons->addWidget(Button_cut_offcuts, 1, 2);
    auto* top = new QHBoxLayout;
    top->addLayout(FilterPlace, 1);
    top->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Label_cut_status);
    layout->addWidget(Tree_cut_plan, 1);
    showPlan();
}

TCuttingTab::~TCuttingTab() {
    // A plan being made reads nothing of the window; it is let finish, and goes unseen.
    if (m_worker) {
        m_worker->wait();
        delete m_worker;
    }
}

void TCuttingTab::calculate(const CuttingListFilter& filter) {
    if (m_worker) {
        // Asked again while planning (a client picked meanwhile): planned again once this plan is in.
        m_again = filter;
        return;
    }
    // What is to be cut is read here, on the window's thread that holds the database; the optimiser,
    // which may take its whole time on a large order, runs on a thread of its own, the window
    // answering meanwhile.
    const CuttingOrder order = ReadCuttingOrder(filter);
    struct Outcome {
        std::optional<CuttingPlan> plan;
        QString error;
    };
    auto outcome = std::make_shared<Outcome>();
    const double limit = TimeLimitPerMaterial;
    m_worker = QThread::create([order, outcome, limit] {
        try {
            outcome->plan = PlanCuttingOrder(order, limit);
        } catch (const std::exception& e) {
            outcome->error = QString::fromLocal8Bit(e.what());
        } catch (...) {
            outcome->error = QStringLiteral("未知错误");
        }
    });
    connect(m_worker, &QThread::finished, this, [this, outcome, filter] {
        m_worker->deleteLater();
        m_worker = nullptr;
        unsetCursor();
        if (outcome->plan) {
            m_plan = std::move(outcome->plan);
            m_planFilter = filter;
            m_confirmed = false;
        }
        showPlan();
        if (!outcome->error.isEmpty())
            ShowMessage(this, QStringLiteral("下料方案没有算出来：") + outcome->error);
        if (m_again) {
            const CuttingListFilter again = *std::exchange(m_again, std::nullopt);
            try {
                calculate(again);
                return;
            } catch (const StoreError& e) {
                ShowMessage(this, e.message());
            }
        }
        emit planShown();
    });
    m_plan.reset();
    showPlan();
    Label_cut_status->setText(QStringLiteral("正在计算下料方案……"));
    setCursor(Qt::BusyCursor);
    m_worker->start();
}

void TCuttingTab::showPlan() {
    Tree_cut_plan->clear();
    if (m_plan) {
        addRows(nullptr, Tree_cut_plan, CuttingPlanRows(*m_plan));
        Tree_cut_plan->expandAll();
        Label_cut_status->setText(statusOf(*m_plan));
    } else {
        Label_cut_status->clear();
    }
    Button_cut_calc->setEnabled(!m_worker);
    Button_cut_print->setEnabled(m_plan.has_value());
    Button_cut_excel->setEnabled(m_plan.has_value());
    Button_cut_confirm->setEnabled(m_plan.has_value() && !m_confirmed);
}

bool TCuttingTab::havePieces() {
    if (m_plan && !m_plan->materials.empty())
        return true;
    ShowMessage(this, QStringLiteral("所选单据中没有可以下料的部件。"));
    return false;
}

void TCuttingTab::Button_cut_calcClick() {
    CuttingListFilter filter;
    if (!m_filter(filter))
        return;
    calculate(filter);
}

void TCuttingTab::Button_cut_printClick() {
    if (havePieces())
        PreviewCuttingPlan(this, *m_plan, QDate::currentDate());
}

void TCuttingTab::Button_cut_excelClick() {
    if (!m_plan)
        return;
    XlsxSink workbook;
    ExportCuttingPlan(workbook, *m_plan);
    ShowInSpreadsheet(this, workbook, QStringLiteral("下料单"));
}

void TCuttingTab::Button_cut_confirmClick() {
    if (!havePieces() || m_confirmed)
        return;
    try {
        const qint64 number = ConfirmCuttingPlan(*m_plan);
        m_confirmed = true;
        showPlan();
        Label_cut_status->setText(QStringLiteral("下料单%1已确认：").arg(number) + statusOf(*m_plan));
        ShowMessage(this, QStringLiteral("下料单%1已确认，余料已入库。").arg(number));
    } catch (const StoreError& e) {
        if (e.kind() != StoreError::Kind::Conflict)
            throw;
        // Another workstation cut some of the same lines, or an offcut is gone: the plan shown
        // no longer holds, so it is made again from what is left.
        calculate(m_planFilter);
        ShowMessage(this, QStringLiteral("其他工作站已确认了其中的部件，或所用的余料已不在，本次没有确认。"
                                         "下料单已重新计算，请核对后再确认。"));
    }
}

void TCuttingTab::Button_cut_materialsClick() {
    if (!m_materials)
        m_materials = new TMaterialEditor(this);
    m_materials->reopen();
}

void TCuttingTab::Button_cut_offcutsClick() {
    if (!m_offcuts)
        m_offcuts = new TOffcutEditor(this);
    m_offcuts->reopen();
}

} // namespace kvt
