// The show's frames are mostly shade glyphs and cursor moves, which compress
// about five times: over a link of a few hundred kilobits, ssh's compression
// turns 2-5 frames a second into 12-25 (bench/link).
#include "link_note.h"

#include <cstdio>

namespace {

// Below this many frames a second the picture jerks visibly.
constexpr double slowFramesPerSecond = 10.0;
// Long enough for the rate to say something about the link.
constexpr double shortestShowSeconds = 20.0;

} // namespace

std::string slowLinkNote(const LinkFigures& figures, bool overSsh) {
    if (!overSsh || figures.seconds < shortestShowSeconds)
        return "";
    const double perSecond = figures.framesSent / figures.seconds;
    // Frames held back outnumber those sent: the link, not the show, set the pace.
    if (perSecond >= slowFramesPerSecond || figures.framesHeld <= figures.framesSent)
        return "";
    const long frames = perSecond < 1.5 ? 1 : static_cast<long>(perSecond + 0.5);
    char text[200];
    std::snprintf(text, sizeof(text),
                  "The link carried %ld frame%s a second of the show. Compressed (ssh -C), a "
                  "slow link carries two to five times as many.",
                  frames, frames == 1 ? "" : "s");
    return text;
}
