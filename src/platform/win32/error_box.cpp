// Start-up failures on Windows: one message box with no owner window, the
// error icon and only an OK button.
#include "platform/win32/win32_platform.h"

void reportErrorInBox(const char* caption, const char* text) {
    MessageBoxA(nullptr, text, caption, MB_ICONERROR);
}
