// The program's entry on Windows: a GUI-subsystem process (it makes its own
// console) with one Demo of static storage duration, built before WinMain runs
// and destroyed at exit. The command line is ignored.
#include "app/demo.h"
#include "platform/win32/win32_platform.h"

namespace {
Demo demo(win32Platform());
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return demo.run();
}
