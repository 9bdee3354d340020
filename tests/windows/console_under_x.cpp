// The Windows console backend against a real console window: needs an X
// display under Wine (without one every console call fails), so the smoke test
// runs these under its Xvfb rather than ctest running them directly.
#include "app/console_host.h"
#include "platform/win32/win32_platform.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char* const title = "Console backend under test";

class Win32ConsoleWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        consoleClosing.store(0);
        ASSERT_TRUE(console.open(title, 80, 50));
        input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        output =
            CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(input, INVALID_HANDLE_VALUE);
        ASSERT_NE(output, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        CloseHandle(input);
        CloseHandle(output);
        console.close();
        consoleClosing.store(0);
    }

    ConsoleBackend& console = win32Console();
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE output = INVALID_HANDLE_VALUE;
};

} // namespace

TEST_F(Win32ConsoleWindow, OpensAnEightyByFiftyWindowOverTheWholeBufferWithItsTitle) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(output, &info));
    EXPECT_EQ(info.dwSize.X, 80);
    EXPECT_EQ(info.dwSize.Y, 50);
    EXPECT_EQ(info.srWindow.Left, 0);
    EXPECT_EQ(info.srWindow.Top, 0);
    EXPECT_EQ(info.srWindow.Right, 79);
    EXPECT_EQ(info.srWindow.Bottom, 49);

    CONSOLE_CURSOR_INFO cursor{};
    ASSERT_TRUE(GetConsoleCursorInfo(output, &cursor));
    EXPECT_FALSE(cursor.bVisible);

    char text[128] = {};
    GetConsoleTitleA(text, sizeof(text));
    EXPECT_STREQ(text, title);
    console.setTitle("Tempus 1.0 est, et FPS 99.0.");
    GetConsoleTitleA(text, sizeof(text));
    EXPECT_STREQ(text, "Tempus 1.0 est, et FPS 99.0.");
}

TEST_F(Win32ConsoleWindow, InputHasNoEditingOrQuickEditAndMouseOnlyWhenAskedFor) {
    DWORD mode = 0xffff;
    ASSERT_TRUE(GetConsoleMode(input, &mode));
    EXPECT_EQ(mode, static_cast<DWORD>(ENABLE_EXTENDED_FLAGS));
    console.setMouseInput(true);
    ASSERT_TRUE(GetConsoleMode(input, &mode));
    EXPECT_EQ(mode, static_cast<DWORD>(ENABLE_MOUSE_INPUT | ENABLE_EXTENDED_FLAGS));
    console.setMouseInput(false);
    ASSERT_TRUE(GetConsoleMode(input, &mode));
    EXPECT_EQ(mode, static_cast<DWORD>(ENABLE_EXTENDED_FLAGS));
}

TEST_F(Win32ConsoleWindow, PresentShowsEveryCellAndOnlyTheLowByteOfACharacter) {
    static Cell frame[80 * 50];
    for (int i = 0; i < 80 * 50; ++i) {
        frame[i].character = static_cast<std::uint16_t>(0xB0 + i % 3);
        frame[i].attributes = static_cast<std::uint16_t>(i % 256);
    }
    // Drawn text is stored sign-extended: the read-out's cross is 0xFFC5.
    frame[80 * 7 + 5].character = 0xFFC5;
    frame[80 * 49 + 79] = Cell{'x', 0xF0};
    ASSERT_TRUE(console.present(frame, 80, 50));

    static CHAR_INFO shown[80 * 50];
    SMALL_RECT region{0, 0, 79, 49};
    ASSERT_TRUE(ReadConsoleOutputA(output, shown, COORD{80, 50}, COORD{0, 0}, &region));
    int wrong = 0;
    for (int i = 0; i < 80 * 50; ++i) {
        const auto character = static_cast<unsigned char>(shown[i].Char.AsciiChar);
        if (character != (frame[i].character & 0xFF) || shown[i].Attributes != frame[i].attributes)
            ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(static_cast<unsigned char>(shown[80 * 7 + 5].Char.AsciiChar), 0xC5);
}

TEST_F(Win32ConsoleWindow, ReadsKeyAndMouseRecordsOneAtATimeWithoutWaiting) {
    console.setMouseInput(true);
    FlushConsoleInputBuffer(input);
    InputRecord record;
    EXPECT_FALSE(console.readInput(record));

    INPUT_RECORD events[3] = {};
    events[0].EventType = KEY_EVENT;
    events[0].Event.KeyEvent.bKeyDown = TRUE;
    events[0].Event.KeyEvent.wRepeatCount = 1;
    events[0].Event.KeyEvent.wVirtualKeyCode = VK_PRIOR;
    events[1] = events[0];
    events[1].Event.KeyEvent.bKeyDown = FALSE;
    events[2].EventType = MOUSE_EVENT;
    events[2].Event.MouseEvent.dwMousePosition = COORD{79, 49};
    events[2].Event.MouseEvent.dwButtonState = RIGHTMOST_BUTTON_PRESSED;
    events[2].Event.MouseEvent.dwEventFlags = DOUBLE_CLICK;
    DWORD written = 0;
    ASSERT_TRUE(WriteConsoleInputA(input, events, 3, &written));
    ASSERT_EQ(written, 3u);

    ASSERT_TRUE(console.readInput(record));
    EXPECT_EQ(record.eventType, InputRecord::keyEvent);
    EXPECT_TRUE(record.keyDown);
    EXPECT_EQ(record.virtualKeyCode, virtualKey::pageUp);
    ASSERT_TRUE(console.readInput(record));
    EXPECT_EQ(record.eventType, InputRecord::keyEvent);
    EXPECT_FALSE(record.keyDown);
    ASSERT_TRUE(console.readInput(record));
    EXPECT_EQ(record.eventType, InputRecord::mouseEvent);
    EXPECT_EQ(record.mouseX, 79);
    EXPECT_EQ(record.mouseY, 49);
    EXPECT_EQ(record.buttonState, mouseButton::right);
    EXPECT_EQ(record.eventFlags, mouseFlag::doubleClick);
    EXPECT_FALSE(console.readInput(record));
}

TEST_F(Win32ConsoleWindow, CloseFreesTheConsoleUnlessItIsClosingAnyway) {
    CloseHandle(input);
    CloseHandle(output);
    input = output = INVALID_HANDLE_VALUE;
    console.close();
    EXPECT_EQ(GetConsoleWindow(), nullptr);

    ASSERT_TRUE(console.open(title, 80, 50));
    ASSERT_NE(GetConsoleWindow(), nullptr);
    consoleClosing.store(1);
    console.close();
    EXPECT_NE(GetConsoleWindow(), nullptr);
    // Reopening after a close event keeps the console the process has.
    consoleClosing.store(0);
    FreeConsole();
    ASSERT_TRUE(console.open(title, 80, 50));
    input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
    output = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}
