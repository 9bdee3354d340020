// A pseudo-terminal for the terminal console's tests, with the helpers they
// share: a far side that reads and answers as a terminal does, frames, input,
// and a child process holding the console.
#pragma once

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

using namespace std::chrono_literals;

// The terminal these tests stand for, whatever the environment running them.
struct Environment {
    Environment() {
        setenv("TERM", "xterm-256color", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        unsetenv("COLORTERM");
    }
};
inline Environment environment;

// A pseudo-terminal whose master side is read all the time (unless paused), so
// the program's writes never block, and whose bytes the test collects. Like a
// terminal, it answers each status query once it has read it.
class Pty {
  public:
    // A test that forks starts the reader after the fork: a child forked beside
    // a running thread may find a lock (the allocator's) held for ever.
    explicit Pty(int rows = 50, int columns = 80, bool readNow = true) {
        winsize size{};
        size.ws_row = static_cast<unsigned short>(rows);
        size.ws_col = static_cast<unsigned short>(columns);
        if (openpty(&master, &slave, nullptr, nullptr, &size) != 0)
            ADD_FAILURE() << "openpty failed";
        if (readNow)
            startReader();
    }
    void startReader() {
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
            // Settled: nothing new collected, and nothing left in the pty for
            // the reader (a loaded machine may not have run it for a while).
            int unread = 0;
            if (reading && ioctl(master, FIONREAD, &unread) == 0 && unread > 0)
                continue;
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
        if (reader.joinable())
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
    // Answers leave this long after their query was read (a remote link).
    std::atomic<int> answerDelayMs{0};

  private:
    void sendDueAnswers() {
        const auto now = std::chrono::steady_clock::now();
        while (!dueAnswers.empty() && dueAnswers.front() <= now) {
            (void)!write(master, "\x1b[0n", 4);
            dueAnswers.erase(dueAnswers.begin());
        }
    }
    void readLoop() {
        char buffer[65536];
        std::string tail;
        while (!stop) {
            sendDueAnswers();
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
                if (answerDelayMs.load() > 0)
                    dueAnswers.push_back(std::chrono::steady_clock::now() +
                                         std::chrono::milliseconds(answerDelayMs.load()));
                else
                    (void)!write(master, "\x1b[0n", 4);
            }
            tail = window.size() > 3 ? window.substr(window.size() - 3) : window;
        }
    }

    std::vector<std::chrono::steady_clock::time_point> dueAnswers;
    std::thread reader;
    std::mutex mutex;
    std::string collected;
    volatile bool stop = false;
};

inline void expectSameModes(const termios& a, const termios& b) {
    EXPECT_EQ(a.c_iflag, b.c_iflag);
    EXPECT_EQ(a.c_oflag, b.c_oflag);
    EXPECT_EQ(a.c_cflag, b.c_cflag);
    EXPECT_EQ(a.c_lflag, b.c_lflag);
    EXPECT_EQ(std::memcmp(a.c_cc, b.c_cc, sizeof(a.c_cc)), 0);
}

inline std::vector<Cell> frame(std::uint16_t character, std::uint16_t attributes) {
    std::vector<Cell> cells(80 * 50, Cell{character, attributes});
    cells[0] = Cell{'S', 0x1E};
    return cells;
}

inline bool readRecord(TerminalConsole& console, InputRecord& record) {
    for (int i = 0; i < 100; ++i) {
        if (console.readInput(record))
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

// Presents until the whole frame has gone out (the terminal answers in between).
inline void presentWhole(TerminalConsole& console, const std::vector<Cell>& cells) {
    console.present(cells.data(), 80, 50);
    for (int i = 0; i < 400 && (console.sending() || console.heldBack()); ++i) {
        std::this_thread::sleep_for(5ms);
        console.present(cells.data(), 80, 50);
    }
    EXPECT_FALSE(console.sending() || console.heldBack());
}

inline std::vector<int> keyDowns(TerminalConsole& console) {
    std::vector<int> keys;
    InputRecord record;
    while (readRecord(console, record)) {
        if (record.eventType == InputRecord::keyEvent && record.keyDown)
            keys.push_back(record.virtualKeyCode);
    }
    return keys;
}

// Runs `body` in a child that holds the console on the pty until it is told to
// end, and returns the child's pid.
template <typename Body> inline pid_t inChild(Body body) {
    const pid_t child = fork();
    if (child == 0) {
        body();
        _exit(0);
    }
    return child;
}

// Waits (at most 5 s) for the child to stop or end; false when it did neither.
inline bool waitFor(pid_t child, int& status, int options = 0) {
    for (int i = 0; i < 500; ++i) {
        const pid_t done = waitpid(child, &status, WNOHANG | options);
        if (done == child)
            return true;
        std::this_thread::sleep_for(10ms);
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return false;
}

inline void showFrames(const std::vector<Cell>& cells) {
    TerminalConsole console(STDIN_FILENO, STDOUT_FILENO);
    if (!console.open("t", 80, 50))
        _exit(9);
    while (consoleClosing.load() == 0) {
        console.present(cells.data(), 80, 50);
        std::this_thread::sleep_for(10ms);
    }
    console.close();
}

// Feeds the emulator what the show writes until `holds` is true, for at most
// 3 s; whether it came true. (One drain may end before a loaded machine's
// reader has taken everything.)
template <typename Holds> bool feedUntil(Pty& pty, TerminalOracle& oracle, Holds holds) {
    for (int i = 0; i < 150; ++i) {
        oracle.feed(pty.drain());
        if (holds())
            return true;
    }
    return false;
}

// A child showing `cells` on the pty until it is told to end, in a process
// group of its own with this process as its parent: the kernel discards stop
// signals sent to an orphaned group, and the test's own group may be one (a
// test run from a background job whose shell left).
inline pid_t showInOwnGroup(const Pty& pty, const std::vector<Cell>& cells) {
    return inChild([&] {
        setpgid(0, 0);
        dup2(pty.slave, STDIN_FILENO);
        dup2(pty.slave, STDOUT_FILENO);
        showFrames(cells);
    });
}
