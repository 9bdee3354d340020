// The key decoder as a pure function over byte strings: key forms, split and
// broken sequences, the lone Escape, and mouse reports with double-click timing.
#include "platform/posix/terminal/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Decoded {
    std::vector<InputRecord> records;
    std::size_t leftover = 0; // bytes still waiting for more
};

Decoded decodeAll(KeyDecoder& decoder, const std::string& text, bool endOfInput = false,
                  std::uint32_t nowMs = 0) {
    Decoded result;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t start = 0;
    while (start < text.size()) {
        const DecodeStep step =
            decoder.decode(bytes + start, text.size() - start, endOfInput, nowMs);
        if (step.used == 0)
            break;
        start += step.used;
        for (int i = 0; i < step.count; ++i)
            result.records.push_back(step.records[i]);
    }
    result.leftover = text.size() - start;
    return result;
}

// The key-down codes of a byte string, with each key-up checked against its down.
std::vector<int> keys(const std::string& text, bool endOfInput = false) {
    KeyDecoder decoder;
    const Decoded decoded = decodeAll(decoder, text, endOfInput);
    std::vector<int> codes;
    EXPECT_EQ(decoded.records.size() % 2, 0u) << "every press is a down and an up";
    for (std::size_t i = 0; i + 1 < decoded.records.size(); i += 2) {
        const InputRecord& down = decoded.records[i];
        const InputRecord& up = decoded.records[i + 1];
        EXPECT_EQ(down.eventType, InputRecord::keyEvent);
        EXPECT_TRUE(down.keyDown);
        EXPECT_EQ(up.eventType, InputRecord::keyEvent);
        EXPECT_FALSE(up.keyDown);
        EXPECT_EQ(up.virtualKeyCode, down.virtualKeyCode);
        codes.push_back(down.virtualKeyCode);
    }
    return codes;
}

InputRecord mouseRecord(KeyDecoder& decoder, const std::string& text, std::uint32_t nowMs = 0) {
    const Decoded decoded = decodeAll(decoder, text, false, nowMs);
    EXPECT_EQ(decoded.leftover, 0u);
    EXPECT_EQ(decoded.records.size(), 1u) << "for " << text.substr(1);
    if (decoded.records.empty())
        return InputRecord{};
    EXPECT_EQ(decoded.records[0].eventType, InputRecord::mouseEvent);
    return decoded.records[0];
}

KeyDecoder mouseDecoder() {
    KeyDecoder decoder;
    decoder.mouseOn = true;
    decoder.setFrameOrigin(0, 0, 80, 50);
    return decoder;
}

const std::string esc = "\x1b";

} // namespace

TEST(KeyDecoder, PlainBytesGiveTheConsoleCodes) {
    EXPECT_EQ(keys(" mMnN"), (std::vector<int>{virtualKey::space, virtualKey::m, virtualKey::m,
                                               virtualKey::n, virtualKey::n}));
    EXPECT_EQ(keys("az09"), (std::vector<int>{'A', 'Z', '0', '9'}));
    // Signal keys are off: Ctrl+Z is the Z key; Ctrl+C and q end the show as
    // Escape does.
    EXPECT_EQ(keys("\x1a\x03qQ"),
              (std::vector<int>{'Z', virtualKey::escape, virtualKey::escape, virtualKey::escape}));
    EXPECT_EQ(keys("\r\t\x7f"),
              (std::vector<int>{virtualKey::enter, virtualKey::tab, virtualKey::back}));
    // Bytes of other alphabets are skipped, not misread as keys.
    EXPECT_EQ(keys("\xc3\xa9x"), (std::vector<int>{'X'}));
}

TEST(KeyDecoder, CsiSs3AndTildeFormsOfTheSameKeys) {
    struct Case {
        const char* bytes;
        int key;
    };
    const Case cases[] = {
        {"\x1b[A", virtualKey::up},        {"\x1bOA", virtualKey::up},
        {"\x1b[B", virtualKey::down},      {"\x1bOB", virtualKey::down},
        {"\x1b[C", virtualKey::right},     {"\x1bOC", virtualKey::right},
        {"\x1b[D", virtualKey::left},      {"\x1bOD", virtualKey::left},
        {"\x1b[H", virtualKey::home},      {"\x1bOH", virtualKey::home},
        {"\x1b[1~", virtualKey::home},     {"\x1b[7~", virtualKey::home},
        {"\x1b[F", virtualKey::end},       {"\x1bOF", virtualKey::end},
        {"\x1b[4~", virtualKey::end},      {"\x1b[8~", virtualKey::end},
        {"\x1b[5~", virtualKey::pageUp},   {"\x1b[6~", virtualKey::pageDown},
        {"\x1b[1;5C", virtualKey::right},  {"\x1b[5;2~", virtualKey::pageUp},
        {"\x1bOP", virtualKey::f1},        {"\x1b[15~", virtualKey::f1 + 4},
        {"\x1b[24~", virtualKey::f1 + 11},
    };
    for (const Case& c : cases)
        EXPECT_EQ(keys(c.bytes), std::vector<int>{c.key}) << "for ESC" << (c.bytes + 1);
}

TEST(KeyDecoder, LoneEscapeWaitsUntilNothingMoreComes) {
    KeyDecoder decoder;
    const Decoded waiting = decodeAll(decoder, esc);
    EXPECT_TRUE(waiting.records.empty());
    EXPECT_EQ(waiting.leftover, 1u);
    EXPECT_EQ(keys(esc, true), std::vector<int>{virtualKey::escape});

    // The start of a sequence waits as well; if it never finishes it is
    // dropped, never taken for Escape (a slow link splits sequences).
    EXPECT_EQ(decodeAll(decoder, esc + "[").leftover, 2u);
    EXPECT_EQ(decodeAll(decoder, esc + "O").leftover, 2u);
    for (const char* piece : {"[", "O", "[1;2;3", "[<35;10", "P1$r0;38:2"}) {
        decoder.stringRepliesDue = true;
        const Decoded given = decodeAll(decoder, esc + piece, true);
        EXPECT_TRUE(given.records.empty()) << piece;
        EXPECT_EQ(given.leftover, 0u) << piece;
    }

    // Escape typed twice, or right before a key sequence, is not lost.
    EXPECT_EQ(keys(esc + esc, true), (std::vector<int>{virtualKey::escape, virtualKey::escape}));
    EXPECT_EQ(keys(esc + esc + "[A"), (std::vector<int>{virtualKey::escape, virtualKey::up}));
    // Alt with a key reports the key, as the console does.
    EXPECT_EQ(keys(esc + "m"), std::vector<int>{'M'});
}

TEST(KeyDecoder, SplitSequencesWaitForTheirRest) {
    KeyDecoder decoder;
    EXPECT_EQ(decodeAll(decoder, esc + "[5").leftover, 3u);
    EXPECT_EQ(decodeAll(decoder, esc + "[1;5").leftover, 5u);
    decoder.mouseOn = true;
    EXPECT_EQ(decodeAll(decoder, esc + "[<0;12;3").leftover, 9u);
    EXPECT_EQ(keys(esc + "[5~"), std::vector<int>{virtualKey::pageUp});
}

TEST(KeyDecoder, RepliesAndAltEnterAreNoKeys) {
    KeyDecoder decoder;
    auto one = [&](const std::string& text) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
        decoder.stringRepliesDue = true;
        const DecodeStep step = decoder.decode(bytes, text.size(), false, 0);
        EXPECT_EQ(step.used, text.size()) << text.substr(1);
        EXPECT_EQ(step.count, 0) << text.substr(1);
        return step;
    };
    EXPECT_EQ(one(esc + "[0n").reply, TerminalReply::status);
    EXPECT_EQ(one(esc + "P1$r0;38:2::1:2:3m" + esc + "\\").reply, TerminalReply::directColour);
    EXPECT_EQ(one(esc + "P1$r0;38;2;1;2;3m" + esc + "\\").reply, TerminalReply::directColour);
    EXPECT_EQ(one(esc + "P1$r0;38;5;16m" + esc + "\\").reply, TerminalReply::noDirectColour);
    EXPECT_EQ(one(esc + "P0$r" + esc + "\\").reply, TerminalReply::noDirectColour);
    EXPECT_EQ(one(esc + "]11;rgb:0000/0000/0000\x07").reply, TerminalReply::none);
    const DecodeStep size = one(esc + "[8;50;80t");
    EXPECT_EQ(size.reply, TerminalReply::windowSize);
    EXPECT_EQ(size.replyRows, 50);
    EXPECT_EQ(size.replyColumns, 80);
    EXPECT_TRUE(one(esc + "\r").fullScreen);
    // A reply split before its terminator waits for it, and the keys after
    // a reply are keys.
    decoder.stringRepliesDue = true;
    EXPECT_EQ(decodeAll(decoder, esc + "P1$r0m" + esc).leftover, 8u);
    const Decoded after =
        decodeAll(decoder, esc + "P0$r" + esc + "\\" + "x" + esc + "[0n" + esc + "\r" + "y");
    EXPECT_EQ(after.records.size(), 4u) << "x and y, pressed and released";
}

// `ESC P`, `ESC ]` and `ESC _` start a string only where the show asked for
// one; otherwise they are Alt+P, Alt+] and Alt+_, and what follows is keys
// (a terminal that never answers must not swallow keys typed after them).
TEST(KeyDecoder, StringStartsAreAltKeysUnlessAReplyIsDue) {
    // q is the show's other way out, as Escape.
    EXPECT_EQ(keys(esc + "]" + "q"), (std::vector<int>{0xDD, virtualKey::escape}));
    EXPECT_EQ(keys(esc + "P" + "m"), (std::vector<int>{'P', 'M'}));
    EXPECT_EQ(keys(esc + "_" + "m" + esc, true), (std::vector<int>{0xBD, 'M', virtualKey::escape}));
    KeyDecoder decoder;
    decoder.stringRepliesDue = true;
    // Due, but not a reply's start: keys at once.
    EXPECT_EQ(decodeAll(decoder, esc + "Pq").records.size(), 4u);
    // A reply's start waits for its rest, and once the answers are in
    // (the status answer comes last) Alt+P is a key again.
    EXPECT_EQ(decodeAll(decoder, esc + "P1").leftover, 3u);
    decodeAll(decoder, esc + "[0n");
    EXPECT_EQ(decodeAll(decoder, esc + "P1").records.size(), 4u);
}

// Pasted text is dropped, however long, and keys after the paste are keys.
TEST(KeyDecoder, BracketedPasteIsDropped) {
    KeyDecoder decoder;
    const std::string text = "echo pasted\r" + std::string(5000, '\xE9') + esc + "[A" + esc;
    const Decoded whole =
        decodeAll(decoder, esc + "[200~" + text + esc + "[201~" + "q" + esc, true);
    EXPECT_EQ(whole.records.size(), 4u) << "q and Escape";
    EXPECT_FALSE(decoder.inPaste());
    // The end marker split by the link: the paste goes on until it is whole.
    decodeAll(decoder, esc + "[200~abc");
    EXPECT_TRUE(decoder.inPaste());
    EXPECT_EQ(decodeAll(decoder, "def" + esc + "[20").leftover, 4u);
    const Decoded rest = decodeAll(decoder, esc + "[201~x");
    EXPECT_FALSE(decoder.inPaste());
    EXPECT_EQ(rest.records.size(), 2u);
}

TEST(KeyDecoder, BrokenAndUnknownSequencesAreDroppedWithoutEatingWhatFollows) {
    // Cut short by a new Escape: the cut part goes, the next sequence stays whole.
    EXPECT_EQ(keys(esc + "[12" + esc + "[B"), std::vector<int>{virtualKey::down});
    // Replies and keys nobody uses give nothing.
    EXPECT_EQ(keys(esc + "[?1;2c" + esc + "[1;2yx"), std::vector<int>{'X'});
    // A cursor report is not F3.
    EXPECT_EQ(keys(esc + "[12;40R" + esc + "[R"), std::vector<int>{114});
    // An endless sequence is dropped instead of waited on forever.
    KeyDecoder decoder;
    const Decoded endless = decodeAll(decoder, esc + "[" + std::string(100, '1'));
    EXPECT_EQ(endless.leftover, 0u);
    EXPECT_TRUE(endless.records.empty());
    // So is an endless string, also when its last byte may start its terminator
    // (left waiting, it would hold the console's full input buffer until the
    // input went quiet).
    for (const std::string& last : {std::string(), esc}) {
        decoder.stringRepliesDue = true;
        const Decoded string = decodeAll(decoder, esc + "]l" + std::string(200, 'x') + last);
        EXPECT_EQ(string.leftover, 0u);
        EXPECT_TRUE(string.records.empty());
    }
}

TEST(KeyDecoder, MouseReportsAreDroppedUntilMouseInputIsOn) {
    KeyDecoder decoder;
    const Decoded off = decodeAll(decoder, esc + "[<0;5;5M" + "x");
    ASSERT_EQ(off.records.size(), 2u);
    EXPECT_EQ(off.records[0].virtualKeyCode, 'X');
    EXPECT_EQ(off.leftover, 0u);
}

TEST(KeyDecoder, SgrPressDragAndRelease) {
    KeyDecoder decoder = mouseDecoder();
    InputRecord r = mouseRecord(decoder, esc + "[<0;11;21M");
    EXPECT_EQ(r.mouseX, 10);
    EXPECT_EQ(r.mouseY, 20);
    EXPECT_EQ(r.buttonState, mouseButton::left);
    EXPECT_EQ(r.eventFlags, 0u);

    r = mouseRecord(decoder, esc + "[<32;15;22M");
    EXPECT_EQ(r.mouseX, 14);
    EXPECT_EQ(r.mouseY, 21);
    EXPECT_EQ(r.buttonState, mouseButton::left);
    EXPECT_EQ(r.eventFlags, mouseFlag::moved);

    // The right button joins while the left is held; releasing the left keeps it.
    r = mouseRecord(decoder, esc + "[<2;15;22M");
    EXPECT_EQ(r.buttonState, mouseButton::left | mouseButton::right);
    r = mouseRecord(decoder, esc + "[<0;15;22m");
    EXPECT_EQ(r.buttonState, mouseButton::right);
    r = mouseRecord(decoder, esc + "[<2;15;22m");
    EXPECT_EQ(r.buttonState, 0u);

    // Any-motion reports without a button.
    r = mouseRecord(decoder, esc + "[<35;1;1M");
    EXPECT_EQ(r.buttonState, 0u);
    EXPECT_EQ(r.eventFlags, mouseFlag::moved);
}

TEST(KeyDecoder, MousePositionsAreFrameCellsClampedToTheFrame) {
    KeyDecoder decoder = mouseDecoder();
    // Frame centred in a 100 x 56 terminal: its cell (0, 0) is terminal (10, 3).
    decoder.setFrameOrigin(10, 3, 80, 50);
    InputRecord r = mouseRecord(decoder, esc + "[<35;11;4M");
    EXPECT_EQ(r.mouseX, 0);
    EXPECT_EQ(r.mouseY, 0);
    r = mouseRecord(decoder, esc + "[<35;5;1M");
    EXPECT_EQ(r.mouseX, 0);
    EXPECT_EQ(r.mouseY, 0);
    r = mouseRecord(decoder, esc + "[<35;300;400M");
    EXPECT_EQ(r.mouseX, 79);
    EXPECT_EQ(r.mouseY, 49);
    // Cropped in a small terminal: terminal (0, 0) shows frame cell (5, 2).
    decoder.setFrameOrigin(-5, -2, 80, 50);
    r = mouseRecord(decoder, esc + "[<35;1;1M");
    EXPECT_EQ(r.mouseX, 5);
    EXPECT_EQ(r.mouseY, 2);
}

TEST(KeyDecoder, SecondPressOfTheSameButtonWithin500MsIsADoubleClick) {
    KeyDecoder decoder = mouseDecoder();
    const std::string leftPress = esc + "[<0;1;1M";
    const std::string leftRelease = esc + "[<0;1;1m";
    const std::string rightPress = esc + "[<2;1;1M";

    EXPECT_EQ(mouseRecord(decoder, leftPress, 1000).eventFlags, 0u);
    EXPECT_EQ(mouseRecord(decoder, leftRelease, 1100).eventFlags, 0u);
    const InputRecord second = mouseRecord(decoder, leftPress, 1500);
    EXPECT_EQ(second.eventFlags, mouseFlag::doubleClick);
    EXPECT_EQ(second.buttonState, mouseButton::left);
    // A third quick press starts a new pair.
    EXPECT_EQ(mouseRecord(decoder, leftPress, 1600).eventFlags, 0u);
    // Too late by a millisecond.
    EXPECT_EQ(mouseRecord(decoder, leftPress, 2101).eventFlags, 0u);
    // Another button in between breaks the pair.
    EXPECT_EQ(mouseRecord(decoder, rightPress, 2200).eventFlags, 0u);
    EXPECT_EQ(mouseRecord(decoder, leftPress, 2300).eventFlags, 0u);
    EXPECT_EQ(mouseRecord(decoder, rightPress, 2400).eventFlags, 0u);
    EXPECT_EQ(mouseRecord(decoder, rightPress, 2500).eventFlags, mouseFlag::doubleClick);
    // Motion between the presses does not matter, and the clock may wrap.
    EXPECT_EQ(mouseRecord(decoder, leftPress, 0xFFFFFF00u).eventFlags, 0u);
    EXPECT_EQ(mouseRecord(decoder, esc + "[<32;4;4M", 0xFFFFFF80u).eventFlags, mouseFlag::moved);
    EXPECT_EQ(mouseRecord(decoder, leftPress, 100).eventFlags, mouseFlag::doubleClick);
}

TEST(KeyDecoder, OlderX10MouseReports) {
    KeyDecoder decoder = mouseDecoder();
    InputRecord r = mouseRecord(decoder, esc + "[M" + char(32 + 2) + char(33 + 10) + char(33 + 20));
    EXPECT_EQ(r.mouseX, 10);
    EXPECT_EQ(r.mouseY, 20);
    EXPECT_EQ(r.buttonState, mouseButton::right);
    r = mouseRecord(decoder, esc + "[M" + char(32 + 3) + char(33 + 10) + char(33 + 20));
    EXPECT_EQ(r.buttonState, 0u);
    EXPECT_EQ(decodeAll(decoder, esc + "[M" + char(32)).leftover, 4u);
}

TEST(KeyDecoder, WheelKeepsTheHeldButtons) {
    KeyDecoder decoder = mouseDecoder();
    mouseRecord(decoder, esc + "[<0;1;1M");
    const InputRecord r = mouseRecord(decoder, esc + "[<65;1;1M");
    EXPECT_EQ(r.eventFlags, mouseFlag::wheeled);
    EXPECT_EQ(r.buttonState & 0xFFFF, mouseButton::left);
    EXPECT_EQ(static_cast<std::int16_t>(r.buttonState >> 16), -120);
}
