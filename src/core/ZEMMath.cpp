#include <zem/core/ZEMMath.h>

#include <cmath>

namespace ZEM {

bool Equalf(float a, float b, float epsilon) {
    float d = a - b;
    return -epsilon < d && d < epsilon;
}

bool Equald(double a, double b, double epsilon) {
    double d = a - b;
    return -epsilon < d && d < epsilon;
}

float Angle2PI(float angle) {
    // Far outside the circle, whole turns are removed at once so that the loops stay short. One
    // turn is left on the same side of 0, so that the loops end where they would have: a positive
    // whole number of turns at 360, a negative one at 0.
    if (std::fabs(angle) > 36000.0f)
        angle = std::fmod(angle, 360.0f) + (angle > 0.0f ? 360.0f : -360.0f);
    while (angle < 0.0f)
        angle += 360.0f;
    while (angle > 360.0f)
        angle -= 360.0f;
    return angle;
}

float VectorAngle(float x1, float y1, float x2, float y2) {
    const float tolerance = 0.0001f;
    float dx = x2 - x1;
    float dy = y2 - y1;
    if (Equalf(dx, 0.0f, tolerance)) return y2 >= y1 ? 90.0f : 270.0f;
    if (Equalf(dy, 0.0f, tolerance)) return x2 >= x1 ? 0.0f : 180.0f;
    float r = std::fabs(std::atan(dy / dx)) * 57.29578f;
    if (x1 < x2) return y1 < y2 ? r : 360.0f - r;
    return y1 < y2 ? 180.0f - r : 180.0f + r;
}

float AngleDiff(float a, float b) {
    float d = b - a;
    if (d < -180.0f) return d + 360.0f;
    if (d > 180.0f) return d - 360.0f;
    return d;
}

} // namespace ZEM
