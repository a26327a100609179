// The query result export of 100,000 records of 12 fields, into a workbook file, against
// libxlsxwriter writing the same cells directly.

#include "BenchSupport.h"
#include "BigDb.h"

#include "controls/SpreadsheetSink.h"
#include "query/QueryExport.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QUrl>

#include <benchmark/benchmark.h>
#include <xlsxwriter.h>

#include <string>
#include <vector>

namespace {

using namespace kvt;

const QString kStatement = QStringLiteral(
    "select "
    "单据明细.门框ID,历史单据.单据ID,单据日期,客户地址,安装人员,商品ID,数量,玻璃款式,见光宽,见光高,门框总宽,门框附加 "
    "from 单据明细 left join 历史单据 on 单据明细.单据ID=历史单据.单据ID where 门框ID<=100000 order by 门框ID");

DataQuery* g_query = nullptr;

QString outputPath(const char* name) {
    return QDir(QDir::tempPath()).filePath(QString::fromLatin1(name));
}

/// Takes the url the export hands to the desktop instead of starting a spreadsheet application.
class Opener : public QObject {
    Q_OBJECT
public:
    QString opened;
public slots:
    void open(const QUrl& url) { opened = url.toLocalFile(); }
};

/// One cell as the workbook gets it.
struct Cell {
    enum Kind { Empty, Number, Text, Date } kind = Empty;
    double number = 0;
    std::string text;
    lxw_datetime date{};
};

/// The cells of the result, typed as the export types them, in row order.
std::vector<Cell> cellsOf(DataQuery& q) {
    std::vector<Cell> cells;
    const int columns = q.FieldCount();
    for (const QString& name : q.FieldNames())
        cells.push_back({Cell::Text, 0, name.toStdString(), {}});
    for (int r = 1; r <= q.RowCount(); ++r)
        for (int c = 0; c < columns; ++c) {
            const QVariant v = q.ValueAt(r, c);
            Cell cell;
            if (v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty())) {
            } else if (q.IsDateColumn(c)) {
                const QDate d = v.typeId() == QMetaType::QDate ? v.toDate()
                                                               : QDate::fromString(v.toString().left(10), "yyyy-MM-dd");
                cell.kind = Cell::Date;
                cell.date = {d.year(), d.month(), d.day(), 0, 0, 0};
            } else if (v.typeId() == QMetaType::QString) {
                cell.kind = Cell::Text;
                cell.text = v.toString().toStdString();
            } else {
                cell.kind = Cell::Number;
                cell.number = v.toDouble();
            }
            cells.push_back(std::move(cell));
        }
    return cells;
}

qint64 fileSize(const QString& path) {
    return QFileInfo(path).size();
}

void directWrite(benchmark::State& state) {
    const std::vector<Cell> cells = cellsOf(*g_query);
    const int columns = g_query->FieldCount();
    const QByteArray path = QFile::encodeName(outputPath("kvt-bench-direct.xlsx"));
    for (auto _ : state) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        lxw_workbook* book = workbook_new_opt(path.constData(), &options);
        lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
        lxw_format* dateFormat = workbook_add_format(book);
        format_set_num_format(dateFormat, "yyyy-mm-dd");
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const lxw_row_t row = lxw_row_t(i / std::size_t(columns));
            const lxw_col_t col = lxw_col_t(i % std::size_t(columns));
            const Cell& cell = cells[i];
            switch (cell.kind) {
            case Cell::Text:
                worksheet_write_string(sheet, row, col, cell.text.c_str(), nullptr);
                break;
            case Cell::Number:
                worksheet_write_number(sheet, row, col, cell.number, nullptr);
                break;
            case Cell::Date: {
                lxw_datetime d = cell.date;
                worksheet_write_datetime(sheet, row, col, &d, dateFormat);
                break;
            }
            case Cell::Empty:
                break;
            }
        }
        workbook_close(book);
    }
    state.SetLabel("baseline");
    state.counters["file_bytes"] = double(fileSize(QString::fromLocal8Bit(path)));
    QFile::remove(QString::fromLocal8Bit(path));
}

void exportToFile(benchmark::State& state) {
    const QString path = outputPath("kvt-bench-export.xlsx");
    QElapsedTimer timer;
    qint64 fillNs = 0, saveNs = 0;
    for (auto _ : state) {
        XlsxSink sink;
        timer.start();
        ExportQueryToSpreadsheet(sink, *g_query);
        fillNs += timer.nsecsElapsed();
        timer.start();
        sink.save(path);
        saveNs += timer.nsecsElapsed();
    }
    // Wall times of the two steps: the cells collected from the result, the workbook written.
    state.counters["fill_ms"] = double(fillNs) / 1e6 / double(state.iterations());
    state.counters["save_ms"] = double(saveNs) / 1e6 / double(state.iterations());
    state.counters["file_bytes"] = double(fileSize(path));
    state.counters["target_ratio"] = 1.3;
    QFile::remove(path);
}

void sendToSpreadsheet(benchmark::State& state) {
    Opener opener;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
    qint64 bytes = 0;
    for (auto _ : state) {
        SendQueryToSpreadsheet(nullptr, *g_query);
        state.PauseTiming();
        bytes = fileSize(opener.opened);
        QFile::remove(opener.opened);
        state.ResumeTiming();
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    if (bytes == 0)
        state.SkipWithError("no workbook was handed to the desktop");
    state.counters["file_bytes"] = double(bytes);
    state.counters["target_ratio"] = 1.3;
}

void prepare() {
    g_query = bench::OpenOnBigDatabase(kStatement);
}

const bool registered = [] {
    struct Case {
        const char* name;
        void (*fn)(benchmark::State&);
    };
    for (const Case& c : {Case{"libxlsxwriter/Export100kx12", directWrite}, Case{"Export/Export100kx12", exportToFile},
                          Case{"SendQuery/Export100kx12", sendToSpreadsheet}})
        benchmark::RegisterBenchmark(c.name, c.fn)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
    return true;
}();

} // namespace

int main(int argc, char** argv) {
    return kvt::bench::RunWidgetBenchmarks(argc, argv, prepare);
}

#include "bench_export.moc"
