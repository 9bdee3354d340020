// The terminal console: the user's terminal as the show's 80 x 50 console
// window. It takes the terminal over (raw mode, alternate screen, hidden
// cursor, bracketed paste, title) and gives everything back on every way out,
// including a stop for job control (and takes it again on continuing, in the
// foreground only).
//
// Output never blocks: a frame goes out through a non-blocking descriptor of
// its own (or, where the terminal cannot be opened by name, the shell's
// blocking one, only as much as poll says it takes), and while part of it is
// still unsent, later frames are skipped (their cells are sent against what
// really went out). Each frame ends with a status query; the answers pace the
// frames (flow_control.h): several may be on their way, as many as the link
// carries without a queue, and the show draws ahead by the time a frame takes
// to reach the screen.
//
// The parts: taken_terminal (restore and signals), terminal_modes (what is
// set and what puts it back), terminal_writer (the writes), flow_control (the
// pacing), and this class in three files: terminal_console.cpp (present),
// terminal_console_open.cpp (the opening steps), terminal_console_input.cpp.
#pragma once

#include "app/platform.h"
#include "flow_control.h"
#include "frame_encoder.h"
#include "imaging/non_copyable.h"
#include "key_decoder.h"
#include "link_note.h"
#include "terminal_caps.h"
#include "terminal_writer.h"

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
    // Writes through the output descriptor itself, as where the terminal
    // cannot be opened by name (tests).
    void useSharedOutput() { sharedOutput = true; }
    // The terminal type to use instead of TERM (tests); null for TERM.
    void setTerminalType(const char* term) { terminalType = term; }
    // The encoding to use instead of the locale's (tests).
    void setCharset(Charset value) {
        charset = value;
        charsetFixed = true;
    }
    ColourMode currentColourMode() const { return colourMode; }
    // Part of the last frame is still waiting for the terminal to take it.
    bool sending() const { return !writer.idle(); }
    // The last present sent nothing of its frame: the previous one was still
    // on its way or unanswered.
    bool heldBack() const { return frameHeld; }
    // What the frames met on their way since open (for the note on a slow link).
    LinkFigures linkFigures() const;

    // How long the "terminal too small" notice stays over the picture.
    std::uint32_t noticeMs = 2500;
    // The pacing by the terminal's answers (its settings may be changed
    // before open: replyWaitMs, lostReplyMs, delayFloorMs, delayCapMs).
    FlowControl flow;
    // How long a present may wait for the terminal to take a frame before
    // leaving the rest for later presents.
    int writeWaitMs = 4;
    // Input bytes read between two presents, at most.
    std::size_t inputBudget = 4096;

  private:
    // Room for the control bytes before a frame: modes, palette, title, queries.
    static constexpr std::size_t controlCapacity = 8 + 3 * 256 + 16 * 64 + 512;
    // Where our size request stands: the window is given its old size back at
    // exit only if the request is what changed it.
    enum ResizeState { noRequest, requested, obeyed, changedByUser };

    bool checkTerminals();
    bool allocateFrame(int w, int h);
    bool readModes();
    void prepareRestore();
    void prepareSizeRequest();
    void installGiveBack();
    bool enterRawMode();
    void startShow(const char* newTitle);
    void layOut(std::uint32_t nowMs, int reportedColumns = 0, int reportedRows = 0);
    void takeOver(bool afterRestore);
    void pumpInput(std::uint32_t nowMs);
    bool readSome(std::uint32_t nowMs);
    void decodeInput(std::uint32_t nowMs);
    void keepUserTitle(const std::uint8_t* text, std::size_t length);
    bool retake();
    bool waitForForeground();
    // The title is set only where the user's can be put back: a title stack,
    // or a terminal that has told its title.
    bool titleCanBeRestored() const;
    void handleReply(const DecodeStep& step, std::uint32_t nowMs);
    bool flushPending();
    void sendControlNow();
    std::size_t appendControl(char* out);
    void release();

    int inputFd;
    int outputFd;
    TerminalWriter writer;
    bool isOpen = false;
    ResizeState resizeState = noRequest;
    int originalColumns = 0;
    int originalRows = 0;
    bool holdsTerminal = false;
    int width = 0;
    int height = 0;
    const char* failure = nullptr;
    const char* terminalType = nullptr;
    TerminalCaps caps;
    Charset charset = Charset::utf8;
    bool charsetFixed = false;
    bool sharedOutput = false;
    GlyphTable* glyphs = nullptr; // null for UTF-8
    ColourMode colourMode = ColourMode::ansi16;
    bool colourModeFixed = false;

    // Output: the front buffer and the bytes on their way, both allocated at open.
    Cell* shown = nullptr;
    char* output = nullptr;
    std::size_t outputSize = 0;
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

    bool sizeQueried = false;
    bool frameHeld = false;
    std::uint32_t openedMs = 0;
    std::uint32_t framesSent = 0;
    std::uint32_t framesHeld = 0;
    bool colourProbed = false;
    // The input was last looked at then: an answer read now arrived after it.
    std::uint32_t lastPollMs = 0;
    std::uint32_t previousPollMs = 0;

    // Input: bytes not decoded yet, and decoded records not handed out yet.
    KeyDecoder decoder;
    std::uint8_t inputBytes[1024] = {};
    std::size_t inputLength = 0;
    std::size_t inputRead = 0; // since the last present
    std::uint32_t lastInputMs = 0;
    InputQueue<64> queue;
};
