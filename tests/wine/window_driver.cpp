// Test helper, run under Wine beside the program: reports the program's
// windows and their state, and delivers input and system commands to them
// the way the desktop or another program would.
//   window_driver list                 one line per window of the program's
//                                      classes and per dialog box:
//                                      class|title|left,top,width,height|visible|owner
//   window_driver click X Y            posts a move, a left press and a left
//                                      release at client point X,Y of the main window
//   window_driver answer TITLE ID      posts the command of button ID (1 OK,
//                                      6 Yes, 7 No) to the dialog box titled TITLE
//   window_driver minimize             minimises the application window, as
//                                      another program or a shell gesture may
//   window_driver syscommand CODE      sends WM_SYSCOMMAND CODE (e.g. 0xF120,
//                                      SC_RESTORE) to the application window, as
//                                      the task list does
//   window_driver state                prints the application window's state:
//                                      minimized|normal, then the main window's
//                                      visible flag
// Exits with 0, or 2 when the window is not there.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Narrow(const wchar_t* text)
{
    char buffer[512];
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    return length > 0 ? std::string(buffer) : std::string();
}

BOOL CALLBACK ListOne(HWND window, LPARAM)
{
    wchar_t className[128] = L"";
    wchar_t title[256] = L"";
    ::GetClassNameW(window, className, 128);
    const std::wstring kind = className;
    if (kind != L"AvendrelWindow" && kind != L"AvendrelApplication" && kind != L"#32770") return TRUE;
    ::GetWindowTextW(window, title, 256);
    RECT rect{};
    ::GetWindowRect(window, &rect);
    wchar_t ownerTitle[256] = L"";
    if (HWND owner = ::GetWindow(window, GW_OWNER)) ::GetWindowTextW(owner, ownerTitle, 256);
    std::printf("%s|%s|%ld,%ld,%ld,%ld|%d|%s\n", Narrow(className).c_str(), Narrow(title).c_str(),
                rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                ::IsWindowVisible(window) ? 1 : 0, Narrow(ownerTitle).c_str());
    return TRUE;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list") {
        ::EnumWindows(ListOne, 0);
        return 0;
    }
    if (command == "click" && argc == 4) {
        HWND main = ::FindWindowW(L"AvendrelWindow", nullptr);
        if (!main) return 2;
        const LPARAM point = MAKELPARAM(std::atoi(argv[2]), std::atoi(argv[3]));
        ::PostMessageW(main, WM_MOUSEMOVE, 0, point);
        ::PostMessageW(main, WM_LBUTTONDOWN, MK_LBUTTON, point);
        ::PostMessageW(main, WM_LBUTTONUP, 0, point);
        return 0;
    }
    if (command == "answer" && argc == 4) {
        wchar_t title[256];
        ::MultiByteToWideChar(CP_UTF8, 0, argv[2], -1, title, 256);
        HWND box = ::FindWindowW(L"#32770", title);
        if (!box) return 2;
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(std::atoi(argv[3]), BN_CLICKED), 0);
        return 0;
    }
    if (command == "minimize" || command == "state" || (command == "syscommand" && argc == 3)) {
        HWND application = ::FindWindowW(L"AvendrelApplication", nullptr);
        HWND main = ::FindWindowW(L"AvendrelWindow", nullptr);
        if (!application || !main) return 2;
        if (command == "minimize") {
            // As the system minimises an owner: its owned popups are hidden with it.
            ::ShowOwnedPopups(application, FALSE);
            ::ShowWindow(application, SW_MINIMIZE);
        }
        if (command == "syscommand")
            ::SendMessageW(application, WM_SYSCOMMAND, std::strtoul(argv[2], nullptr, 0), 0);
        if (command == "state")
            std::printf("%s %d\n", ::IsIconic(application) ? "minimized" : "normal",
                        ::IsWindowVisible(main) ? 1 : 0);
        return 0;
    }
    std::fprintf(stderr, "usage: window_driver list | click X Y | answer TITLE ID | minimize | "
                         "syscommand CODE | state\n");
    return 1;
}
