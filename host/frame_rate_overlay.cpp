#include "host/frame_rate_overlay.h"

#include <GL/gl.h>

#include <algorithm>
#include <ctime>
#include <map>

#include "host/frame_rate.h"
#include "render/draw_target.h"

namespace NS_FrameRate {

namespace {

// One a view, so that each output of the Wayland saver shows its own rate;
// the worker thread's alone.
std::map<int, FrameRateMeter> meters;

double Seconds(clockid_t clock)
{
    timespec now = {};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One quad per lit pixel of the glyphs: a few hundred at most, and no texture
// or bitmap state of the scene to disturb.
void DrawText(const std::string& text, int left, int bottom, int scale)
{
    int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    const int lineHeight = (kGlyphHeight + 3) * scale;
    int x = left;
    int top = bottom + lines * lineHeight - 3 * scale;
    glBegin(GL_QUADS);
    for (char c : text) {
        if (c == '\n') {
            x = left;
            top -= lineHeight;
            continue;
        }
        if (const std::uint8_t* rows = Glyph(c)) {
            for (int row = 0; row < kGlyphHeight; ++row)
                for (int column = 0; column < kGlyphWidth; ++column) {
                    if ((rows[row] & (0x10 >> column)) == 0)
                        continue;
                    const int px = x + column * scale;
                    const int py = top - (row + 1) * scale;
                    glVertex2i(px, py);
                    glVertex2i(px + scale, py);
                    glVertex2i(px + scale, py + scale);
                    glVertex2i(px, py + scale);
                }
        }
        x += (kGlyphWidth + 1) * scale;
    }
    glEnd();
}

} // namespace

void DrawFrameRateOverlay()
{
    const NS_DrawTarget::DrawTarget* target = NS_DrawTarget::Installed();
    FrameRateMeter& meter = meters[target != nullptr ? target->CurrentView() : 0];
    meter.Frame(Seconds(CLOCK_MONOTONIC), Seconds(CLOCK_PROCESS_CPUTIME_ID));
    const std::string& text = meter.Text();
    if (text.empty())
        return;
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    // Readable on a small preview and on a large screen alike.
    const int scale = std::clamp(viewport[3] / 300, 1, 3);

    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_TRANSFORM_BIT |
                 GL_POLYGON_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FOG);
    glDisable(GL_COLOR_MATERIAL);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, viewport[2], 0, viewport[3], -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    // A black shadow one step down and right keeps the white text readable on
    // the sky and on the drops alike.
    const int margin = 5 * scale;
    glColor3f(0.0f, 0.0f, 0.0f);
    DrawText(text, margin + scale, margin - scale, scale);
    glColor3f(1.0f, 1.0f, 1.0f);
    DrawText(text, margin, margin, scale);

    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib(); // restores the matrix mode too
}

} // namespace NS_FrameRate
