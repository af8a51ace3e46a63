// The camera's two matrices, computed here with GLU's formulas instead of
// calling gluPerspective and gluLookAt: one library fewer in every program for
// two small functions, and the Loader's drawing code the same on every target.
#pragma once

#include <array>

// Column-major, as glMultMatrixd takes them.
using Matrix4 = std::array<double, 16>;

// gluPerspective: vertical field of view in degrees, aspect, near and far planes.
Matrix4 PerspectiveMatrix(double fovyDegrees, double aspect, double zNear, double zFar);

// gluLookAt, with the eye's translation folded in.
Matrix4 LookAtMatrix(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ, double upX,
                     double upY, double upZ);

// Multiplies the current OpenGL matrix by one of the above.
void MultiplyCurrentMatrix(const Matrix4& matrix);
