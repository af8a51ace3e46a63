// libFuzzer target: velmora-snapshot's command line through ParseSnapshotOptions.
// Beyond memory safety it checks what the tool relies on once the options are
// accepted: a size the tool allows, counts of at least one, a clock time, a
// device that is the software renderer or a number, and a picture format that
// matches the name and the frame count.
#include <cctype>
#include <cstdlib>
#include <string>

#include "tests/support/fuzz_arguments.h"
#include "tools/snapshot/snapshot_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SnapshotOptions options;
    const std::string error = ParseSnapshotOptions(velmora_fuzz::Arguments(data, size), options);
    if (!error.empty() || options.help) {
        return 0;
    }
    const std::string& output = options.output;
    std::string ending;
    for (std::size_t i = output.size() < 5 ? 0 : output.size() - 5; i < output.size(); ++i) {
        ending += static_cast<char>(std::tolower(static_cast<unsigned char>(output[i])));
    }
    const bool webp = ending == ".webp";
    const bool holds = options.width >= 1 && options.width <= 4096 && options.height >= 1 && options.height <= 4096 &&
                       options.cycles >= 1 && options.frames >= 1 && options.every >= 1 && options.hours >= 0 &&
                       options.hours <= 23 && options.minutes >= 0 && options.minutes <= 59 && !output.empty() &&
                       options.device >= kSoftwareRenderer && options.device <= 999 &&
                       (options.format == PictureFormat::WebP || options.frames == 1) &&
                       (options.format == PictureFormat::WebP) == webp;
    if (!holds) {
        std::abort();
    }
    return 0;
}
