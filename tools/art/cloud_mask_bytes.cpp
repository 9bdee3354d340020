// The cloud mask's byte map (resource 106): the word DREAM in round, soft-edged strokes. Shapes are
// drawn in screen pixels (a cell is 9 x 16) so strokes are as thick across as down, and each
// stroke's edge is a smooth ramp, so the cloud fades in over a few cells. The word starts right
// after the title and ends before the scene's last column.
#include "byte_maps.h"

#include "imaging/det_math.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double cellWidth = 9.0;
constexpr double cellHeight = 16.0;

struct Point {
    double x, y;
};

// Screen pixels of the word's box: columns 118 to 336, rows 6 to 44. The dark
// backdrop gives way to the light one at column 160, between the D and the R.
constexpr double wordLeft = 118.0 * cellWidth;
constexpr double wordTop = 6.0 * cellHeight;
constexpr double letterHeight = 38.0 * cellHeight;
constexpr double letterWidth = 37.0 * cellWidth;
constexpr double letterGap = 5.0 * cellWidth;
constexpr double strokeRadius = 60.0;
constexpr double edgeSoftness = 34.0;

double segmentDistance(Point p, Point a, Point b) {
    const double vx = b.x - a.x, vy = b.y - a.y;
    const double wx = p.x - a.x, wy = p.y - a.y;
    const double length2 = vx * vx + vy * vy;
    const double t = length2 > 0 ? std::clamp((wx * vx + wy * vy) / length2, 0.0, 1.0) : 0.0;
    const double dx = wx - t * vx, dy = wy - t * vy;
    return std::sqrt(dx * dx + dy * dy);
}

// Strokes as polylines in letter units (0..1 across the letter box, 0..1
// down), with an elliptic arc helper.
struct Stroke {
    std::vector<Point> points;
};

void arc(Stroke& s, Point centre, double rx, double ry, double from, double to) {
    const int steps = 24;
    for (int i = 0; i <= steps; ++i) {
        const double a = from + (to - from) * i / steps;
        s.points.push_back({centre.x + rx * detmath::cos(a), centre.y + ry * detmath::sin(a)});
    }
}

// Letter strokes, inset so that a stroke's outer edge meets the letter box.
std::vector<Stroke> letterStrokes(char letter, double widthScale) {
    const double ix = strokeRadius / (letterWidth * widthScale);
    const double iy = strokeRadius / letterHeight;
    const double l = ix, r = 1 - ix, t = iy, b = 1 - iy;
    const double half = detmath::pi / 2;
    std::vector<Stroke> strokes;
    switch (letter) {
    case 'D': {
        Stroke s{{{l, t}, {l, b}}};
        Stroke bowl{{{l, t}}};
        arc(bowl, {0.42, 0.5}, r - 0.42, 0.5 - t, -half, half);
        bowl.points.push_back({l, b});
        strokes = {s, bowl};
        break;
    }
    case 'R': {
        const double mid = 0.54;
        Stroke s{{{l, b}, {l, t}}};
        Stroke bowl{{{l, t}}};
        arc(bowl, {0.5, (t + mid) / 2}, r - 0.5, (mid - t) / 2, -half, half);
        bowl.points.push_back({l, mid});
        Stroke leg{{{0.45, mid}, {r, b}}};
        strokes = {s, bowl, leg};
        break;
    }
    case 'E':
        strokes = {{{{r, t}, {l, t}, {l, b}, {r, b}}}, {{{l, 0.5}, {r - 0.12, 0.5}}}};
        break;
    case 'A':
        strokes = {{{{l, b}, {0.5, t}, {r, b}}}, {{{0.26, 0.68}, {0.74, 0.68}}}};
        break;
    case 'M':
        strokes = {{{{l, b}, {l, t}, {0.5, 0.62}, {r, t}, {r, b}}}};
        break;
    default:
        break;
    }
    return strokes;
}

// Distance in screen pixels from p to the strokes of the word.
double wordDistance(Point p) {
    static const char word[] = "DREAM";
    double best = 1e9;
    double left = wordLeft;
    for (const char letter : word) {
        if (!letter)
            break;
        const double widthScale = letter == 'M' ? 1.22 : letter == 'A' ? 1.14 : 1.0;
        const double w = letterWidth * widthScale;
        for (const Stroke& s : letterStrokes(letter, widthScale)) {
            for (std::size_t i = 0; i + 1 < s.points.size(); ++i) {
                const Point a{left + s.points[i].x * w, wordTop + s.points[i].y * letterHeight};
                const Point b{left + s.points[i + 1].x * w,
                              wordTop + s.points[i + 1].y * letterHeight};
                best = std::min(best, segmentDistance(p, a, b));
            }
        }
        left += w + letterGap;
    }
    return best;
}

double smoothEdge(double distance, double radius, double softness) {
    const double t = std::clamp((radius + softness - distance) / (2 * softness), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

} // namespace

std::vector<std::uint8_t> drawCloudMaskBytes() {
    std::vector<std::uint8_t> bytes(cloudMaskWidth * cloudMaskHeight, 0);
    for (int y = 0; y < cloudMaskHeight; ++y) {
        for (int x = 0; x < cloudMaskWidth; ++x) {
            const Point p{(x + 0.5) * cellWidth, (y + 0.5) * cellHeight};
            const double alpha = smoothEdge(wordDistance(p), strokeRadius, edgeSoftness);
            bytes[y * cloudMaskWidth + x] =
                static_cast<std::uint8_t>(std::floor(alpha * 255.0 + 0.5));
        }
    }
    return bytes;
}
