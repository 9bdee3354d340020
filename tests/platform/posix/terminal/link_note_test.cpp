// The note after a slow remote link: said only over ssh, after a show long
// enough to judge, when the link and not the show set a slow pace.
#include "platform/posix/terminal/link_note.h"

#include <gtest/gtest.h>

TEST(SlowLinkNote, SaidOnlyWhenARemoteLinkHeldTheShowBack) {
    // 200 ms and 256 kbit: about 4 frames a second, most frames held back.
    const LinkFigures slow{60.0, 250, 5000};
    const std::string note = slowLinkNote(slow, true);
    EXPECT_NE(note.find("carried 4 frames a second"), std::string::npos) << note;
    EXPECT_NE(note.find("ssh -C"), std::string::npos) << note;

    EXPECT_EQ(slowLinkNote(slow, false), "") << "a local terminal";
    EXPECT_EQ(slowLinkNote(LinkFigures{10.0, 40, 900}, true), "") << "too short to judge";
    EXPECT_EQ(slowLinkNote(LinkFigures{60.0, 2000, 4000}, true), "") << "33 frames a second";
    EXPECT_EQ(slowLinkNote(LinkFigures{60.0, 250, 100}, true), "") << "a paused show";
    EXPECT_EQ(slowLinkNote(LinkFigures{}, true), "") << "never opened";
    // Under one frame a second reads as one, never as 0.
    EXPECT_NE(slowLinkNote(LinkFigures{100.0, 20, 5000}, true).find("carried 1 frame a second"),
              std::string::npos);
}
