#include "tests/support/win32_started_saver.h"

#include <tlhelp32.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "tests/support/wait_until.h"

namespace velmora_test {

namespace {

// The pause between two asks of a wait: this thread's messages pumped meanwhile.
void Pump(std::chrono::milliseconds ms)
{
    PumpFor(static_cast<DWORD>(ms.count()));
}

} // namespace

std::wstring WindowText(HWND window)
{
    wchar_t text[512] = {};
    // Not GetWindowTextW: it would send WM_GETTEXT to another process's window
    // only when it answers; InternalGetWindowText reads the stored title.
    InternalGetWindowText(window, text, 512);
    return text;
}

std::wstring OwnDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path);
    return directory.substr(0, directory.find_last_of(L"\\/"));
}

std::wstring OwnFile(const std::wstring& name)
{
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder, length) + L"velmora-" + name;
}

Saver::Saver(const std::wstring& arguments, const std::wstring& image)
    : imageName(image.substr(image.find_last_of(L"\\/") + 1))
{
    const std::wstring program = imageName == image ? OwnDirectory() + L"\\" + image : image;
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        startError = GetLastError();
        process = PROCESS_INFORMATION{};
    }
}

Saver::~Saver()
{
    if (process.hProcess != nullptr) {
        if (Running()) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

void PumpFor(DWORD ms)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const DWORD passed = GetTickCount() - start;
        if (passed >= ms) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - passed, QS_ALLINPUT);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD boundMs)
{
    return WaitUntil(std::chrono::milliseconds(boundMs), std::chrono::milliseconds(50), done, Pump);
}

bool Saver::WaitForExit(DWORD timeoutMs, int& code)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD passed = GetTickCount() - start;
        const DWORD left = passed >= timeoutMs ? 0 : timeoutMs - passed;
        const DWORD r = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, left, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) {
            DWORD exitCode = 0;
            GetExitCodeProcess(process.hProcess, &exitCode);
            code = static_cast<int>(exitCode);
            return true;
        }
        if (r == WAIT_OBJECT_0 + 1) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            continue;
        }
        if (r == WAIT_FAILED) {
            std::printf("waiting for the saver failed: error %lu\n", GetLastError());
        }
        return false;
    }
}

bool Saver::Running() const
{
    return WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
}

namespace {

struct Search {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data)
{
    Search& search = *reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[128] = {};
    GetClassNameW(window, className, 128);
    // Only a visible window: a window is found as soon as it exists, but a
    // dialog's texts are set and the saver's engine started (in WM_CREATE)
    // only before it is first shown.
    if (owner == search.processId && std::wcscmp(className, search.className) == 0 &&
        (search.title == nullptr || WindowText(window) == search.title) && IsWindowVisible(window)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND Saver::FindWindowOf(const wchar_t* className, const wchar_t* title, HWND parent, DWORD timeoutMs)
{
    Search search{process.dwProcessId, className, title, nullptr};
    WaitUntil(
        std::chrono::milliseconds(timeoutMs), std::chrono::milliseconds(20),
        [&] {
            if (parent != nullptr) {
                EnumChildWindows(parent, MatchWindow, reinterpret_cast<LPARAM>(&search));
            } else {
                EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
            }
            return search.found != nullptr || !Running();
        },
        Pump);
    return search.found;
}

HWND Saver::WaitForSaverWindow(DWORD timeoutMs)
{
    HWND window = FindWindowOf(L"WindowsScreenSaverClass", L"Screen Saver", nullptr, timeoutMs);
    if (window != nullptr) {
        // Let the first frames come.
        PumpFor(300);
    } else if (!Started()) {
        std::fprintf(stderr, "no saver window: the saver did not start (error %lu)\n", startError);
    } else {
        // Why, for the test that expected a window: how the saver ended, if it did.
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &code);
        std::fprintf(stderr, "no saver window: the saver %s 0x%lX\n",
                     code == STILL_ACTIVE ? "runs, code" : "ended with", code);
    }
    return window;
}

int Saver::OwnThreads() const
{
    using QueryThread = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryThread>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    if (query == nullptr) {
        return -1;
    }
    std::uintptr_t imageStart = 0, imageEnd = 0;
    HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process.dwProcessId);
    if (modules != INVALID_HANDLE_VALUE) {
        MODULEENTRY32W module{};
        module.dwSize = sizeof module;
        for (BOOL more = Module32FirstW(modules, &module); more; more = Module32NextW(modules, &module)) {
            if (_wcsicmp(module.szModule, imageName.c_str()) == 0) {
                imageStart = reinterpret_cast<std::uintptr_t>(module.modBaseAddr);
                imageEnd = imageStart + module.modBaseSize;
            }
        }
        CloseHandle(modules);
    }
    if (imageStart == 0) {
        return -1;
    }
    int count = 0;
    HANDLE threads = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(threads, &entry); more; more = Thread32Next(threads, &entry)) {
        if (entry.th32OwnerProcessID != process.dwProcessId) {
            continue;
        }
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (thread == nullptr) {
            continue;
        }
        std::uintptr_t startAddress = 0;
        constexpr int kThreadQuerySetWin32StartAddress = 9;
        if (query(thread, kThreadQuerySetWin32StartAddress, &startAddress, sizeof startAddress, nullptr) == 0 &&
            startAddress >= imageStart && startAddress < imageEnd) {
            ++count;
        }
        CloseHandle(thread);
    }
    CloseHandle(threads);
    return count;
}

} // namespace velmora_test
