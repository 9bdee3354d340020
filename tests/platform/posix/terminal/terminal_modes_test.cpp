// The modes the show sets in the terminal and what puts each back.
#include "platform/posix/terminal/terminal_modes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string takeOver(const TerminalCaps& caps, bool afterRestore = true) {
    char out[4096];
    std::size_t length = 0;
    TakeOverState state;
    state.afterRestore = afterRestore;
    appendTakeOver(caps, state, out, sizeof(out), length);
    return std::string(out, length);
}

std::string restore(const TerminalCaps& caps) {
    char out[4096];
    std::size_t length = 0;
    appendRestore(caps, ColourMode::ansi16, "\x1b(B", out, sizeof(out), length);
    return std::string(out, length);
}

} // namespace

// Every mode set is restored, in the reverse order, and nothing in the
// take-over is a byte some terminal would draw.
TEST(TerminalModes, EachModeSetIsRestoredInReverseOrder) {
    TerminalCaps caps;
    const std::string on = takeOver(caps);
    const std::string off = restore(caps);
    EXPECT_EQ(on.find('\x18'), std::string::npos);
    std::size_t lastRestore = std::string::npos;
    for (std::size_t i = 0; i < terminalModeCount; ++i) {
        const TerminalMode& mode = terminalModes[i];
        SCOPED_TRACE(mode.name);
        if (mode.enable != nullptr) {
            EXPECT_NE(on.find(mode.enable), std::string::npos);
        }
        if (mode.restore == nullptr || mode.text != ModeText::fixed)
            continue;
        const std::size_t at = off.find(mode.restore);
        ASSERT_NE(at, std::string::npos);
        if (lastRestore != std::string::npos) {
            EXPECT_LT(at, lastRestore) << "restored after a mode set later";
        }
        lastRestore = at;
    }
}

// The title is saved and restored on a stack; without one it is neither saved
// nor emptied (the console puts back what the terminal reports, if anything).
TEST(TerminalModes, TitleStackOrNothing) {
    TerminalCaps caps;
    EXPECT_NE(takeOver(caps).find("\x1b[22;0t"), std::string::npos);
    EXPECT_EQ(takeOver(caps, false).find("\x1b[22;0t"), std::string::npos)
        << "not saved twice after a stop from outside";
    EXPECT_NE(restore(caps).find("\x1b[23;0t"), std::string::npos);
    caps.titleStack = false;
    EXPECT_EQ(takeOver(caps).find("\x1b[22"), std::string::npos);
    EXPECT_EQ(restore(caps).find("\x1b]2;"), std::string::npos);
    EXPECT_EQ(restore(caps).find("\x1b[23"), std::string::npos);
    // Without an alternate screen the picture is cleared away instead.
    caps.alternateScreen = false;
    EXPECT_NE(restore(caps).find("\x1b[H\x1b[2J"), std::string::npos);
}
