// The spreadsheet controls of the sample report system and what they share. Both load a workbook
// (see Workbook.h) given as its text or as a stored report's data (see ReportData.h), which holds
// the workbook already read.
//
// ZPSPREADLib.ZpSpread120 evaluates cross-report references on the workbook it holds and keeps two
// kinds of named text properties with it:
//   32 WorkbookData       put: loads the workbook (dropping the named properties); get: the data
//                         as it was put
//   80 Option(g, i)       put/get; Option(2, 1) is the sheet, counted from 0, that REF evaluates on
//                         when its formula names none
//   39 Evaluate(formula, result ByRef)
//                         =REF("B3",n): the value of cell B3 of sheet n (from 1) into result. Within
//                         the quotes a doubled quote stands for one; n left out, 0 or negative means
//                         the sheet of Option(2, 1)
//   82 CustomProperty(name)        get/put a named property; a get of one not created raises,
//                                  a put creates it
//   83 DocProperty(name, -1)       the same for the second kind, kept for the whole workbook (-1)
//   45 AddCustomProperty(name, type, flags), 48 AddDocProperty(name, type, flags)
//                         create one (type 8: text; flags are kept, nothing depends on them); one
//                         that exists keeps its value
//   60 TabProps(what, index ByRef)  what 1: the number of sheets; 3: the name of sheet index (from 1)
//
// ZPS20Lib.ZPS20 holds a workbook as the report designer shows it and raises FuncCall:
//   20 WorkbookData       put: loads the workbook, then raises FuncCall(sheetName, funcName,
//                         batch ByRef) for each sheet and each function its formula cells call, in
//                         the order of the cells. Row i of batch is one cell: column 0 the call's
//                         arguments (a 1-D array from 0), column 1 the cell's value as stored,
//                         column 2 Empty. After the event column 2, when it holds a text, becomes the
//                         cell's value, else column 1 does; a row left alone leaves its cell as it was
//    2 Sheets             the sheet collection; its default member takes a position from 0 or a
//                         sheet name (any letter case), Item a position from 1 or a name, Count
//    3 Names              the workbook's defined names: Item(name).Value
//   60 TabProps           as above
// A sheet: 14 Index (from 1), 51 Range(address) the place of a held cell, 1 Name, 2 Names (its own
// defined names, then the workbook's). A place: 87 Value, 1 Address, 2 Formula.
//
// Loads nest when a FuncCall listener loads further workbooks (a reference to another report); a
// load more than kMostNestedLoads deep, which only a report referring to itself reaches, raises 5.
#pragma once

#include <memory>

#include "automation/Dispatch.h"
#include "sample/Workbook.h"

namespace sample {

inline constexpr int kMostNestedLoads = 16;

automation::ObjectRef makeReferenceSpreadsheet();  // ZPSPREADLib.ZpSpread120
automation::ObjectRef makeReportSpreadsheet();     // ZPS20Lib.ZPS20

// The workbook of a control's data: a stored report's data gives the workbook it holds, a text is
// read (once per text) as Workbook.h describes; 13 for any other value.
std::shared_ptr<const Workbook> workbookOfData(const automation::Variant& data);

// The workbook a control holds; 5 when it holds none yet.
const Workbook& heldWorkbook(const std::shared_ptr<const Workbook>& book, std::u16string_view control);

// TabProps(what, index) of both controls.
automation::Variant tabProps(const Workbook& book, std::int32_t what, automation::Variant& index);

}  // namespace sample
