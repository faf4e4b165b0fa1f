#include "excel/automation.h"

#include "ui/text.h"

namespace excel {
namespace {

// Excel's members, by dispatch id.
constexpr DISPID kDispWorkbooks = 0x23C;
constexpr DISPID kDispOpen = 0x2AA;
constexpr DISPID kDispWorksheets = 0x1EE;
constexpr DISPID kDispItem = 0xAA;
constexpr DISPID kDispRange = 0xC5;
constexpr DISPID kDispCount = 0x76;
constexpr DISPID kDispValue = 6;
constexpr DISPID kDispClose = 0x115;
constexpr DISPID kDispQuit = 0x12E;

// Open takes the file name and twelve optional arguments.
constexpr UINT kOpenOmitted = 12;

std::string BstrText(BSTR text) { return text ? ui::Narrow(std::wstring_view(text, SysStringLen(text))) : std::string(); }

// The failures an import can meet, with the texts Windows has for them:
// not every system (Wine) has them in its message tables.
struct KnownFailure {
    HRESULT hr;
    const char* text;
};
constexpr KnownFailure kKnownFailures[] = {
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_BADINDEX, "Invalid index."},
    {DISP_E_MEMBERNOTFOUND, "Member not found."},
    {DISP_E_BADPARAMCOUNT, "Invalid number of parameters."},
    {DISP_E_PARAMNOTFOUND, "Parameter not found."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {RPC_E_DISCONNECTED, "The object invoked has disconnected from its clients."},
    {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), "The RPC server is unavailable."},
};

// The text for a failure code, or the fallback when there is none.
std::string ErrorText(HRESULT hr) {
    for (const KnownFailure& known : kKnownFailures)
        if (known.hr == hr) return known.text;
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text.empty() ? kNoDescription : ui::Narrow(text);
}

[[noreturn]] void ThrowFailure(HRESULT hr, EXCEPINFO& info) {
    std::string description;
    if (hr == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
        description = BstrText(info.bstrDescription);
        // The server's texts are ours to free, whatever happens next.
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        if (description.empty()) description = kNoDescription;
    } else {
        description = ErrorText(hr);
    }
    throw AutomationError(description);
}

void SetText(VARIANT& v, const std::string& utf8) {
    const std::wstring wide = ui::Widen(utf8);
    V_BSTR(&v) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!V_BSTR(&v)) throw AutomationError(ErrorText(E_OUTOFMEMORY));
    V_VT(&v) = VT_BSTR;
}

}  // namespace

CDispatch& CDispatch::operator=(CDispatch&& other) noexcept {
    if (this != &other) {
        ReleaseDispatch();
        p_ = other.p_;
        other.p_ = nullptr;
    }
    return *this;
}

void CDispatch::ReleaseDispatch() {
    if (p_) {
        p_->Release();
        p_ = nullptr;
    }
}

void CDispatch::Invoke(DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result) const {
    if (!p_) throw AutomationError(kNoDescription);
    std::vector<VARIANT> reversed(args, args + count);
    for (UINT i = 0; i < count; ++i) reversed[count - 1 - i] = args[i];
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params = {};
    params.rgvarg = count ? reversed.data() : nullptr;
    params.cArgs = count;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    EXCEPINFO info = {};
    UINT argError = 0;
    if (result) VariantInit(result);
    const HRESULT hr = p_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info, &argError);
    if (FAILED(hr)) ThrowFailure(hr, info);
}

CDispatch CDispatch::GetObject(DISPID id, WORD flags, VARIANT* args, UINT count) const {
    Variant result;
    Invoke(id, flags, args, count, result.out());
    VARIANT& v = result.get();
    if (V_VT(&v) == VT_DISPATCH && V_DISPATCH(&v)) {
        IDispatch* object = V_DISPATCH(&v);
        V_VT(&v) = VT_EMPTY;  // the reference moves to the wrapper
        return CDispatch(object);
    }
    Variant converted;
    if (FAILED(VariantChangeType(converted.out(), &v, 0, VT_DISPATCH)) || !V_DISPATCH(&converted.get()))
        throw AutomationError(ErrorText(DISP_E_TYPEMISMATCH));
    IDispatch* object = V_DISPATCH(&converted.get());
    V_VT(&converted.get()) = VT_EMPTY;
    return CDispatch(object);
}

CDispatch CreateApplication() {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"Excel.Application", &clsid))) return CDispatch();
    // Excel is an executable of its own: a local server, never in-process.
    IDispatch* application = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&application))))
        return CDispatch();
    return CDispatch(application);
}

CDispatch GetWorkbooks(const CDispatch& application) {
    return application.GetObject(kDispWorkbooks, DISPATCH_PROPERTYGET);
}

CDispatch OpenWorkbook(const CDispatch& workbooks, const std::string& path) {
    Variant args[1 + kOpenOmitted];
    SetText(args[0].get(), path);
    for (UINT i = 1; i <= kOpenOmitted; ++i) {
        V_VT(&args[i].get()) = VT_ERROR;
        V_ERROR(&args[i].get()) = DISP_E_PARAMNOTFOUND;
    }
    VARIANT raw[1 + kOpenOmitted];
    for (UINT i = 0; i <= kOpenOmitted; ++i) raw[i] = args[i].get();
    return workbooks.GetObject(kDispOpen, DISPATCH_METHOD, raw, 1 + kOpenOmitted);
}

CDispatch GetWorksheets(const CDispatch& workbook) {
    return workbook.GetObject(kDispWorksheets, DISPATCH_PROPERTYGET);
}

CDispatch GetSheet(const CDispatch& sheets, short index) {
    VARIANT arg;
    V_VT(&arg) = VT_I2;
    V_I2(&arg) = index;
    return sheets.GetObject(kDispItem, DISPATCH_PROPERTYGET, &arg, 1);
}

CDispatch GetRange(const CDispatch& sheet, const std::string& cell1, const std::string& cell2) {
    Variant first, last;
    SetText(first.get(), cell1);
    SetText(last.get(), cell2);
    VARIANT raw[2] = {first.get(), last.get()};
    return sheet.GetObject(kDispRange, DISPATCH_PROPERTYGET, raw, 2);
}

long GetCount(const CDispatch& range) {
    Variant result;
    range.Invoke(kDispCount, DISPATCH_PROPERTYGET, nullptr, 0, result.out());
    Variant count;
    if (FAILED(VariantChangeType(count.out(), &result.get(), 0, VT_I4)))
        throw AutomationError(ErrorText(DISP_E_TYPEMISMATCH));
    return V_I4(&count.get());
}

RangeValues::RangeValues(const CDispatch& range) {
    range.Invoke(kDispValue, DISPATCH_PROPERTYGET, nullptr, 0, value_.out());
    const VARIANT& v = value_.get();
    // One cell gives a plain value; anything but a table of variants is not
    // a range of pairs either.
    if (V_VT(&v) != (VT_ARRAY | VT_VARIANT) || !V_ARRAY(&v) || SafeArrayGetDim(V_ARRAY(&v)) != 2)
        throw AutomationError(kNotAnArray);
    if (FAILED(SafeArrayGetUBound(V_ARRAY(&v), 1, &rows_))) throw AutomationError(kNotAnArray);
}

std::string RangeValues::CellText(long row) const {
    LONG index[2] = {row, 1};
    Variant cell;
    HRESULT hr = SafeArrayGetElement(V_ARRAY(&value_.get()), index, cell.out());
    if (FAILED(hr)) throw AutomationError(ErrorText(hr));
    Variant text;
    hr = VariantChangeType(text.out(), &cell.get(), 0, VT_BSTR);
    if (FAILED(hr)) throw AutomationError(ErrorText(hr));
    return BstrText(V_BSTR(&text.get()));
}

void PutValues(const CDispatch& range, const std::vector<double>& rates) {
    SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(rates.size()), 0}, {1, 0}};
    SafeArray array(SafeArrayCreate(VT_R8, 2, bounds));
    if (!array.get()) throw AutomationError(ErrorText(E_OUTOFMEMORY));
    for (size_t r = 0; r < rates.size(); ++r) {
        LONG index[2] = {static_cast<LONG>(r), 0};
        double rate = rates[r];
        const HRESULT hr = SafeArrayPutElement(array.get(), index, &rate);
        if (FAILED(hr)) throw AutomationError(ErrorText(hr));
    }
    Variant arg;
    V_VT(&arg.get()) = VT_ARRAY | VT_R8;
    V_ARRAY(&arg.get()) = array.release();
    range.Invoke(kDispValue, DISPATCH_PROPERTYPUT, &arg.get(), 1, nullptr);
}

void CloseWorkbooks(const CDispatch& workbooks) { workbooks.Invoke(kDispClose, DISPATCH_METHOD, nullptr, 0, nullptr); }

void Quit(const CDispatch& application) { application.Invoke(kDispQuit, DISPATCH_METHOD, nullptr, 0, nullptr); }

}  // namespace excel
