#pragma once
// The production sheets: one landscape page per bill, drawn from what the bill window shows.

#include "bill/BillSnapshot.h"
#include "controls/PrintSurface.h"

class QWidget;

namespace kvt {

enum class BillSheet { None, Frame, DoorLeaf };

/// The sheet a bill type prints: "1" and "3" the frame sheet, "2" the door-leaf sheet, any other
/// number none. Text that is no integer throws std::runtime_error.
BillSheet BillSheetFor(const QString& billType);

/// Integer dots per millimetre of a resolution in dots per inch (nearest, ties to even).
int DotsPerMm(int dpi);

/// The frame sheet "门框生产排单", one complete job of one page.
void PrintFrameSheet(PrintSurface& surface, const BillSnapshot& bill);
/// The door-leaf sheet "---门扇生产排单---", one complete job of one page.
void PrintDoorLeafSheet(PrintSurface& surface, const BillSnapshot& bill);

/// The print command: turns a portrait surface to landscape (it stays so), then prints the
/// sheet of the bill's type; a type that is no number throws after the switch.
void PrintBillSheet(PrintSurface& surface, const BillSnapshot& bill);

/// The print command on screen: the landscape switch on the program's printer, then a print
/// preview of the bill's sheet. Nothing is shown for a type without a sheet. True when the user
/// printed from the preview.
bool PreviewBillSheet(QWidget* parent, const BillSnapshot& bill);

} // namespace kvt
