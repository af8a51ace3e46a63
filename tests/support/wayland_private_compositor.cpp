#include "tests/support/wayland_private_compositor.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/posix_temporary_folder.h"
#include "tests/support/wait_until.h"

namespace velmora_test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// A bound, not an expectation: sway is up in a fraction of a second, but not
// always on a machine busy with builds.
constexpr milliseconds kStartTimeout{60000};
constexpr milliseconds kCommandTimeout{30000};

const char* const kBaseConfiguration = "xwayland disable\n"
                                       "default_border none\n"
                                       "default_floating_border none\n"
                                       "focus_follows_mouse no\n"
                                       "for_window [app_id=\"velmora-test-window\"] floating enable, "
                                       "resize set 400 300, move position center\n";

// A picture as grim writes it with -t ppm: "P6\nW H\n255\n" and RGB bytes.
Picture ReadPpm(const std::string& path)
{
    std::istringstream file(ReadFile(path));
    std::string magic;
    int width = 0, height = 0, maximum = 0;
    file >> magic >> width >> height >> maximum;
    file.get();
    Picture picture;
    if (magic != "P6" || width <= 0 || height <= 0 || maximum != 255)
        return picture;
    std::string bytes(static_cast<std::size_t>(width) * height * 3, '\0');
    if (!file.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        return picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.reserve(bytes.size() / 3);
    for (std::size_t i = 0; i < bytes.size(); i += 3)
        picture.pixels.push_back(static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                                 static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                                 static_cast<unsigned char>(bytes[i + 2]));
    return picture;
}

bool WaitForFile(const std::string& path, ChildProcess& server)
{
    bool exists = false;
    velmora_test::WaitUntil(kStartTimeout, milliseconds(20), [&] {
        std::error_code error;
        exists = fs::exists(path, error);
        return exists || !server.Running();
    });
    return exists;
}

} // namespace

std::vector<std::string> SessionEnvironment(const InstalledUserSession& session, const std::vector<std::string>& set)
{
    std::vector<std::string> environment;
    const auto named = [](const std::string& variable, const std::vector<std::string>& among) {
        const std::string name = variable.substr(0, variable.find('=') + 1);
        return std::any_of(among.begin(), among.end(),
                           [&](const std::string& other) { return other.rfind(name, 0) == 0; });
    };
    for (const std::string& variable : session.Environment(""))
        if (variable.rfind("DISPLAY=", 0) != 0 && !named(variable, set))
            environment.push_back(variable);
    environment.insert(environment.end(), set.begin(), set.end());
    return environment;
}

PrivateCompositor::PrivateCompositor(const InstalledUserSession& owner, int outputs, const std::string& configuration,
                                     Backend backend)
    : session(owner), runtime(owner.Home() + "/runtime"), ipc(runtime + "/sway-ipc.sock"),
      outputPrefix(backend == Backend::Headless ? "HEADLESS-" : "WL-")
{
    // The build folder may be closed to the test's user; the home is its own.
    std::error_code error;
    fs::copy_file(VELMORA_WAYLAND_TEST_CLIENT, Client(), error);
    if (error) {
        failure = "cannot copy " + std::string(VELMORA_WAYLAND_TEST_CLIENT) + " into the home: " + error.message();
        return;
    }
    std::vector<std::string> backendEnvironment{"WLR_BACKENDS=headless",
                                                "WLR_HEADLESS_OUTPUTS=" + std::to_string(outputs)};
    if (backend == Backend::WindowsOfAnotherSway) {
        // The outer sway, on one large output, in a runtime folder of its own;
        // the inner one's outputs are its windows, floating at the size asked.
        const std::string outerRuntime = session.Home() + "/outer";
        if (!session.WriteHomeFile("outer/sway.config", "xwayland disable\n"
                                                        "default_floating_border none\n"
                                                        "output HEADLESS-1 resolution 2400x1400\n"
                                                        "for_window [app_id=\"wlroots\"] floating enable\n") ||
            chmod(outerRuntime.c_str(), 0700) != 0) {
            failure = "cannot write the outer sway's configuration";
            return;
        }
        outerIpc = outerRuntime + "/sway-ipc.sock";
        const std::string outerSocket =
            LaunchSway(outer, outerRuntime, outerIpc, "outer/sway", {"WLR_BACKENDS=headless"});
        if (outerSocket.empty())
            return;
        backendEnvironment = {"WLR_BACKENDS=wayland", "WLR_WL_OUTPUTS=" + std::to_string(outputs),
                              "WAYLAND_DISPLAY=" + outerRuntime + "/" + outerSocket};
    }
    if (!session.WriteHomeFile("sway.config", std::string(kBaseConfiguration) + "output " + Output(1) +
                                                  " resolution 800x600 position 0 0 scale_filter nearest\n" +
                                                  configuration)) {
        failure = "cannot write sway's configuration";
        return;
    }
    socket = LaunchSway(sway, runtime, ipc, "sway", backendEnvironment);
}

std::string PrivateCompositor::LaunchSway(std::unique_ptr<ChildProcess>& process, const std::string& folder,
                                          const std::string& socketPath, const std::string& name,
                                          const std::vector<std::string>& backendEnvironment)
{
    std::vector<std::string> environment = {"XDG_RUNTIME_DIR=" + folder, "SWAYSOCK=" + socketPath,
                                            "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"};
    environment.insert(environment.end(), backendEnvironment.begin(), backendEnvironment.end());
    // sway takes a SWAYSOCK that does not exist yet as the place for its own.
    process = Start(name + ".log", {"sway", "--config", session.Home() + "/" + name + ".config"}, environment);
    if (!process->Started() || !WaitForFile(socketPath, *process)) {
        failure = "sway did not start (Debian package sway):\n" + session.ReadHomeFile(name + ".log");
        return {};
    }
    // The Wayland socket is named by sway itself, the first free one in the
    // runtime folder, which is the test's own.
    std::string found;
    velmora_test::WaitUntil(kStartTimeout, milliseconds(20), [&] {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            const std::string file = entry.path().filename().string();
            if (file.rfind("wayland-", 0) == 0 && file.find('.') == std::string::npos && entry.is_socket(error))
                found = file;
        }
        return !found.empty();
    });
    if (found.empty() || !Message(socketPath, {"nop"})) {
        failure = "sway does not answer on " + folder + ":\n" + session.ReadHomeFile(name + ".log");
        return {};
    }
    return found;
}

PrivateCompositor::~PrivateCompositor()
{
    Kill();
}

std::string PrivateCompositor::Log() const
{
    return session.ReadHomeFile("sway.log");
}

std::vector<std::string> PrivateCompositor::Environment(const std::vector<std::string>& extra) const
{
    std::vector<std::string> wanted = extra;
    const auto add = [&](const std::string& name, const std::string& value) {
        if (std::none_of(extra.begin(), extra.end(), [&](const std::string& set) { return set.rfind(name, 0) == 0; }))
            wanted.push_back(name + value);
    };
    add("SWAYSOCK=", ipc);
    if (!socket.empty())
        add("WAYLAND_DISPLAY=", socket);
    return SessionEnvironment(session, wanted);
}

std::unique_ptr<ChildProcess> PrivateCompositor::Start(const std::string& log, const std::vector<std::string>& words,
                                                       const std::vector<std::string>& extraEnvironment,
                                                       int passed) const
{
    ChildProcess::Streams streams;
    streams.output = streams.errors = session.Home() + "/" + log;
    streams.passed = passed;
    return std::make_unique<ChildProcess>(session.AsUser(words), Environment(extraEnvironment), streams);
}

bool PrivateCompositor::Message(const std::string& socketPath, const std::vector<std::string>& words) const
{
    std::vector<std::string> command{"swaymsg", "--socket", socketPath};
    command.insert(command.end(), words.begin(), words.end());
    const std::unique_ptr<ChildProcess> message = Start("swaymsg.log", command);
    return message->WaitExit(kCommandTimeout) == 0;
}

bool PrivateCompositor::Command(const std::string& command) const
{
    return Message(ipc, {command});
}

std::vector<std::string> PrivateCompositor::Outputs() const
{
    std::vector<std::string> names;
    const std::unique_ptr<ChildProcess> message = Start("outputs.log", {"swaymsg", "-p", "-t", "get_outputs"});
    if (message->WaitExit(kCommandTimeout) != 0)
        return names;
    // "Output NAME 'make model serial'", with " (disabled)" after a disabled one.
    std::istringstream lines(session.ReadHomeFile("outputs.log"));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Output ", 0) == 0 && line.find("(disabled)") == std::string::npos)
            names.push_back(line.substr(7, line.find(' ', 7) - 7));
    return names;
}

std::string PrivateCompositor::AddOutput(int width, int height, int scale) const
{
    const std::vector<std::string> before = Outputs();
    if (!Command("create_output"))
        return {};
    for (const std::string& name : Outputs())
        if (std::find(before.begin(), before.end(), name) == before.end()) {
            // The outer sway has made the output's window: it floats at the size asked.
            const bool set =
                Command("output " + name + " resolution " + std::to_string(width) + "x" + std::to_string(height) +
                        " scale " + std::to_string(scale) + " scale_filter nearest");
            return set ? name : std::string();
        }
    return {};
}

Picture PrivateCompositor::Capture(const std::string& output) const
{
    const std::string file = "grim-" + output + ".ppm";
    ChildProcess::Streams streams;
    streams.output = session.Home() + "/" + file;
    streams.errors = session.Home() + "/grim.log";
    ChildProcess grim(session.AsUser({"grim", "-t", "ppm", "-o", output, "-"}), Environment(), streams);
    if (grim.WaitExit(kCommandTimeout) != 0)
        return {};
    return ReadPpm(streams.output);
}

bool PrivateCompositor::RemoveOutput(const std::string& name) const
{
    // The window of a nested sway's output is closed as a person closes one.
    if (outerIpc.empty() || !Message(outerIpc, {"[title=\"wlroots - " + name + "\"] kill"}))
        return false;
    return velmora_test::WaitUntil(kCommandTimeout, milliseconds(50), [&] {
        const std::vector<std::string> left = Outputs();
        return std::find(left.begin(), left.end(), name) == left.end();
    });
}

std::unique_ptr<ChildProcess> PrivateCompositor::OpenWindow(std::uint32_t colour) const
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "%06x", colour & 0xFFFFFF);
    const std::string log = std::string("window-") + hex + ".log";
    std::unique_ptr<ChildProcess> window = Start(log, {Client(), "window", hex});
    bool shown = false;
    velmora_test::WaitUntil(kStartTimeout, milliseconds(20), [&] {
        shown = session.ReadHomeFile(log).find("shown\n") != std::string::npos;
        return shown || !window->Running();
    });
    return shown ? std::move(window) : nullptr;
}

std::vector<pid_t> PrivateCompositor::ProcessesRunning(const std::string& executable) const
{
    std::vector<pid_t> found;
    struct stat wanted;
    const bool any = executable.empty();
    if (!any && stat(executable.c_str(), &wanted) != 0)
        return found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        struct stat running;
        if (!any && (stat((entry.path() / "exe").c_str(), &running) != 0 || running.st_dev != wanted.st_dev ||
                     running.st_ino != wanted.st_ino))
            continue;
        const std::vector<std::string> environment = NulSeparatedWords((entry.path() / "environ").string());
        if (std::find(environment.begin(), environment.end(), "XDG_RUNTIME_DIR=" + runtime) != environment.end())
            found.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return found;
}

void PrivateCompositor::Kill()
{
    if (sway)
        sway->Stop(SIGKILL, milliseconds(5000));
    for (const pid_t pid : ProcessesRunning(""))
        kill(pid, SIGKILL);
    if (outer)
        outer->Stop(SIGKILL, milliseconds(5000));
}

VirtualPointer::VirtualPointer(const PrivateCompositor& compositor)
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return;
    control = ends[0];
    client = compositor.Start("pointer.log", {compositor.Client(), "pointer"}, {}, ends[1]);
    close(ends[1]);
    // It answers once its pointer exists.
    if (!Send("sync"))
        client.reset();
}

VirtualPointer::~VirtualPointer()
{
    if (control >= 0)
        close(control);
}

bool VirtualPointer::Send(const std::string& command)
{
    if (!client || !client->Started())
        return false;
    const std::string line = command + "\n";
    if (write(control, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        return false;
    std::string answer;
    for (const auto deadline = Clock::now() + kCommandTimeout; answer.find('\n') == std::string::npos;) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        pollfd wait{control, POLLIN, 0};
        char bytes[64];
        if (left <= 0 || poll(&wait, 1, static_cast<int>(left)) != 1)
            return false;
        const ssize_t got = read(control, bytes, sizeof bytes);
        if (got <= 0)
            return false;
        answer.append(bytes, static_cast<std::size_t>(got));
    }
    return answer == "ok\n";
}

OtherCompositor::OtherCompositor(const InstalledUserSession& session, const std::vector<std::string>& words,
                                 const std::string& socket)
{
    const std::vector<std::string> environment = SessionEnvironment(session, {});
    ChildProcess::Streams streams;
    streams.output = streams.errors = session.Home() + "/compositor.log";
    server = std::make_unique<ChildProcess>(session.AsUser(words), environment, streams);
    if (!server->Started() || !WaitForFile(session.Home() + "/runtime/" + socket, *server))
        failure = words[0] + " did not start:\n" + session.ReadHomeFile("compositor.log");
}

double HorizonAt(const Picture& picture)
{
    if (picture.height < 20)
        return -1;
    std::vector<double> rows;
    for (int y = 0; y < picture.height; ++y) {
        double sum = 0;
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t pixel = picture.At(x, y);
            sum += (pixel >> 16 & 0xFF) + (pixel >> 8 & 0xFF) + (pixel & 0xFF);
        }
        rows.push_back(sum / (3.0 * picture.width));
    }
    const int band = picture.height / 20;
    double sky = 0, ground = 0;
    for (int y = 0; y < band; ++y) {
        sky += rows[static_cast<std::size_t>(y)] / band;
        ground += rows[rows.size() - 1 - static_cast<std::size_t>(y)] / band;
    }
    // The sky is lighter than the ground, by far more than rain and drops
    // could make it.
    if (sky < ground + 15)
        return -1;
    const auto below = std::find_if(rows.begin(), rows.end(), [&](double row) { return row < (sky + ground) / 2; });
    return static_cast<double>(below - rows.begin()) / picture.height;
}

double ShareOfMixedBlocks(const Picture& picture)
{
    std::size_t blocks = 0, mixed = 0;
    for (int y = 0; y + 1 < picture.height; y += 2)
        for (int x = 0; x + 1 < picture.width; x += 2) {
            const std::uint32_t corner = picture.At(x, y);
            ++blocks;
            mixed +=
                picture.At(x + 1, y) != corner || picture.At(x, y + 1) != corner || picture.At(x + 1, y + 1) != corner;
        }
    return blocks == 0 ? 0 : static_cast<double>(mixed) / static_cast<double>(blocks);
}

std::size_t PixelsOf(const Picture& picture, std::uint32_t colour)
{
    return static_cast<std::size_t>(std::count(picture.pixels.begin(), picture.pixels.end(), colour));
}

} // namespace velmora_test
