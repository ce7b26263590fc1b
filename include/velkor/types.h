// Value types shared by the library and its host: vectors, rotations and colours.
// Plain values without heap storage; the arithmetic below is single precision and evaluated in
// the order written (the build forbids contraction), so results are the same on every build.
#pragma once

#include <cstdint>

namespace VadiZov {

struct float3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;

    float3() = default;
    constexpr float3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    float3 operator+(const float3& b) const { return float3(x + b.x, y + b.y, z + b.z); }
    float3 operator-(const float3& b) const { return float3(x - b.x, y - b.y, z - b.z); }
    float3 operator*(const float3& b) const { return float3(x * b.x, y * b.y, z * b.z); }
    float3 operator/(const float3& b) const { return float3(x / b.x, y / b.y, z / b.z); }
    float3 operator*(float s) const { return float3(x * s, y * s, z * s); }
    float3 operator-() const;  // flips the sign bits, so 0 becomes -0
    float3& operator+=(const float3& b) { x += b.x; y += b.y; z += b.z; return *this; }
    float3& operator-=(const float3& b) { x -= b.x; y -= b.y; z -= b.z; return *this; }

    float dot(const float3& b) const { return (x * b.x + y * b.y) + z * b.z; }
    float squaredLength() const { return (x * x + y * y) + z * z; }
    float length() const;
    float3 cross(const float3& b) const { return float3(y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x); }
    float distance(const float3& b) const;  // reciprocal-square-root estimate, ~12 bits
    void normalize();
    void scale(float s) { x *= s; y *= s; z *= s; }
    float3 scaleCopy(float s) const { return float3(x * s, y * s, z * s); }
    float3 toRadians() const;
    float3 getPerpendicularVector() const;
    // Text "(x, y, z)" with trailing zeros trimmed, cut at 63 characters, in a per-thread buffer
    // valid until the next call on the same thread.
    const char* toString() const;
};

// The host-side vector: the same layout as float3, no operations.
struct Vector3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

struct Quaternion {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;

    Quaternion() = default;
    constexpr Quaternion(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    // Rotation about axis by angleDegrees; the axis is not normalised.
    static Quaternion fromAngleAxis(float angleDegrees, const float3& axis);

    float3 rotateVector(const float3& v) const;
    float normalize();  // returns the squared norm before normalising
    Quaternion inverse() const;
    const char* toString() const;  // "(w, x, y, z)", trimmed and cut like float3's, per-thread buffer
};

struct color {
    uint8_t r = 0, g = 0, b = 0, a = 0;
};

static_assert(sizeof(float3) == 12 && sizeof(Vector3) == 12 && sizeof(Quaternion) == 16 && sizeof(color) == 4,
              "host-visible value types have fixed layouts");

} // namespace VadiZov
