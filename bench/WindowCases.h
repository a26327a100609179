#pragma once
// The program's side of the window cases, the same on a database file and on a server: the windows
// opened on a location, the bill the load and save cases use, and the timed loops that drive the
// windows as the user does. Each loop leaves its targets to the caller.

#include <QString>

#include <benchmark/benchmark.h>

namespace kvt::bench {

/// The bill of the load and save cases, and how many lines it has.
constexpr qint64 kBill = 50000;
constexpr int kLines = 12;

/// First value of a statement (the program's dialect) on the open database; "" when it gives no rows.
QString Scalar(const QString& sql);

/// The generated bills have ten lines; kBill gets two more, on the open database.
void MakeTwelveLineBill();

/// The program's windows on location, all built, the query window shown; closed with the database.
class ProgramWindows {
public:
    explicit ProgramWindows(const QString& location);
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;
};

/// Times the query window's list of all bills, each press of its button with the grid painted; the
/// list before goes first, untimed, as when the user presses the button again. Sets rows and
/// held_bytes (heap the shown list holds).
void TimeAllBillsList(benchmark::State& state);
/// One press of the query window's button with every bill listed, and the grid painted.
void ListAllBills();

/// The query window's result holds kBill, as after a list query with the bill current.
void ListTheBill();
/// Loads kBill into the bill window with one of the query window's buttons: "Button_kuang_load"
/// (frame view) or "Button_load" (door-leaf view).
void LoadBill(const char* buttonName);
void CloseBill();
/// Fails the benchmark unless the bill window shows kBill in view kind ("3" frame, "2" door leaf).
void CheckBillShown(benchmark::State& state, const char* kind);
/// Times loads of kBill with the button, on the wall clock (manual time); sets lines and click_ms.
void TimeBillLoads(benchmark::State& state, const char* buttonName, const char* kind);

/// The shown bill's first line gets width in the grid column widthColumn, a change worth saving.
void ChangeFirstWidth(int widthColumn, int width);
/// Presses the bill window's 保存 and lets the events it posted run.
void SaveBill();
/// Times saves of kBill: each loads it untimed, moves the first line's width by 5 and back, and
/// saves; fails unless the database holds the last width. Sets lines and click_ms.
void TimeBillSaves(benchmark::State& state, const char* buttonName, const char* kind, int widthColumn);

/// Opens a new frame bill from the main window's "新开门框" and fills in a client and kLines lines.
void OpenNewFrameBill();
/// Times saves of new frame bills, each adding a bill; fails unless every save added one. Sets lines.
void TimeNewFrameBillSaves(benchmark::State& state);

} // namespace kvt::bench
