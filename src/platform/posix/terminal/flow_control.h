// Pacing frames by the terminal's answers: each frame ends with a status query
// (`ESC [ 5 n`), and a terminal answers it only once it has shown everything
// before it, so an answer acknowledges a frame as on screen. From the answers
// come the round trip, what the link carries, and how long a frame takes from
// being written to being shown. Pure: the caller supplies times and byte
// counts, and does the I/O.
#pragma once

#include <cstddef>
#include <cstdint>

class FlowControl {
  public:
    // Starts over (at open): nothing sent, nothing known.
    void reset(std::uint32_t nowMs);
    // A status query went out at the end of `bytes` bytes; `closesFrame` when
    // those bytes are a frame (the answer then measures the frame's way).
    void querySent(std::uint32_t nowMs, std::size_t bytes, bool closesFrame);
    // The terminal answered the oldest query: read at `nowMs`, and it was not
    // there yet when the input was looked at, at `previousPollMs`.
    void answerReceived(std::uint32_t nowMs, std::uint32_t previousPollMs);
    // Answers to queries sent before a stop never come: forget them.
    void forgetQueries();
    // Whether a frame may go out now; false holds it back (its cells go with a
    // later one). Gives up on a terminal that does not answer.
    bool maySend(std::uint32_t nowMs);
    // How long a frame takes from being written to being on screen, in ms:
    // smoothed, at most delayCapMs, 0 below delayFloorMs (a local terminal) or
    // while the terminal gives no answers.
    std::uint32_t presentDelayMs() const;
    // Answers are still to come.
    bool repliesDue() const { return outstanding > 0 && !silent; }
    int queriesOutstanding() const { return outstanding; }
    // The terminal has answered at least once.
    bool hasAnswered() const { return answered; }

    // How long a frame waits for the terminal's answer to the previous one. A
    // terminal that has never answered within this time is not waited for again.
    std::uint32_t replyWaitMs = 1000;
    // After the terminal has answered once, a missing answer is given up on
    // after this long (a lost reply must not stop the show).
    std::uint32_t lostReplyMs = 5000;
    // Presentation delays below this are reported as 0, and none above the cap.
    std::uint32_t delayFloorMs = 20;
    std::uint32_t delayCapMs = 1000;

  private:
    bool answered = false;
    bool silent = false;
    int outstanding = 0;
    std::uint32_t lastQueryMs = 0;

    // When each unanswered status query went out (oldest first), and whether it
    // closed a frame; the answers come back in the same order.
    static constexpr int queryCapacity = 8;
    std::uint32_t querySentMs[queryCapacity] = {};
    bool queryClosesFrame[queryCapacity] = {};
    int queryHead = 0;
    int queryCount = 0;
    // Smoothed time from sending a frame to the terminal's answer, in ms.
    float frameDelayMs = 0.0f;
    bool frameDelayKnown = false;
};
