// Clicks a point of a program's window the way a user would: the mouse moves there and its
// left button goes down and up, through the system's input queue. For the tests that drive the
// window program under Wine.
// Usage: click_window TITLE_PREFIX X Y [WAIT_SECONDS]
//   TITLE_PREFIX  the start of the title of the visible top-level window to click
//   X Y           the point inside that window's client area
//   WAIT_SECONDS  how long to wait for the window to appear (default 10)
// Exit status: 0 clicked, 1 no such window in time or the input was refused, 2 usage.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

struct TSearch {
    std::wstring Prefix;
    HWND Found = nullptr;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<TSearch*>(context);
    if (!::IsWindowVisible(window)) return TRUE;
    wchar_t title[256] = {};
    ::GetWindowTextW(window, title, 256);
    if (std::wcsncmp(title, search.Prefix.c_str(), search.Prefix.size()) != 0) return TRUE;
    search.Found = window;
    return FALSE;
}

HWND WaitForWindow(const std::wstring& prefix, int seconds) {
    for (int tenth = 0; tenth <= seconds * 10; ++tenth) {
        TSearch search{prefix};
        ::EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
        if (search.Found != nullptr) return search.Found;
        ::Sleep(100);
    }
    return nullptr;
}

INPUT MouseInput(DWORD flags, LONG x, LONG y) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = x;
    input.mi.dy = y;
    input.mi.dwFlags = flags;
    return input;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: click_window TITLE_PREFIX X Y [WAIT_SECONDS]\n");
        return 2;
    }
    const int wait = argc == 5 ? std::wcstol(argv[4], nullptr, 10) : 10;
    const HWND window = WaitForWindow(argv[1], wait);
    if (window == nullptr) {
        std::fprintf(stderr, "click_window: no window titled \"%ls...\" after %d s\n", argv[1],
                     wait);
        return 1;
    }
    POINT point{std::wcstol(argv[2], nullptr, 10), std::wcstol(argv[3], nullptr, 10)};
    ::ClientToScreen(window, &point);
    ::SetForegroundWindow(window);

    // Absolute mouse coordinates run from 0 to 65535 across the primary screen.
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    const LONG x = static_cast<LONG>((point.x * 65535L + width / 2) / (width - 1));
    const LONG y = static_cast<LONG>((point.y * 65535L + height / 2) / (height - 1));
    INPUT move = MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x, y);
    INPUT press[2] = {MouseInput(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE, x, y),
                      MouseInput(MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE, x, y)};
    // A pause between moving and pressing, as a hand makes, lets the window see the pointer
    // arrive before the button goes down.
    if (::SendInput(1, &move, sizeof(INPUT)) != 1) return 1;
    ::Sleep(200);
    if (::SendInput(1, &press[0], sizeof(INPUT)) != 1) return 1;
    ::Sleep(100);
    if (::SendInput(1, &press[1], sizeof(INPUT)) != 1) return 1;
    std::printf("click_window: clicked (%ld, %ld) on the screen\n", point.x, point.y);
    return 0;
}
