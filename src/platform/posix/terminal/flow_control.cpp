// Pacing frames by the terminal's answers to status queries.
#include "flow_control.h"

#include <algorithm>
#include <cmath>

namespace {

// The median of `count` values (at most 16), without moving them.
template <typename T> T medianOf(const T* values, int count) {
    T sorted[16] = {};
    for (int i = 0; i < count; ++i) {
        // Insertion into the sorted part: a handful of values.
        int at = i;
        for (; at > 0 && sorted[at - 1] > values[i]; --at)
            sorted[at] = sorted[at - 1];
        sorted[at] = values[i];
    }
    return count % 2 == 1 ? sorted[count / 2]
                          : (sorted[count / 2 - 1] + sorted[count / 2]) / static_cast<T>(2);
}

} // namespace

void FlowControl::RateSamples::add(double rate) {
    values[next] = rate;
    next = (next + 1) % capacity;
    if (count < capacity)
        ++count;
}

double FlowControl::RateSamples::median() const {
    return count > 0 ? medianOf(values, count) : 0.0;
}

void FlowControl::reset(std::uint32_t now) {
    answered = false;
    neverAnswers = false;
    lastQueryMs = now;
    forgetQueries();
    lineBase = now;
    lineFreeMs = 0;
    delivered = 0;
    spanStartDelivered = 0;
    spanStartMs = now;
    answeredBefore = false;
    lastAnswerMs = now;
    minRoundTripMs = 0;
    periodMinMs = 0;
    previousPeriodMinMs = 0;
    periodStartMs = now;
    maxRate = 0;
    backlogged = false;
    busyRates = RateSamples{};
    idleRates = RateSamples{};
    oneWayMs = 0.0f;
    oneWayKnown = false;
    oneWayCount = 0;
    oneWayNext = 0;
    smoothedRoundTripMs = 0.0f;
    frameSpacingMs = 0.0f;
    lastFrameMs = now;
}

void FlowControl::forgetQueries() {
    queryHead = 0;
    queryCount = 0;
    inFlight = 0;
}

void FlowControl::querySent(std::uint32_t now, std::size_t bytes, bool closesFrame) {
    if (closesFrame) {
        // Frames that change nothing are never sent, so a long gap is a still
        // picture rather than the link's pace: gaps are counted up to a second.
        const auto gap = static_cast<float>(std::min<std::uint32_t>(now - lastFrameMs, 1000));
        frameSpacingMs += 0.125f * (gap - frameSpacingMs);
        lastFrameMs = now;
    }
    if (neverAnswers) {
        // Nobody answers: only the latest query is kept, to notice a first answer.
        forgetQueries();
    }
    if (queryCount == queryCapacity) {
        inFlight -= queries[queryHead].bytes;
        queryHead = (queryHead + 1) % queryCapacity;
        --queryCount;
    }
    const auto counted = static_cast<std::uint32_t>(std::min<std::size_t>(bytes, 1u << 30));
    queries[(queryHead + queryCount) % queryCapacity] = Query{now, counted, closesFrame};
    ++queryCount;
    inFlight += counted;
    lastQueryMs = now;
    if (maxRate > 0) {
        // When the line will have sent these bytes too, at the rate measured.
        const double start =
            std::max(static_cast<double>(static_cast<std::int32_t>(now - lineBase)), lineFreeMs);
        lineFreeMs = start + static_cast<double>(counted) * 1000.0 / maxRate;
    }
}

std::size_t FlowControl::windowBytes() const {
    if (maxRate <= 0 || minRoundTripMs == 0)
        return initialWindowBytes;
    const double window = maxRate * windowGain * static_cast<double>(minRoundTripMs) / 1000.0;
    return std::min(std::max(static_cast<std::size_t>(window), minimumWindowBytes),
                    maximumWindowBytes);
}

bool FlowControl::maySend(std::uint32_t now) {
    if (queryCount == 0 || neverAnswers)
        return true;
    const std::uint32_t oldest = now - queries[queryHead].sentMs;
    if (!answered && now - lastQueryMs >= replyWaitMs) {
        // The terminal does not answer: frames go out as they come.
        neverAnswers = true;
        forgetQueries();
        return true;
    }
    if (answered && oldest >= lostReplyMs) {
        forgetQueries();
        return true;
    }
    if (queryCount >= queryCapacity || inFlight >= maximumWindowBytes)
        return false;
    // Before the first answer one frame may go ahead of the opening query.
    if (!answered)
        return queryCount <= 1;
    // An answer long overdue (a lost packet being sent again, say): whatever
    // goes now waits behind it, so nothing goes until the link moves again.
    if (smoothedRoundTripMs > 0 && static_cast<float>(oldest) > 2.0f * smoothedRoundTripMs + 50.0f)
        return false;
    // The line is slower than the rate says (a transport backing off after a
    // loss): what is on its way drains first.
    if (backlogged)
        return false;
    if (maxRate <= 0 || minRoundTripMs == 0)
        return inFlight < windowBytes();
    // The bytes on their way are either still waiting for the line or only
    // travelling: a new frame goes once the line is about to be free, so that
    // it never waits behind others and the line never idles for a round trip.
    const double lineBusyMs =
        lineFreeMs - static_cast<double>(static_cast<std::int32_t>(now - lineBase));
    return lineBusyMs <= static_cast<double>(lineLeadMs);
}

void FlowControl::answerReceived(std::uint32_t now, std::uint32_t previousPollMs) {
    answered = true;
    neverAnswers = false;
    if (queryCount == 0)
        return;
    const Query query = queries[queryHead];
    queryHead = (queryHead + 1) % queryCapacity;
    --queryCount;
    inFlight -= query.bytes;
    takeSample(query, now, previousPollMs);
    if (maxRate > 0 && minRoundTripMs > 0) {
        // The answered bytes left the line about a round trip ago, so the
        // rest cannot be through it before now less that plus their own time:
        // a rate measured a little high is corrected here, before a queue builds.
        const double sinceBase = static_cast<double>(static_cast<std::int32_t>(now - lineBase));
        const double earliestFree = sinceBase - static_cast<double>(minRoundTripMs) +
                                    static_cast<double>(inFlight) * 1000.0 / maxRate;
        lineFreeMs = std::max(lineFreeMs, earliestFree);
    }
}

// The answer came in after the input was last looked at (or after the query
// went out, if later) and by now: the middle of that span is the round trip.
void FlowControl::takeSample(const Query& query, std::uint32_t now, std::uint32_t previousPollMs) {
    const auto latest = static_cast<std::int32_t>(now - query.sentMs);
    auto earliest = static_cast<std::int32_t>(previousPollMs - query.sentMs);
    if (latest < 0)
        return;
    if (earliest < 0 || earliest > latest)
        earliest = 0;
    const auto roundTrip = static_cast<std::uint32_t>((earliest + latest + 1) / 2);
    smoothedRoundTripMs =
        smoothedRoundTripMs == 0.0f
            ? static_cast<float>(roundTrip)
            : smoothedRoundTripMs + 0.125f * (static_cast<float>(roundTrip) - smoothedRoundTripMs);
    const bool queued = answeredBefore && query.sentMs + minRoundTripMs <= lastAnswerMs;
    delivered += query.bytes;
    noteWait(query, roundTrip);
    if (minRoundTripMs > 0)
        sampleRate(query, roundTrip, queued, now);
    if (!queued)
        noteOwnRoundTrip(query, roundTrip, now);
    lastAnswerMs = now;
    answeredBefore = true;
    if (!query.closesFrame)
        return;
    // Write to screen: the round trip less the answer's way back, taken as
    // half the link's own round trip (answers are a few bytes, never queued).
    float sample = static_cast<float>(roundTrip) - 0.5f * static_cast<float>(minRoundTripMs);
    sample = std::min(std::max(sample, 0.0f), static_cast<float>(delayCapMs));
    // The median of the last few: a frame held up by a lost packet, or one
    // full redraw, does not move it, while a change of the link does within
    // a few frames.
    if (oneWayCount >= 5 && sample > 1.5f * oneWayMs + 150.0f && outliers < 2) {
        // Far out of line with the others (a packet lost on the way): not the
        // delay to draw ahead by, unless the next ones say so too.
        ++outliers;
        return;
    }
    outliers = 0;
    oneWaySamples[oneWayNext] = sample;
    oneWayNext = (oneWayNext + 1) % oneWayWindow;
    if (oneWayCount < oneWayWindow)
        ++oneWayCount;
    oneWayMs = medianOf(oneWaySamples, oneWayCount);
    oneWayKnown = true;
}

// The link's own round trip: this one less the time its bytes took on the
// line. The shortest of the last two periods is kept, so that the estimate
// can rise (the route changed) but one queue does not raise it.
void FlowControl::noteOwnRoundTrip(const Query& query, std::uint32_t roundTrip, std::uint32_t now) {
    // Only writes that spent little time on the line say much of it:
    // the rate used to take that time out may itself be off.
    const double onLine = maxRate > 0 ? query.bytes * 1000.0 / maxRate : 0.0;
    if (onLine > 0.25 * roundTrip || (maxRate <= 0 && query.bytes > 2048))
        return;
    const auto own = std::max<std::uint32_t>(roundTrip - static_cast<std::uint32_t>(onLine), 1);
    if (now - periodStartMs > roundTripPeriodMs || periodMinMs == 0) {
        previousPeriodMinMs = periodMinMs;
        periodMinMs = own;
        periodStartMs = now;
    } else {
        periodMinMs = std::min(periodMinMs, own);
    }
    minRoundTripMs =
        previousPeriodMinMs == 0 ? periodMinMs : std::min(periodMinMs, previousPeriodMinMs);
}

// The link's rate. Where frames were waiting behind each other the line was
// busy throughout, and what was answered over a span of at least
// rateSpanMs is what it carried (answers come in bunches, so shorter spans
// say nothing). A frame that found the line idle took its round trip less the
// link's own on the line (at least rateSpanMs, or the noise of when the input
// is looked at would make it huge). The best of the last few seconds counts.
void FlowControl::sampleRate(const Query& query, std::uint32_t roundTrip, bool queued,
                             std::uint32_t now) {
    if (queued) {
        const std::uint32_t span = now - spanStartMs;
        if (span < rateSpanMs)
            return;
        busyRates.add(static_cast<double>(delivered - spanStartDelivered) * 1000.0 /
                      static_cast<double>(span));
    } else if (query.closesFrame && query.bytes >= 512) {
        const std::uint32_t onLine = roundTrip > minRoundTripMs ? roundTrip - minRoundTripMs : 0;
        idleRates.add(static_cast<double>(query.bytes) * 1000.0 /
                      static_cast<double>(std::max(onLine, 16u)));
    }
    spanStartMs = now;
    spanStartDelivered = delivered;
    // Each kind by its median: a bunch of answers let through at once after a
    // lost packet (they measure the wait, not the line) does not count. A frame
    // on an idle line shows at least the rate, so the larger of the two holds.
    maxRate = std::max(busyRates.median(), idleRates.median());
}

// How long the answered frame waited for the line: its round trip less the
// link's own and its own time on the line at the rate used. Much more than
// the pacing lets build up says the line carries less than that rate (the
// transport beneath cut its rate after a loss, or other traffic shares the
// line): the rate of frames that found the line idle, measured before, no
// longer holds, and the line's busy rate alone counts until new ones come.
void FlowControl::noteWait(const Query& query, std::uint32_t roundTrip) {
    backlogged = false;
    if (maxRate <= 0 || minRoundTripMs == 0)
        return;
    const double onLine = static_cast<double>(query.bytes) * 1000.0 / maxRate;
    const double waited = static_cast<double>(roundTrip) - minRoundTripMs - onLine;
    if (waited <= static_cast<double>(waitAllowanceMs + minRoundTripMs / 4))
        return;
    backlogged = queryCount > 0;
    idleRates = RateSamples{};
    if (busyRates.median() > 0)
        maxRate = std::min(maxRate, busyRates.median());
}

std::uint32_t FlowControl::presentDelayMs() const {
    if (neverAnswers || !answered || !oneWayKnown)
        return 0;
    if (oneWayMs < static_cast<float>(delayFloorMs))
        return 0;
    // A frame stays up until the next one arrives: drawn ahead by half that
    // time as well, it is as often early as late while it is up.
    const auto delay = static_cast<std::uint32_t>(std::lround(oneWayMs + 0.5f * frameSpacingMs));
    return delay < delayCapMs ? delay : delayCapMs;
}
