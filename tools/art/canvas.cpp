#include "tools/art/canvas.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <utility>

namespace vt::art {

colour mix(colour a, colour b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

canvas::canvas(int width, int height, int samples, double scale)
    : width_(width), height_(height), samples_(samples), scale_(scale)
{
    if (width < 1 || height < 1 || samples < 1 || !(scale > 0))
        throw std::invalid_argument("canvas sizes and sample counts must be positive");
    pixels_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
}

double canvas::coverage(const shape& s, int x, int y) const
{
    int inside = 0;
    for (int j = 0; j < samples_; ++j)
        for (int i = 0; i < samples_; ++i)
            if (s({(x + (i + 0.5) / samples_) / scale_, (y + (j + 0.5) / samples_) / scale_}))
                ++inside;
    return static_cast<double>(inside) / (samples_ * samples_);
}

void canvas::blend(int x, int y, colour c, double cover)
{
    const double a = std::clamp(c.a, 0.0, 1.0) * cover;
    if (a <= 0)
        return;
    auto& p = pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)];
    p.r = std::clamp(c.r, 0.0, 1.0) * a + p.r * (1 - a);
    p.g = std::clamp(c.g, 0.0, 1.0) * a + p.g * (1 - a);
    p.b = std::clamp(c.b, 0.0, 1.0) * a + p.b * (1 - a);
    p.a = a + p.a * (1 - a);
}

void canvas::fill(const shape& s, colour c)
{
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            blend(x, y, c, coverage(s, x, y));
}

void canvas::fill(const shape& s, const shader& paint)
{
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            const double cover = coverage(s, x, y);
            if (cover > 0)
                blend(x, y, paint({(x + 0.5) / scale_, (y + 0.5) / scale_}), cover);
        }
}

pixel8 canvas::pixel(int x, int y) const
{
    const auto& p = pixels_.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x));
    auto channel = [](double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    if (p.a <= 0)
        return {};
    // Back to straight alpha, as icon and bitmap files store it.
    return {channel(p.r / p.a), channel(p.g / p.a), channel(p.b / p.a), channel(p.a)};
}

namespace shapes {

shape rectangle(double x0, double y0, double x1, double y1)
{
    return [=](point p) { return p.x >= x0 && p.x < x1 && p.y >= y0 && p.y < y1; };
}

shape rounded_rectangle(double x0, double y0, double x1, double y1, double radius)
{
    return [=](point p) {
        if (p.x < x0 || p.x >= x1 || p.y < y0 || p.y >= y1)
            return false;
        // Distance into the corner square, measured from the corner circle's centre.
        const double dx = std::max({x0 + radius - p.x, p.x - (x1 - radius), 0.0});
        const double dy = std::max({y0 + radius - p.y, p.y - (y1 - radius), 0.0});
        return dx * dx + dy * dy <= radius * radius;
    };
}

shape ellipse(double cx, double cy, double rx, double ry)
{
    return [=](point p) {
        const double u = (p.x - cx) / rx;
        const double v = (p.y - cy) / ry;
        return u * u + v * v <= 1;
    };
}

shape circle(double cx, double cy, double r)
{
    return ellipse(cx, cy, r, r);
}

shape polygon(std::vector<point> corners)
{
    return [corners = std::move(corners)](point p) {
        bool inside = false;
        for (std::size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
            const point a = corners[i];
            const point b = corners[j];
            if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
                inside = !inside;
        }
        return inside;
    };
}

shape star(double cx, double cy, double outer, double inner, int points, double angle)
{
    std::vector<point> corners;
    for (int i = 0; i < points * 2; ++i) {
        const double r = i % 2 == 0 ? outer : inner;
        const double a = angle + i * std::numbers::pi / points;
        corners.push_back({cx + r * std::sin(a), cy - r * std::cos(a)});
    }
    return polygon(std::move(corners));
}

namespace {
double distance_to_segment(point p, point a, point b)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = p.x - (a.x + t * dx);
    const double ey = p.y - (a.y + t * dy);
    return std::sqrt(ex * ex + ey * ey);
}
} // namespace

shape line(point a, point b, double width)
{
    return [=](point p) { return distance_to_segment(p, a, b) <= width / 2; };
}

shape triangle_outline(point a, point b, point c, double width)
{
    return [=](point p) {
        return std::min({distance_to_segment(p, a, b), distance_to_segment(p, b, c), distance_to_segment(p, c, a)})
            <= width / 2;
    };
}

shape united(shape a, shape b)
{
    return [a = std::move(a), b = std::move(b)](point p) { return a(p) || b(p); };
}

shape intersected(shape a, shape b)
{
    return [a = std::move(a), b = std::move(b)](point p) { return a(p) && b(p); };
}

shape subtracted(shape a, shape b)
{
    return [a = std::move(a), b = std::move(b)](point p) { return a(p) && !b(p); };
}

} // namespace shapes

namespace shaders {

shader linear(point a, point b, colour from, colour to)
{
    return [=](point p) {
        const double dx = b.x - a.x;
        const double dy = b.y - a.y;
        const double length2 = dx * dx + dy * dy;
        const double t = length2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0;
        return mix(from, to, t);
    };
}

} // namespace shaders

} // namespace vt::art
