#pragma once
// The query window's tab 下料单: the cutting list of the bills the window's filter chooses.
// 计算 plans it, 打印 prints it for the saw, 发送至EXCEL exports it, 确认下料 records it as cut;
// 材料 and 余料 open the editors of those tables.

#include "query/CuttingList.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QThread;
class QPushButton;
class QTreeWidget;
class QVBoxLayout;

namespace kvt {
class TMaterialEditor;
class TOffcutEditor;

class TCuttingTab : public QWidget {
    Q_OBJECT
public:
    /// filter gives the window's date range and client; false when there is none yet (the client
    /// typed is being picked, and 计算 runs again after the pick).
    TCuttingTab(std::function<bool(CuttingListFilter&)> filter, QWidget* parent = nullptr);
    ~TCuttingTab() override;

    QPushButton* Button_cut_calc;
    QPushButton* Button_cut_print;
    QPushButton* Button_cut_excel;
    QPushButton* Button_cut_confirm;
    QPushButton* Button_cut_materials;
    QPushButton* Button_cut_offcuts;
    /// The plan: materials with their bars, then the lines that cannot be cut yet.
    QTreeWidget* Tree_cut_plan;
    /// What the plan holds, or that it has been confirmed.
    QLabel* Label_cut_status;
    /// Where the window puts its filter group while this tab is shown.
    QVBoxLayout* FilterPlace;

    /// The plan shown; nothing before 计算, nor while it plans.
    const std::optional<CuttingPlan>& plan() const { return m_plan; }
    /// True while 计算 plans, off the window's thread; 计算 waits meanwhile.
    bool calculating() const { return m_worker != nullptr; }
    /// Seconds the optimiser gets per material (tests keep it short).
    double TimeLimitPerMaterial = 2.0;

    void Button_cut_calcClick();
    void Button_cut_printClick();
    void Button_cut_excelClick();
    void Button_cut_confirmClick();
    void Button_cut_materialsClick();
    void Button_cut_offcutsClick();

signals:
    /// 计算 has shown its plan, or why there is none.
    void planShown();

private:
    /// Reads what is to be cut for filter, plans it off the window's thread and shows the plan.
    void calculate(const CuttingListFilter& filter);
    void showPlan();
    /// True when there is a plan with something to cut; says why not otherwise.
    bool havePieces();

    std::function<bool(CuttingListFilter&)> m_filter;
    std::optional<CuttingPlan> m_plan;
    CuttingListFilter m_planFilter; ///< the filter m_plan was computed for
    bool m_confirmed = false;
    TMaterialEditor* m_materials = nullptr;
    TOffcutEditor* m_offcuts = nullptr;
    QThread* m_worker = nullptr;              ///< the plan being made, or null
    std::optional<CuttingListFilter> m_again; ///< asked for while m_worker plans
};

} // namespace kvt
