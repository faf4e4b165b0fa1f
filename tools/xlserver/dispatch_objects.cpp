#include "tools/xlserver/dispatch_objects.h"

#include <climits>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tools/xlserver/book_file.h"
#include "tools/xlserver/call_log.h"
#include "tools/xlserver/cell_ref.h"
#include "tools/xlserver/workbook.h"

namespace xlserver {
namespace {

// Excel's failure code for a member that could not do its work.
constexpr HRESULT kExcelFailure = static_cast<HRESULT>(0x800A03EC);
// The largest block whose values are read or written in one call.
constexpr long long kMaxValueCells = 1 << 22;
// Error values in cells: CVErr numbers on top of this.
constexpr HRESULT kCellErrorBase = static_cast<HRESULT>(0x800A0000);

struct ExcelError {
    HRESULT scode;
    std::string description;  // UTF-8
};

long g_live = 0;
void (*g_onLastRelease)() = nullptr;

struct CellErrorName {
    int number;
    const char* name;
};
constexpr CellErrorName kCellErrors[] = {{2000, "#NULL!"}, {2007, "#DIV/0!"}, {2015, "#VALUE!"}, {2023, "#REF!"},
                                         {2029, "#NAME?"}, {2036, "#NUM!"},   {2042, "#N/A"}};

// A workbook opened by the session, written back when it is closed.
struct Book {
    std::wstring path;
    BookFile file;
    bool open = true;
};

struct Session {
    std::vector<std::shared_ptr<Book>> books;
};

// Owns a VARIANT.
struct Var {
    VARIANT v;
    Var() { VariantInit(&v); }
    ~Var() { VariantClear(&v); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
};

std::string PathText(const std::wstring& path) { return Utf8(path.data(), path.size()); }

// The call's arguments in their natural order, references followed.
class Arguments {
public:
    explicit Arguments(const DISPPARAMS* params) {
        const UINT count = params ? params->cArgs : 0;
        count_ = count;
        values_ = std::make_unique<Var[]>(count);
        for (UINT i = 0; i < count; ++i) VariantCopyInd(&values_[i].v, &params->rgvarg[count - 1 - i]);
    }
    size_t size() const { return count_; }
    // Absent, or sent as "omitted".
    bool Omitted(size_t i) const {
        return i >= count_ || V_VT(&values_[i].v) == VT_EMPTY ||
               (V_VT(&values_[i].v) == VT_ERROR && V_ERROR(&values_[i].v) == DISP_E_PARAMNOTFOUND);
    }
    const VARIANT& operator[](size_t i) const { return values_[i].v; }

private:
    size_t count_ = 0;
    std::unique_ptr<Var[]> values_;
};

std::string Text(const VARIANT& v) {
    Var converted;
    if (FAILED(VariantChangeType(&converted.v, const_cast<VARIANT*>(&v), 0, VT_BSTR))) throw ExcelError{DISP_E_TYPEMISMATCH, "Type mismatch."};
    return Utf8(V_BSTR(&converted.v), SysStringLen(V_BSTR(&converted.v)));
}

void Store(VARIANT* result, IDispatch* object) {
    if (!result) {
        object->Release();
        return;
    }
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = object;
}

Cell CellFrom(const VARIANT& v) {
    switch (V_VT(&v)) {
    case VT_EMPTY:
    case VT_NULL: return Cell();
    case VT_BSTR: return Cell::Text(Utf8(V_BSTR(&v), SysStringLen(V_BSTR(&v))));
    case VT_BOOL: return Cell::Boolean(V_BOOL(&v) != VARIANT_FALSE);
    case VT_ERROR:
        for (const CellErrorName& e : kCellErrors)
            if (V_ERROR(&v) == kCellErrorBase + e.number) return Cell::Error(e.name);
        return Cell::Error("#N/A");
    default: {
        Var number;
        if (FAILED(VariantChangeType(&number.v, const_cast<VARIANT*>(&v), 0, VT_R8))) throw ExcelError{DISP_E_TYPEMISMATCH, "Type mismatch."};
        return Cell::Number(V_R8(&number.v));
    }
    }
}

void CellTo(const Cell& cell, VARIANT* out) {
    VariantInit(out);
    switch (cell.kind) {
    case Cell::Kind::kNumber:
        V_VT(out) = VT_R8;
        V_R8(out) = cell.number;
        break;
    case Cell::Kind::kText: {
        const std::wstring wide = Wide(cell.text);
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        break;
    }
    case Cell::Kind::kBoolean:
        V_VT(out) = VT_BOOL;
        V_BOOL(out) = cell.number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case Cell::Kind::kError: {
        V_VT(out) = VT_ERROR;
        V_ERROR(out) = kCellErrorBase + 2042;
        for (const CellErrorName& e : kCellErrors)
            if (cell.text == e.name) V_ERROR(out) = kCellErrorBase + e.number;
        break;
    }
    default: break;
    }
}

bool ReadFile(const std::wstring& path, std::string* content) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (64 << 20);
    if (ok) {
        content->resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        ok = content->empty() ||
             (::ReadFile(file, content->data(), static_cast<DWORD>(content->size()), &got, nullptr) &&
              got == content->size());
    }
    CloseHandle(file);
    return ok;
}

// Written beside the workbook first, so a failed write leaves the old file.
bool WriteFile(const std::wstring& path, const std::string& content) {
    const std::wstring temporary = path + L".saving";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
                    written == content.size();
    CloseHandle(file);
    if (!ok || !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

struct Member {
    const wchar_t* name;
    DISPID id;
};

class DispatchObject : public IDispatch {
public:
    DispatchObject(const char* name, const Member* members, size_t memberCount)
        : name_(name), members_(members), memberCount_(memberCount) {
        ++g_live;
        LogLine(std::string("create ") + name_ + " (objects " + std::to_string(g_live) + ")");
    }
    virtual ~DispatchObject() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) {
            --g_live;
            LogLine(std::string("release ") + name_ + " (objects " + std::to_string(g_live) + ")");
            delete this;
            if (g_live == 0 && g_onLastRelease) g_onLastRelease();
        }
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            // Only the member itself is named; argument names are not known.
            for (size_t m = 0; i == 0 && m < memberCount_; ++m)
                if (_wcsicmp(names[0], members_[m].name) == 0) ids[0] = members_[m].id;
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* info, UINT*) override {
        const wchar_t* member = L"?";
        for (size_t m = 0; m < memberCount_; ++m)
            if (members_[m].id == id) member = members_[m].name;
        char idText[16];
        std::snprintf(idText, sizeof(idText), "0x%lX", static_cast<unsigned long>(id));
        std::string line = std::string("call ") + name_ + "." + Utf8(member, wcslen(member)) + " " + idText + " " +
                           InvokeKind(flags) + " (";
        const UINT count = params ? params->cArgs : 0;
        for (UINT i = 0; i < count; ++i)
            line += (i ? ", " : "") + DescribeArgument(params->rgvarg[count - 1 - i]);
        LogLine(line + ")");

        if (result) VariantInit(result);
        try {
            const HRESULT hr = Call(id, flags, params, result);
            if (FAILED(hr)) {
                char code[16];
                std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(hr));
                LogLine(std::string("fail ") + code);
            }
            return hr;
        } catch (const ExcelError& error) {
            if (result) VariantClear(result);
            char code[16];
            std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(error.scode));
            LogLine(std::string("error ") + code + " " + error.description);
            if (info) {
                *info = EXCEPINFO();
                info->bstrSource = SysAllocString(L"Microsoft Excel");
                info->bstrDescription = SysAllocString(Wide(error.description).c_str());
                info->scode = error.scode;
            }
            return DISP_E_EXCEPTION;
        }
    }

protected:
    // S_OK or a plain failure such as DISP_E_MEMBERNOTFOUND; errors with a
    // description are thrown as ExcelError.
    virtual HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) = 0;

    static bool IsGet(WORD flags) { return (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0; }
    static bool IsPut(WORD flags) { return (flags & DISPATCH_PROPERTYPUT) != 0; }

private:
    LONG refs_ = 1;
    const char* name_;
    const Member* members_;
    size_t memberCount_;
};

void CheckOpen(const Book& book) {
    if (!book.open) throw ExcelError{kExcelFailure, "The workbook has been closed."};
}

class RangeObject : public DispatchObject {
public:
    static constexpr Member kMembers[] = {{L"Count", 0x76}, {L"Value", 6}};
    RangeObject(std::shared_ptr<Book> book, size_t sheet, RangeRef range)
        : DispatchObject("Range", kMembers, 2), book_(std::move(book)), sheet_(sheet), range_(range) {}

protected:
    HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) override {
        CheckOpen(*book_);
        if (id == 0x76 && IsGet(flags) && result) {
            if (range_.Count() > LONG_MAX) throw ExcelError{DISP_E_OVERFLOW, "Overflow"};
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(range_.Count());
            return S_OK;
        }
        // Values travel as one array in memory; a block near a whole sheet
        // would not fit.
        if (id == 6 && range_.Count() > kMaxValueCells)
            throw ExcelError{E_OUTOFMEMORY, "Not enough memory to move the values of so many cells."};
        if (id == 6 && IsPut(flags)) {
            if (!params || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
            Put(params->rgvarg[0]);
            return S_OK;
        }
        if (id == 6 && IsGet(flags)) {
            Get(result);
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    const Sheet& sheet() const { return book_->file.book().sheets[sheet_]; }

    void Get(VARIANT* result) {
        if (!result) return;
        if (range_.Count() == 1) {
            CellTo(sheet().At(range_.first.row, range_.first.column), result);
            return;
        }
        SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(range_.Rows()), 1}, {static_cast<ULONG>(range_.Columns()), 1}};
        SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
        if (!array) throw ExcelError{E_OUTOFMEMORY, "Not enough memory."};
        for (long r = 0; r < range_.Rows(); ++r) {
            for (long c = 0; c < range_.Columns(); ++c) {
                Var cell;
                CellTo(sheet().At(range_.first.row + static_cast<int>(r), range_.first.column + static_cast<int>(c)),
                       &cell.v);
                LONG index[2] = {r + 1, c + 1};
                SafeArrayPutElement(array, index, &cell.v);
            }
        }
        V_VT(result) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(result) = array;
    }

    // An array fills the range from its first element; cells the array does
    // not reach get #N/A, as in Excel. A single value fills every cell.
    void Put(const VARIANT& given) {
        Var value;
        VariantCopyInd(&value.v, const_cast<VARIANT*>(&given));
        std::vector<Cell> cells;
        if (V_VT(&value.v) & VT_ARRAY) {
            SAFEARRAY* array = V_ARRAY(&value.v);
            const UINT dims = array ? SafeArrayGetDim(array) : 0;
            if (dims < 1 || dims > 2) throw ExcelError{kExcelFailure, "The array has an unsupported shape."};
            LONG low[2] = {0, 0}, high[2] = {-1, 0};
            for (UINT d = 0; d < dims; ++d) {
                SafeArrayGetLBound(array, d + 1, &low[d]);
                SafeArrayGetUBound(array, d + 1, &high[d]);
            }
            const VARTYPE type = V_VT(&value.v) & VT_TYPEMASK;
            for (long r = 0; r < range_.Rows(); ++r) {
                for (long c = 0; c < range_.Columns(); ++c) {
                    // A one-dimensional array is one row, repeated down the range.
                    LONG index[2] = {dims == 2 ? low[0] + r : low[0] + c, low[1] + c};
                    const bool inside = dims == 2 ? index[0] <= high[0] && index[1] <= high[1] : index[0] <= high[0];
                    cells.push_back(inside ? Element(array, type, index) : Cell::Error("#N/A"));
                }
            }
        } else {
            cells.assign(static_cast<size_t>(range_.Count()), CellFrom(value.v));
        }
        // Every cell is checked before any changes: a refused write leaves
        // the workbook as it was.
        std::string why;
        for (long r = 0; r < range_.Rows(); ++r)
            for (long c = 0; c < range_.Columns(); ++c)
                if (!book_->file.Writable(sheet_, range_.first.row + static_cast<int>(r),
                                          range_.first.column + static_cast<int>(c), &why))
                    throw ExcelError{kExcelFailure, why};
        size_t i = 0;
        for (long r = 0; r < range_.Rows(); ++r)
            for (long c = 0; c < range_.Columns(); ++c)
                book_->file.Set(sheet_, range_.first.row + static_cast<int>(r),
                                range_.first.column + static_cast<int>(c), std::move(cells[i++]));
    }

    static Cell Element(SAFEARRAY* array, VARTYPE type, LONG* index) {
        Var element;
        HRESULT hr;
        if (type == VT_VARIANT) {
            hr = SafeArrayGetElement(array, index, &element.v);
        } else if (type == VT_R8 || type == VT_R4 || type == VT_I2 || type == VT_I4 || type == VT_BSTR ||
                   type == VT_BOOL || type == VT_ERROR || type == VT_DATE || type == VT_UI1) {
            hr = SafeArrayGetElement(array, index, &V_UI1(&element.v));
            if (SUCCEEDED(hr)) V_VT(&element.v) = type;
        } else {
            throw ExcelError{DISP_E_TYPEMISMATCH, "Type mismatch."};
        }
        if (FAILED(hr)) throw ExcelError{hr, "The array could not be read."};
        return CellFrom(element.v);
    }

    std::shared_ptr<Book> book_;
    size_t sheet_;
    RangeRef range_;
};

class WorksheetObject : public DispatchObject {
public:
    static constexpr Member kMembers[] = {{L"Range", 0xC5}};
    WorksheetObject(std::shared_ptr<Book> book, size_t sheet)
        : DispatchObject("Worksheet", kMembers, 1), book_(std::move(book)), sheet_(sheet) {}

protected:
    HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) override {
        CheckOpen(*book_);
        if (id != 0xC5 || !IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        const Arguments args(params);
        if (args.Omitted(0) || args.size() > 2) return DISP_E_BADPARAMCOUNT;
        const std::string first = Text(args[0]);
        const std::string second = args.Omitted(1) ? std::string() : Text(args[1]);
        const auto range = ParseRange(first, second);
        if (!range) throw ExcelError{kExcelFailure, "Method 'Range' of object '_Worksheet' failed"};
        Store(result, new RangeObject(book_, sheet_, *range));
        return S_OK;
    }

private:
    std::shared_ptr<Book> book_;
    size_t sheet_;
};

class SheetsObject : public DispatchObject {
public:
    static constexpr Member kMembers[] = {{L"Item", 0xAA}, {L"Count", 0x76}};
    explicit SheetsObject(std::shared_ptr<Book> book) : DispatchObject("Sheets", kMembers, 2), book_(std::move(book)) {}

protected:
    HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) override {
        CheckOpen(*book_);
        const auto& sheets = book_->file.book().sheets;
        if (id == 0x76 && IsGet(flags) && result) {
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(sheets.size());
            return S_OK;
        }
        if (id != 0xAA || !IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        const Arguments args(params);
        if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
        size_t index = sheets.size();
        if (V_VT(&args[0]) == VT_BSTR) {
            const std::string name = Text(args[0]);
            for (size_t i = 0; i < sheets.size(); ++i)
                if (sheets[i].name == name) index = i;
        } else {
            Var number;
            if (FAILED(VariantChangeType(&number.v, const_cast<VARIANT*>(&args[0]), 0, VT_I4)))
                throw ExcelError{DISP_E_TYPEMISMATCH, "Type mismatch."};
            if (V_I4(&number.v) >= 1 && static_cast<size_t>(V_I4(&number.v)) <= sheets.size())
                index = static_cast<size_t>(V_I4(&number.v)) - 1;
        }
        if (index >= sheets.size()) throw ExcelError{DISP_E_BADINDEX, "Invalid index."};
        Store(result, new WorksheetObject(book_, index));
        return S_OK;
    }

private:
    std::shared_ptr<Book> book_;
};

class WorkbookObject : public DispatchObject {
public:
    static constexpr Member kMembers[] = {{L"Worksheets", 0x1EE}};
    explicit WorkbookObject(std::shared_ptr<Book> book)
        : DispatchObject("Workbook", kMembers, 1), book_(std::move(book)) {}

protected:
    HRESULT Call(DISPID id, WORD flags, DISPPARAMS*, VARIANT* result) override {
        CheckOpen(*book_);
        if (id != 0x1EE || !IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        Store(result, new SheetsObject(book_));
        return S_OK;
    }

private:
    std::shared_ptr<Book> book_;
};

class WorkbooksObject : public DispatchObject {
public:
    static constexpr Member kMembers[] = {{L"Open", 0x2AA}, {L"Close", 0x115}, {L"Count", 0x76}};
    explicit WorkbooksObject(std::shared_ptr<Session> session)
        : DispatchObject("Workbooks", kMembers, 3), session_(std::move(session)) {}

protected:
    HRESULT Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) override {
        if (id == 0x2AA && (flags & DISPATCH_METHOD)) return Open(params, result);
        if (id == 0x115 && (flags & DISPATCH_METHOD)) {
            Close();
            return S_OK;
        }
        if (id == 0x76 && IsGet(flags) && result) {
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(session_->books.size());
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    HRESULT Open(DISPPARAMS* params, VARIANT* result) {
        const Arguments args(params);
        if (args.Omitted(0) || args.size() > 15) return DISP_E_BADPARAMCOUNT;
        const std::wstring path = Wide(Text(args[0]));
        std::string content;
        if (!ReadFile(path, &content))
            throw ExcelError{kExcelFailure, "'" + PathText(path) +
                                                "' could not be found. Check the spelling of the file name, and "
                                                "verify that the file location is correct."};
        std::string why;
        auto file = BookFile::Read(std::move(content), &why);
        if (!file)
            throw ExcelError{kExcelFailure, "'" + PathText(path) + "' is not a workbook that can be opened (" +
                                                why + ")."};
        auto book = std::make_shared<Book>(Book{path, std::move(*file)});
        session_->books.push_back(book);
        Store(result, new WorkbookObject(book));
        return S_OK;
    }

    // Changed workbooks are saved: no one is there to answer a prompt.
    void Close() {
        std::string failed;
        for (const auto& book : session_->books) {
            if (book->open && book->file.changed() && !WriteFile(book->path, book->file.Text()))
                failed = PathText(book->path);
            book->open = false;
        }
        session_->books.clear();
        if (!failed.empty()) throw ExcelError{kExcelFailure, "Cannot save '" + failed + "'."};
    }

    std::shared_ptr<Session> session_;
};

class ApplicationObject : public DispatchObject {
public:
    static constexpr Member kMembers[] = {{L"Workbooks", 0x23C}, {L"Quit", 0x12E}};
    ApplicationObject() : DispatchObject("Application", kMembers, 2), session_(std::make_shared<Session>()) {}

protected:
    HRESULT Call(DISPID id, WORD flags, DISPPARAMS*, VARIANT* result) override {
        if (id == 0x23C && IsGet(flags)) {
            Store(result, new WorkbooksObject(session_));
            return S_OK;
        }
        // Unsaved workbooks are dropped; the process ends with its last object.
        if (id == 0x12E && (flags & DISPATCH_METHOD)) {
            for (const auto& book : session_->books) book->open = false;
            session_->books.clear();
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    std::shared_ptr<Session> session_;
};

}  // namespace

IDispatch* NewApplication() { return new ApplicationObject(); }

long LiveObjects() { return g_live; }

void SetOnLastRelease(void (*callback)()) { g_onLastRelease = callback; }

}  // namespace xlserver
