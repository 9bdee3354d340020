// The terminal console on a pseudo-terminal, watched through a terminal
// emulator: what open takes, what every way out gives back, resizes, input,
// and the signals that end the show.
#include "console_pty.h"
#include "terminal_oracle.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
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

// The title goes out with the frame it describes, just before it, and only
// when it changed.
TEST(TerminalConsole, TitleGoesWithItsFrameAndOnlyWhenItChanges) {
    Pty pty;
    TerminalOracle oracle(50, 80);
    TerminalConsole console(pty.slave, pty.slave);
    ASSERT_TRUE(console.open("start", 80, 50));
    oracle.feed(pty.drain());
    console.setTitle("Tempus 1.0 est");
    EXPECT_EQ(pty.drain(), "") << "not before its frame";
    presentWhole(console, frame(0xB0, 0x07));
    std::string bytes = pty.drain();
    const std::size_t title = bytes.find("Tempus 1.0 est");
    ASSERT_NE(title, std::string::npos);
    EXPECT_LT(title, bytes.find("\x1b[?2026l")) << "before the end of its frame";
    oracle.feed(bytes);
    EXPECT_EQ(oracle.title, "Tempus 1.0 est");
    console.setTitle("Tempus 1.0 est");
    presentWhole(console, frame(0xB1, 0x07));
    EXPECT_EQ(pty.drain().find("Tempus"), std::string::npos);
    console.setTitle("Tempus 1.1 est");
    presentWhole(console, frame(0xB1, 0x07));
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
    EXPECT_EQ(keyDowns(console), (std::vector<int>{virtualKey::pageUp, 'Z', virtualKey::space}));
    // Ctrl+C and q end the show as Escape does, not as a break.
    pty.type("\x03q");
    EXPECT_EQ(keyDowns(console), (std::vector<int>{virtualKey::escape, virtualKey::escape}));
    EXPECT_EQ(consoleClosing.load(), 0);

    // A lone Escape becomes the Escape key once nothing follows it.
    pty.type("\x1b");
    EXPECT_EQ(keyDowns(console), std::vector<int>{virtualKey::escape});
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

// A hang-up is seen by the next present, or by the next read while nothing is drawn.
TEST(TerminalConsole, AHungUpTerminalEndsTheShowWhetherDrawingOrReading) {
    const std::vector<Cell> cells = frame(0xB0, 0x07);
    for (const bool drawing : {true, false}) {
        SCOPED_TRACE(drawing ? "drawing" : "reading");
        Pty pty;
        TerminalConsole console(pty.slave, pty.slave);
        ASSERT_TRUE(console.open("t", 80, 50));
        consoleClosing.store(0);
        pty.hangUp();
        InputRecord record;
        if (drawing)
            EXPECT_FALSE(console.present(cells.data(), 80, 50));
        else
            EXPECT_FALSE(console.readInput(record));
        EXPECT_EQ(consoleClosing.load(), 1);
        console.close();
        consoleClosing.store(0);
    }
}

TEST(TerminalConsole, EveryWayOutRestoresTheTerminal) {
    enum class Way { exitCall, abortCall, segfault, reportError };
    for (Way way : {Way::exitCall, Way::abortCall, Way::segfault, Way::reportError}) {
        SCOPED_TRACE(static_cast<int>(way));
        Pty pty(50, 80, false);
        const termios before = pty.modes();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child > 0)
            pty.startReader();
        if (child == 0) {
            // Never closed: the way out has to give the terminal back.
            auto* console = new TerminalConsole(pty.slave, pty.slave);
            if (!console->open("t", 80, 50))
                _exit(9);
            const std::vector<Cell> cells = frame(0xB2, 0x1F);
            presentWhole(*console, cells);
            console->setMouseInput(true);
            // The terminal's answers are taken in before the way out: on a
            // loaded machine one arriving after the modes went back would be
            // echoed onto the screen the test reads.
            InputRecord record;
            for (int i = 0; i < 30; ++i) {
                while (console->readInput(record)) {
                }
                std::this_thread::sleep_for(10ms);
            }
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

TEST(TerminalConsole, FramesWaitForTheTerminalsAnswer) {
    Pty pty;
    pty.answers = false;
    TerminalOracle oracle(50, 80);
    const std::vector<Cell> a = frame(0xB0, 0x07);
    const std::vector<Cell> b = frame(0xB1, 0x07);
    const std::vector<Cell> c = frame(0xB2, 0x07);
    {
        TerminalConsole console(pty.slave, pty.slave);
        console.flow.replyWaitMs = 60000;
        console.flow.lostReplyMs = 2500;
        ASSERT_TRUE(console.open("t", 80, 50));
        oracle.feed(pty.drain());
        // Until the terminal has answered once, one frame may go ahead of the
        // answer to the opening query; then frames wait. (A loaded machine's
        // pty may take the frame in pieces: later presents finish it.)
        console.present(a.data(), 80, 50);
        for (int i = 0; i < 400 && console.sending(); ++i) {
            std::this_thread::sleep_for(5ms);
            console.present(a.data(), 80, 50);
        }
        const std::string first = pty.drain();
        EXPECT_NE(first.find("\x1b[5n"), std::string::npos) << "each frame asks for an answer";
        oracle.feed(first);
        console.present(b.data(), 80, 50);
        EXPECT_TRUE(console.heldBack());
        EXPECT_EQ(pty.drain(), "");
        // The answers arrive on the input and are not keys.
        pty.type("\x1b[0n\x1b[0n");
        InputRecord record;
        EXPECT_FALSE(readRecord(console, record));
        presentWhole(console, b);
        oracle.feed(pty.drain());
        EXPECT_EQ(oracle.glyph(49, 79), 0x2592u) << "the waiting frame, as it is now";
        // Frames may go ahead of the answers while the link keeps up, but an
        // answer long overdue holds the next ones back; a lost answer does
        // not stop the show.
        console.present(c.data(), 80, 50);
        std::this_thread::sleep_for(1200ms);
        console.present(c.data(), 80, 50);
        EXPECT_TRUE(console.heldBack());
        std::this_thread::sleep_for(1400ms);
        console.present(c.data(), 80, 50);
        EXPECT_FALSE(console.heldBack());
        // A loaded machine's pty may take the frame in pieces: later presents
        // finish it.
        for (int i = 0; i < 400 && console.sending(); ++i) {
            std::this_thread::sleep_for(5ms);
            console.present(c.data(), 80, 50);
        }
        oracle.feed(pty.drain());
        EXPECT_EQ(oracle.glyph(49, 79), 0x2593u);
        // Three frames went out; the presents that found the link busy count
        // as frames held back.
        const LinkFigures figures = console.linkFigures();
        EXPECT_EQ(figures.framesSent, 3u);
        EXPECT_GE(figures.framesHeld, 2u);
    }
    pty.drain();
    // A terminal that never answers is waited for once, then no more.
    TerminalConsole console(pty.slave, pty.slave);
    console.flow.replyWaitMs = 800;
    ASSERT_TRUE(console.open("t", 80, 50));
    console.present(a.data(), 80, 50);
    console.present(b.data(), 80, 50);
    EXPECT_TRUE(console.heldBack());
    std::this_thread::sleep_for(900ms);
    console.present(b.data(), 80, 50);
    EXPECT_FALSE(console.heldBack());
    console.present(c.data(), 80, 50);
    EXPECT_FALSE(console.heldBack());
}

// Looks at the input every 5 ms, as the show's frames do, for `ms`; then the
// terminal answers the frame's status query.
void answerAfter(TerminalConsole& console, Pty& pty, int ms) {
    InputRecord record;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        console.readInput(record);
        std::this_thread::sleep_for(5ms);
    }
    pty.type("\x1b[0n");
    std::this_thread::sleep_for(2ms);
    console.readInput(record);
}

// How far ahead the show draws: the time frames take to the terminal's answer.
TEST(TerminalConsole, PresentationDelayFollowsTheTerminalsAnswers) {
    Pty pty;
    const std::vector<Cell> a = frame(0xB0, 0x07);
    const std::vector<Cell> b = frame(0xB1, 0x07);
    {
        // A terminal that answers at once: frames are not drawn ahead at all.
        TerminalConsole console(pty.slave, pty.slave);
        ASSERT_TRUE(console.open("t", 80, 50));
        for (int i = 0; i < 10; ++i)
            presentWhole(console, i % 2 ? a : b);
        EXPECT_EQ(console.presentDelayMs(), 0u);
    }
    pty.drain();
    pty.answers = false;
    TerminalConsole console(pty.slave, pty.slave);
    console.flow.replyWaitMs = 60000;
    console.flow.lostReplyMs = 60000;
    ASSERT_TRUE(console.open("t", 80, 50));
    EXPECT_EQ(console.presentDelayMs(), 0u) << "nothing measured yet";
    answerAfter(console, pty, 100); // the opening query is not a frame
    EXPECT_EQ(console.presentDelayMs(), 0u);
    // Each frame is answered 300 ms after it went out, on a link whose own
    // round trip is 100 ms (the opening query's): a frame is on screen 250 ms
    // after it went out, the answer's way back being the other 50.
    for (int i = 0; i < 4; ++i) {
        console.present((i % 2 ? a : b).data(), 80, 50);
        EXPECT_FALSE(console.heldBack());
        answerAfter(console, pty, 300);
    }
    EXPECT_GE(console.presentDelayMs(), 220u);
    EXPECT_LE(console.presentDelayMs(), 350u);
    console.flow.delayCapMs = 200;
    EXPECT_EQ(console.presentDelayMs(), 200u);
    console.flow.delayCapMs = 1000;
    // The link speeds up: the estimate comes down with it within a few
    // frames (odd ones out do not move it), to 0 in the end.
    for (int i = 0; i < 6; ++i) {
        console.present((i % 2 ? a : b).data(), 80, 50);
        answerAfter(console, pty, 60);
    }
    EXPECT_LT(console.presentDelayMs(), 160u);
    pty.answers = true;
    for (int i = 0; i < 20; ++i)
        presentWhole(console, i % 2 ? a : b);
    EXPECT_EQ(console.presentDelayMs(), 0u);
}

TEST(TerminalConsole, StuckOutputNeverBlocksAndFramesArriveWhole) {
    Pty pty;
    TerminalOracle oracle(50, 80);
    TerminalConsole console(pty.slave, pty.slave);
    console.setColourMode(ColourMode::trueColour);
    ASSERT_TRUE(console.open("t", 80, 50));
    presentWhole(console, frame(0xB0, 0x07));
    oracle.feed(pty.drain());

    // The terminal stops reading (and answering; answers are not waited for
    // here): no present waits more than a moment.
    console.flow.lostReplyMs = 0;
    pty.reading = false;
    std::vector<Cell> last;
    double slowestMs = 0;
    for (int i = 0; i < 60; ++i) {
        last = frame(static_cast<std::uint16_t>(0xB0 + i % 3), static_cast<std::uint16_t>(i % 256));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(console.present(last.data(), 80, 50));
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        slowestMs = std::max(slowestMs, took.count());
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_LT(slowestMs, 250.0) << "a loaded machine, not a blocked write";
    EXPECT_TRUE(console.sending()) << "the terminal's buffer filled up";
    last = frame(0xB1, 0x4E);
    EXPECT_TRUE(console.present(last.data(), 80, 50));

    // Reading again: the frame cut short is finished, and the cells of the
    // frames skipped meanwhile are sent against it.
    pty.reading = true;
    presentWhole(console, last);
    oracle.feed(pty.drain());
    for (int row : {0, 25, 49}) {
        for (int column : {1, 40, 79}) {
            const VTermScreenCell cell = oracle.cell(row, column);
            EXPECT_EQ(cell.chars[0], 0x2592u) << row << "," << column;
            EXPECT_TRUE(VTERM_COLOR_IS_RGB(&cell.bg));
            EXPECT_EQ(cell.bg.rgb.red, 0xAA) << "red background";
        }
    }

    // A close with the output stuck ends at once, with the modes given back.
    pty.reading = false;
    for (int i = 0; i < 60 && !console.sending(); ++i)
        console.present(frame(static_cast<std::uint16_t>(0xB0 + i % 3), 0x1F).data(), 80, 50);
    const auto start = std::chrono::steady_clock::now();
    console.close();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took.count(), 1000.0);
    EXPECT_NE(pty.modes().c_lflag & ICANON, 0u);
    pty.reading = true;
}

TEST(TerminalConsole, SplitSequencesAltEnterAndFloodsOfInput) {
    Pty pty;
    TerminalConsole console(pty.slave, pty.slave);
    ASSERT_TRUE(console.open("t", 80, 50));
    console.setMouseInput(true);
    pty.drain();
    InputRecord record;

    // A mouse report split by a slow link is put together, not taken for Escape.
    pty.type("\x1b[<35;10");
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(console.readInput(record));
    pty.type(";12M");
    ASSERT_TRUE(readRecord(console, record));
    EXPECT_EQ(record.eventType, InputRecord::mouseEvent);
    EXPECT_EQ(record.mouseX, 9);
    EXPECT_EQ(record.mouseY, 11);
    // An unfinished sequence that never completes is dropped.
    pty.type("\x1b[1;2;3");
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(keyDowns(console), std::vector<int>{});

    // Alt+Enter gives no key and asks the terminal for full screen.
    pty.type("\x1b\r");
    EXPECT_EQ(keyDowns(console), std::vector<int>{});
    EXPECT_NE(pty.drain().find("\x1b[10;2t"), std::string::npos);

    // A flood of keys is read a bounded piece per frame.
    console.inputBudget = 500;
    pty.type(std::string(3000, 'm'));
    std::this_thread::sleep_for(50ms);
    int records = 0;
    while (console.readInput(record))
        ++records;
    EXPECT_GT(records, 0);
    EXPECT_LE(records, 1000);
    const std::vector<Cell> cells = frame(0xB0, 0x07);
    console.present(cells.data(), 80, 50);
    int more = 0;
    while (console.readInput(record))
        ++more;
    EXPECT_GT(more, 0) << "the next frame reads on";
}

TEST(TerminalConsole, StopAndContinueGiveBackAndRetakeTheTerminal) {
    Pty pty(50, 80, false);
    const termios before = pty.modes();
    const std::vector<Cell> cells = frame(0xB2, 0x1F);
    const pid_t child = showInOwnGroup(pty, cells);
    ASSERT_GT(child, 0);
    pty.startReader();
    TerminalOracle oracle(50, 80);
    std::this_thread::sleep_for(300ms);
    oracle.feed(pty.drain());
    ASSERT_TRUE(oracle.altScreen);

    int status = 0;
    kill(child, SIGTSTP);
    ASSERT_TRUE(waitFor(child, status, WUNTRACED));
    EXPECT_TRUE(WIFSTOPPED(status));
    oracle.feed(pty.drain());
    EXPECT_FALSE(oracle.altScreen) << "the shell gets its screen back";
    EXPECT_TRUE(oracle.cursorVisible);
    expectSameModes(pty.modes(), before);

    kill(child, SIGCONT);
    std::this_thread::sleep_for(300ms);
    oracle.feed(pty.drain());
    EXPECT_TRUE(oracle.altScreen);
    EXPECT_FALSE(oracle.cursorVisible);
    EXPECT_EQ(oracle.glyph(49, 79), 0x2593u) << "the whole frame again";
    EXPECT_EQ(pty.modes().c_lflag & (ECHO | ICANON), 0u);

    // Stopped from outside, it cannot give the terminal back; continued, it
    // takes it again and draws everything.
    kill(child, SIGSTOP);
    ASSERT_TRUE(waitFor(child, status, WUNTRACED));
    pty.drain();
    struct termios cooked = before;
    tcsetattr(pty.slave, TCSANOW, &cooked);
    kill(child, SIGCONT);
    std::this_thread::sleep_for(300ms);
    const std::string redraw = pty.drain();
    EXPECT_NE(redraw.find("\x1b[2J"), std::string::npos);
    EXPECT_EQ(pty.modes().c_lflag & (ECHO | ICANON), 0u);

    kill(child, SIGTERM);
    ASSERT_TRUE(waitFor(child, status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    oracle.feed(pty.drain());
    EXPECT_FALSE(oracle.altScreen);
    expectSameModes(pty.modes(), before);
}

TEST(TerminalConsole, EveryEndingSignalGivesTheTerminalBackFirst) {
    for (int signal : {SIGUSR1, SIGUSR2, SIGALRM, SIGTRAP, SIGSYS, SIGXCPU, SIGXFSZ, SIGVTALRM,
                       SIGPROF, SIGRTMIN + 3}) {
        SCOPED_TRACE(signal);
        Pty pty(50, 80, false);
        const termios before = pty.modes();
        const std::vector<Cell> cells = frame(0xB2, 0x1F);
        const pid_t child = inChild([&] {
            TerminalConsole console(pty.slave, pty.slave);
            if (!console.open("t", 80, 50))
                _exit(9);
            presentWhole(console, cells);
            raise(signal);
            _exit(8);
        });
        ASSERT_GT(child, 0);
        pty.startReader();
        int status = 0;
        ASSERT_TRUE(waitFor(child, status));
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
        TerminalOracle oracle(50, 80);
        oracle.feed(pty.drain());
        EXPECT_FALSE(oracle.altScreen);
        EXPECT_TRUE(oracle.cursorVisible);
        expectSameModes(pty.modes(), before);
    }
}

TEST(TerminalConsole, WindowSizeIsPutBackOnlyAfterOurOwnRequest) {
    const std::string request = "\x1b[8;50;80t";
    const std::string putBack = "\x1b[8;40;100t";
    const std::vector<Cell> cells = frame(0xB0, 0x07);
    struct Size {
        int rows, columns;
    };
    const struct {
        const char* what;
        std::vector<Size> sizes; // what the terminal is resized to while the show runs
        bool putBack;
    } cases[] = {
        {"obeyed: the old size comes back at exit", {{50, 80}}, true},
        {"obeyed, then resized by the user: the user's size stays", {{50, 80}, {45, 90}}, false},
        {"ignored: nothing to put back", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Pty pty(40, 100);
        TerminalConsole console(pty.slave, pty.slave);
        ASSERT_TRUE(console.open("t", 80, 50));
        EXPECT_NE(pty.drain().find(request), std::string::npos);
        presentWhole(console, cells);
        for (const Size& size : c.sizes) {
            pty.resize(size.rows, size.columns);
            raise(SIGWINCH);
            presentWhole(console, cells);
        }
        console.close();
        EXPECT_EQ(pty.drain().find(putBack) != std::string::npos, c.putBack);
    }
}

// Nothing the show sends at the shell's screen is drawn (some terminals draw a
// CAN byte), pasted text comes marked, and between frames the cursor waits at
// the top left, where a resize cannot push the shell's lines away.
TEST(TerminalConsole, NoStrayByteOnTheShellsScreenAndTheCursorParkedAfterFrames) {
    Pty pty;
    TerminalOracle oracle(50, 80);
    TerminalConsole console(pty.slave, pty.slave);
    ASSERT_TRUE(console.open("t", 80, 50));
    const std::string opening = pty.drain();
    EXPECT_EQ(opening.find('\x18'), std::string::npos);
    EXPECT_NE(opening.find("\x1b[?2004h"), std::string::npos) << "bracketed paste on";
    oracle.feed(opening);
    std::vector<Cell> cells = frame(0xB0, 0x07);
    for (int i = 0; i < 3; ++i) {
        cells[80 * 49 + 79 - i] = Cell{0xDB, 0x0C};
        presentWhole(console, cells);
        oracle.feed(pty.drain());
        EXPECT_EQ(oracle.cursor().row, 0);
        EXPECT_EQ(oracle.cursor().col, 0);
    }
    console.close();
    const std::string closing = pty.drain();
    EXPECT_EQ(closing.find('\x18'), std::string::npos) << "no frame was cut short";
    EXPECT_NE(closing.find("\x1b[?2004l"), std::string::npos) << "bracketed paste off";
}
