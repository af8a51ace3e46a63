#include "tests/host/win32_driver.h"

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace velmora_driver {

bool MovePointer(int x, int y, DWORD timeoutMs)
{
    const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (!underWine) {
        SetCursorPos(x, y);
    } else {
        // Wine starts a Unix program as it is and hands back no process to wait
        // for: the wait is for the position below.
        std::wstring commandLine = L"xdotool mousemove " + std::to_wstring(x) + L" " + std::to_wstring(y);
        std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back(L'\0');
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!CreateProcessW(L"Z:\\usr\\bin\\xdotool", buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &started)) {
            std::fprintf(stderr, "cannot start /usr/bin/xdotool (error %lu): scripts/install-deps installs it\n",
                         GetLastError());
            return false;
        }
        if (started.hProcess != nullptr) {
            CloseHandle(started.hThread);
            CloseHandle(started.hProcess);
        }
    }
    return PumpUntil(
        [x, y] {
            POINT at{};
            return GetCursorPos(&at) && at.x == x && at.y == y;
        },
        timeoutMs);
}

namespace {

BOOL CALLBACK CollectOfClass(HWND window, LPARAM data)
{
    auto& found = *reinterpret_cast<std::pair<const wchar_t*, std::vector<HWND>>*>(data);
    wchar_t className[128] = {};
    GetClassNameW(window, className, 128);
    if (std::wcscmp(className, found.first) == 0 && IsWindowVisible(window)) {
        found.second.push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK CollectStatics(HWND window, LPARAM data)
{
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (_wcsicmp(className, L"Static") == 0) {
        reinterpret_cast<std::vector<std::wstring>*>(data)->push_back(WindowText(window));
    }
    return TRUE;
}

} // namespace

std::vector<HWND> WindowsOfClass(const wchar_t* className)
{
    std::pair<const wchar_t*, std::vector<HWND>> found{className, {}};
    EnumWindows(CollectOfClass, reinterpret_cast<LPARAM>(&found));
    return found.second;
}

std::vector<std::wstring> StaticTexts(HWND dialog)
{
    std::vector<std::wstring> texts;
    EnumChildWindows(dialog, CollectStatics, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

void SetUsePassword(bool on)
{
    HKEY desktop = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &desktop,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (on) {
        DWORD one = 1;
        RegSetValueExW(desktop, L"ScreenSaveUsePassword", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                       sizeof one);
    } else {
        RegDeleteValueW(desktop, L"ScreenSaveUsePassword");
    }
    RegCloseKey(desktop);
}

bool OwnPasswordFamily()
{
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExW(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

namespace {

std::uint32_t BigEndian(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

bool ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    const BOOL ok = bytes.empty() || ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return ok && read == bytes.size();
}

int MaskShift(std::uint32_t mask)
{
    int shift = 0;
    while (mask != 0 && (mask & 1u) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

} // namespace

bool TakeScreenshot(const std::wstring& path, Screenshot& shot, std::string& error)
{
    using UnixName = char*(CDECL*)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr) {
        error = "not under Wine: no xwd";
        return false;
    }
    DeleteFileW(path.c_str());
    // The file must exist for its Unix name to be known.
    CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    char* target = unixName(path.c_str());
    if (target == nullptr) {
        error = "no Unix name for the screenshot";
        return false;
    }
    std::string command = "/usr/bin/xwd -root -silent -out ";
    command += target;
    HeapFree(GetProcessHeap(), 0, target);
    std::wstring wide(command.begin(), command.end());
    std::vector<wchar_t> buffer(wide.begin(), wide.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        error = "cannot start xwd";
        return false;
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);

    // A Unix child is not waited for through its handle: the file is complete
    // once it holds as many bytes as its header announces.
    std::vector<unsigned char> bytes;
    const auto complete = [&] {
        if (!ReadWholeFile(path, bytes) || bytes.size() < 100) {
            return false;
        }
        const unsigned char* h = bytes.data();
        const std::size_t expected = BigEndian(h) + std::size_t(BigEndian(h + 19 * 4)) * 12 +
                                     std::size_t(BigEndian(h + 12 * 4)) * BigEndian(h + 5 * 4);
        return bytes.size() >= expected;
    };
    if (!PumpUntil(complete, 15000)) {
        error = "xwd wrote no complete picture";
        return false;
    }
    const unsigned char* h = bytes.data();
    const std::uint32_t headerSize = BigEndian(h), width = BigEndian(h + 4 * 4), height = BigEndian(h + 5 * 4);
    const std::uint32_t byteOrder = BigEndian(h + 7 * 4), bitsPerPixel = BigEndian(h + 11 * 4);
    const std::uint32_t bytesPerLine = BigEndian(h + 12 * 4), redMask = BigEndian(h + 14 * 4);
    const std::uint32_t greenMask = BigEndian(h + 15 * 4), blueMask = BigEndian(h + 16 * 4);
    const std::uint32_t colours = BigEndian(h + 19 * 4);
    // xwd of a Xinerama screen says 24 bits per pixel for rows of 32-bit pixels.
    const std::uint32_t bytesPerPixel = bitsPerPixel == 32 || (bitsPerPixel == 24 && bytesPerLine >= width * 4) ? 4
                                        : bitsPerPixel == 24                                                    ? 3
                                                                                                                : 0;
    if (bytesPerPixel == 0) {
        error = "screenshot is neither 24 nor 32 bits per pixel";
        return false;
    }
    const unsigned char* data = h + headerSize + colours * 12;
    shot.width = static_cast<int>(width);
    shot.height = static_cast<int>(height);
    shot.pixels.resize(std::size_t(width) * height);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const unsigned char* p = data + std::size_t(y) * bytesPerLine + x * bytesPerPixel;
            std::uint32_t v = 0;
            for (std::uint32_t i = 0; i < bytesPerPixel; ++i) {
                v |= std::uint32_t(p[byteOrder == 0 ? i : bytesPerPixel - 1 - i]) << (8 * i);
            }
            const std::uint32_t r = (v & redMask) >> MaskShift(redMask), g = (v & greenMask) >> MaskShift(greenMask),
                                b = (v & blueMask) >> MaskShift(blueMask);
            shot.pixels[std::size_t(y) * width + x] = (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
        }
    }
    return true;
}

namespace {
std::string FirstLineOf(const std::wstring& path)
{
    std::string line;
    if (FILE* file = _wfopen(path.c_str(), L"r")) {
        char buffer[128] = {};
        if (std::fgets(buffer, sizeof buffer, file) != nullptr) {
            line = buffer;
        }
        std::fclose(file);
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}
} // namespace

TestBuildRun::TestBuildRun(unsigned failAtCycle)
    : contextLog(OwnFile(L"contexts.txt")), failureLog(OwnFile(L"failure-time.txt"))
{
    DeleteFileW(contextLog.c_str());
    DeleteFileW(failureLog.c_str());
    SetEnvironmentVariableW(L"VELMORA_TEST_FAIL_AT_CYCLE", std::to_wstring(failAtCycle).c_str());
    SetEnvironmentVariableW(L"VELMORA_TEST_FAILURE_LOG", failureLog.c_str());
    SetEnvironmentVariableW(L"VELMORA_TEST_CONTEXT_LOG", contextLog.c_str());
}

TestBuildRun::~TestBuildRun()
{
    DeleteFileW(contextLog.c_str());
    DeleteFileW(failureLog.c_str());
    SetEnvironmentVariableW(L"VELMORA_TEST_FAIL_AT_CYCLE", nullptr);
    SetEnvironmentVariableW(L"VELMORA_TEST_FAILURE_LOG", nullptr);
    SetEnvironmentVariableW(L"VELMORA_TEST_CONTEXT_LOG", nullptr);
}

std::string TestBuildRun::Contexts() const
{
    return FirstLineOf(contextLog);
}

long long TestBuildRun::FailedAt() const
{
    const std::string line = FirstLineOf(failureLog);
    return line.empty() ? -1 : std::stoll(line);
}

long long SteadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace velmora_driver
