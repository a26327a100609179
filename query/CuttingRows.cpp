#include "query/CuttingRows.h"

#include "controls/SpreadsheetSink.h"

namespace kvt {
namespace {

double millimetres(cutting::Length length) {
    return double(length) / 10.0;
}

PlanRow barRow(const MaterialPlan& material, const BarRun& run) {
    const CutBar& bar = material.bars[std::size_t(run.first)];
    QString numbers = QString::number(run.first + 1);
    if (run.count > 1)
        numbers += QStringLiteral("–%1").arg(run.first + run.count);
    QString what = QStringLiteral("%1 %2 %3").arg(numbers, BarSource(bar), LengthText(bar.length));
    if (run.count > 1)
        what += QStringLiteral(" ×%1").arg(run.count);
    QStringList pieces;
    for (const CutPiece& piece : bar.pieces)
        pieces << PieceLabel(piece);
    QString rest = LengthText(bar.leftover);
    if (bar.kept)
        rest += QStringLiteral(" 余料");
    PlanRow row;
    row.kind = PlanRow::Kind::Bar;
    row.cells = QStringList{what, pieces.join(QStringLiteral("，")), QString(), QString(), QString(), QString(), rest};
    return row;
}

} // namespace

QStringList PlanColumns() {
    return {QStringLiteral("材料 / 原料"), QStringLiteral("部件"),   QStringLiteral("新料"), QStringLiteral("用余料"),
            QStringLiteral("下限"),        QStringLiteral("利用率"), QStringLiteral("余下")};
}

QString BarSource(const CutBar& bar) {
    return bar.offcutId == 0 ? QStringLiteral("新料") : QStringLiteral("余料%1").arg(bar.offcutId);
}

std::vector<PlanRow> CuttingPlanRows(const CuttingPlan& plan) {
    std::vector<PlanRow> rows;
    for (const MaterialPlan& material : plan.materials) {
        PlanRow row;
        row.kind = PlanRow::Kind::Material;
        row.cells = QStringList{material.material,
                                QStringLiteral("%1件").arg(material.pieceCount()),
                                QStringLiteral("%1根").arg(material.newBars),
                                QStringLiteral("%1根").arg(material.offcutsUsed),
                                QStringLiteral("%1根").arg(material.lowerBound),
                                QString::number(material.usePercent(), 'f', 1) + QLatin1Char('%'),
                                QStringLiteral("留用 %1").arg(LengthText(material.leftoverKept()))};
        for (const BarRun& run : IdenticalBarRuns(material.bars))
            row.children.push_back(barRow(material, run));
        rows.push_back(std::move(row));
    }
    if (!plan.notCut.empty()) {
        PlanRow heading;
        heading.kind = PlanRow::Kind::NotCutHeading;
        heading.cells = QStringList{QStringLiteral("不能下料（%1）").arg(plan.notCut.size())};
        for (const NotCut& line : plan.notCut) {
            PlanRow row;
            row.kind = PlanRow::Kind::NotCut;
            const QString where = QStringLiteral("单据%1 明细%2").arg(line.billId).arg(line.lineId);
            row.cells = QStringList{where, line.piece.isEmpty() ? line.reason
                                                                : line.piece + QStringLiteral("：") + line.reason};
            heading.children.push_back(std::move(row));
        }
        rows.push_back(std::move(heading));
    }
    return rows;
}

QStringList CuttingExportColumns() {
    return {QStringLiteral("材料"), QStringLiteral("原料"), QStringLiteral("来源"), QStringLiteral("部件"),
            QStringLiteral("长度"), QStringLiteral("单据"), QStringLiteral("明细"), QStringLiteral("说明")};
}

void ExportCuttingPlan(SpreadsheetSink& sink, const CuttingPlan& plan) {
    const QStringList titles = CuttingExportColumns();
    for (int c = 0; c < titles.size(); ++c)
        sink.writeText(1, c + 1, titles[c]);
    int row = 2;
    for (const MaterialPlan& material : plan.materials) {
        int number = 0;
        for (const CutBar& bar : material.bars) {
            ++number;
            for (const CutPiece& piece : bar.pieces) {
                sink.writeText(row, 1, material.material);
                sink.writeNumber(row, 2, number);
                sink.writeText(row, 3, BarSource(bar));
                sink.writeText(row, 4, piece.name);
                sink.writeNumber(row, 5, millimetres(piece.length));
                sink.writeNumber(row, 6, double(piece.billId));
                sink.writeNumber(row, 7, double(piece.lineId));
                ++row;
            }
        }
    }
    for (const NotCut& line : plan.notCut) {
        sink.writeText(row, 1, QStringLiteral("不能下料"));
        if (!line.piece.isEmpty())
            sink.writeText(row, 4, line.piece);
        sink.writeNumber(row, 6, double(line.billId));
        sink.writeNumber(row, 7, double(line.lineId));
        sink.writeText(row, 8, line.reason);
        ++row;
    }
}

} // namespace kvt
