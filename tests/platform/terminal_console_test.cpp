// The terminal console on a pseudo-terminal, watched through a terminal
// emulator: what open takes, what every way out gives back, resizes, input,
// and the signals that end the show.
#include "app/console_host.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/terminal/terminal_console.h"
#include "terminal_oracle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The terminal these tests stand for, whatever the environment running them.
struct Environment {
    Environment() {
        setenv("TERM", "xterm-256color", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        unsetenv("COLORTERM");
    }
} environment;

// A pseudo-terminal whose master side is read all the time (unless paused), so
// the program's writes never block, and whose bytes the test collects. Like a
// terminal, it answers each status query once it has read it.
class Pty {
  public:
    explicit Pty(int rows = 50, int columns = 80) {
        winsize size{};
        size.ws_row = static_cast<unsigned short>(rows);
        size.ws_col = static_cast<unsigned short>(columns);
        if (openpty(&master, &slave, nullptr, nullptr, &size) != 0)
            ADD_FAILURE() << "openpty failed";
        reader = std::thread([this] { readLoop(); });
    }
    ~Pty() {
        hangUp();
        ::close(slave);
    }

    // Everything written since the last call, once the output has settled.
    std::string drain() {
        std::size_t seen = ~std::size_t{0};
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(20ms);
            std::lock_guard<std::mutex> lock(mutex);
            if (collected.size() == seen)
                break;
            seen = collected.size();
        }
        std::lock_guard<std::mutex> lock(mutex);
        std::string result;
        result.swap(collected);
        return result;
    }

    void type(const std::string& bytes) {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    void resize(int rows, int columns) {
        winsize size{};
        size.ws_row = static_cast<unsigned short>(rows);
        size.ws_col = static_cast<unsigned short>(columns);
        ioctl(master, TIOCSWINSZ, &size);
    }

    // Closes the terminal's far end, as a closed terminal window does.
    void hangUp() {
        if (master < 0)
            return;
        stop = true;
        reader.join();
        ::close(master);
        master = -1;
    }

    termios modes() const {
        termios t{};
        tcgetattr(slave, &t);
        return t;
    }

    int master = -1;
    int slave = -1;
    std::atomic<bool> reading{true};
    std::atomic<bool> answers{true};

  private:
    void readLoop() {
        char buffer[65536];
        std::string tail;
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (!reading || poll(&p, 1, 10) <= 0) {
                std::this_thread::sleep_for(1ms);
                continue;
            }
            const ssize_t n = read(master, buffer, sizeof(buffer));
            if (n <= 0)
                continue;
            std::lock_guard<std::mutex> lock(mutex);
            collected.append(buffer, static_cast<std::size_t>(n));
            // Queries may be split between reads: look at the joint too.
            std::string window = tail + std::string(buffer, static_cast<std::size_t>(n));
            for (std::size_t at = window.find("\x1b[5n"); answers && at != std::string::npos;
                 at = window.find("\x1b[5n", at + 1)) {
                (void)!write(master, "\x1b[0n", 4);
            }
            tail = window.size() > 3 ? window.substr(window.size() - 3) : window;
        }
    }

    std::thread reader;
    std::mutex mutex;
    std::string collected;
    volatile bool stop = false;
};

void expectSameModes(const termios& a, const termios& b) {
    EXPECT_EQ(a.c_iflag, b.c_iflag);
    EXPECT_EQ(a.c_oflag, b.c_oflag);
    EXPECT_EQ(a.c_cflag, b.c_cflag);
    EXPECT_EQ(a.c_lflag, b.c_lflag);
    EXPECT_EQ(std::memcmp(a.c_cc, b.c_cc, sizeof(a.c_cc)), 0);
}

std::vector<Cell> frame(std::uint16_t character, std::uint16_t attributes) {
    std::vector<Cell> cells(80 * 50, Cell{character, attributes});
    cells[0] = Cell{'S', 0x1E};
    return cells;
}

bool readRecord(TerminalConsole& console, InputRecord& record) {
    for (int i = 0; i < 100; ++i) {
        if (console.readInput(record))
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

// Presents until the whole frame has gone out (the terminal answers in between).
void presentWhole(TerminalConsole& console, const std::vector<Cell>& cells) {
    console.present(cells.data(), 80, 50);
    for (int i = 0; i < 400 && (console.sending() || console.heldBack()); ++i) {
        std::this_thread::sleep_for(5ms);
        console.present(cells.data(), 80, 50);
    }
    EXPECT_FALSE(console.sending() || console.heldBack());
}

std::vector<int> keyDowns(TerminalConsole& console) {
    std::vector<int> keys;
    InputRecord record;
    while (readRecord(console, record)) {
        if (record.eventType == InputRecord::keyEvent && record.keyDown)
            keys.push_back(record.virtualKeyCode);
    }
    return keys;
}

} // namespace

TEST(TerminalConsole, OpenFailsWithoutTerminalsAndWritesNothing) {
    Pty pty;
    const termios before = pty.modes();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    {
        TerminalConsole toFile(pty.slave, fds[1]);
        EXPECT_FALSE(toFile.open("title", 80, 50));
        TerminalConsole fromFile(fds[0], pty.slave);
        EXPECT_FALSE(fromFile.open("title", 80, 50));
    }
    ::close(fds[1]);
    char byte;
    EXPECT_EQ(read(fds[0], &byte, 1), 0) << "nothing written to the redirected output";
    ::close(fds[0]);
    EXPECT_EQ(pty.drain(), "");
    expectSameModes(pty.modes(), before);
}

TEST(TerminalConsole, TakesTheTerminalAndGivesEverythingBack) {
    Pty pty;
    TerminalOracle oracle(50, 80);
    const termios before = pty.modes();
    TerminalConsole console(pty.slave, pty.slave);
    console.setColourMode(ColourMode::trueColour);
    ASSERT_TRUE(console.open("Please press", 80, 50));
    oracle.feed(pty.drain());
    EXPECT_TRUE(oracle.altScreen);
    EXPECT_FALSE(oracle.cursorVisible);
    EXPECT_EQ(oracle.title, "Please press");
    const termios raw = pty.modes();
    EXPECT_EQ(raw.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(raw.c_iflag & (IXON | ICRNL), 0u);
    // Only a second open gets a second terminal: one console holds it at a time.
    TerminalConsole other(pty.slave, pty.slave);
    EXPECT_FALSE(other.open("x", 80, 50));

    const std::vector<Cell> cells = frame(0xB1, 0x4E);
    presentWhole(console, cells);
    const std::string first = pty.drain();
    oracle.feed(first);
    EXPECT_EQ(oracle.glyph(0, 0), static_cast<std::uint32_t>('S'));
    EXPECT_EQ(oracle.glyph(49, 79), 0x2592u);
    // An unchanged frame writes nothing; one changed cell writes little.
    presentWhole(console, cells);
    EXPECT_EQ(pty.drain(), "");
    std::vector<Cell> next = cells;
    next[80 * 25 + 40] = Cell{0xDB, 0x0C};
    presentWhole(console, next);
    const std::string diff = pty.drain();
    EXPECT_LT(diff.size(), 80u);
    oracle.feed(diff);
    EXPECT_EQ(oracle.glyph(25, 40), 0x2588u);

    console.setMouseInput(true);
    oracle.feed(pty.drain());
    EXPECT_EQ(oracle.mouse, VTERM_PROP_MOUSE_MOVE);

    console.close();
    const std::string restore = pty.drain();
    oracle.feed(restore);
    EXPECT_FALSE(oracle.altScreen);
    EXPECT_TRUE(oracle.cursorVisible);
    EXPECT_EQ(oracle.mouse, 0);
    EXPECT_EQ(restore.find("\x1b[?2026l"), std::string::npos) << "no unmatched end of sync";
    EXPECT_NE(restore.find("\x1b[23;0t"), std::string::npos) << "the user's title back";
    expectSameModes(pty.modes(), before);
    // Closing again gives nothing more.
    console.close();
    EXPECT_EQ(pty.drain(), "");
}

TEST(TerminalConsole, TitleIsWrittenOnlyWhenItChanges) {
    Pty pty;
    TerminalOracle oracle(50, 80);
    TerminalConsole console(pty.slave, pty.slave);
    ASSERT_TRUE(console.open("start", 80, 50));
    pty.drain();
    console.setTitle("Tempus 1.0 est");
    oracle.feed(pty.drain());
    EXPECT_EQ(oracle.title, "Tempus 1.0 est");
    console.setTitle("Tempus 1.0 est");
    EXPECT_EQ(pty.drain(), "");
    console.setTitle("Tempus 1.1 est");
    oracle.feed(pty.drain());
    EXPECT_EQ(oracle.title, "Tempus 1.1 est");
}

TEST(TerminalConsole, ResizeRelaysOutAndRedrawsTheWholeFrame) {
    Pty pty;
    TerminalConsole console(pty.slave, pty.slave);
    console.setColourMode(ColourMode::xterm256);
    console.noticeMs = 100;
    ASSERT_TRUE(console.open("t", 80, 50));
    const std::vector<Cell> cells = frame(0xB0, 0x07);
    presentWhole(console, cells);
    pty.drain();

    // Larger: centred, and the whole frame is sent again though nothing changed.
    pty.resize(60, 100);
    raise(SIGWINCH);
    presentWhole(console, cells);
    TerminalOracle large(60, 100);
    large.feed(pty.drain());
    EXPECT_EQ(large.glyph(5, 10), static_cast<std::uint32_t>('S'));
    EXPECT_EQ(large.glyph(54, 89), 0x2591u);
    EXPECT_EQ(large.glyph(4, 10), 0u);
    EXPECT_EQ(large.glyph(55, 89), 0u);

    // Smaller: cropped around the centre, with the needed size on top for a moment.
    pty.resize(20, 40);
    raise(SIGWINCH);
    presentWhole(console, cells);
    TerminalOracle small(20, 40);
    small.feed(pty.drain());
    std::string top;
    for (int column = 0; column < 40; ++column)
        top += static_cast<char>(small.glyph(0, column));
    EXPECT_NE(top.find("80 x 50"), std::string::npos) << top;
    EXPECT_EQ(small.glyph(19, 39), 0x2591u);
    std::this_thread::sleep_for(150ms);
    presentWhole(console, cells);
    small.feed(pty.drain());
    EXPECT_EQ(small.glyph(0, 20), 0x2591u) << "the notice is gone";

    // Mouse positions follow the layout.
    console.setMouseInput(true);
    pty.type("\x1b[<0;1;1M");
    InputRecord record;
    ASSERT_TRUE(readRecord(console, record));
    EXPECT_EQ(record.eventType, InputRecord::mouseEvent);
    EXPECT_EQ(record.mouseX, 20);
    EXPECT_EQ(record.mouseY, 15);
}

TEST(TerminalConsole, KeysArriveAsPressAndReleaseAndSignalKeysAreJustKeys) {
    Pty pty;
    TerminalConsole console(pty.slave, pty.slave);
    ASSERT_TRUE(console.open("t", 80, 50));
    consoleClosing.store(0);
    InputRecord record;
    EXPECT_FALSE(console.readInput(record)) << "an empty queue gives false at once";

    pty.type("\x1b[5~\x1a ");
    EXPECT_EQ(keyDowns(console), (std::vector<int>{33, 'Z', 32}));
    // Ctrl+C and q end the show as Escape does, not as a break.
    pty.type("\x03q");
    EXPECT_EQ(keyDowns(console), (std::vector<int>{27, 27}));
    EXPECT_EQ(consoleClosing.load(), 0);

    // A lone Escape becomes the Escape key once nothing follows it.
    pty.type("\x1b");
    EXPECT_EQ(keyDowns(console), std::vector<int>{27});
}

TEST(TerminalConsole, ClosingSignalsOnlySetTheFlag) {
    Pty pty;
    struct sigaction before {};
    sigaction(SIGTERM, nullptr, &before);
    {
        TerminalConsole console(pty.slave, pty.slave);
        ASSERT_TRUE(console.open("t", 80, 50));
        for (int signal : {SIGHUP, SIGTERM, SIGINT, SIGQUIT}) {
            consoleClosing.store(0);
            raise(signal);
            EXPECT_EQ(consoleClosing.load(), 1) << "signal " << signal;
        }
        consoleClosing.store(0);
        // A broken pipe does not kill the program.
        raise(SIGPIPE);
    }
    struct sigaction after {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler) << "close puts the old handlers back";
}

TEST(TerminalConsole, AHungUpTerminalEndsTheShow) {
    Pty pty;
    TerminalConsole console(pty.slave, pty.slave);
    ASSERT_TRUE(console.open("t", 80, 50));
    consoleClosing.store(0);
    pty.hangUp();
    const std::vector<Cell> cells = frame(0xB0, 0x07);
    EXPECT_FALSE(console.present(cells.data(), 80, 50));
    EXPECT_EQ(consoleClosing.load(), 1);
    console.close();
    consoleClosing.store(0);
}

TEST(TerminalConsole, EveryWayOutRestoresTheTerminal) {
    enum class Way { exitCall, abortCall, segfault, reportError };
    for (Way way : {Way::exitCall, Way::abortCall, Way::segfault, Way::reportError}) {
        SCOPED_TRACE(static_cast<int>(way));
        Pty pty;
        const termios before = pty.modes();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Never closed: the way out has to give the terminal back.
            auto* console = new TerminalConsole(pty.slave, pty.slave);
            if (!console->open("t", 80, 50))
                _exit(9);
            const std::vector<Cell> cells = frame(0xB2, 0x1F);
            presentWhole(*console, cells);
            console->setMouseInput(true);
            switch (way) {
            case Way::exitCall:
                std::exit(0);
            case Way::abortCall:
                std::abort();
            case Way::segfault:
                raise(SIGSEGV);
                _exit(8);
            case Way::reportError:
                dup2(pty.slave, STDERR_FILENO);
                reportErrorOnTerminal("Demo error.", "Cannot load music.", nullptr);
                _exit(1);
            }
        }
        int status = 0;
        pid_t done = 0;
        for (int i = 0; i < 500 && done == 0; ++i) {
            done = waitpid(child, &status, WNOHANG);
            if (done == 0)
                std::this_thread::sleep_for(10ms);
        }
        if (done == 0) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            FAIL() << "the child hung";
        }
        if (way == Way::exitCall)
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        else if (way == Way::abortCall)
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT);
        else if (way == Way::segfault)
            // Killed by the signal (or, under a sanitizer, by its report).
            EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 8));
        else
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);

        TerminalOracle oracle(50, 80);
        oracle.feed(pty.drain());
        EXPECT_FALSE(oracle.altScreen);
        EXPECT_TRUE(oracle.cursorVisible);
        EXPECT_EQ(oracle.mouse, 0);
        expectSameModes(pty.modes(), before);
        if (way == Way::reportError) {
            // The message is on the user's screen, not on the vanished alternate one.
            std::string top;
            for (int column = 0; column < 40; ++column)
                top += static_cast<char>(oracle.glyph(0, column));
            EXPECT_EQ(top.rfind("Demo error. Cannot load music.", 0), 0u) << top;
        }
    }
}
