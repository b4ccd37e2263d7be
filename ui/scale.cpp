#include "ui/scale.h"

namespace ui {
namespace {

// Fraction a/b rounded to nearest, halves up (b > 0): floor(a/b + 1/2).
int32_t RoundDiv(int64_t a, int64_t b) {
    const int64_t n = 2 * a + b, d = 2 * b;
    return static_cast<int32_t>(n / d - ((n % d != 0 && n < 0) ? 1 : 0));
}

bool Less(const Scale& a, const Scale& b) {
    return static_cast<int64_t>(a.num) * b.den < static_cast<int64_t>(b.num) * a.den;
}

} // namespace

int32_t Scale::ToDevice(int32_t logical) const {
    if (IsIdentity()) return logical;
    return RoundDiv(static_cast<int64_t>(logical) * num, den);
}

int32_t Scale::ToLogical(int32_t device) const {
    if (IsIdentity()) return device;
    // The largest logical pixel whose device span starts at or before the
    // device pixel: ToDevice(l) <= device  <=>  l < (device + 1/2) * den / num.
    int64_t a = (2 * static_cast<int64_t>(device) + 1) * den, b = 2 * static_cast<int64_t>(num);
    int64_t ceil = a / b + ((a % b != 0 && a > 0) ? 1 : 0);
    return static_cast<int32_t>(ceil - 1);
}

Rect Scale::ToDevice(const Rect& logical) const {
    Rect r;
    r.left = ToDevice(logical.left);
    r.top = ToDevice(logical.top);
    r.width = ToDevice(logical.left + logical.width) - r.left;
    r.height = ToDevice(logical.top + logical.height) - r.top;
    return r;
}

Point Scale::ToDevice(Point logical) const {
    Point p;
    p.x = ToDevice(logical.x);
    p.y = ToDevice(logical.y);
    return p;
}

Point Scale::ToLogical(Point device) const {
    Point p;
    p.x = ToLogical(device.x);
    p.y = ToLogical(device.y);
    return p;
}

Scale FitScale(int32_t dpi, const Rect& workArea, int32_t width, int32_t height) {
    Scale s;
    if (dpi > 0) s = Scale{dpi, kBaseDpi};
    if (workArea.width > 0 && width > 0) {
        Scale across{workArea.width, width};
        if (Less(across, s)) s = across;
    }
    if (workArea.height > 0 && height > 0) {
        Scale down{workArea.height, height};
        if (Less(down, s)) s = down;
    }
    if (Less(s, kSmallestScale)) s = kSmallestScale;
    return s;
}

Point PlaceIn(const Rect& workArea, int32_t width, int32_t height) {
    Point p = CentreIn(workArea, width, height);
    if (width > workArea.width) p.x = workArea.left;
    if (height > workArea.height) p.y = workArea.top;
    return p;
}

Point KeepInside(const Rect& window, const Rect& workArea) {
    Point p;
    p.x = window.left;
    p.y = window.top;
    const int64_t right = static_cast<int64_t>(workArea.left) + workArea.width;
    const int64_t bottom = static_cast<int64_t>(workArea.top) + workArea.height;
    if (p.x + static_cast<int64_t>(window.width) > right) p.x = static_cast<int32_t>(right - window.width);
    if (p.y + static_cast<int64_t>(window.height) > bottom) p.y = static_cast<int32_t>(bottom - window.height);
    if (p.x < workArea.left) p.x = workArea.left;
    if (p.y < workArea.top) p.y = workArea.top;
    return p;
}

} // namespace ui
