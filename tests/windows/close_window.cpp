// close-window: asks the window titled argv[1] to close, as its close button
// does (the smoke test has no window manager to click). Exit code 0 when the
// request was posted, 2 when there is no such window.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    HWND window = FindWindowA(nullptr, argv[1]);
    if (!window)
        return 2;
    return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
}
