#ifdef _WIN32

// Own header first: the project's headers declare names (MessageBox) that <windows.h> would
// otherwise turn into macros.
#include "platform/host_locks_windows.h"

#include "platform/lock_file_name.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>
#include <utility>

namespace kstbell {

namespace {

// The system's text for an error code.
std::string SystemText(DWORD err) {
    char text[256] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, err,
                         0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(err) : message;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                          nullptr, nullptr);
    return text;
}

std::wstring Wide(const std::string& text) {
    std::wstring wide;
    for (char c : text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));  // the name is ASCII
    return wide;
}

std::wstring DefaultFolder() {
    if (const wchar_t* dir = ::_wgetenv(L"KSTBELL_LOCK_DIR"); dir != nullptr && *dir != L'\0')
        return dir;
    std::wstring base;
    if (const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA"); local != nullptr && *local != L'\0') {
        base = local;
    } else {
        wchar_t temp[MAX_PATH + 1] = {};
        const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
        base.assign(temp, length);
    }
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/'))
        base.pop_back();
    return base + L"\\kstbell\\locks";
}

// Makes the folder and the folders above it that are missing.
void MakeFolders(const std::wstring& folder) {
    for (std::size_t i = 1; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == L'\\' || folder[i] == L'/') {
            const std::wstring part = folder.substr(0, i);
            if (!part.empty() && part.back() != L':') ::CreateDirectoryW(part.c_str(), nullptr);
        }
    }
}

class TWindowsHold : public IHostHold {
  public:
    explicit TWindowsHold(HANDLE file) : file_(file) {}
    TWindowsHold(const TWindowsHold&) = delete;
    TWindowsHold& operator=(const TWindowsHold&) = delete;
    ~TWindowsHold() override {
        OVERLAPPED at{};
        ::UnlockFileEx(file_, 0, 1, 0, &at);
        ::CloseHandle(file_);
    }

  private:
    HANDLE file_;
};

}  // namespace

TWindowsHostLocks::TWindowsHostLocks() : folder_(DefaultFolder()) {}

TWindowsHostLocks::TWindowsHostLocks(std::wstring folder) : folder_(std::move(folder)) {}

THoldAttempt TWindowsHostLocks::TryHold(const std::string& address, std::uint16_t port,
                                        THoldKind kind) {
    THoldAttempt a;
    MakeFolders(folder_);
    const std::wstring path = folder_ + L"\\" + Wide(LockFileName(address, port));
    // The link itself is opened, never what it points at; it is then refused.
    HANDLE file = ::CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        a.Problem = Utf8(path) + ": " + SystemText(::GetLastError());
        return a;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        a.Problem = Utf8(path) + " is a link or not a regular file (not followed)";
        ::CloseHandle(file);
        return a;
    }
    OVERLAPPED at{};
    const DWORD flags =
        LOCKFILE_FAIL_IMMEDIATELY | (kind == THoldKind::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (!::LockFileEx(file, flags, 0, 1, 0, &at)) {
        const DWORD err = ::GetLastError();
        ::CloseHandle(file);
        if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING) {
            a.Status = THoldAttempt::TStatus::HeldElsewhere;
        } else {
            a.Problem = Utf8(path) + ": " + SystemText(err);
        }
        return a;
    }
    a.Status = THoldAttempt::TStatus::Taken;
    a.Hold = std::make_unique<TWindowsHold>(file);
    return a;
}

}  // namespace kstbell

#endif  // _WIN32
