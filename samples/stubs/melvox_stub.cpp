// Stand-in for the Melvox archiver in sample installs: a window that says
// what it is and shows the command line it got (an archive, when the shell
// opens one through the association). It ends when the window is closed.
#include <windows.h>

static const char kClass[] = "MelvoxSampleWindow";

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);

    HWND window = CreateWindowA(kClass, "Melvox (sample)", WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 420, 160, NULL, NULL, instance, NULL);
    if (!window)
        return 1;
    char text[600] = "This stands in for the Melvox archiver.\r\nCommand line: ";
    lstrcpynA(text + lstrlenA(text), commandLine, (int)(sizeof text) - lstrlenA(text));
    CreateWindowA("STATIC", text, WS_CHILD | WS_VISIBLE | SS_LEFT, 12, 12, 390, 90, window,
                  NULL, instance, NULL);
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
