// The automation objects the server hands out: Application, Workbooks,
// Workbook, Sheets, Worksheet and Range, each an IDispatch with Excel's
// members at Excel's dispatch ids. They live in the server's one
// apartment; every call and every object's end goes to the call log.
#pragma once

#include <windows.h>
#include <oleauto.h>

namespace xlserver {

// A new Application with a session of its own; one reference.
IDispatch* NewApplication();

// Objects alive now. When the last one goes the server may end.
long LiveObjects();

// Called once the count falls back to zero.
void SetOnLastRelease(void (*callback)());

}  // namespace xlserver
