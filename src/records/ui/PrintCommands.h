#pragma once

#include "app/UnionCode.h"

namespace corvalis {

class CommandHost;

// Record printing in the main window: actPrint ("打印选中记录的年报表") fills the print form with the
// current record of the list and hands the workbook to the desktop; actPrintPreview ("打印预览"),
// placed after actPrint in the menu bar's menus that hold it, shows the same form on A4 pages to print or
// save as PDF.
void installPrintCommands(CommandHost& window);

// Prints the record of that code from the host's database (also the entry form's print button).
void printRecordOf(CommandHost& window, UnionCode code);

// The preview of one record's print form.
void showRecordPrintPreview(CommandHost& window, UnionCode code);

} // namespace corvalis
