// The note after a show seen over a slow remote link: how many frames a
// second reached the viewer, and that compression would carry more. Pure.
#pragma once

#include <cstdint>
#include <string>

// What the frames met on their way: how long the terminal was held, the frames
// that went out, and the frames held back because the link was still busy.
struct LinkFigures {
    double seconds = 0;
    std::uint32_t framesSent = 0;
    std::uint32_t framesHeld = 0;
};

// The note, or "" when there is nothing to say: a local terminal, a short
// show, a link that kept up, or a show that had little to draw.
std::string slowLinkNote(const LinkFigures& figures, bool overSsh);
