// The console on the page's <canvas id="screen">: changed cells are drawn into
// an RGBA picture in this module's memory and copied to the canvas row by row
// with putImageData. Input comes from the page's event handlers through a
// fixed queue.
#include "platform/web/canvas_cells.h"
#include "platform/web/web_platform.h"

#include <emscripten/emscripten.h>

#include <cstring>

// clang-format off
EM_JS(int, canvasOpen, (int pixelWidth, int pixelHeight), {
    var canvas = document.getElementById("screen");
    if (!canvas || !canvas.getContext)
        return 0;
    // Setting the size clears the canvas: a new show keeps the last frame
    // of the one before until its own first frame.
    if (canvas.width !== pixelWidth || canvas.height !== pixelHeight) {
        canvas.width = pixelWidth;
        canvas.height = pixelHeight;
    }
    var context = canvas.getContext("2d", {alpha: false});
    if (!context)
        return 0;
    Module.screen = {canvas: canvas, context: context, image: null};
    return 1;
});
EM_JS(void, canvasAttach, (const unsigned char* pixels, int pixelWidth, int pixelHeight), {
    // A view of this module's memory, which never grows, so it stays valid.
    var bytes = new Uint8ClampedArray(HEAPU8.buffer, pixels, pixelWidth * pixelHeight * 4);
    Module.screen.image = new ImageData(bytes, pixelWidth, pixelHeight);
});
EM_JS(void, canvasBlit, (int x, int y, int w, int h), {
    var screen = Module.screen;
    screen.context.putImageData(screen.image, 0, 0, x, y, w, h);
});
// The page shows the show's title while it plays and its own otherwise.
EM_JS(void, pageSetTitle, (const char* title), {
    if (Module.setShowTitle)
        Module.setShowTitle(UTF8ToString(title));
    else
        document.title = UTF8ToString(title);
});
// clang-format on

namespace {

class CanvasConsole : public ConsoleBackend {
  public:
    bool open(const char* title, int width, int height) override {
        reason = nullptr;
        if (!cells.reset(width, height)) {
            reason = "the picture size is not possible";
            return false;
        }
        if (!canvasOpen(cells.pixelWidth(), cells.pixelHeight())) {
            reason = "the page has no canvas to draw on";
            return false;
        }
        canvasAttach(cells.pixels(), cells.pixelWidth(), cells.pixelHeight());
        queue.clear();
        mouseOn = false;
        isOpen = true;
        shownTitle[0] = '\0';
        setTitle(title);
        return true;
    }

    bool present(const Cell* frame, int width, int height) override {
        if (!isOpen || width * CanvasCells::cellWidth != cells.pixelWidth() ||
            height * CanvasCells::cellHeight != cells.pixelHeight())
            return false;
        cells.update(frame, [](int x, int y, int w, int h) { canvasBlit(x, y, w, h); });
        return true;
    }

    // Mouse records are passed over while mouse input is off. They are
    // judged here rather than when queued, so that a mouse record queued
    // behind the key that switches the mouse on (within one frame) counts.
    bool readInput(InputRecord& record) override {
        while (queue.pop(record)) {
            if (record.eventType != InputRecord::mouseEvent || mouseOn)
                return true;
        }
        return false;
    }

    void setMouseInput(bool on) override { mouseOn = on; }
    // The overlay sets the title every frame, but its text changes only a few
    // times a second: the page's title is written only when it changes.
    void setTitle(const char* title) override {
        if (std::strncmp(title, shownTitle, sizeof shownTitle) == 0)
            return;
        std::strncpy(shownTitle, title, sizeof shownTitle - 1);
        pageSetTitle(title);
    }
    void close() override {
        isOpen = false;
        queue.clear();
    }
    const char* failureReason() const override { return reason; }

    // Everything is dropped once the queue is full (a frame drains it, so
    // only a stalled page fills it).
    void push(const InputRecord& record) {
        if (isOpen)
            queue.push(record);
    }

  private:
    CanvasCells cells;
    InputQueue<256> queue;
    bool mouseOn = false;
    bool isOpen = false;
    const char* reason = nullptr;
    char shownTitle[128] = {};
};

CanvasConsole& console() {
    static CanvasConsole instance;
    return instance;
}

} // namespace

ConsoleBackend& canvasConsole() {
    return console();
}

void queueCanvasInput(const InputRecord& record) {
    console().push(record);
}
