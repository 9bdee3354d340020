// The authoring controls: keys and mouse drain the input queue each frame; the
// title line and the column read-outs are drawn after the scenes.
#include "demo.h"

#include "scenes/console_grid.h"
#include "timeline/strip.h"

#include <cstdio>

namespace {

// Steps are in frames, not seconds: each event moves by this many frame times.
constexpr float pageStepFrames = 200.0f;
constexpr float arrowStepFrames = 20.0f;
constexpr float markerLeadSeconds = 4.0f;

constexpr std::uint16_t labelAttribute = 240;      // black on bright white
constexpr std::uint16_t helpAttribute = 0x1F;      // bright white on blue
constexpr std::uint16_t helpTitleAttribute = 0x1E; // yellow on blue

bool isHelpKey(std::uint16_t code) {
    return code == virtualKey::questionMark || code == virtualKey::f1;
}

// The key list between its top and bottom borders, in code page 437: each
// line is helpWidth cells wide, a double line at either end.
constexpr int helpWidth = 58;
const char* const helpLines[] = {
    "\xBA Escape         end the show                            \xBA",
    "\xBA Space          time and frame rate in the title, mouse \xBA",
    "\xBA Page Up/Down   pause and step about 2 s forward/back   \xBA",
    "\xBA Right/Left     pause and step about 0.2 s forward/back \xBA",
    "\xBA Home           pause at the start                      \xBA",
    "\xBA Down           pause 4 s before the marker (87 s)      \xBA",
    "\xBA Up             play on                                 \xBA",
    "\xBA N / M          sound off / on                          \xBA",
    "\xBA Mouse (Space)  left: pause, drag, read-out; right: pin \xBA",
    "\xBA ? or F1        this list, until the next key           \xBA",
};
constexpr int helpLineCount = static_cast<int>(sizeof helpLines / sizeof helpLines[0]);

// A double-line border of the key list's width between two corners.
void fillBorder(char (&border)[helpWidth + 1], char leftCorner, char rightCorner) {
    for (char& c : border)
        c = '\xCD';
    border[0] = leftCorner;
    border[helpWidth - 1] = rightCorner;
    border[helpWidth] = '\0';
}

// The strip column at the screen's left edge counted from the marker's column:
// the columns the read-outs name are the ones the strip draws under the mouse.
int markerRelativeLeftColumn(float t, float markerTime) {
    return stripLeftColumn(t) - stripLeftColumn(markerTime);
}

} // namespace

bool Demo::handleInput() {
    InputRecord record;
    while (console.readInput(record)) {
        if (record.eventType == InputRecord::keyEvent) {
            // Escape ends at once; anything queued behind it stays unhandled.
            if (record.virtualKeyCode == virtualKey::escape)
                return false;
            // A press of ? or F1 shows the key list; the next press of any
            // other key hides it and does what that key does. Releases leave it.
            if (record.keyDown)
                ui.helpOn = isHelpKey(record.virtualKeyCode);
            handleKey(record.virtualKeyCode);
        } else if (record.eventType == InputRecord::mouseEvent) {
            handleMouse(record);
        }
    }
    return true;
}

// Acts on the key code alone: a press and its release each act. Every seek
// pauses; a step back stops at the start.
void Demo::handleKey(std::uint16_t code) {
    const float t = clock.t;
    const float dt = clock.dt;
    const auto pauseAt = [this](float v) {
        clock.setPaused(true);
        clock.seek(v);
    };
    const auto notBeforeStart = [](float v) { return v > 0 ? v : 0.0f; };
    switch (code) {
    case virtualKey::space:
        ui.overlayOn = true;
        console.setMouseInput(true);
        ui.smoothedFps = dt > 0 ? 1.0f / dt : 100.0f;
        break;
    case virtualKey::pageUp:
        pauseAt(t + dt * pageStepFrames);
        break;
    case virtualKey::pageDown:
        pauseAt(notBeforeStart(t - dt * pageStepFrames));
        break;
    case virtualKey::home:
        pauseAt(0);
        break;
    case virtualKey::left:
        pauseAt(notBeforeStart(t - dt * arrowStepFrames));
        break;
    case virtualKey::up:
        clock.setPaused(false);
        break;
    case virtualKey::right:
        pauseAt(t + dt * arrowStepFrames);
        break;
    case virtualKey::down:
        pauseAt(ui.markerTime - markerLeadSeconds);
        break;
    case virtualKey::m:
        clock.setSilent(false);
        break;
    case virtualKey::n:
        clock.setSilent(true);
        break;
    default:
        break;
    }
}

void Demo::handleMouse(const InputRecord& record) {
    ui.mouseColumn = record.mouseX;
    ui.mouseRow = record.mouseY;
    const bool isDoubleClick = (record.eventFlags & mouseFlag::doubleClick) != 0;
    if (record.buttonState & mouseButton::left) {
        if (isDoubleClick) {
            ui.leftLabelOn = false;
            clock.setPaused(false);
        } else {
            ui.leftLabelOn = true;
            clock.setPaused(true);
        }
        if (!ui.dragging) {
            ui.dragging = true;
            ui.dragAnchorColumn = stripLeftColumn(shownTime()) + ui.mouseColumn;
        } else {
            // The grabbed strip column stays under the mouse: moving right goes back in time.
            clock.seek(
                static_cast<float>(static_cast<float>(ui.dragAnchorColumn - ui.mouseColumn) * 0.1));
        }
    } else {
        ui.dragging = false;
    }
    if (record.buttonState & mouseButton::right) {
        if (isDoubleClick) {
            ui.pinnedLabelOn = false;
        } else {
            ui.pinnedLabelOn = true;
            ui.pinnedColumn = markerRelativeLeftColumn(shownTime(), ui.markerTime) + ui.mouseColumn;
            ui.pinnedRow = ui.mouseRow;
        }
    }
}

void Demo::updateTitle() {
    if (!ui.overlayOn)
        return;
    const float r = 1.0f / clock.dt;
    // A rate outside (0, 100) counts as 100.
    if (r > 0 && r < 100)
        ui.smoothedFps = static_cast<float>(ui.smoothedFps * 0.99 + r * 0.01);
    else
        ui.smoothedFps = static_cast<float>(ui.smoothedFps * 0.99 + 1.0);
    char title[64];
    std::snprintf(title, sizeof title, "Tempus %.1f est, et FPS %.1f.",
                  static_cast<double>(shownTime()), static_cast<double>(ui.smoothedFps));
    console.setTitle(title);
}

void Demo::drawColumnLabels() {
    // Marker-relative strip column at the left edge of the picture drawn.
    const int k = markerRelativeLeftColumn(shownTime(), ui.markerTime);
    char text[64];
    if (ui.leftLabelOn) {
        std::snprintf(text, sizeof text, "\xC5(%i,%i)", k + ui.mouseColumn, ui.mouseRow);
        console.drawText(text, labelAttribute, ui.mouseColumn, ui.mouseRow);
    }
    if (ui.pinnedLabelOn) {
        std::snprintf(text, sizeof text, "\xC5(%i,%i)", ui.pinnedColumn, ui.pinnedRow);
        console.drawText(text, labelAttribute, ui.pinnedColumn - k, ui.pinnedRow);
    }
}

void Demo::drawHelp() {
    if (!ui.helpOn)
        return;
    const int left = (consoleColumns - helpWidth) / 2;
    const int top = (consoleRows - helpLineCount - 2) / 2;
    char border[helpWidth + 1];
    fillBorder(border, '\xC9', '\xBB');
    console.drawText(border, helpAttribute, left, top);
    console.drawText(" Keys ", helpTitleAttribute, left + 3, top);
    for (int line = 0; line < helpLineCount; ++line)
        console.drawText(helpLines[line], helpAttribute, left, top + 1 + line);
    fillBorder(border, '\xC8', '\xBC');
    console.drawText(border, helpAttribute, left, top + 1 + helpLineCount);
}
