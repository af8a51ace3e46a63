#include "render/view_matrices.h"

#include <cmath>

#include "render/gl.h"

Matrix4 PerspectiveMatrix(double fovyDegrees, double aspect, double zNear, double zFar)
{
    const double radians = fovyDegrees / 2.0 * 3.14159265358979323846 / 180.0;
    const double cotangent = std::cos(radians) / std::sin(radians);
    const double depth = zFar - zNear;
    Matrix4 m{};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(zFar + zNear) / depth;
    m[11] = -1.0;
    m[14] = -2.0 * zNear * zFar / depth;
    return m;
}

namespace {

void Normalise(double v[3])
{
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0.0) {
        return;
    }
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
}

void Cross(const double a[3], const double b[3], double out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

} // namespace

Matrix4 LookAtMatrix(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ, double upX,
                     double upY, double upZ)
{
    double forward[3] = {centreX - eyeX, centreY - eyeY, centreZ - eyeZ};
    double up[3] = {upX, upY, upZ};
    Normalise(forward);
    double side[3];
    Cross(forward, up, side);
    Normalise(side);
    Cross(side, forward, up);

    Matrix4 m{};
    for (int i = 0; i < 3; ++i) {
        m[4 * i + 0] = side[i];
        m[4 * i + 1] = up[i];
        m[4 * i + 2] = -forward[i];
    }
    m[15] = 1.0;
    // The rotation times a translation by -eye.
    const double eye[3] = {eyeX, eyeY, eyeZ};
    for (int row = 0; row < 3; ++row) {
        m[12 + row] = -(m[row] * eye[0] + m[4 + row] * eye[1] + m[8 + row] * eye[2]);
    }
    return m;
}

void MultiplyCurrentMatrix(const Matrix4& matrix)
{
    glMultMatrixd(matrix.data());
}
