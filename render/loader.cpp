#include "render/loader.h"

#include <cmath>
#include <memory>
#include <new>

#include "render/background.h"
#include "render/clock_images.h"
#include "render/draw_target.h"
#include "render/gl.h"
#include "render/view_matrices.h"
#include "scene/drop.h"
#include "scene/rain.h"
#include "scene/vector.h"

namespace {

const std::wstring kDropName = L"Drop";
const std::wstring kRainName = L"Rain";

const Vector3 clockCentre(0.64, 0.44, 0.5);
constexpr double clockSize = 0.15;

// 3.1415926 / 6 and / 30: the clock's angles use this rounding of pi.
constexpr double kHourStep = 0.5235987666666666;
constexpr double kMinuteStep = 0.10471975333333333;

GLuint MakeTexture(GLint internalFormat, GLsizei width, GLsizei height, GLenum format, GLenum type, const void* data)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, type, data);
    return name;
}

void Vertex(const Vector3& v)
{
    glVertex3d(v.x, v.y, v.z);
}

} // namespace

double HourHandAngle(const NS_LocalTime::Reading& time)
{
    return (time.minutes * 0.016666666666666666 + time.hours) * kHourStep;
}

double MinuteHandAngle(const NS_LocalTime::Reading& time)
{
    return (time.seconds * 0.016666666666666666 + time.minutes) * kMinuteStep;
}

Loader::Loader(NS_AttributeHandler::UniverseForHandler* owner) : AttributeHandler(owner)
{
    name = L"Loader";
}

Loader::~Loader()
{
    streaks.clear();
    drops.clear();
}

void Loader::Init()
{
    NS_DrawTarget::MakeCurrent();

    // The aspect stays 4:3 whatever the window's shape: a wide window shows the
    // scene stretched. The viewport keeps its default, the whole window.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    MultiplyCurrentMatrix(PerspectiveMatrix(21.0, 1.3333333, 0.01, 8.0));
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    MultiplyCurrentMatrix(LookAtMatrix(0.0, 0.0, 4.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0));

    const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glEnable(GL_LIGHT0);

    // The diffuse alpha of 0.2 is what makes every lit drop translucent.
    const GLfloat body[4] = {0.15f, 0.15f, 0.16f, 0.2f};
    const GLfloat highlight[4] = {0.7f, 0.7f, 0.7f, 1.0f};
    glMaterialf(GL_FRONT, GL_SHININESS, 50.0f);
    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, body);
    glMaterialfv(GL_FRONT, GL_SPECULAR, highlight);

    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    std::unique_ptr<float[]> texels(new (std::nothrow) float[kBackgroundFloats]);
    if (texels) {
        BuildBackground(texels.get());
        backgroundTexture = MakeTexture(GL_RGB16, kBackgroundSize, kBackgroundSize, GL_RGB, GL_FLOAT, texels.get());
        texels.reset();
    } else {
        // Without room for the picture the scene still runs, before a plain ground.
        const GLfloat ground[3] = {0.2f, 0.2f, 0.2f};
        backgroundTexture = MakeTexture(GL_RGB16, 1, 1, GL_RGB, GL_FLOAT, ground);
    }
    hourHandTexture =
        MakeTexture(GL_ALPHA8, kHandImageWidth, kHandImageHeight, GL_ALPHA, GL_UNSIGNED_BYTE, hourHandImage);
    minuteHandTexture =
        MakeTexture(GL_ALPHA8, kHandImageWidth, kHandImageHeight, GL_ALPHA, GL_UNSIGNED_BYTE, minuteHandImage);
    markTexture = MakeTexture(GL_ALPHA8, kMarkImageSize, kMarkImageSize, GL_ALPHA, GL_UNSIGNED_BYTE, markImage);

    glEnable(GL_AUTO_NORMAL);
    glEnable(GL_DEPTH_TEST);

    SubscribeTo(kDropName, NS_Events::Attached | NS_Events::Detached);
    SubscribeTo(kRainName, NS_Events::Attached | NS_Events::Detached);
}

void Loader::Handle(const NS_Events::Event& event)
{
    switch (event.kind) {
    case NS_Events::Attached:
        (event.source == kDropName ? drops : streaks).insert(event.object);
        break;
    case NS_Events::Detached:
        (event.source == kDropName ? drops : streaks).erase(event.object);
        break;
    case NS_Events::Render:
        NS_DrawTarget::Render([this] { DrawFrame(); });
        break;
    default:
        break;
    }
}

void Loader::DrawFrame()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // Just behind the pane, covering the whole view; it writes depth.
    glEnable(GL_TEXTURE_2D);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBindTexture(GL_TEXTURE_2D, backgroundTexture);
    glBegin(GL_QUADS);
    glTexCoord2d(0.0, 0.0);
    glVertex3d(-1.0, -0.75, -0.01);
    glTexCoord2d(0.0, 1.0);
    glVertex3d(-1.0, 0.75, -0.01);
    glTexCoord2d(1.0, 1.0);
    glVertex3d(1.0, 0.75, -0.01);
    glTexCoord2d(1.0, 0.0);
    glVertex3d(1.0, -0.75, -0.01);
    glEnd();
    glDisable(GL_TEXTURE_2D);

    NS_AttributeHandler::AttributeHandler* rain = universe->GetHandler(kRainName);
    glEnable(GL_BLEND);
    for (const NS_ObjectIndex::ObjectIndex& reference : streaks) {
        static_cast<const Rain_value*>(rain->GetValue(reference))->Draw();
    }
    glDisable(GL_BLEND);

    // Drawn in creation order with the depth test on: where two drops overlap,
    // the younger one is hidden wherever it lies behind the older one.
    NS_AttributeHandler::AttributeHandler* drop = universe->GetHandler(kDropName);
    glEnable(GL_LIGHTING);
    glEnable(GL_BLEND);
    for (const NS_ObjectIndex::ObjectIndex& reference : drops) {
        static_cast<const Drop_value*>(drop->GetValue(reference))->Draw();
    }
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);

    DrawClock();

    NS_DrawTarget::Present();
}

void Loader::DrawClock()
{
    // GL_REPLACE with an alpha texture: every fragment is this grey, with the
    // image's coverage as its alpha.
    glColor3d(0.2, 0.2, 0.2);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_BLEND);

    const double s = clockSize;
    const Vector3& c = clockCentre;
    glBindTexture(GL_TEXTURE_2D, markTexture);
    for (int i = 0; i < 12; ++i) {
        const double theta = i * kHourStep;
        const Vector3 tangent(std::cos(theta), -std::sin(theta), 0.0);
        const Vector3 radial(std::sin(theta), std::cos(theta), 0.0);
        glBegin(GL_QUADS);
        glTexCoord2d(1.0, 1.0);
        Vertex(c + radial * (0.875 * s) - tangent * (0.0625 * s));
        glTexCoord2d(1.0, 0.0);
        Vertex(c + radial * s - tangent * (0.0625 * s));
        glTexCoord2d(0.0, 0.0);
        Vertex(c + radial * s + tangent * (0.0625 * s));
        glTexCoord2d(0.0, 1.0);
        Vertex(c + radial * (0.875 * s) + tangent * (0.0625 * s));
        glEnd();
    }

    // One reading for both hands, so they never disagree across a minute.
    const NS_LocalTime::Reading now = NS_LocalTime::Now();
    const struct {
        GLuint texture;
        double theta;
    } hands[2] = {{hourHandTexture, HourHandAngle(now)}, {minuteHandTexture, MinuteHandAngle(now)}};
    for (const auto& hand : hands) {
        glBindTexture(GL_TEXTURE_2D, hand.texture);
        const Vector3 tangent = Vector3(std::cos(hand.theta), -std::sin(hand.theta), 0.0) * s;
        const Vector3 radial = Vector3(std::sin(hand.theta), std::cos(hand.theta), 0.0) * s;
        glBegin(GL_QUADS);
        glTexCoord2d(1.0, 1.0);
        Vertex(c - tangent * 0.125 - radial * 0.125);
        glTexCoord2d(1.0, 0.0);
        Vertex(c - tangent * 0.125 + radial * 0.875);
        glTexCoord2d(0.0, 0.0);
        Vertex(c + tangent * 0.125 + radial * 0.875);
        glTexCoord2d(0.0, 1.0);
        Vertex(c + tangent * 0.125 - radial * 0.125);
        glEnd();
    }

    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
}
