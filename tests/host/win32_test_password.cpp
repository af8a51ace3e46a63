// PASSWORD.CPL for the driver's tests: a password library whose verifier
// answers as the test says (VELMORA_TEST_PASSWORD: "accept", or "refuse-once"
// which refuses the first time and accepts after that) and notes each call in
// the file VELMORA_TEST_PASSWORD_LOG.
//
// On a refusal it behaves like a user who moved the mouse while typing: it
// moves the cursor, which the saver must take as its new anchor.
#include <windows.h>

#include <string>

namespace {

int calls = 0;

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[512] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 512);
    return length > 0 && length < 512 ? std::wstring(value) : std::wstring();
}

void NoteCall(bool answer)
{
    const std::wstring path = Environment(L"VELMORA_TEST_PASSWORD_LOG");
    if (path.empty()) {
        return;
    }
    HANDLE log = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             0, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        const char* line = answer ? "accept\n" : "refuse\n";
        DWORD written = 0;
        WriteFile(log, line, static_cast<DWORD>(std::char_traits<char>::length(line)), &written, nullptr);
        CloseHandle(log);
    }
}

} // namespace

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND /*window*/)
{
    ++calls;
    const bool accept = Environment(L"VELMORA_TEST_PASSWORD") == L"accept" || calls > 1;
    if (!accept) {
        POINT cursor{};
        GetCursorPos(&cursor);
        SetCursorPos(cursor.x + 100, cursor.y + 60);
    }
    NoteCall(accept);
    return accept ? TRUE : FALSE;
}
