// Linked only into velmora-test, the X11 saver's test build, whose link wraps
// glXCreateContext, glXMakeCurrent and glXDestroyContext: counts the contexts
// the run made and those it really deleted. GLX defers the deletion of a context
// that is current on some thread, so one destroyed while another thread (the
// worker) still holds it is not counted. At exit, when VELMORA_TEST_CONTEXT_LOG
// names a file, one line there: "made N deleted M".
#include <GL/glx.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

extern "C" {
GLXContext __real_glXCreateContext(Display*, XVisualInfo*, GLXContext, Bool);
Bool __real_glXMakeCurrent(Display*, GLXDrawable, GLXContext);
void __real_glXDestroyContext(Display*, GLXContext);
}

namespace {

struct Count {
    std::mutex lock;
    std::map<GLXContext, std::thread::id> holders;
    int made = 0;
    int deleted = 0;

    ~Count()
    {
        if (const char* path = std::getenv("VELMORA_TEST_CONTEXT_LOG")) {
            if (FILE* log = std::fopen(path, "w")) {
                std::fprintf(log, "made %d deleted %d\n", made, deleted);
                std::fclose(log);
            }
        }
    }
} count;

thread_local GLXContext heldHere = nullptr;

} // namespace

extern "C" GLXContext __wrap_glXCreateContext(Display* display, XVisualInfo* visual, GLXContext share, Bool direct)
{
    GLXContext context = __real_glXCreateContext(display, visual, share, direct);
    if (context != nullptr) {
        const std::lock_guard<std::mutex> guard(count.lock);
        ++count.made;
    }
    return context;
}

extern "C" Bool __wrap_glXMakeCurrent(Display* display, GLXDrawable drawable, GLXContext context)
{
    const Bool done = __real_glXMakeCurrent(display, drawable, context);
    if (done) {
        const std::lock_guard<std::mutex> guard(count.lock);
        if (heldHere != nullptr) {
            count.holders.erase(heldHere);
        }
        heldHere = context;
        if (context != nullptr) {
            count.holders[context] = std::this_thread::get_id();
        }
    }
    return done;
}

extern "C" void __wrap_glXDestroyContext(Display* display, GLXContext context)
{
    {
        const std::lock_guard<std::mutex> guard(count.lock);
        if (count.holders.find(context) == count.holders.end()) {
            ++count.deleted;
        }
    }
    __real_glXDestroyContext(display, context);
}
