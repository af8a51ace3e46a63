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
                                       "output HEADLESS-1 resolution 800x600 position 0 0 scale_filter nearest\n"
                                       "for_window [app_id=\"velmora-test-window\"] floating enable, "
                                       "resize set 400 300, move position center\n";

std::vector<std::string> NulSeparated(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> words;
    for (std::string word; std::getline(file, word, '\0');)
        words.push_back(word);
    return words;
}

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
    for (const auto deadline = Clock::now() + kStartTimeout; Clock::now() < deadline;) {
        std::error_code error;
        if (fs::exists(path, error))
            return true;
        if (!server.Running())
            return false;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return false;
}

} // namespace

PrivateCompositor::PrivateCompositor(const InstalledUserSession& owner, int outputs, const std::string& configuration)
    : session(owner), runtime(owner.Home() + "/runtime"), ipc(runtime + "/sway-ipc.sock")
{
    if (!session.WriteHomeFile("sway.config", std::string(kBaseConfiguration) + configuration)) {
        failure = "cannot write sway's configuration";
        return;
    }
    // The build folder may be closed to the test's user; the home is its own.
    std::error_code error;
    fs::copy_file(VELMORA_WAYLAND_TEST_CLIENT, Client(), error);
    if (error) {
        failure = "cannot copy " + std::string(VELMORA_WAYLAND_TEST_CLIENT) + " into the home: " + error.message();
        return;
    }
    // sway takes a SWAYSOCK that does not exist yet as the place for its own.
    sway = Start("sway.log", {"sway", "--config", session.Home() + "/sway.config"},
                 {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1",
                  "WLR_HEADLESS_OUTPUTS=" + std::to_string(outputs)});
    if (!sway->Started() || !WaitForFile(ipc, *sway)) {
        failure = "sway did not start (Debian package sway):\n" + Log();
        return;
    }
    // The Wayland socket is named by sway itself, the first free one in the
    // runtime folder, which is the test's own.
    for (const auto deadline = Clock::now() + kStartTimeout; socket.empty() && Clock::now() < deadline;) {
        for (const auto& entry : fs::directory_iterator(runtime, error)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos && entry.is_socket(error))
                socket = name;
        }
        if (socket.empty())
            std::this_thread::sleep_for(milliseconds(20));
    }
    if (socket.empty() || !Command("nop")) {
        failure = "sway does not answer on " + runtime + ":\n" + Log();
        socket.clear();
    }
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
    std::vector<std::string> environment;
    for (const std::string& variable : session.Environment(""))
        if (variable.rfind("DISPLAY=", 0) != 0)
            environment.push_back(variable);
    environment.push_back("SWAYSOCK=" + ipc);
    if (!socket.empty())
        environment.push_back("WAYLAND_DISPLAY=" + socket);
    environment.insert(environment.end(), extra.begin(), extra.end());
    return environment;
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

bool PrivateCompositor::Command(const std::string& command) const
{
    const std::unique_ptr<ChildProcess> message = Start("swaymsg.log", {"swaymsg", command});
    return message->WaitExit(kCommandTimeout) == 0;
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

std::unique_ptr<ChildProcess> PrivateCompositor::OpenWindow(std::uint32_t colour) const
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "%06x", colour & 0xFFFFFF);
    const std::string log = std::string("window-") + hex + ".log";
    std::unique_ptr<ChildProcess> window = Start(log, {Client(), "window", hex});
    for (const auto deadline = Clock::now() + kStartTimeout; Clock::now() < deadline && window->Running();) {
        if (session.ReadHomeFile(log).find("shown\n") != std::string::npos)
            return window;
        std::this_thread::sleep_for(milliseconds(20));
    }
    return nullptr;
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
        const std::vector<std::string> environment = NulSeparated(entry.path() / "environ");
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
    std::vector<std::string> environment;
    for (const std::string& variable : session.Environment(""))
        if (variable.rfind("DISPLAY=", 0) != 0)
            environment.push_back(variable);
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
