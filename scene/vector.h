// The scene's two small value types of doubles: points and offsets on the pane
// (Vector2) and in the world (Vector3). Plain values, copied freely.
#pragma once

#include <cmath>

struct Vector2 {
    double x = 0.0;
    double y = 0.0;

    constexpr Vector2() = default;
    constexpr Vector2(double px, double py) : x(px), y(py) {}

    constexpr Vector2 operator+(const Vector2& b) const { return Vector2(x + b.x, y + b.y); }
    constexpr Vector2 operator*(double s) const { return Vector2(x * s, y * s); }
    Vector2& operator+=(const Vector2& b)
    {
        x += b.x;
        y += b.y;
        return *this;
    }
};

struct Vector3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    constexpr Vector3() = default;
    constexpr Vector3(double px, double py, double pz) : x(px), y(py), z(pz) {}
    // Lays a pane point into the world, on the plane z = 0.
    constexpr explicit Vector3(const Vector2& v) : x(v.x), y(v.y), z(0.0) {}

    constexpr Vector3 operator-(const Vector3& b) const { return Vector3(x - b.x, y - b.y, z - b.z); }
    constexpr Vector3 operator+(const Vector3& b) const { return Vector3(x + b.x, y + b.y, z + b.z); }
    constexpr Vector3 operator*(double s) const { return Vector3(x * s, y * s, z * s); }
    Vector3& operator*=(double s)
    {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }

    // Summed in the order x², y², z²: contact tests compare this against radii
    // to the last bit, so the order must not change. sqrt is exactly rounded
    // everywhere, which keeps it the same on every build.
    double Length() const { return std::sqrt(x * x + y * y + z * z); }
};
