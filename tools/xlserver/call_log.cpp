#include "tools/xlserver/call_log.h"

#include <cstdio>

namespace xlserver {
namespace {

std::wstring LogPath() {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = sizeof(path) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\ZelvaneTests\\XlServer", L"CallLog", RRF_RT_REG_SZ, nullptr, path,
                     &size) != ERROR_SUCCESS)
        return {};
    return path;
}

std::string Hex(unsigned long v) {
    char buf[16];
    std::snprintf(buf, sizeof(buf), "0x%08lX", v);
    return buf;
}

}  // namespace

std::string Utf8(const wchar_t* text, size_t length) {
    if (!length) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

void LogLine(const std::string& utf8) {
    // Looked up each time, so a test can point it elsewhere between runs.
    const std::wstring path = LogPath();
    if (path.empty()) return;
    FILE* f = _wfopen(path.c_str(), L"ab");
    if (!f) return;
    std::fwrite(utf8.data(), 1, utf8.size(), f);
    std::fputc('\n', f);
    std::fclose(f);
}

std::string VarTypeName(VARTYPE vt) {
    std::string prefix;
    if (vt & VT_ARRAY) prefix += "VT_ARRAY|";
    if (vt & VT_BYREF) prefix += "VT_BYREF|";
    switch (vt & VT_TYPEMASK) {
    case VT_EMPTY: return prefix + "VT_EMPTY";
    case VT_NULL: return prefix + "VT_NULL";
    case VT_I2: return prefix + "VT_I2";
    case VT_I4: return prefix + "VT_I4";
    case VT_R4: return prefix + "VT_R4";
    case VT_R8: return prefix + "VT_R8";
    case VT_CY: return prefix + "VT_CY";
    case VT_DATE: return prefix + "VT_DATE";
    case VT_BSTR: return prefix + "VT_BSTR";
    case VT_DISPATCH: return prefix + "VT_DISPATCH";
    case VT_ERROR: return prefix + "VT_ERROR";
    case VT_BOOL: return prefix + "VT_BOOL";
    case VT_VARIANT: return prefix + "VT_VARIANT";
    case VT_UNKNOWN: return prefix + "VT_UNKNOWN";
    case VT_I1: return prefix + "VT_I1";
    case VT_UI1: return prefix + "VT_UI1";
    case VT_UI2: return prefix + "VT_UI2";
    case VT_UI4: return prefix + "VT_UI4";
    case VT_I8: return prefix + "VT_I8";
    case VT_INT: return prefix + "VT_INT";
    default: return prefix + "VT_" + std::to_string(vt & VT_TYPEMASK);
    }
}

std::string DescribeArgument(const VARIANT& v) {
    const std::string type = VarTypeName(V_VT(&v));
    if (V_VT(&v) & VT_ARRAY) {
        SAFEARRAY* sa = (V_VT(&v) & VT_BYREF) ? (V_ARRAYREF(&v) ? *V_ARRAYREF(&v) : nullptr) : V_ARRAY(&v);
        if (!sa) return type + " null";
        std::string counts, lows;
        for (UINT d = 1; d <= SafeArrayGetDim(sa); ++d) {
            LONG lo = 0, hi = -1;
            SafeArrayGetLBound(sa, d, &lo);
            SafeArrayGetUBound(sa, d, &hi);
            counts += (d > 1 ? "x" : "") + std::to_string(hi - lo + 1);
            lows += (d > 1 ? "," : "") + std::to_string(lo);
        }
        return type + " " + counts + " from " + lows;
    }
    switch (V_VT(&v)) {
    case VT_I2: return type + " " + std::to_string(V_I2(&v));
    case VT_I4: return type + " " + std::to_string(V_I4(&v));
    case VT_R8: return type + " " + std::to_string(V_R8(&v));
    case VT_BOOL: return type + (V_BOOL(&v) ? " true" : " false");
    case VT_ERROR: return type + " " + Hex(static_cast<unsigned long>(V_ERROR(&v)));
    case VT_BSTR: return type + " \"" + Utf8(V_BSTR(&v), SysStringLen(V_BSTR(&v))) + "\"";
    default: return type;
    }
}

std::string InvokeKind(WORD flags) {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return "put";
    if ((flags & DISPATCH_METHOD) && (flags & DISPATCH_PROPERTYGET)) return "method|get";
    if (flags & DISPATCH_METHOD) return "method";
    if (flags & DISPATCH_PROPERTYGET) return "get";
    return "none";
}

}  // namespace xlserver
