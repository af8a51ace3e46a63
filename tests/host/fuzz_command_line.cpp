// libFuzzer target: the command line as the system may hand it to the saver,
// whole (program name first) and as bare arguments, read in 16-bit code units.
// Beyond memory safety it checks what the dispatch relies on: the parser never
// reads past the terminator and every mode keeps its handle rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "host/shell_rules.h"

using namespace NS_ShellRules;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Exactly as long as the input, then the terminator: a sanitizer sees any
    // read beyond it.
    std::vector<wchar_t> text;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    text.push_back(L'\0');
    const wchar_t* whole = text.data();
    const wchar_t* end = whole + text.size() - 1;

    const wchar_t* arguments = SkipProgramName(whole);
    if (arguments < whole || arguments > end) {
        std::abort();
    }
    for (const wchar_t* line : {whole, arguments}) {
        const Command command = ParseCommand(line);
        if (command.hasHandle != (command.mode == Mode::Preview || command.mode == Mode::ChangePassword ||
                                  (command.mode == Mode::Configure && command.hasHandle))) {
            std::abort();
        }
        if (!command.hasHandle && command.handle != 0) {
            std::abort();
        }
        (void)ParseDecimal(line);
    }
    return 0;
}
