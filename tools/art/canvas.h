#pragma once
// A small software painter: an RGBA canvas onto which shapes are painted with
// anti-aliased edges. Shapes are plain inside/outside tests in pixel
// coordinates (x to the right, y down, pixel (0,0) covering [0,1) x [0,1));
// the coverage of each pixel is measured on a regular grid of sample points,
// which keeps the result exact and identical on every run.

#include <cstdint>
#include <functional>
#include <vector>

namespace vt::art {

// A colour with straight (not premultiplied) alpha, components in [0, 1].
struct colour {
    double r = 0, g = 0, b = 0, a = 1;
};

// 0xRRGGBB, opaque unless told.
constexpr colour rgb(std::uint32_t hex, double alpha = 1.0)
{
    return {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0, alpha};
}

// Linear blend: t = 0 gives a, t = 1 gives b.
colour mix(colour a, colour b, double t);

struct point {
    double x = 0, y = 0;
};

// Inside/outside test of a shape at a point in pixel coordinates.
using shape = std::function<bool(point)>;
// Colour of a fill at a point in pixel coordinates (gradients, patterns).
using shader = std::function<colour(point)>;

// One pixel as stored in the image files: 8 bits per channel, straight alpha.
struct pixel8 {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
};

class canvas {
public:
    // A transparent canvas of width x height pixels; each pixel's coverage
    // is sampled on a samples x samples grid. Shapes and shaders are given in
    // units of scale pixels, so that one drawing makes every size of an
    // image.
    canvas(int width, int height, int samples = 8, double scale = 1);

    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    double scale() const noexcept { return scale_; }

    // Paints the shape in one colour over what is there.
    void fill(const shape& s, colour c);
    // Paints the shape over what is there, each pixel in the shader's colour
    // at the pixel's centre.
    void fill(const shape& s, const shader& paint);

    // The pixel rounded to 8 bits per channel.
    pixel8 pixel(int x, int y) const;

private:
    // Premultiplied colour, so that painting over is a plain weighted sum.
    struct premultiplied {
        double r = 0, g = 0, b = 0, a = 0;
    };
    void blend(int x, int y, colour c, double coverage);
    double coverage(const shape& s, int x, int y) const;

    int width_;
    int height_;
    int samples_;
    double scale_;
    std::vector<premultiplied> pixels_;
};

// Shapes. All coordinates are in pixels of the canvas they are painted on.
namespace shapes {

shape rectangle(double x0, double y0, double x1, double y1);
shape rounded_rectangle(double x0, double y0, double x1, double y1, double radius);
shape ellipse(double cx, double cy, double rx, double ry);
shape circle(double cx, double cy, double r);
// Convex or concave polygon, even-odd rule.
shape polygon(std::vector<point> corners);
// Regular star with `points` tips, first tip pointing `angle` radians
// clockwise from straight up.
shape star(double cx, double cy, double outer, double inner, int points = 5, double angle = 0);
// Thick line between two points with round ends.
shape line(point a, point b, double width);
// Outline of the triangle a, b, c of the given stroke width.
shape triangle_outline(point a, point b, point c, double width);

shape united(shape a, shape b);
shape intersected(shape a, shape b);
shape subtracted(shape a, shape b);

} // namespace shapes

// Shaders.
namespace shaders {

// Straight gradient from `from` at point a to `to` at point b, clamped.
shader linear(point a, point b, colour from, colour to);

} // namespace shaders

} // namespace vt::art
