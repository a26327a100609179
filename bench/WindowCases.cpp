#include "WindowCases.h"

#include "BigDb.h"

#include "app/AppStart.h"
#include "bill/BillUnit.h"
#include "controls/FormRegistry.h"
#include "controls/QorControlUnit.h"
#include "controls/QorDBGrid.h"
#include "query/QueryUnit.h"
#include "store/DataQuery.h"
#include "store/Database.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>

namespace kvt::bench {
namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

} // namespace

QString Scalar(const QString& sql) {
    DataQuery q;
    q.SetSql(sql);
    q.Open();
    return q.RowCount() ? q.FieldAt(0).asString() : QString();
}

void MakeTwelveLineBill() {
    const QString id = QString::number(kBill);
    const int have = Scalar(QStringLiteral("select count(*) from 单据明细 where 单据ID=") + id).toInt();
    for (int i = have; i < kLines; ++i)
        Database::Exec(QStringLiteral("insert into 单据明细 (单据ID,商品ID,数量,玻璃款式,见光宽,见光高,现量宽,现量高,"
                                      "门扇宽,门扇高,玻璃宽,玻璃高,门框总宽,门框总高,埋地,门框附加,门框备注) values "
                                      "(%1,%2,1,\"磨砂\",800,2050,840,2070,834,2060,300,905,840,2085,20,\"\",\"\")")
                           .arg(id)
                           .arg(1 + i));
}

ProgramWindows::ProgramWindows(const QString& location) {
    CreateForms(location);
    BuildAllForms();
    FormQuery->show();
    QApplication::processEvents();
}

ProgramWindows::~ProgramWindows() {
    DestroyForms();
}

void ListAllBills() {
    FormQuery->Button_query->click();
    QApplication::processEvents();
    FormQuery->repaint();
}

void TimeAllBillsList(benchmark::State& state) {
    FormQuery->Edit_client->clear();
    FormQuery->CheckBox__add_date->setChecked(false);
    std::size_t held = 0;
    int rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FormQuery->ADOQuery1->Close();
        QApplication::processEvents();
        const std::size_t before = HeapInUse();
        state.ResumeTiming();

        ListAllBills();

        state.PauseTiming();
        held = HeapInUse() - before;
        rows = FormQuery->ADOQuery1->RowCount();
        state.ResumeTiming();
    }
    if (rows != BigDbSize{}.bills)
        state.SkipWithError("the bill list did not show every bill");
    state.counters["rows"] = rows;
    state.counters["held_bytes"] = double(held);
}

void ListTheBill() {
    FormQuery->ADOQuery1->Close();
    FormQuery->ADOQuery1->SetSql(BillHeaderSql(kBill));
    FormQuery->ADOQuery1->Open();
}

void LoadBill(const char* buttonName) {
    Control<QPushButton>(FormQuery, QString::fromLatin1(buttonName))->click();
    QApplication::processEvents();
}

void CloseBill() {
    BillForm->close();
    QApplication::processEvents();
}

void CheckBillShown(benchmark::State& state, const char* kind) {
    if (BillForm->LabelbillType->text() != QLatin1String(kind) || BillForm->Grid_Bill->RowCount() != kLines + 1 ||
        BillForm->EditBill_id->text() != QString::number(kBill))
        state.SkipWithError("the bill window does not show the bill");
}

void TimeBillLoads(benchmark::State& state, const char* buttonName, const char* kind) {
    auto* button = Control<QPushButton>(FormQuery, QString::fromLatin1(buttonName));
    double clickSum = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        button->click();
        clickSum += seconds(start);
        QApplication::processEvents();
        state.SetIterationTime(seconds(start));
        CheckBillShown(state, kind);
        CloseBill();
    }
    state.counters["lines"] = kLines;
    state.counters["click_ms"] = clickSum * 1000 / double(state.iterations());
}

void ChangeFirstWidth(int widthColumn, int width) {
    BillForm->Grid_Bill->SetCells(widthColumn, 1, QString::number(width));
}

void SaveBill() {
    BillForm->ButtonSave->click();
    QApplication::processEvents();
}

void TimeBillSaves(benchmark::State& state, const char* buttonName, const char* kind, int widthColumn) {
    int n = 0;
    int last = 0;
    double clickSum = 0;
    for (auto _ : state) {
        LoadBill(buttonName);
        CheckBillShown(state, kind);
        last = 800 + 5 * (n++ % 2);
        ChangeFirstWidth(widthColumn, last);
        const auto start = Clock::now();
        BillForm->ButtonSave->click();
        clickSum += seconds(start);
        QApplication::processEvents();
        state.SetIterationTime(seconds(start));
    }
    state.counters["click_ms"] = clickSum * 1000 / double(state.iterations());
    const QString id = QString::number(kBill);
    if (Scalar(QStringLiteral("select count(*) from 单据明细 where 单据ID=") + id) != QString::number(kLines) ||
        Scalar(QStringLiteral("select 见光宽 from 单据明细 where 单据ID=") + id + QStringLiteral(" order by 门框ID")) !=
            QString::number(last))
        state.SkipWithError("the saves did not write the bill");
    state.counters["lines"] = kLines;
}

void OpenNewFrameBill() {
    Control<QPushButton>(Form(QStringLiteral("MainForm")), QStringLiteral("Button1"))->click();
    QApplication::processEvents();
    TBillForm* b = BillForm;
    b->EditClient->setText(QStringLiteral("王建国1"));
    b->LabelClentID->setText(QStringLiteral("121"));
    b->EditAddress->setText(QStringLiteral("文三路8号"));
    b->EditSetup_man->setText(QStringLiteral("刘师傅"));
    b->Label_setup_man_id->setText(QStringLiteral("9"));
    b->Grid_Bill->SetRowCount(kLines + 1);
    for (int r = 1; r <= kLines; ++r) {
        const QStringList cells = {QStringLiteral("%1").arg(1000 + r),
                                   QStringLiteral("实木单开门框%1").arg(r),
                                   QStringLiteral("磨砂"),
                                   QStringLiteral("800"),
                                   QStringLiteral("2050"),
                                   QStringLiteral("20"),
                                   QStringLiteral("840"),
                                   QStringLiteral("2085"),
                                   QStringLiteral("1"),
                                   QString(),
                                   QString(),
                                   QString::number(r)};
        for (int c = 1; c <= 12; ++c)
            b->Grid_Bill->SetCells(c, r, cells[c - 1]);
    }
}

void TimeNewFrameBillSaves(benchmark::State& state) {
    const qint64 before = Scalar(QStringLiteral("select count(*) from 历史单据")).toLongLong();
    for (auto _ : state) {
        OpenNewFrameBill();
        const auto start = Clock::now();
        SaveBill();
        state.SetIterationTime(seconds(start));
    }
    const qint64 added = Scalar(QStringLiteral("select count(*) from 历史单据")).toLongLong() - before;
    if (added != qint64(state.iterations()))
        state.SkipWithError("the saves did not add the bills");
    state.counters["lines"] = kLines;
}

} // namespace kvt::bench
