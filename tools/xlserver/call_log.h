// The server's record of what its clients did: one line per call with its
// dispatch id, kind and every argument's type and value, and one per
// object made or released with the count of live objects. Tests read it;
// the file is named by HKCU\Software\ZelvaneTests\XlServer "CallLog" and
// nothing is recorded when that value is absent.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace xlserver {

void LogLine(const std::string& utf8);

// "VT_BSTR", "VT_ARRAY|VT_R8", "VT_BYREF|VT_VARIANT", ...
std::string VarTypeName(VARTYPE vt);
// One argument: its type and value ("VT_I2 1", "VT_BSTR \"A1\"",
// "VT_ERROR 0x80020004", "VT_ARRAY|VT_R8 3x1 from 0,0").
std::string DescribeArgument(const VARIANT& v);
// "get", "put", "method" or "method|get".
std::string InvokeKind(WORD flags);

std::string Utf8(const wchar_t* text, size_t length);
std::wstring Wide(const std::string& utf8);

}  // namespace xlserver
