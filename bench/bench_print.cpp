// The grid print of 10,000 records straight into a PDF file, against a bare QPainter on a
// QPdfWriter drawing the same texts in the same places, page by page; and the query window's
// print of such a list with the window shown, against the same print with the window hidden.

#include "BenchSupport.h"
#include "BigDb.h"

#include "app/AppStart.h"
#include "controls/PrintSurface.h"
#include "controls/QorDBGrid.h"
#include "query/QueryUnit.h"
#include "query/my_print.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <benchmark/benchmark.h>

namespace {

using namespace kvt;

const QString kStatement =
    QStringLiteral("select 历史单据.单据ID,单据日期,客户名,客户地址,安装人员 from 历史单据 left join 客户信息 on "
                   "历史单据.客户ID=客户信息.客户ID where 历史单据.单据ID<=10000 order by 单据日期,历史单据.单据ID");
const QList<PrintColumn> kColumns{{QStringLiteral("单据ID"), 60, 0},
                                  {QStringLiteral("单据日期"), 100, 1},
                                  {QStringLiteral("客户名"), 100, 2},
                                  {QStringLiteral("客户地址"), 240, 3},
                                  {QStringLiteral("安装人员"), 80, 4}};
constexpr int kDpi = 1200;

DataQuery* g_query = nullptr;

QString outputPath(const char* name) {
    return QDir(QDir::tempPath()).filePath(QString::fromLatin1(name));
}

void bareTable(benchmark::State& state) {
    QList<QStringList> rows;
    for (int r = 1; r <= g_query->RowCount(); ++r) {
        QStringList row;
        for (const PrintColumn& c : kColumns)
            row << g_query->TextAt(r, c.field);
        rows << row;
    }
    const QString path = outputPath("kvt-bench-bare.pdf");
    int pages = 0;
    for (auto _ : state) {
        QPdfWriter writer(path);
        writer.setResolution(kDpi);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(5, 5, 5, 5),
                                         QPageLayout::Millimeter));
        QPainter painter(&writer);
        QFont font(QStringLiteral("宋体"));
        font.setPointSize(12);
        painter.setFont(font);
        const QFontMetrics metrics(font, &writer);
        const int line = metrics.height() + 2, height = painter.viewport().height(), width = painter.viewport().width();
        QList<int> xs;
        int x = 0;
        for (const PrintColumn& c : kColumns) {
            xs << x;
            x += TenthsToPixels(PrintWidthTenths(c.width), kDpi);
        }
        int y = 2 * line, page = 1;
        auto footer = [&] {
            const QString text = QStringLiteral("第%1页").arg(page);
            painter.drawText(width / 2 - metrics.horizontalAdvance(text) / 2, height - line + metrics.ascent(), text);
        };
        painter.drawText(width / 2, metrics.ascent(), QStringLiteral("清单"));
        for (const QStringList& row : rows) {
            if (y + 2 * line > height) {
                footer();
                writer.newPage();
                ++page;
                painter.drawText(width / 2, metrics.ascent(), QStringLiteral("清单"));
                y = 2 * line;
            }
            for (int c = 0; c < row.size(); ++c)
                painter.drawText(xs[c], y + metrics.ascent(), row[c]);
            y += line;
        }
        footer();
        painter.end();
        pages = page;
    }
    state.SetLabel("baseline");
    state.counters["pages"] = pages;
    state.counters["file_bytes"] = double(QFileInfo(path).size());
    QFile::remove(path);
}

void printGrid(benchmark::State& state) {
    const QString path = outputPath("kvt-bench-grid.pdf");
    int pages = 0;
    for (auto _ : state)
        PrintJobToPdf(
            path,
            [&](PrintSurface& surface) {
                DataQueryRecords records(*g_query);
                TPrnOut out(surface);
                out.PrintGrid(kColumns, records, QStringLiteral("清单"), QString());
                pages = out.PageNumber - 1;
            },
            PrintSurface::Orientation::Portrait, kDpi);
    state.counters["records"] = g_query->RowCount();
    state.counters["pages"] = pages;
    state.counters["file_bytes"] = double(QFileInfo(path).size());
    QFile::remove(path);
}

/// The query window's print of its list of 10,000 bills, the window shown (as the clerk prints
/// it) or hidden: while the job runs, events are processed once per record, and a grid that
/// followed the printed record would repaint for every one of them.
void queryWindowPrint(benchmark::State& state, bool shown) {
    CreateForms(bench::BigDatabasePath());
    BuildAllForms();
    FormQuery->ADOQuery1->Close();
    FormQuery->ADOQuery1->SetSql(kStatement);
    FormQuery->ADOQuery1->Open();
    if (shown) {
        FormQuery->show();
        QApplication::processEvents();
    }
    const QString path = outputPath("kvt-bench-list.pdf");
    for (auto _ : state)
        PrintJobToPdf(
            path,
            [&](PrintSurface& surface) {
                PrintGrid(surface, *FormQuery->QorDBGridQuery, QStringLiteral("清单"), QString());
            },
            PrintSurface::Orientation::Portrait, kDpi);
    state.counters["records"] = FormQuery->ADOQuery1->RowCount();
    QFile::remove(path);
    DestroyForms();
}

void hiddenWindowPrint(benchmark::State& state) {
    queryWindowPrint(state, false);
    state.SetLabel("baseline");
}

void shownWindowPrint(benchmark::State& state) {
    queryWindowPrint(state, true);
    state.counters["target_ratio"] = 2;
}

void prepare() {
    g_query = bench::OpenOnBigDatabase(kStatement);
}

const bool registered = [] {
    benchmark::RegisterBenchmark("QPainter/PrintGrid10k", bareTable)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3);
    benchmark::RegisterBenchmark("PrintGrid/PrintGrid10k", printGrid)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3);
    benchmark::RegisterBenchmark("hidden_window/QueryListPrint10k", hiddenWindowPrint)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3);
    benchmark::RegisterBenchmark("shown_window/QueryListPrint10k", shownWindowPrint)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3);
    return true;
}();

} // namespace

int main(int argc, char** argv) {
    return kvt::bench::RunWidgetBenchmarks(argc, argv, prepare);
}
