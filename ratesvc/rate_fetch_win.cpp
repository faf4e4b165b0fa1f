// HttpGet for Windows: in a child process when the service asked for it.
// Both ways the pipe carries length-prefixed fields (4 bytes, little-endian,
// then the bytes). The child's answer is untrusted like the network it comes
// from: its total is bounded while it arrives, and every field's length and
// content is checked before it is used.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "printable.h"
#include "rate_fetch_win.h"
#include "ui/file_win.h"
#include "ui/scoped_handle.h"

namespace ratesvc {

namespace {

// Request: URL, If-None-Match, If-Modified-Since, body limit (decimal),
// certificate file (empty: the system's store), deadline in seconds (decimal).
// Answer: "ok", status (decimal), ETag, Last-Modified, Retry-After, body; or
// "error", reason.
constexpr size_t kMaxRequest = 16 * 1024;
constexpr size_t kMaxHeaderField = 8 * 1024;    // the ETag, Last-Modified, Retry-After and reason fields
constexpr size_t kMaxPathField = 4 * 1024;      // the certificate file's name, UTF-8
constexpr size_t kDeadlineDigits = 4;           // up to kMaxTransferDeadline
constexpr size_t kAnswerOverhead = 32 * 1024;   // everything but the body
constexpr auto kDeadlineGrace = std::chrono::seconds(5);  // the child's own "too long" comes first
constexpr DWORD kPollMs = 20;                   // only while a download runs
constexpr DWORD kPipeBuffer = 64 * 1024;

std::wstring g_strFetchExe;  // empty: WinHTTP in this process

using Owned = ui::ScopedHandle;

void PutField(std::string& out, std::string_view field) {
    const auto n = static_cast<std::uint32_t>(field.size());
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((n >> (8 * i)) & 0xff));
    out.append(field);
}

// The next field of `in`, at most `max` bytes; false (and `in` as it was
// past the length) when it is longer or cut short.
bool TakeField(std::string_view& in, size_t max, std::string& out) {
    if (in.size() < 4) return false;
    std::uint32_t n = 0;
    for (int i = 0; i < 4; ++i) n |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    in.remove_prefix(4);
    if (n > max || n > in.size()) return false;
    out.assign(in.substr(0, n));
    in.remove_prefix(n);
    return true;
}

// A decimal number of at most `digits` digits and nothing else.
bool Decimal(const std::string& text, size_t digits, unsigned long long& value) {
    if (text.empty() || text.size() > digits) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

using ui::WriteAll;

// The child's answer, checked field by field.
bool ParseAnswer(std::string_view in, size_t maxBody, CHttpAnswer& answer, std::string& error) {
    std::string kind, text;
    if (!TakeField(in, 8, kind)) return false;
    if (kind == "error") {
        if (!TakeField(in, kMaxHeaderField, text) || !in.empty()) return false;
        error = Printable(text);  // it goes into the log
        return true;
    }
    std::string status, etag, modified, retryAfter, body;
    unsigned long long code = 0;
    if (kind != "ok" || !TakeField(in, 3, status) || !Decimal(status, 3, code) || code < 100 ||
        !TakeField(in, kMaxHeaderField, etag) || !TakeField(in, kMaxHeaderField, modified) ||
        !TakeField(in, kMaxHeaderField, retryAfter) || !TakeField(in, maxBody, body) || !in.empty())
        return false;
    answer.nStatus = static_cast<long>(code);
    answer.strBody = std::move(body);
    // Through the same rules as a response's own header lines.
    answer.validators = {};
    if (!etag.empty()) answer.validators.OnHeaderLine("ETag: " + etag);
    if (!modified.empty()) answer.validators.OnHeaderLine("Last-Modified: " + modified);
    if (!retryAfter.empty()) answer.validators.OnHeaderLine("Retry-After: " + retryAfter);
    return true;
}

// A pipe whose one end (`childEnd`: 0 read, 1 write) the child inherits.
bool Pipe(Owned& read, Owned& write, int childEnd) {
    HANDLE r = nullptr, w = nullptr;
    if (!CreatePipe(&r, &w, nullptr, kPipeBuffer)) return false;
    read.reset(r);
    write.reset(w);
    return SetHandleInformation(childEnd == 0 ? r : w, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
}

// Starts the child with only its two pipe ends: the service's sockets are
// inheritable, and a child holding the listening socket would keep the
// port and its clients' connections.
bool StartChild(HANDLE in, HANDLE out, HANDLE job, PROCESS_INFORMATION& pi) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> storage(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return false;
    HANDLE inherit[2] = {in, out};
    bool ok = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherit, sizeof inherit, nullptr,
                                        nullptr);
    if (ok) {
        STARTUPINFOEXW si{};
        si.StartupInfo.cb = sizeof si;
        si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        si.StartupInfo.hStdInput = in;
        si.StartupInfo.hStdOutput = out;
        si.StartupInfo.hStdError = nullptr;  // nothing but the answer may reach the pipe
        std::wstring command = L"\"" + g_strFetchExe + L"\" " + kFetchProcessOption;
        ok = CreateProcessW(g_strFetchExe.c_str(), command.data(), nullptr, nullptr, TRUE,
                            CREATE_NO_WINDOW | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                            &si.StartupInfo, &pi);
    }
    DeleteProcThreadAttributeList(list);
    if (!ok) return false;
    // In a job that dies with its last handle: a service that ends in the
    // middle of a download, however it ends, leaves no child behind. Where
    // the job cannot be had the child still runs, bounded by its deadline.
    if (job) (void)AssignProcessToJobObject(job, pi.hProcess);
    ResumeThread(pi.hThread);
    return true;
}

// A job that kills its processes when its handle closes.
HANDLE KillOnCloseJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

bool HttpGetInChild(const CHttpRequest& req, const std::atomic<bool>& stop, CHttpAnswer& answer, std::string& error) {
    if (req.deadline.count() < 1 || req.deadline > kMaxTransferDeadline) {
        error = "the transfer's deadline of " + std::to_string(req.deadline.count()) + " s is out of range";
        return false;
    }
    if (req.strCaFile.size() > kMaxPathField) {
        error = "the certificate file's name is too long";
        return false;
    }
    std::string request;
    PutField(request, req.strUrl);
    PutField(request, req.strIfNoneMatch);
    PutField(request, req.strIfModifiedSince);
    PutField(request, std::to_string(req.nMaxBody));
    PutField(request, req.strCaFile);
    PutField(request, std::to_string(req.deadline.count()));
    if (request.size() > kMaxRequest) {
        error = "the URL is too long";
        return false;
    }
    Owned inRead, inWrite, outRead, outWrite;
    Owned job(KillOnCloseJob());
    PROCESS_INFORMATION pi{};
    if (!Pipe(inRead, inWrite, 0) || !Pipe(outRead, outWrite, 1) ||
        !StartChild(inRead.get(), outWrite.get(), job.get(), pi)) {
        error = "fetch process cannot start (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    Owned process(pi.hProcess), thread(pi.hThread);
    // Only the child holds the write end now: its exit ends the pipe.
    inRead.reset();
    outWrite.reset();
    const auto deadline = std::chrono::steady_clock::now() + req.deadline + kDeadlineGrace;
    auto kill = [&](const std::string& why) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 5000);
        error = why;
        return false;
    };
    // Fits the pipe's buffer, so this does not wait on the child.
    const bool sent = WriteAll(inWrite.get(), request);
    inWrite.reset();
    if (!sent) return kill("fetch process took no request");

    const size_t limit = req.nMaxBody + kAnswerOverhead;
    std::string raw;
    std::vector<char> chunk(64 * 1024);
    bool exited = false;
    for (;;) {
        DWORD avail = 0;
        const bool open = PeekNamedPipe(outRead.get(), nullptr, 0, nullptr, &avail, nullptr);
        if (open && avail > 0) {
            if (avail > limit - raw.size()) return kill("fetch process sent an oversize answer");
            DWORD got = 0;
            const DWORD want = avail < chunk.size() ? avail : static_cast<DWORD>(chunk.size());
            if (!ReadFile(outRead.get(), chunk.data(), want, &got, nullptr)) break;
            raw.append(chunk.data(), got);
            continue;
        }
        if (!open || exited) break;  // drained after the child's exit
        if (stop) return kill("stopped");
        if (std::chrono::steady_clock::now() > deadline) return kill("fetch process passed its deadline");
        exited = WaitForSingleObject(process.get(), kPollMs) == WAIT_OBJECT_0;
    }
    // The pipe is closed; the process ends with it, or is made to.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (WaitForSingleObject(process.get(), left.count() > 0 ? static_cast<DWORD>(left.count()) : 0) != WAIT_OBJECT_0)
        return kill("fetch process passed its deadline");
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    if (code != 0) {
        error = "fetch process failed (exit code " + std::to_string(code) + ")";
        return false;
    }
    CHttpAnswer parsed;
    std::string childError;
    if (!ParseAnswer(raw, req.nMaxBody, parsed, childError)) {
        error = "fetch process sent a malformed answer";
        return false;
    }
    if (!childError.empty()) {
        error = childError;
        return false;
    }
    answer = std::move(parsed);
    return true;
}

std::string ErrorAnswer(const std::string& error) {
    std::string reply;
    PutField(reply, "error");
    PutField(reply, error.substr(0, kMaxHeaderField));
    return reply;
}

// The child answers once, whoever comes first: the download, its refusal
// of a certificate, or its deadline. Only the first may write, so two
// answers never mix on the pipe; a later one waits for the first to end the
// process.
std::atomic<bool> g_bAnswered{false};

bool MayAnswer() { return !g_bAnswered.exchange(true); }

// Also WinHTTP's refusal of a certificate: the process ends there, before
// WinHTTP can send the request.
[[noreturn]] void AnswerAndEnd(const std::string& why) {
    if (MayAnswer()) {
        const bool sent = WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), ErrorAnswer(why));
        TerminateProcess(GetCurrentProcess(), sent ? 0 : 3);
    }
    for (;;) Sleep(INFINITE);
}

}  // namespace

void FetchInChildProcesses() {
    g_strFetchExe = ui::ExecutablePath();  // empty: the downloads stay in this process
}

bool HttpGet(const CHttpRequest& request, const std::atomic<bool>& stop, CHttpAnswer& answer, std::string& error) {
    if (g_strFetchExe.empty()) return WinHttpGet(request, stop, answer, error);
    return HttpGetInChild(request, stop, answer, error);
}

int FetchProcessMain() {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!in || in == INVALID_HANDLE_VALUE || !out || out == INVALID_HANDLE_VALUE) return 2;
    std::string raw;
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
        raw.append(buffer, got);
        if (raw.size() > kMaxRequest) return 2;
    }
    std::string_view rest = raw;
    CHttpRequest request;
    std::string limit, seconds;
    unsigned long long maxBody = 0, deadline = 0;
    if (!TakeField(rest, kMaxRequest, request.strUrl) || !TakeField(rest, kMaxHeaderField, request.strIfNoneMatch) ||
        !TakeField(rest, kMaxHeaderField, request.strIfModifiedSince) || !TakeField(rest, 20, limit) ||
        !Decimal(limit, 12, maxBody) || !TakeField(rest, kMaxPathField, request.strCaFile) ||
        !TakeField(rest, kDeadlineDigits, seconds) || !Decimal(seconds, kDeadlineDigits, deadline) || deadline < 1 ||
        deadline > static_cast<unsigned long long>(kMaxTransferDeadline.count()) || !rest.empty())
        return 2;
    request.nMaxBody = static_cast<size_t>(maxBody);
    request.deadline = std::chrono::seconds(deadline);
    // WinHTTP's own time-outs bound each wait, not their sum, and no call of
    // it can be cut short from its thread: the deadline is kept here.
    std::thread([limit = request.deadline] {
        std::this_thread::sleep_for(limit);
        AnswerAndEnd("the transfer took longer than its " + std::to_string(limit.count()) + " s");
    }).detach();
    const std::atomic<bool> never{false};  // the parent ends this process instead
    CHttpAnswer answer;
    std::string error, reply;
    if (WinHttpGet(request, never, answer, error, AnswerAndEnd)) {
        PutField(reply, "ok");
        PutField(reply, std::to_string(answer.nStatus));
        PutField(reply, answer.validators.strETag);
        PutField(reply, answer.validators.strLastModified);
        PutField(reply, answer.validators.strRetryAfter);
        PutField(reply, answer.strBody);
    } else {
        reply = ErrorAnswer(error);
    }
    if (!MayAnswer()) for (;;) Sleep(INFINITE);
    return WriteAll(out, reply) ? 0 : 3;
}

}  // namespace ratesvc
