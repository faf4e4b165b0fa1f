// Excel's automation interface as the import uses it: one owner per
// IDispatch, VARIANT and SAFEARRAY, and the eleven calls it makes, each by
// its dispatch id. Every failing call throws AutomationError with the text
// the user is to see.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace excel {

class AutomationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;  // UTF-8 description
};

// The texts of the errors that carry none of their own.
constexpr char kNoDescription[] = "Internal application error.";
constexpr char kNotAnArray[] = "An invalid argument was encountered.";

class Variant {
public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT& get() { return v_; }
    const VARIANT& get() const { return v_; }
    // Emptied first, so it can be filled again.
    VARIANT* out() {
        VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

class SafeArray {
public:
    explicit SafeArray(SAFEARRAY* owned = nullptr) : p_(owned) {}
    ~SafeArray() {
        if (p_) SafeArrayDestroy(p_);
    }
    SafeArray(const SafeArray&) = delete;
    SafeArray& operator=(const SafeArray&) = delete;

    SAFEARRAY* get() const { return p_; }
    SAFEARRAY* release() {
        SAFEARRAY* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    SAFEARRAY* p_;
};

// Holds one IDispatch reference and releases it when destroyed.
class CDispatch {
public:
    CDispatch() = default;
    explicit CDispatch(IDispatch* owned) : p_(owned) {}
    ~CDispatch() { ReleaseDispatch(); }
    CDispatch(CDispatch&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    CDispatch& operator=(CDispatch&& other) noexcept;
    CDispatch(const CDispatch&) = delete;
    CDispatch& operator=(const CDispatch&) = delete;

    explicit operator bool() const { return p_ != nullptr; }
    IDispatch* get() const { return p_; }
    void ReleaseDispatch();

    // Calls a member with its arguments in their natural order (the
    // reversal Invoke wants is done here); result may be null.
    void Invoke(DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result) const;
    // A member whose result is another object.
    CDispatch GetObject(DISPID id, WORD flags, VARIANT* args = nullptr, UINT count = 0) const;

private:
    IDispatch* p_ = nullptr;
};

// A new, unseen instance of the local server registered as
// "Excel.Application"; an empty wrapper when there is none.
CDispatch CreateApplication();

CDispatch GetWorkbooks(const CDispatch& application);
CDispatch OpenWorkbook(const CDispatch& workbooks, const std::string& path);
CDispatch GetWorksheets(const CDispatch& workbook);
CDispatch GetSheet(const CDispatch& sheets, short index);
CDispatch GetRange(const CDispatch& sheet, const std::string& cell1, const std::string& cell2);
long GetCount(const CDispatch& range);

// The values of a range of more than one cell: rows in the first dimension,
// both lower bounds 1. Throws kNotAnArray for a single value.
class RangeValues {
public:
    explicit RangeValues(const CDispatch& range);
    long Rows() const { return rows_; }
    // Row 1..Rows(), first column, as text.
    std::string CellText(long row) const;

private:
    Variant value_;
    long rows_ = 0;
};

// Row r of the write range receives rates[r]: an N x 1 array of doubles
// with lower bounds 0.
void PutValues(const CDispatch& range, const std::vector<double>& rates);
void CloseWorkbooks(const CDispatch& workbooks);
void Quit(const CDispatch& application);

}  // namespace excel
