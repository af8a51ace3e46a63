#include "render/egl_context.h"

#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

#include "render/driver_settings.h"

namespace NS_EglContext {

namespace {

// Not in OpenGL 1.1's header: the profile query of OpenGL 3.2 and later.
constexpr GLenum kContextProfileMask = 0x9126;
constexpr GLint kCoreProfileBit = 0x1;
constexpr GLint kCompatibilityProfileBit = 0x2;

[[noreturn]] void Fail(const std::string& why)
{
    auto* failure = new (std::nothrow) Exception;
    if (failure != nullptr)
        failure->what = why;
    throw failure;
}

bool HasExtension(const char* list, const char* name)
{
    if (list == nullptr)
        return false;
    const std::size_t length = std::strlen(name);
    for (const char* at = list; (at = std::strstr(at, name)) != nullptr; at += length) {
        const bool starts = at == list || at[-1] == ' ';
        const bool ends = at[length] == '\0' || at[length] == ' ';
        if (starts && ends)
            return true;
    }
    return false;
}

const char* ClientExtensions()
{
    return eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
}

// An EGL display is one per device or Wayland connection in the whole
// process, and eglTerminate ends it for every user at once: two contexts on
// the same Wayland connection count their users here, and the last one
// terminates it (a device's display is never terminated, see below).
std::mutex displayUsersLock;
std::map<EGLDisplay, int> displayUsers;

struct Devices {
    PFNEGLQUERYDEVICESEXTPROC query = nullptr;
    PFNEGLQUERYDEVICESTRINGEXTPROC queryString = nullptr;
    std::vector<EGLDeviceEXT> list;
};

// Every device EGL knows, through EGL_EXT_device_enumeration; empty (with null
// entry points) when the implementation has none.
Devices FindDevices()
{
    Devices devices;
    const char* client = ClientExtensions();
    if (!HasExtension(client, "EGL_EXT_platform_device") ||
        !(HasExtension(client, "EGL_EXT_device_enumeration") || HasExtension(client, "EGL_EXT_device_base")))
        return devices;
    devices.query = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    devices.queryString =
        reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
    EGLint count = 0;
    if (devices.query == nullptr || devices.queryString == nullptr || !devices.query(0, nullptr, &count) || count <= 0)
        return devices;
    devices.list.resize(static_cast<std::size_t>(count));
    if (!devices.query(count, devices.list.data(), &count))
        count = 0;
    devices.list.resize(static_cast<std::size_t>(count));
    return devices;
}

bool IsSoftware(const Devices& devices, EGLDeviceEXT device)
{
    return HasExtension(devices.queryString(device, EGL_EXTENSIONS), "EGL_MESA_device_software");
}

std::string DeviceName(const Devices& devices, EGLDeviceEXT device)
{
    if (IsSoftware(devices, device))
        return "software renderer";
    const char* extensions = devices.queryString(device, EGL_EXTENSIONS);
    if (HasExtension(extensions, "EGL_EXT_device_drm_render_node"))
        if (const char* node = devices.queryString(device, EGL_DRM_RENDER_NODE_FILE_EXT))
            return node;
    if (HasExtension(extensions, "EGL_EXT_device_drm"))
        if (const char* file = devices.queryString(device, EGL_DRM_DEVICE_FILE_EXT))
            return file;
    return "graphics device";
}

} // namespace

std::string ErrorName(EGLint error)
{
    switch (error) {
    case EGL_SUCCESS:
        return "EGL_SUCCESS";
    case EGL_NOT_INITIALIZED:
        return "EGL_NOT_INITIALIZED";
    case EGL_BAD_ACCESS:
        return "EGL_BAD_ACCESS";
    case EGL_BAD_ALLOC:
        return "EGL_BAD_ALLOC";
    case EGL_BAD_ATTRIBUTE:
        return "EGL_BAD_ATTRIBUTE";
    case EGL_BAD_CONFIG:
        return "EGL_BAD_CONFIG";
    case EGL_BAD_CONTEXT:
        return "EGL_BAD_CONTEXT";
    case EGL_BAD_CURRENT_SURFACE:
        return "EGL_BAD_CURRENT_SURFACE";
    case EGL_BAD_DISPLAY:
        return "EGL_BAD_DISPLAY";
    case EGL_BAD_MATCH:
        return "EGL_BAD_MATCH";
    case EGL_BAD_NATIVE_PIXMAP:
        return "EGL_BAD_NATIVE_PIXMAP";
    case EGL_BAD_NATIVE_WINDOW:
        return "EGL_BAD_NATIVE_WINDOW";
    case EGL_BAD_PARAMETER:
        return "EGL_BAD_PARAMETER";
    case EGL_BAD_SURFACE:
        return "EGL_BAD_SURFACE";
    case EGL_CONTEXT_LOST:
        return "EGL_CONTEXT_LOST";
    default:
        break;
    }
    char code[32];
    std::snprintf(code, sizeof code, "EGL error 0x%x", static_cast<unsigned>(error));
    return code;
}

std::string LastError()
{
    return ErrorName(eglGetError());
}

std::vector<std::string> DescribeDevices()
{
    const Devices devices = FindDevices();
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < devices.list.size(); ++i)
        lines.push_back(std::to_string(i) + ": " + DeviceName(devices, devices.list[i]));
    return lines;
}

Context::Context(DeviceChoice choice)
{
    const Devices devices = FindDevices();
    if (devices.list.empty())
        Fail("EGL offers no graphics device to draw offscreen with: no EGL driver is installed (Mesa's is "
             "libegl-mesa0), or it lacks EGL_EXT_platform_device");
    EGLDeviceEXT device = nullptr;
    std::string where;
    if (choice.device == DeviceChoice::kSoftware) {
        for (EGLDeviceEXT candidate : devices.list)
            if (IsSoftware(devices, candidate)) {
                device = candidate;
                break;
            }
        if (device == nullptr)
            Fail("EGL offers no software renderer (Mesa's EGL_MESA_device_software): is libegl-mesa0 installed?");
        where = "Mesa's software renderer";
    } else {
        const int count = static_cast<int>(devices.list.size());
        if (choice.device < 0 || choice.device >= count)
            Fail("there is no EGL device " + std::to_string(choice.device) + ": this machine has " +
                 std::to_string(count) + " (0 to " + std::to_string(count - 1) + ")");
        device = devices.list[static_cast<std::size_t>(choice.device)];
        where = "EGL device " + std::to_string(choice.device) + " (" + DeviceName(devices, device) + ")";
    }
    display = eglGetPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, device, nullptr);
    // A device's display stays initialised until the process ends (when
    // Mesa's EGL terminates it itself). Terminating it would unload Mesa's
    // driver and LLVM with it, each of which leaks some memory on unloading
    // (240 bytes with llvmpipe), and the next offscreen target would load
    // them again.
    terminates = false;
    try {
        Initialise(where);
        if (!HasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context"))
            Fail(where + " cannot draw without a surface (no EGL_KHR_surfaceless_context)");
        ChooseConfig(EGL_PBUFFER_BIT);
        CreateContext();
    } catch (...) {
        Cleanup();
        throw;
    }
}

Context::Context(wl_display* wayland)
{
    if (!HasExtension(ClientExtensions(), "EGL_KHR_platform_wayland") &&
        !HasExtension(ClientExtensions(), "EGL_EXT_platform_wayland"))
        Fail("EGL cannot draw on Wayland here: no EGL driver with EGL_KHR_platform_wayland is installed (Mesa's "
             "is libegl-mesa0)");
    display = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, wayland, nullptr);
    try {
        Initialise("the Wayland display");
        ChooseConfig(EGL_WINDOW_BIT);
        CreateContext();
    } catch (...) {
        Cleanup();
        throw;
    }
}

Context::~Context()
{
    Cleanup();
}

void Context::Initialise(const std::string& where)
{
    NS_DriverSettings::Apply();
    if (display == EGL_NO_DISPLAY)
        Fail("EGL has no display for " + where + " (" + LastError() + ")");
    EGLint major = 0;
    EGLint minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        const std::string why = LastError();
        display = EGL_NO_DISPLAY;
        Fail("EGL cannot initialise " + where + " (" + why + ")");
    }
    {
        const std::lock_guard<std::mutex> hold(displayUsersLock);
        ++displayUsers[display];
    }
    if (!eglBindAPI(EGL_OPENGL_API))
        Fail(where + " offers no desktop OpenGL through EGL (" + LastError() + ")");
}

// 8 bits a colour channel and a 24-bit depth buffer, as the offscreen target
// always had: the drops stand only 0.01 in front of the background at a
// distance of 4, which 16 depth bits cannot tell apart. No alpha: a window
// surface with alpha would let the compositor blend the desktop through the
// rain, since blending leaves the frame's alpha below one.
void Context::ChooseConfig(EGLint surfaceType)
{
    const EGLint wanted[] = {EGL_SURFACE_TYPE, surfaceType, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                             EGL_RED_SIZE,     8,           EGL_GREEN_SIZE,      8,
                             EGL_BLUE_SIZE,    8,           EGL_DEPTH_SIZE,      24,
                             EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, nullptr, 0, &count) || count <= 0)
        Fail("EGL offers no config for desktop OpenGL with 8-bit colour and a 24-bit depth buffer");
    std::vector<EGLConfig> configs(static_cast<std::size_t>(count));
    eglChooseConfig(display, wanted, configs.data(), count, &count);
    // EGL lists the deepest colour first: 10 bits a channel where the driver
    // has them, which draws other pixels than GLX's 8 (and costs more).
    const auto attribute = [this](EGLConfig candidate, EGLint name) {
        EGLint value = -1;
        return eglGetConfigAttrib(display, candidate, name, &value) ? value : -1;
    };
    config = configs.front();
    for (int i = 0; i < count; ++i) {
        const EGLConfig candidate = configs[static_cast<std::size_t>(i)];
        if (attribute(candidate, EGL_RED_SIZE) == 8 && attribute(candidate, EGL_GREEN_SIZE) == 8 &&
            attribute(candidate, EGL_BLUE_SIZE) == 8 && attribute(candidate, EGL_ALPHA_SIZE) == 0) {
            config = candidate;
            break;
        }
    }
}

void Context::CreateContext()
{
    // EGL 1.5 and EGL_KHR_create_context take the profile; an older EGL makes
    // only legacy contexts, which are compatibility contexts by nature.
    const char* eglVersion = eglQueryString(display, EGL_VERSION);
    const bool profiles = (eglVersion != nullptr && std::strncmp(eglVersion, "1.4", 3) != 0) ||
                          HasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_create_context");
    const EGLint withProfile[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                  EGL_NONE};
    const EGLint legacy[] = {EGL_NONE};
    eglBindAPI(EGL_OPENGL_API);
    context = eglCreateContext(display, config, EGL_NO_CONTEXT, profiles ? withProfile : legacy);
    if (context == EGL_NO_CONTEXT)
        Fail("EGL cannot make a desktop OpenGL context with the compatibility profile (" + LastError() + ")");

    // Made current once here, to read what drew and to see the profile: the
    // fixed-function drawing needs the compatibility profile. Without
    // surfaceless contexts the check waits for a surface: the driver says what
    // it made when the target first binds it.
    if (!HasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context"))
        return;
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context))
        Fail("EGL cannot make its OpenGL context current (" + LastError() + ")");
    const auto text = [](GLenum name) {
        const GLubyte* value = glGetString(name);
        return value != nullptr ? std::string(reinterpret_cast<const char*>(value)) : std::string();
    };
    renderer = text(GL_RENDERER);
    version = text(GL_VERSION);
    int major = 0;
    int minor = 0;
    std::sscanf(version.c_str(), "%d.%d", &major, &minor);
    GLint profile = 0;
    if (major > 3 || (major == 3 && minor >= 2))
        glGetIntegerv(kContextProfileMask, &profile);
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (renderer.empty())
        Fail("the EGL context draws with no OpenGL at all (no GL_RENDERER)");
    if ((profile & kCoreProfileBit) != 0 && (profile & kCompatibilityProfileBit) == 0)
        Fail(renderer + " gives only a core-profile OpenGL context (" + version +
             "); the scene needs the compatibility profile");
}

bool Context::MakeCurrent(EGLSurface surface) const
{
    // The API is a setting of each thread: the worker has not bound one yet.
    eglBindAPI(EGL_OPENGL_API);
    return eglMakeCurrent(display, surface, surface, context) == EGL_TRUE;
}

void Context::Release() const
{
    if (IsCurrent())
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

bool Context::IsCurrent() const
{
    // eglGetCurrentContext answers for the thread's bound API.
    eglBindAPI(EGL_OPENGL_API);
    return context != EGL_NO_CONTEXT && eglGetCurrentContext() == context;
}

void Context::Cleanup() noexcept
{
    if (display == EGL_NO_DISPLAY)
        return;
    if (context != EGL_NO_CONTEXT) {
        Release();
        eglDestroyContext(display, context);
        context = EGL_NO_CONTEXT;
    }
    bool last = false;
    {
        const std::lock_guard<std::mutex> hold(displayUsersLock);
        const auto user = displayUsers.find(display);
        if (user != displayUsers.end() && --user->second == 0) {
            displayUsers.erase(user);
            last = true;
        }
    }
    if (last && terminates)
        eglTerminate(display);
    display = EGL_NO_DISPLAY;
}

} // namespace NS_EglContext
