// The program's entry on Linux and macOS: one Demo of static storage duration,
// built before main runs and destroyed at exit.
#include "app/demo.h"
#include "platform/posix/posix_platform.h"

namespace {
Demo demo(posixPlatform());
}

int main(int, char**) {
    return demo.run();
}
