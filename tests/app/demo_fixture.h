// A Demo on the headless platform, with the error report recorded.
#pragma once

#include "app/demo.h"
#include "platform/headless/headless_platform.h"
#include "scenes/resource_blob.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline std::vector<std::string>& reportedErrors() {
    static std::vector<std::string> errors;
    return errors;
}

// The second line each report carried ("" when it had none).
inline std::vector<std::string>& reportedDetails() {
    static std::vector<std::string> details;
    return details;
}

inline void recordError(const char* caption, const char* text, const char* detail) {
    reportedErrors().push_back(std::string(caption) + " " + text);
    reportedDetails().push_back(detail ? detail : "");
}

class DemoTest : public ::testing::Test {
  protected:
    DemoTest() : player(&timer), demo(makePlatform()) {}

    void SetUp() override {
        reportedErrors().clear();
        reportedDetails().clear();
        consoleClosing.store(0);
    }
    void TearDown() override {
        clearResourceOverrides();
        consoleClosing.store(0);
    }

    Platform makePlatform() {
        Platform platform;
        platform.console = &console;
        platform.timer = &timer;
        platform.audio = &player;
        platform.reportError = &recordError;
        return platform;
    }

    // Runs one frame the way the loop does, at a player position of `t` seconds
    // and a timer that moved by `milliseconds` since the last frame.
    bool frameAt(double t, std::uint32_t milliseconds = 10) {
        timer.ticks += milliseconds;
        player.setPositionSeconds(t);
        return demo.frame();
    }

    HeadlessConsole console;
    HeadlessTimer timer;
    HeadlessPlayer player;
    Demo demo;
};
