// Pacing frames by the terminal's answers: each frame ends with a status query
// (`ESC [ 5 n`), and a terminal answers it only once it has shown everything
// before it, so each answer acknowledges the bytes before its query as on
// screen. From the answers come the round trip, the rate the link delivers,
// and how long a frame takes from being written to being shown; from those,
// how many bytes may be on their way at once (as a transport's congestion
// window). Pure: the caller supplies times and byte counts, and does the I/O.
#pragma once

#include <cstddef>
#include <cstdint>

class FlowControl {
  public:
    // Starts over (at open): nothing sent, nothing known.
    void reset(std::uint32_t nowMs);
    // A status query went out at the end of `bytes` bytes (those since the
    // previous query); `closesFrame` when they are a frame, so that the answer
    // measures a frame's way to the screen.
    void querySent(std::uint32_t nowMs, std::size_t bytes, bool closesFrame);
    // The terminal answered the oldest query: read at `nowMs`, and not there
    // yet when the input was looked at before, at `previousPollMs`.
    void answerReceived(std::uint32_t nowMs, std::uint32_t previousPollMs);
    // Answers to queries sent before a stop never come: forget them.
    void forgetQueries();
    // Whether a frame may go out now. False while the line is still busy with
    // the bytes before it (at the rate measured), or, until the rate is known,
    // while the bytes on their way fill the window: the frame would only queue
    // behind them (its cells go with a later one). A terminal that has never answered
    // is not waited for after replyWaitMs, and a lost answer is given up on
    // after lostReplyMs.
    bool maySend(std::uint32_t nowMs);
    // How long a frame takes from being written to being on screen, in ms:
    // the round trip less the answer's way back. Smoothed, at most delayCapMs,
    // 0 below delayFloorMs (a local terminal) or while nothing is measured.
    std::uint32_t presentDelayMs() const;
    // How many answers are still to come (none from a terminal that does not
    // answer).
    int answersDue() const { return neverAnswers ? 0 : queryCount; }
    // The round trip lately, smoothed, in ms (0: not measured).
    std::uint32_t roundTripMs() const { return static_cast<std::uint32_t>(smoothedRoundTripMs); }
    int queriesOutstanding() const { return queryCount; }
    bool hasAnswered() const { return answered; }
    // Estimates, for tests and benchmarks: bytes allowed on their way, bytes
    // on their way, the shortest round trip lately, delivery rate (bytes/s).
    std::size_t windowBytes() const;
    std::size_t bytesInFlight() const { return inFlight; }
    std::uint32_t minimumRoundTripMs() const { return minRoundTripMs; }
    double deliveryRate() const { return maxRate; }
    // How long the bytes on their way take to arrive at the rate measured, in
    // ms (0 while the rate is not known).
    std::uint32_t drainMs() const {
        return maxRate > 0
                   ? static_cast<std::uint32_t>(static_cast<double>(inFlight) * 1000.0 / maxRate)
                   : 0;
    }

    std::uint32_t replyWaitMs = 1000;
    std::uint32_t lostReplyMs = 5000;
    std::uint32_t delayFloorMs = 20;
    std::uint32_t delayCapMs = 1000;
    // Bytes allowed on their way before anything is measured, and at least.
    std::size_t initialWindowBytes = 16384;
    std::size_t minimumWindowBytes = 4096;
    std::size_t maximumWindowBytes = 1 << 20;
    // The window is this many round trips of the measured rate. More than one
    // keeps the link busy while answers travel back, and lets the window grow
    // by that factor each round trip until the link is full.
    float windowGain = 2.0f;
    // Once the rate is known, a frame goes when the line will have sent what
    // is before it within this many ms (a little more than the time between
    // two frames, so the line does not idle).
    std::uint32_t lineLeadMs = 20;
    // How long a frame may have waited for the line, by its answer, before
    // the rate is taken to be too high: this plus a quarter of the link's own
    // round trip (the bunching of answers grows with it).
    std::uint32_t waitAllowanceMs = 40;

  private:
    struct Query {
        std::uint32_t sentMs;
        std::uint32_t bytes;
        bool closesFrame;
    };
    void takeSample(const Query& query, std::uint32_t nowMs, std::uint32_t previousPollMs);
    void noteOwnRoundTrip(const Query& query, std::uint32_t roundTrip, std::uint32_t nowMs);
    void sampleRate(const Query& query, std::uint32_t roundTrip, bool queued, std::uint32_t nowMs);
    void noteWait(const Query& query, std::uint32_t roundTrip);

    bool answered = false;
    bool neverAnswers = false;
    std::uint32_t lastQueryMs = 0;

    // The unanswered queries, oldest first; the answers come in the same order.
    static constexpr int queryCapacity = 32;
    Query queries[queryCapacity] = {};
    int queryHead = 0;
    int queryCount = 0;
    std::size_t inFlight = 0;
    // When the line will have sent everything written so far, in ms since
    // lineBase, at the rate measured.
    std::uint32_t lineBase = 0;
    double lineFreeMs = 0;
    bool answeredBefore = false;
    std::uint32_t lastAnswerMs = 0;

    // The link's own round trip (without queues and the time on the line):
    // the shortest of this period and the last. And the best rate lately.
    static constexpr std::uint32_t roundTripPeriodMs = 10000;
    std::uint32_t minRoundTripMs = 0;
    std::uint32_t periodMinMs = 0;
    std::uint32_t previousPeriodMinMs = 0;
    std::uint32_t periodStartMs = 0;
    static constexpr std::uint32_t rateSpanMs = 40;
    std::uint64_t delivered = 0; // bytes answered in all
    std::uint64_t spanStartDelivered = 0;
    std::uint32_t spanStartMs = 0;
    // The last few rate samples of one kind (bytes per second).
    struct RateSamples {
        static constexpr int capacity = 9;
        double values[capacity] = {};
        int count = 0;
        int next = 0;
        void add(double rate);
        double median() const;
    };
    RateSamples busyRates; // over spans where the line was busy throughout
    RateSamples idleRates; // a frame that found the line idle (a lower bound)
    double maxRate = 0;    // bytes per second: the rate used
    // The last answer said its frame waited for the line well beyond what the
    // rate measured allows: nothing more goes until the answers catch up.
    bool backlogged = false;
    float smoothedRoundTripMs = 0.0f;
    // Smoothed time between two frames sent, in ms.
    float frameSpacingMs = 0.0f;
    std::uint32_t lastFrameMs = 0;
    // Smoothed time from writing a frame to its being shown, in ms.
    float oneWayMs = 0.0f;
    bool oneWayKnown = false;
    static constexpr int oneWayWindow = 9;
    float oneWaySamples[oneWayWindow] = {};
    int oneWayCount = 0;
    int oneWayNext = 0;
    int outliers = 0;
};
