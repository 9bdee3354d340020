// The terminal console: the user's terminal as the show's 80 x 50 console
// window. It takes the terminal over (raw mode, alternate screen, hidden
// cursor, title) and gives everything back on every way out, including a stop
// for job control (and takes it again on continuing).
//
// Output never blocks: a frame goes out through a non-blocking descriptor, and
// while part of it is still unsent, later frames are skipped (their cells are
// sent against what really went out). Where the terminal answers a status
// query, each frame is followed by one and the next frame waits for the answer,
// so that a slow or buffering link gets fewer frames rather than late ones.
#pragma once

#include "app/platform.h"
#include "frame_encoder.h"
#include "imaging/non_copyable.h"
#include "key_decoder.h"
#include "terminal_caps.h"

#include <cstddef>
#include <cstdint>

class TerminalConsole : public ConsoleBackend, NonCopyable {
  public:
    // Reads keys from `inputFd` and draws on `outputFd`; both must be terminals.
    TerminalConsole(int inputFd, int outputFd) : inputFd(inputFd), outputFd(outputFd) {}
    ~TerminalConsole() override { close(); }

    // Fails, writing nothing, unless both descriptors are terminals, TERM can
    // address the cursor, and no other console holds a terminal.
    bool open(const char* title, int width, int height) override;
    // Sends the cells that changed since what was last sent (all of them after
    // open, a resize or a continue), unless the previous frame is still on its
    // way. False only when the terminal is gone.
    bool present(const Cell* cells, int width, int height) override;
    // Never blocks, and reads a bounded amount of input between two presents.
    // A lone Escape byte becomes the Escape key once escapeWaitMs have passed
    // without more bytes; replies of the terminal never become keys.
    bool readInput(InputRecord& record) override;
    void setMouseInput(bool on) override;
    // Writes nothing when the title is unchanged.
    void setTitle(const char* title) override;
    void close() override;
    const char* failureReason() const override { return failure; }
    // How long frames have lately taken from being sent to the terminal's
    // answer: smoothed, at most delayCapMs, and 0 below delayFloorMs (a local
    // terminal) or while the terminal gives no answers.
    std::uint32_t presentDelayMs() const override;

    // Fixes the colour mode instead of choosing it at open.
    void setColourMode(ColourMode mode) {
        colourMode = mode;
        colourModeFixed = true;
    }
    // The terminal type to use instead of TERM (tests); null for TERM.
    void setTerminalType(const char* term) { terminalType = term; }
    // The encoding to use instead of the locale's (tests).
    void setCharset(Charset value) {
        charset = value;
        charsetFixed = true;
    }
    ColourMode currentColourMode() const { return colourMode; }
    // Part of the last frame is still waiting for the terminal to take it.
    bool sending() const { return pendingEnd > 0; }
    // The last present sent nothing of its frame: the previous one was still
    // on its way or unanswered.
    bool heldBack() const { return frameHeld; }

    // How long the "terminal too small" notice stays over the picture.
    std::uint32_t noticeMs = 2500;
    // How long a frame waits for the terminal's answer to the previous one. A
    // terminal that has never answered within this time is not waited for again.
    std::uint32_t replyWaitMs = 1000;
    // After the terminal has answered once, a missing answer is given up on
    // after this long (a lost reply must not stop the show).
    std::uint32_t lostReplyMs = 5000;
    // How long a present may wait for the terminal to take a frame before
    // leaving the rest for later presents.
    int writeWaitMs = 4;
    // Input bytes read between two presents, at most.
    std::size_t inputBudget = 4096;
    // Presentation delays below this are reported as 0, and none above the cap.
    std::uint32_t delayFloorMs = 20;
    std::uint32_t delayCapMs = 1000;

  private:
    void layOut(std::uint32_t nowMs, int reportedColumns = 0, int reportedRows = 0);
    void takeOver(bool afterRestore);
    void pumpInput(std::uint32_t nowMs);
    void handleReply(const DecodeStep& step, std::uint32_t nowMs);
    bool flushPending();
    void sendControlNow();
    void noteQuerySent(std::uint32_t nowMs, bool isFrame);
    void noteStatusAnswer(std::uint32_t nowMs);
    void forgetQueries();
    std::size_t appendControl(char* out);
    void release();

    int inputFd;
    int outputFd;
    int writeFd = -1;
    bool ownsWriteFd = false;
    bool isOpen = false;
    bool holdsTerminal = false;
    int width = 0;
    int height = 0;
    const char* failure = nullptr;
    const char* terminalType = nullptr;
    TerminalCaps caps;
    Charset charset = Charset::utf8;
    bool charsetFixed = false;
    GlyphTable* glyphs = nullptr; // null for UTF-8
    ColourMode colourMode = ColourMode::ansi16;
    bool colourModeFixed = false;

    // Output: the front buffer and the bytes on their way, both allocated at open.
    Cell* shown = nullptr;
    char* output = nullptr;
    std::size_t outputSize = 0;
    std::size_t pendingStart = 0;
    std::size_t pendingEnd = 0;
    FrameView view;
    int terminalColumns = 0;
    int terminalRows = 0;
    bool redrawAll = true;
    char notice[96] = {};
    bool noticeOn = false;
    std::uint32_t noticeUntilMs = 0;
    char title[256] = {};
    bool titleDirty = false;
    bool mouseSent = false;
    bool fullScreenRequest = false;
    bool takeOverPending = false;
    bool takeOverAfterRestore = false;

    // Pacing by the terminal's answers to status queries.
    bool answered = false;
    bool silent = false;
    int outstanding = 0;
    std::uint32_t lastQueryMs = 0;
    bool sizeQueried = false;
    bool frameHeld = false;
    bool colourProbed = false;

    // When each unanswered status query went out (oldest first), and whether it
    // closed a frame; the answers come back in the same order.
    static constexpr int queryCapacity = 8;
    std::uint32_t querySentMs[queryCapacity] = {};
    bool queryClosesFrame[queryCapacity] = {};
    int queryHead = 0;
    int queryCount = 0;
    // The input was last looked at then: an answer read now arrived after it.
    std::uint32_t lastPollMs = 0;
    std::uint32_t previousPollMs = 0;
    // Smoothed time from sending a frame to the terminal's answer, in ms.
    float frameDelayMs = 0.0f;
    bool frameDelayKnown = false;

    // Input: bytes not decoded yet, and decoded records not handed out yet.
    KeyDecoder decoder;
    std::uint8_t inputBytes[256] = {};
    std::size_t inputLength = 0;
    std::size_t inputRead = 0; // since the last present
    std::uint32_t lastInputMs = 0;
    InputQueue<64> queue;
};

// Puts a taken terminal back as it was (termios, main screen, cursor, mouse
// reporting, palette, title, size). Async-signal-safe, runs at most once per
// take-over, and does nothing when no terminal is taken.
void restoreTakenTerminal();
