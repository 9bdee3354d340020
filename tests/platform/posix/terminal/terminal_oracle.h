// A real terminal emulator (libvterm) in the test process: the terminal tests
// feed it what the program writes and read back the screen and the modes.
#pragma once

#include "imaging/non_copyable.h"

#include <vterm.h>

#include <cstdint>
#include <string>

class TerminalOracle : NonCopyable {
  public:
    TerminalOracle(int rows, int columns) {
        vt = vterm_new(rows, columns);
        vterm_set_utf8(vt, 1);
        screen = vterm_obtain_screen(vt);
        vterm_screen_enable_altscreen(screen, 1);
        callbacks.settermprop = &TerminalOracle::onProperty;
        vterm_screen_set_callbacks(screen, &callbacks, this);
        vterm_screen_reset(screen, 1);
    }
    ~TerminalOracle() { vterm_free(vt); }

    void feed(const std::string& bytes) { vterm_input_write(vt, bytes.data(), bytes.size()); }
    void resize(int rows, int columns) { vterm_set_size(vt, rows, columns); }

    VTermScreenCell cell(int row, int column) const {
        VTermScreenCell c{};
        vterm_screen_get_cell(screen, VTermPos{row, column}, &c);
        return c;
    }
    // Where the cursor is: {row, column}, from 0.
    VTermPos cursor() const {
        VTermPos pos{};
        vterm_state_get_cursorpos(vterm_obtain_state(vt), &pos);
        return pos;
    }
    // The code point shown; erased cells read as 0.
    std::uint32_t glyph(int row, int column) const { return cell(row, column).chars[0]; }

    bool altScreen = false;
    bool cursorVisible = true;
    int mouse = 0;
    std::string title;

  private:
    static int onProperty(VTermProp property, VTermValue* value, void* user) {
        auto* self = static_cast<TerminalOracle*>(user);
        switch (property) {
        case VTERM_PROP_ALTSCREEN:
            self->altScreen = value->boolean != 0;
            break;
        case VTERM_PROP_CURSORVISIBLE:
            self->cursorVisible = value->boolean != 0;
            break;
        case VTERM_PROP_MOUSE:
            self->mouse = value->number;
            break;
        case VTERM_PROP_TITLE:
            self->title = value->string != nullptr ? value->string : "";
            break;
        default:
            break;
        }
        return 1;
    }

    VTerm* vt;
    VTermScreen* screen;
    VTermScreenCallbacks callbacks{};
};
