// The terminal given back whatever happens at the end of a show or around it:
// titles, pastes, answers still on their way, stops and continues, a shared
// descriptor, and an output that is stuck when the show ends.
#include "console_pty.h"
#include "terminal_oracle.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

// Without a title stack the show asks for the title: told, it sets its own
// and puts the user's back at exit; not told, it leaves the title alone.
TEST(TerminalConsole, WithoutATitleStackTheTitleIsPutBackOrLeftAlone) {
    for (const bool reports : {true, false}) {
        SCOPED_TRACE(reports ? "the terminal reports its title" : "it does not");
        Pty pty;
        pty.answers = false;
        TerminalOracle oracle(50, 80);
        TerminalConsole console(pty.slave, pty.slave);
        console.setTerminalType("rxvt-unicode");
        ASSERT_TRUE(console.open("Show", 80, 50));
        std::string bytes = pty.drain();
        EXPECT_NE(bytes.find("\x1b[21t"), std::string::npos);
        // The answers in order: the title (if any) before the status.
        pty.type(reports ? "\x1b]lMy shell\x1b\\\x1b[0n" : "\x1b[0n");
        pty.answers = true;
        for (int i = 0; i < 3; ++i) {
            console.setTitle(i % 2 ? "Tempus 1.0 est" : "Tempus 1.1 est");
            presentWhole(console, frame(static_cast<std::uint16_t>(0xB0 + i), 0x07));
        }
        console.close();
        bytes += pty.drain();
        EXPECT_EQ(bytes.find("\x1b]2;Tempus") != std::string::npos, reports);
        EXPECT_EQ(bytes.find("\x1b]2;\x07"), std::string::npos) << "never emptied";
        if (reports) {
            oracle.feed(bytes);
            EXPECT_EQ(oracle.title, "My shell");
        }
    }
}

// A paste, however long, gives no keys, and Escape right after it still ends
// the show at once.
TEST(TerminalConsole, PastesAreDroppedAndEscapeStaysPrompt) {
    Pty pty;
    TerminalConsole console(pty.slave, pty.slave);
    ASSERT_TRUE(console.open("t", 80, 50));
    const std::vector<Cell> cells = frame(0xB0, 0x07);
    presentWhole(console, cells);
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        std::thread paster([&] {
            pty.type("\x1b[200~echo pasted\r" + std::string(20000, '\xE9') + "\x1b[201~\x1b");
        });
        std::vector<int> keys;
        InputRecord record;
        const auto until = std::chrono::steady_clock::now() + 3s;
        while (keys.empty() && std::chrono::steady_clock::now() < until) {
            console.present(cells.data(), 80, 50);
            while (console.readInput(record)) {
                if (record.eventType == InputRecord::keyEvent && record.keyDown)
                    keys.push_back(record.virtualKeyCode);
            }
            std::this_thread::sleep_for(5ms);
        }
        paster.join();
        EXPECT_EQ(keys, std::vector<int>{virtualKey::escape});
    }
}

// Over a link that answers late, the answers still on their way at exit are
// waited for (a last query comes back after them) before the shell gets the
// terminal: none reaches its input, none is echoed.
TEST(TerminalConsole, NoAnswerReachesTheShellAfterTheShow) {
    Pty pty;
    pty.answerDelayMs = 50;
    const termios before = pty.modes();
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        TerminalConsole console(pty.slave, pty.slave);
        ASSERT_TRUE(console.open("t", 80, 50));
        for (int i = 0; i < 4; ++i) {
            console.present(frame(static_cast<std::uint16_t>(0xB0 + (run + i) % 3), 0x07).data(),
                            80, 50);
            std::this_thread::sleep_for(20ms);
        }
        console.close();
        expectSameModes(pty.modes(), before);
        std::this_thread::sleep_for(100ms);
        int pending = -1;
        ioctl(pty.slave, FIONREAD, &pending);
        EXPECT_EQ(pending, 0) << "answers left for the shell to read";
        const std::string echoed = pty.drain();
        EXPECT_EQ(echoed.find("[0n"), std::string::npos) << "an answer echoed";
    }
}

// Where the show writes through the shell's own descriptor it never makes it
// non-blocking (the shell would inherit that after a stop or a kill), yet a
// terminal that stops reading does not hold the show up.
TEST(TerminalConsole, TheSharedDescriptorStaysBlocking) {
    Pty pty;
    TerminalOracle oracle(50, 80);
    const int flags = fcntl(pty.slave, F_GETFL);
    TerminalConsole console(pty.slave, pty.slave);
    console.useSharedOutput();
    ASSERT_TRUE(console.open("t", 80, 50));
    const std::vector<Cell> cells = frame(0xB1, 0x1E);
    presentWhole(console, cells);
    oracle.feed(pty.drain());
    EXPECT_EQ(oracle.glyph(49, 79), 0x2592u);
    EXPECT_EQ(fcntl(pty.slave, F_GETFL), flags);
    console.flow.lostReplyMs = 0;
    pty.reading = false;
    double slowestMs = 0;
    for (int i = 0; i < 40; ++i) {
        const auto start = std::chrono::steady_clock::now();
        console.present(frame(static_cast<std::uint16_t>(0xB0 + i % 3), 0x1F).data(), 80, 50);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        slowestMs = std::max(slowestMs, took.count());
    }
    EXPECT_LT(slowestMs, 250.0);
    EXPECT_EQ(fcntl(pty.slave, F_GETFL), flags);
    pty.reading = true;
    console.close();
    EXPECT_EQ(fcntl(pty.slave, F_GETFL), flags);
}

// Stops (Ctrl+Z's, and the background job's) and continues in quick
// succession on a terminal that answers late:
// each stop gives everything back, each continue takes it again, and a
// continue that comes while the terminal is being given back is not lost.
TEST(TerminalConsole, TwentyStopsAndContinuesGiveBackEveryTime) {
    Pty pty(50, 80, false);
    const termios before = pty.modes();
    const std::vector<Cell> cells = frame(0xB2, 0x1F);
    const pid_t child = showInOwnGroup(pty, cells);
    ASSERT_GT(child, 0);
    pty.answerDelayMs = 60;
    pty.startReader();
    TerminalOracle oracle(50, 80);
    std::this_thread::sleep_for(300ms);
    oracle.feed(pty.drain());
    ASSERT_TRUE(oracle.altScreen);
    int status = 0;
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        // The terminal's own stop signals for a background job stop it the
        // same way, never with the terminal still taken.
        const int stops[] = {SIGTSTP, SIGTTOU, SIGTTIN};
        kill(child, stops[run % 3]);
        if (run % 4 == 3) {
            // Continued while it is still giving the terminal back.
            std::this_thread::sleep_for(10ms);
            kill(child, SIGCONT);
            EXPECT_TRUE(feedUntil(pty, oracle, [&] { return oracle.altScreen; })) << "it runs on";
            continue;
        }
        ASSERT_TRUE(waitFor(child, status, WUNTRACED));
        ASSERT_TRUE(WIFSTOPPED(status));
        // Written before the stop; a loaded machine's reader may take a while.
        EXPECT_TRUE(feedUntil(pty, oracle, [&] { return !oracle.altScreen; }));
        EXPECT_TRUE(oracle.cursorVisible);
        expectSameModes(pty.modes(), before);
        kill(child, SIGCONT);
        EXPECT_TRUE(feedUntil(pty, oracle, [&] { return oracle.altScreen; }));
    }
    kill(child, SIGCONT);
    kill(child, SIGTERM);
    ASSERT_TRUE(waitFor(child, status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    oracle.feed(pty.drain());
    EXPECT_FALSE(oracle.altScreen);
    expectSameModes(pty.modes(), before);
}

namespace {

// A console that has taken the pty, shows the overlay's title and reports the
// mouse, and whose output is then stuck: the terminal reads nothing more and
// a frame is cut short in its buffer.
void showUntilStuck(Pty& pty, TerminalConsole& console, TerminalOracle& oracle) {
    ASSERT_TRUE(console.open("t", 80, 50));
    console.setMouseInput(true);
    console.setTitle("Tempus 1.0 est");
    presentWhole(console, frame(0xB0, 0x07));
    ASSERT_TRUE(feedUntil(pty, oracle, [&] { return oracle.altScreen; }));
    ASSERT_TRUE(feedUntil(pty, oracle, [&] { return oracle.title == "Tempus 1.0 est"; }));
    console.flow.lostReplyMs = 0;
    pty.reading = false;
    for (int i = 0; i < 400 && !console.sending(); ++i)
        console.present(
            frame(static_cast<std::uint16_t>(0xB0 + i % 3), static_cast<std::uint16_t>(i & 0xFF))
                .data(),
            80, 50);
    ASSERT_TRUE(console.sending()) << "the terminal's buffer never filled";
}

bool escapeRead(TerminalConsole& console) {
    InputRecord record;
    while (readRecord(console, record)) {
        if (record.eventType == InputRecord::keyEvent && record.keyDown)
            return record.virtualKeyCode == virtualKey::escape;
    }
    return false;
}

// Fills what is left of the terminal's buffer, so that nothing more goes in.
void fillTheBuffer(const Pty& pty) {
    const int fd = open(ttyname(pty.slave), O_WRONLY | O_NONBLOCK | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const std::string filler(4096, 'x');
    for (int i = 0; i < 1000; ++i) {
        if (write(fd, filler.data(), i < 100 ? filler.size() : 1) < 0)
            if (i >= 100)
                break;
    }
    close(fd);
}

} // namespace

// With the output stuck and input flowing, Escape is still read at once; the
// close then waits (within its bound) for the terminal to read again, and the
// bytes that give it back all arrive: twenty times, the terminal starting to
// read again between 50 and 800 ms later.
TEST(TerminalConsole, TwentyStuckOutputsGiveTheTerminalBackOnceItReads) {
    std::mt19937 random(24);
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        Pty pty;
        TerminalOracle oracle(50, 80);
        const termios before = pty.modes();
        TerminalConsole console(pty.slave, pty.slave);
        showUntilStuck(pty, console, oracle);
        pty.type("\x1b");
        EXPECT_TRUE(escapeRead(console));
        fillTheBuffer(pty);

        const auto resumeAfter = std::chrono::milliseconds(50 + random() % 750);
        std::thread resume([&] {
            std::this_thread::sleep_for(resumeAfter);
            pty.reading = true;
        });
        testing::internal::CaptureStderr();
        console.close();
        const std::string said = testing::internal::GetCapturedStderr();
        resume.join();
        const std::string bytes = pty.drain();
        oracle.feed(bytes);
        EXPECT_FALSE(oracle.altScreen);
        EXPECT_TRUE(oracle.cursorVisible);
        EXPECT_EQ(oracle.mouse, 0);
        EXPECT_NE(bytes.find("\x1b[23;0t"), std::string::npos) << "the user's title back";
        EXPECT_EQ(said, "") << "nothing to report";
        expectSameModes(pty.modes(), before);
    }
}

// A terminal that never reads again: the close ends within its bound, puts the
// modes back, and says on stderr what the user can do.
TEST(TerminalConsole, AnOutputStuckForGoodIsReportedAndTheCloseEnds) {
    Pty pty;
    TerminalOracle oracle(50, 80);
    const termios before = pty.modes();
    TerminalConsole console(pty.slave, pty.slave);
    showUntilStuck(pty, console, oracle);
    fillTheBuffer(pty);
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    console.close();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_LT(took.count(), 4.0);
    EXPECT_NE(said.find("the command reset puts it back"), std::string::npos) << said;
    expectSameModes(pty.modes(), before);
    pty.reading = true;
}
