// The renderer's half of the two value classes: how one streak and one drop
// are drawn. The scene's library declares these and never calls them.
#include "render/gl.h"
#include "scene/drop.h"
#include "scene/rain.h"

void Rain_value::Draw() const
{
    // Alpha brightness + 0.2: even a streak of brightness 0 shows, black at 0.2.
    glColor4d(brightness, brightness, brightness, brightness + 0.2);
    glBegin(GL_LINES);
    glVertex2d(start.x, start.y);
    glVertex2d(end.x, end.y);
    glEnd();
}

void Drop_value::Draw() const
{
    const double x = position.x;
    const double y = position.y;
    const double r = radius;
    // The drop reaches h up the pane from its centre and r down it.
    const double b = r * r * 33.333333333333336;
    const double a = 5.0 * r * (0.2 - b);
    const double h = a + b;

    // 5 x 5 control points, i (along x) running fastest. The end columns are
    // pinched to one point each; the nine inner points stand r off the pane.
    GLdouble points[5 * 5 * 3];
    for (int j = 0; j < 5; ++j) {
        for (int i = 0; i < 5; ++i) {
            GLdouble* p = points + 3 * (i + 5 * j);
            p[0] = i < 2 ? x - r : (i == 2 ? x : x + r);
            if (i == 0 || i == 4) {
                p[1] = y;
            } else {
                p[1] = j < 2 ? y - r : (j == 2 ? y : y + h);
            }
            const bool inner = i >= 1 && i <= 3 && j >= 1 && j <= 3;
            p[2] = inner ? r : 0.0;
        }
    }
    glMap2d(GL_MAP2_VERTEX_3, 0.0, 1.0, 3, 5, 0.0, 1.0, 15, 5, points);
    glEnable(GL_MAP2_VERTEX_3);
    // Below a radius of 0.002 the mesh has no cells and the drop is not drawn.
    // (A grid of 0 cells would only raise GL_INVALID_VALUE.)
    const int n = static_cast<int>(r * 500.0);
    if (n > 0) {
        glMapGrid2d(n, 0.0, 1.0, n, 0.0, 1.0);
        glEvalMesh2(GL_FILL, 0, n, 0, n);
    }
}
