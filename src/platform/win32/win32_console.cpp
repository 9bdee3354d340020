// The console on Windows: a new console window of exactly width x height cells,
// shown one whole frame per WriteConsoleOutputA, polled for input records
// without blocking. Not the back buffer: ConsoleHost owns that.
#include "app/console_host.h"
#include "platform/win32/win32_platform.h"

#include <cstddef>

static_assert(sizeof(Cell) == sizeof(CHAR_INFO), "a Cell must be a CHAR_INFO");
static_assert(offsetof(Cell, character) == offsetof(CHAR_INFO, Char), "Cell::character");
static_assert(offsetof(Cell, attributes) == offsetof(CHAR_INFO, Attributes), "Cell::attributes");

// Input records are passed on as the console gives them (but for a typed ?):
// the shared key codes and mouse bits are the system's own values.
static_assert(InputRecord::keyEvent == KEY_EVENT && InputRecord::mouseEvent == MOUSE_EVENT,
              "event types");
static_assert(virtualKey::back == VK_BACK && virtualKey::tab == VK_TAB &&
                  virtualKey::enter == VK_RETURN && virtualKey::escape == VK_ESCAPE &&
                  virtualKey::space == VK_SPACE && virtualKey::pageUp == VK_PRIOR &&
                  virtualKey::pageDown == VK_NEXT && virtualKey::end == VK_END &&
                  virtualKey::home == VK_HOME && virtualKey::left == VK_LEFT &&
                  virtualKey::up == VK_UP && virtualKey::right == VK_RIGHT &&
                  virtualKey::down == VK_DOWN && virtualKey::insert == VK_INSERT &&
                  virtualKey::del == VK_DELETE && virtualKey::f1 == VK_F1 &&
                  virtualKey::questionMark == VK_OEM_2,
              "virtual-key codes");
static_assert(mouseButton::left == FROM_LEFT_1ST_BUTTON_PRESSED &&
                  mouseButton::right == RIGHTMOST_BUTTON_PRESSED &&
                  mouseButton::middle == FROM_LEFT_2ND_BUTTON_PRESSED,
              "mouse buttons");
static_assert(mouseFlag::moved == MOUSE_MOVED && mouseFlag::doubleClick == DOUBLE_CLICK &&
                  mouseFlag::wheeled == MOUSE_WHEELED,
              "mouse event flags");

BOOL WINAPI consoleCtrlHandler(DWORD type) {
    switch (type) {
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        consoleClosing.store(1);
        return TRUE;
    default:
        return FALSE;
    }
}

namespace {

// Input modes always carry ENABLE_EXTENDED_FLAGS, which switches quick-edit
// mode off. Consoles of current Windows start with it on, and then a mouse
// click selects text instead of reaching the controls, and holds the
// program's output until the selection ends.
constexpr DWORD inputModeOff = ENABLE_EXTENDED_FLAGS;

bool isOpenHandle(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// A screen buffer can never be smaller than the window showing it, and a new
// console comes with the user's default window, which on current Windows is
// 120 x 30: narrowing the buffer to 80 columns then fails. The window is first
// cut down to what fits both buffers, and the buffer size tried once more.
bool shrinkWindowAndRetry(HANDLE output, COORD size) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(output, &info))
        return false;
    const SHORT columns = static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
    const SHORT rows = static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1);
    const SMALL_RECT window{0, 0, static_cast<SHORT>((columns < size.X ? columns : size.X) - 1),
                            static_cast<SHORT>((rows < size.Y ? rows : size.Y) - 1)};
    SetConsoleWindowInfo(output, TRUE, &window);
    return SetConsoleScreenBufferSize(output, size) != FALSE;
}

class Win32Console : public ConsoleBackend {
  public:
    bool open(const char* title, int width, int height) override {
        closeHandles();
        // Detach from whatever console the process was started with. After a
        // close event the system is tearing that console down itself.
        if (!consoleClosing.load())
            FreeConsole();
        if (!AllocConsole())
            return false;
        SetConsoleTitleA(title);
        inputHandle =
            CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        if (inputHandle == INVALID_HANDLE_VALUE)
            return false;
        outputHandle = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
        if (outputHandle == INVALID_HANDLE_VALUE)
            return false;
        // No line editing, no echo, and Ctrl+C arrives as a key.
        SetConsoleMode(inputHandle, inputModeOff);
        SetConsoleMode(outputHandle, 0);
        SetConsoleCtrlHandler(consoleCtrlHandler, TRUE);
        // The buffer first, then the window over all of it.
        const COORD size{static_cast<SHORT>(width), static_cast<SHORT>(height)};
        if (!SetConsoleScreenBufferSize(outputHandle, size) &&
            !shrinkWindowAndRetry(outputHandle, size))
            return false;
        const SMALL_RECT window{0, 0, static_cast<SHORT>(width - 1),
                                static_cast<SHORT>(height - 1)};
        SetConsoleWindowInfo(outputHandle, TRUE, &window);
        const CONSOLE_CURSOR_INFO cursor{1, FALSE};
        SetConsoleCursorInfo(outputHandle, &cursor);
        return true;
    }

    bool present(const Cell* cells, int width, int height) override {
        const COORD size{static_cast<SHORT>(width), static_cast<SHORT>(height)};
        SMALL_RECT region{0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
        return WriteConsoleOutputA(outputHandle, reinterpret_cast<const CHAR_INFO*>(cells), size,
                                   COORD{0, 0}, &region) != FALSE;
    }

    bool readInput(InputRecord& record) override {
        DWORD count = 0;
        GetNumberOfConsoleInputEvents(inputHandle, &count);
        if (count == 0)
            return false;
        INPUT_RECORD event{};
        ReadConsoleInputA(inputHandle, &event, 1, &count);
        record = InputRecord{};
        record.eventType = event.EventType;
        if (event.EventType == KEY_EVENT) {
            record.keyDown = event.Event.KeyEvent.bKeyDown != FALSE;
            record.virtualKeyCode = event.Event.KeyEvent.wVirtualKeyCode;
            // ? lies on different keys in different layouts: the character decides.
            if (event.Event.KeyEvent.uChar.AsciiChar == '?')
                record.virtualKeyCode = virtualKey::questionMark;
        } else if (event.EventType == MOUSE_EVENT) {
            record.mouseX = event.Event.MouseEvent.dwMousePosition.X;
            record.mouseY = event.Event.MouseEvent.dwMousePosition.Y;
            record.buttonState = event.Event.MouseEvent.dwButtonState;
            record.eventFlags = event.Event.MouseEvent.dwEventFlags;
        }
        return true;
    }

    void setMouseInput(bool on) override {
        SetConsoleMode(inputHandle, on ? ENABLE_MOUSE_INPUT | inputModeOff : inputModeOff);
    }

    void setTitle(const char* title) override { SetConsoleTitleA(title); }

    void close() override {
        closeHandles();
        // After a close event the console goes away with the process.
        if (!consoleClosing.load())
            FreeConsole();
    }

  private:
    void closeHandles() {
        if (isOpenHandle(inputHandle))
            CloseHandle(inputHandle);
        if (isOpenHandle(outputHandle))
            CloseHandle(outputHandle);
        inputHandle = INVALID_HANDLE_VALUE;
        outputHandle = INVALID_HANDLE_VALUE;
    }

    HANDLE inputHandle = INVALID_HANDLE_VALUE;
    HANDLE outputHandle = INVALID_HANDLE_VALUE;
};

} // namespace

ConsoleBackend& win32Console() {
    static Win32Console console;
    return console;
}
