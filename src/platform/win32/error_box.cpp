// Start-up failures on Windows: one message box with no owner window, the
// error icon and only an OK button.
#include "platform/win32/win32_platform.h"

// The box keeps the design's one fixed text; the detail is not shown.
void reportErrorInBox(const char* caption, const char* text, const char*) {
    MessageBoxA(nullptr, text, caption, MB_ICONERROR);
}
