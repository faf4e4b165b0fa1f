// A stand-in for Excel on machines that have none: a local COM server
// registered under the ProgID "Excel.Application" that offers the members
// Zelvane's import calls, on SpreadsheetML 2003 workbook files.
//
//   xlserver /RegServer     registers it (refused when another server
//                           already owns the ProgID, such as a real Excel)
//   xlserver /UnregServer   removes its registration
//   xlserver -Embedding     how COM starts it for a client
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "tools/xlserver/call_log.h"
#include "tools/xlserver/dispatch_objects.h"

namespace {

// {C0B3C907-596C-40DA-864E-BF317DD2C00A}
constexpr CLSID kClsid = {0xc0b3c907, 0x596c, 0x40da, {0x86, 0x4e, 0xbf, 0x31, 0x7d, 0xd2, 0xc0, 0x0a}};
constexpr wchar_t kClsidText[] = L"{C0B3C907-596C-40DA-864E-BF317DD2C00A}";
constexpr wchar_t kProgId[] = L"Excel.Application";
constexpr wchar_t kDescription[] = L"Zelvane spreadsheet automation server";
// A client that vanished without releasing its objects must not keep the
// server forever.
constexpr UINT kIdleLimitMs = 10 * 60 * 1000;
constexpr UINT_PTR kIdleTimer = 1;

DWORD g_mainThread = 0;
LONG g_locks = 0;

void QuitIfUnused() {
    if (xlserver::LiveObjects() == 0 && g_locks == 0) PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
}

class ClassFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Static object: lives as long as the process.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        IDispatch* application = xlserver::NewApplication();
        const HRESULT hr = application->QueryInterface(riid, out);
        application->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            InterlockedIncrement(&g_locks);
        } else if (InterlockedDecrement(&g_locks) == 0) {
            QuitIfUnused();
        }
        return S_OK;
    }
};

bool SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG r = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

std::wstring ReadValue(HKEY root, const std::wstring& key) {
    wchar_t value[256] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return {};
    return value;
}

// The ProgID is free or already ours.
bool ProgIdAvailable() {
    const std::wstring owner = ReadValue(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID");
    return owner.empty() || _wcsicmp(owner.c_str(), kClsidText) == 0;
}

int Register() {
    if (!ProgIdAvailable()) {
        std::fprintf(stderr, "Excel.Application belongs to another server; not registered\n");
        return 1;
    }
    wchar_t exe[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return 1;
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
    const bool ok = SetValue(HKEY_CLASSES_ROOT, clsidKey, nullptr, kDescription) &&
                    SetValue(HKEY_CLASSES_ROOT, clsidKey + L"\\LocalServer32", nullptr, L"\"" + std::wstring(exe) + L"\"") &&
                    SetValue(HKEY_CLASSES_ROOT, clsidKey + L"\\ProgID", nullptr, kProgId) &&
                    SetValue(HKEY_CLASSES_ROOT, kProgId, nullptr, kDescription) &&
                    SetValue(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText);
    if (!ok) std::fprintf(stderr, "could not write the registration\n");
    return ok ? 0 : 1;
}

int Unregister() {
    if (!ProgIdAvailable()) return 1;  // someone else's: leave it alone
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsidText).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    return 0;
}

bool HasSwitch(const wchar_t* commandLine, const wchar_t* name) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine, &argc);
    bool found = false;
    for (int i = 1; argv && i < argc; ++i) {
        const wchar_t* arg = argv[i];
        if (*arg == L'/' || *arg == L'-') ++arg;
        if (_wcsicmp(arg, name) == 0) found = true;
    }
    LocalFree(argv);
    return found;
}

int Serve() {
    g_mainThread = GetCurrentThreadId();
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, before anyone posts to it
    if (FAILED(CoInitialize(nullptr))) return 1;
    static ClassFactory factory;
    DWORD cookie = 0;
    // One instance per client, like Excel: every new Application starts a
    // process of its own.
    HRESULT hr = CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie);
    if (FAILED(hr)) {
        CoUninitialize();
        return 1;
    }
    xlserver::SetOnLastRelease(QuitIfUnused);
    SetTimer(nullptr, kIdleTimer, kIdleLimitMs, nullptr);
    DWORD lastCall = GetTickCount();
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) {
            if (GetTickCount() - lastCall >= kIdleLimitMs) break;
            continue;
        }
        lastCall = GetTickCount();
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    xlserver::LogLine("exit (objects " + std::to_string(xlserver::LiveObjects()) + ")");
    CoRevokeClassObject(cookie);
    CoUninitialize();
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const wchar_t* commandLine = GetCommandLineW();
    if (HasSwitch(commandLine, L"RegServer")) return Register();
    if (HasSwitch(commandLine, L"UnregServer")) return Unregister();
    return Serve();
}
