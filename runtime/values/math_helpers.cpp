// Math commands in the game's units: angles in degrees, remainders that never trap, box overlap
// and the min/max forms.
#include "runtime/values/math_helpers.h"

#include <algorithm>
#include <cmath>

#include "runtime/values/truncate.h"

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kDegreesPerRadian = 57.29577951308232;

// The pixels a box covers on one axis: x to x + w - 1 for w > 0, x alone for w = 0, and
// x + w + 1 to x for w < 0. In 64 bits, so x + w cannot overflow.
struct Span {
    int64_t first;
    int64_t last;
};

Span box_span(int32_t x, int32_t w) {
    const int64_t start = x;
    if (w > 0) return {start, start + w - 1};
    if (w < 0) return {start + w + 1, start};
    return {start, start};
}

bool spans_meet(Span p, Span q) { return std::max(p.first, q.first) <= std::min(p.last, q.last); }

}  // namespace

double math_sin(double degrees) { return std::sin(degrees * kRadiansPerDegree); }
double math_cos(double degrees) { return std::cos(degrees * kRadiansPerDegree); }
double math_tan(double degrees) { return std::tan(degrees * kRadiansPerDegree); }
double math_atan2(double y, double x) { return std::atan2(y, x) * kDegreesPerRadian; }

double math_asin(double x) {
    if (x >= 1) return 90;
    if (x <= -1) return -90;
    return std::asin(x) * kDegreesPerRadian;
}

double math_acos(double x) {
    if (x >= 1) return 0;
    if (x <= -1) return 180;
    return std::acos(x) * kDegreesPerRadian;
}

double math_sqrt(double x) { return std::sqrt(x); }
double math_pow(double base, double exponent) { return std::pow(base, exponent); }
double math_fmod(double x, double y) { return y == 0 ? 0 : std::fmod(x, y); }

int32_t math_mod(int32_t a, int32_t b) {
    // b = -1 always gives 0, and INT32_MIN % -1 would trap.
    if (b == 0 || b == -1) return 0;
    return a % b;
}

double math_abs(double x) { return std::fabs(x); }

// INT32_MIN has no positive counterpart: it saturates to INT32_MAX.
int32_t math_abs(int32_t x) { return x >= 0 ? x : (x == INT32_MIN ? INT32_MAX : -x); }

int32_t math_boxes_overlap(int32_t x1, int32_t y1, int32_t w1, int32_t h1, int32_t x2, int32_t y2, int32_t w2,
                           int32_t h2) {
    return spans_meet(box_span(x1, w1), box_span(x2, w2)) && spans_meet(box_span(y1, h1), box_span(y2, h2)) ? 1 : 0;
}

int32_t math_min(int32_t a, int32_t b) { return a < b ? a : b; }
double math_min(double a, double b) { return a < b ? a : b; }
int32_t math_max(int32_t a, int32_t b) { return a > b ? a : b; }
double math_max(double a, double b) { return a > b ? a : b; }
int32_t math_max(int32_t a, double b) { return math_max(a, rt::truncate_to_int32(b)); }
