// The capture tool's command line: output names, counts and the show's end.
#include "capture_options.h"
#include "platform/headless/headless_show.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

struct Parsed {
    ParseResult result;
    CaptureOptions options;
    std::string error;
};

Parsed parse(std::initializer_list<const char*> arguments) {
    std::vector<char*> argv{const_cast<char*>("shadestrip-capture")};
    for (const char* a : arguments)
        argv.push_back(const_cast<char*>(a));
    Parsed parsed;
    parsed.result = parseCaptureOptions(static_cast<int>(argv.size()), argv.data(), parsed.options,
                                        parsed.error);
    return parsed;
}

std::string nameOf(const char* pattern, std::int64_t number, bool sequence = true) {
    OutputName name;
    std::string error;
    EXPECT_TRUE(name.parse(pattern, error)) << pattern << ": " << error;
    return name.name(number, sequence);
}

} // namespace

TEST(OutputName, NumbersFramesOnlyWithDecimalDirectives) {
    EXPECT_EQ(nameOf("f%d.png", 7), "f7.png");
    EXPECT_EQ(nameOf("frames/f%03d.cells", 7), "frames/f007.cells");
    EXPECT_EQ(nameOf("f%4d", 12), "f  12");
    EXPECT_EQ(nameOf("100%%-%d.txt", 3), "100%-3.txt");
    EXPECT_EQ(nameOf("f%05d.png", 123456), "f123456.png"); // wider numbers are not cut
    // A plain name numbers a sequence before its extension, not in a folder's dot.
    EXPECT_EQ(nameOf("out.png", 5), "out-0005.png");
    EXPECT_EQ(nameOf("dir.v2/out", 5), "dir.v2/out-0005");
    EXPECT_EQ(nameOf("out.png", 5, false), "out.png");
    EXPECT_EQ(nameOf("50%%.png", 0, false), "50%.png");
}

TEST(OutputName, RefusesEveryOtherDirective) {
    for (const char* pattern : {"f%s%s%s%s.txt", "x%n", "%p.png", "%x", "%-5d", "%+d", "%ld", "%i",
                                "%.3d", "%10d", "%*d", "end%", "%d%d", "%1$d"}) {
        OutputName name;
        std::string error;
        EXPECT_FALSE(name.parse(pattern, error)) << pattern;
        EXPECT_NE(error.find(pattern), std::string::npos) << error;
    }
}

TEST(CaptureOptions, SequencesMustBeNumberedAndCounted) {
    // A patterned name that does not number frames names only one file.
    EXPECT_EQ(parse({"--from", "0", "--to", "1", "--out", "x%%.png"}).result, ParseResult::bad);
    EXPECT_EQ(parse({"--at", "1", "--out", "x%%.png"}).result, ParseResult::run);
    // Counts are taken before anything overflows or is allocated.
    for (const char* every : {"1e-9", "1e-7", "1e-300", "0.001"}) {
        const Parsed p = parse({"--from", "0", "--to", "141.5", "--every", every});
        EXPECT_EQ(p.result, ParseResult::bad) << every;
        EXPECT_NE(p.error.find("100000"), std::string::npos) << p.error;
    }
    EXPECT_EQ(parse({"--from", "1", "--to", "1.001", "--every", "1e-9"}).result, ParseResult::bad);
    const Parsed whole = parse({"--from", "0", "--to", "141.5", "--every", "0.01"});
    ASSERT_EQ(whole.result, ParseResult::run) << whole.error;
    EXPECT_EQ(whole.options.frames.size(), 14151u);
    EXPECT_EQ(whole.options.frames.back(), 14150);
}

TEST(CaptureOptions, SheetSlotsAreCheckedInSixtyFourBits) {
    for (const char* sheet : {"65536x65536", "4294967297x1", "1x4294967297", "21x20", "0x4", "4x",
                              "x4", "4x3x2", "-1x-1", "9999999999x1"})
        EXPECT_EQ(parse({"--from", "0", "--to", "1", "--sheet", sheet}).result, ParseResult::bad)
            << sheet;
    // More frames than slots is refused before the show runs.
    const Parsed full = parse({"--from", "0", "--to", "100", "--sheet", "3x3"});
    EXPECT_EQ(full.result, ParseResult::bad);
    EXPECT_NE(full.error.find("9 slots for 101 frames"), std::string::npos) << full.error;
    EXPECT_EQ(parse({"--from", "0", "--to", "8", "--sheet", "3x3"}).result, ParseResult::run);
}

TEST(CaptureOptions, VideoTakesARangeAtSixtyFramesASecond) {
    const Parsed whole = parse({"--video", "show.mp4"});
    ASSERT_EQ(whole.result, ParseResult::run) << whole.error;
    EXPECT_EQ(whole.options.fps, 60);
    EXPECT_STREQ(whole.options.size->name, "2x");
    EXPECT_EQ(whole.options.frames.front(), 0);
    EXPECT_EQ(whole.options.frames.back(), 8490); // 141.5 s
    const Parsed range = parse(
        {"--video", "a.mkv", "--from", "10.01", "--to", "11", "--fps", "25", "--size", "native"});
    ASSERT_EQ(range.result, ParseResult::run) << range.error;
    EXPECT_STREQ(range.options.size->name, "native");
    EXPECT_EQ(range.options.frames.front(), 251); // the first frame at or after 10.01 s
    EXPECT_EQ(range.options.frames.back(), 275);
    EXPECT_EQ(parse({"--video", "a.mkv", "--from", "5", "--to", "4"}).result, ParseResult::bad);
    EXPECT_EQ(parse({"--video", "a.mkv", "--format", "png"}).result, ParseResult::bad);
    EXPECT_EQ(parse({"--video", "a.mkv", "--size", "8k"}).result, ParseResult::bad);
    EXPECT_EQ(parse({"--at", "1", "--size", "native"}).result, ParseResult::bad);
}

// The end of the show agrees with the check: 141.5 s is capturable at any
// frame rate, as the last frame the show really presents.
TEST(CaptureOptions, TheShowsEndIsItsLastPresentedFrame) {
    EXPECT_EQ(lastPresentedFrame(100), 14150);
    EXPECT_EQ(lastPresentedFrame(60), 8490);
    EXPECT_EQ(lastPresentedFrame(7), 990);
    EXPECT_EQ(lastPresentedFrame(1000), 141500);
    EXPECT_EQ(frameShownAt(141.5, 7), 990);
    EXPECT_EQ(frameShownAt(141.45, 7), 990);
    EXPECT_EQ(frameShownAt(141.4, 7), 990);
    EXPECT_EQ(frameShownAt(141.0, 7), 987);
    for (int fps : {1, 3, 7}) {
        const Parsed at = parse({"--at", "141.5", "--fps", std::to_string(fps).c_str()});
        ASSERT_EQ(at.result, ParseResult::run) << at.error;
        HeadlessShow show(fps);
        ASSERT_TRUE(show.start());
        EXPECT_TRUE(show.runTo(at.options.frames.front())) << fps;
        EXPECT_FALSE(show.step()) << fps << ": a frame after the last one was presented";
    }
}

// Requests that used to run and mislead: an infinite step, an empty name, more
// video frames than a run may hold, and control bytes sent back raw.
TEST(CaptureOptions, RefusesWhatWouldMisleadLater) {
    for (const char* every : {"inf", "-inf", "nan", "1e999"}) {
        const Parsed p = parse({"--from", "0", "--to", "1", "--every", every});
        EXPECT_EQ(p.result, ParseResult::bad) << every;
        EXPECT_NE(p.error.find("needs a number"), std::string::npos) << p.error;
    }
    EXPECT_EQ(parse({"--at", "inf"}).result, ParseResult::bad);
    const Parsed empty = parse({"--at", "1", "--out", ""});
    EXPECT_EQ(empty.result, ParseResult::bad);
    EXPECT_EQ(empty.error, "--out needs a file name");
    // 141.5 s at 1000 fps is 141,501 frames.
    const Parsed many = parse({"--video", "a.mkv", "--fps", "1000"});
    EXPECT_EQ(many.result, ParseResult::bad);
    EXPECT_NE(many.error.find("141501 frames, more than 100000"), std::string::npos) << many.error;
    EXPECT_EQ(parse({"--video", "a.mkv", "--fps", "1000", "--to", "99.9"}).result,
              ParseResult::run);
    // A name is shown with its control bytes escaped, wherever it appears.
    const Parsed hostile = parse({"--video", "\x1b]0;owned\x07.avi"});
    EXPECT_EQ(hostile.result, ParseResult::bad);
    EXPECT_NE(hostile.error.find("\\x1B]0;owned\\x07.avi"), std::string::npos) << hostile.error;
    EXPECT_EQ(printable("a\tb\x7f\xc2\x9b"
                        "c\xc3\xa9"),
              "a\\x09b\\x7F\\x9Bc\xc3\xa9");
}

// A decimal step of one frame lands on every frame, and "--every frame" takes
// each frame whatever the rate.
TEST(CaptureOptions, EveryFrameOfARate) {
    const Parsed decimal =
        parse({"--from", "0", "--to", "20", "--every", "0.0166666666667", "--fps", "60"});
    ASSERT_EQ(decimal.result, ParseResult::run) << decimal.error;
    ASSERT_EQ(decimal.options.frames.size(), 1201u);
    for (std::size_t i = 0; i < decimal.options.frames.size(); ++i)
        ASSERT_EQ(decimal.options.frames[i], static_cast<std::int64_t>(i));
    const Parsed every =
        parse({"--from", "10.01", "--to", "11", "--every", "frame", "--fps", "25"});
    ASSERT_EQ(every.result, ParseResult::run) << every.error;
    EXPECT_EQ(every.options.frames.front(), 251);
    EXPECT_EQ(every.options.frames.back(), 275);
    EXPECT_EQ(every.options.frames.size(), 25u);
    const Parsed end = parse({"--from", "141", "--to", "141.5", "--every", "frame", "--fps", "7"});
    ASSERT_EQ(end.result, ParseResult::run) << end.error;
    EXPECT_EQ(end.options.frames.back(), 990);
    EXPECT_EQ(parse({"--from", "0", "--to", "141.5", "--every", "frame", "--fps", "1000"}).result,
              ParseResult::bad);
}

// Sizes: whole factors keep each pixel a 2 x 2 block on even pixels.
TEST(CaptureOptions, VideoSizesAndTheirDefaults) {
    EXPECT_STREQ(parse({"--video", "a.mp4"}).options.size->name, "2x");
    EXPECT_STREQ(parse({"--video", "a.webm"}).options.size->name, "2x");
    EXPECT_STREQ(parse({"--video", "a.mkv"}).options.size->name, "native");
    EXPECT_STREQ(parse({"--video", "a.MKV", "--size", "4k"}).options.size->name, "4k");
    EXPECT_EQ(parse({"--video", "a.mp4", "--size", "2X"}).result, ParseResult::bad);
}
