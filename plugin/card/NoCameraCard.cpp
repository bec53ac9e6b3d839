// Draws the filter's placeholder picture, a "no camera" card: a light camera outline crossed out
// by a red bar on a dark card, at the camera's frame size. Run at build time:
//   no-camera-card <output.png>
#include "channel/SharedCameraFormat.h"

#include <cmath>
#include <cstdio>
#include <png.h>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = SharedCamera::kFrameWidth;
constexpr int kHeight = SharedCamera::kFrameHeight;
constexpr int kSamples = 4; // per axis, for smooth edges

struct Colour {
    double r, g, b;
};
constexpr Colour kCard{0x1E, 0x22, 0x28};
constexpr Colour kGlyph{0xC8, 0xCC, 0xD2};
constexpr Colour kSlash{0xD8, 0x3A, 0x34};

double RoundedBoxDistance(double x, double y, double cx, double cy, double hw, double hh,
                          double radius) {
    const double dx = std::fabs(x - cx) - (hw - radius);
    const double dy = std::fabs(y - cy) - (hh - radius);
    return std::hypot(std::fmax(dx, 0), std::fmax(dy, 0)) + std::fmin(std::fmax(dx, dy), 0) -
           radius;
}

// What covers a point: 0 card, 1 glyph, 2 slash.
int Layer(double x, double y) {
    // The slash: a bar from upper left to lower right across the glyph.
    const double ux = 1 / std::sqrt(2.0), uy = 1 / std::sqrt(2.0);
    const double px = x - 320, py = y - 240;
    const double along = px * ux + py * uy, across = -px * uy + py * ux;
    if (std::fabs(across) < 14 && std::fabs(along) < 190) return 2;
    // The camera: an outlined body with a lens ring and a viewfinder bump on top.
    const double body = RoundedBoxDistance(x, y, 320, 255, 140, 90, 22);
    const double bump = RoundedBoxDistance(x, y, 320, 158, 45, 20, 8);
    const double lens = std::hypot(x - 320, y - 255) - 52;
    if (std::fabs(body) < 9 || (bump < 0 && body > 0) || std::fabs(lens) < 9) return 1;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: no-camera-card <output.png>\n");
        return 64;
    }
    const Colour colours[] = {kCard, kGlyph, kSlash};
    std::vector<unsigned char> rgb(size_t(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            Colour sum{0, 0, 0};
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Colour& c =
                        colours[Layer(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples)];
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                }
            unsigned char* p = &rgb[(size_t(y) * kWidth + x) * 3];
            constexpr double kCount = kSamples * kSamples;
            p[0] = static_cast<unsigned char>(std::lround(sum.r / kCount));
            p[1] = static_cast<unsigned char>(std::lround(sum.g / kCount));
            p[2] = static_cast<unsigned char>(std::lround(sum.b / kCount));
        }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kHeight;
    image.format = PNG_FORMAT_RGB;
    // Written aside and renamed, so that a failed run leaves no half picture behind.
    const std::string part = std::string(argv[1]) + ".part";
    if (!png_image_write_to_file(&image, part.c_str(), 0, rgb.data(), 0, nullptr) ||
        std::rename(part.c_str(), argv[1]) != 0) {
        std::fprintf(stderr, "no-camera-card: %s: %s\n", argv[1], image.message);
        std::remove(part.c_str());
        return 1;
    }
    return 0;
}
