// libFuzzer target: any bytes as the user's ~/.xscreensaver. Beyond memory
// safety it checks what the command promises: a file it refuses gets no new
// text, adding then removing gives the file back byte for byte, adding twice
// changes nothing the second time, and a removal leaves no entry behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/add-to-xscreensaver/xscreensaver_list.h"

using namespace NS_XScreenSaverList;

namespace {

void Check(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string file(reinterpret_cast<const char*>(data), size);

    const Edit added = AddEntry(file);
    switch (added.outcome) {
    case Outcome::Refused:
        Check(added.text.empty() && !added.reason.empty());
        break;
    case Outcome::Added: {
        // The one exception: the file this program writes where there is
        // none is also what adding gives for its comment alone, and removing
        // takes it away whole.
        const Edit removed = RemoveEntry(added.text);
        Check((removed.outcome == Outcome::Removed && removed.text == file) ||
              (removed.outcome == Outcome::RemovedAll && added.text == NewFile()));
        Check(AddEntry(added.text).outcome == Outcome::AlreadyPresent);
        break;
    }
    case Outcome::Enabled:
        Check(added.text.size() + 1 == file.size());
        Check(AddEntry(added.text).outcome == Outcome::AlreadyPresent);
        break;
    case Outcome::AlreadyPresent:
        Check(added.text.empty() && !added.found.empty());
        break;
    default:
        Check(false);
    }

    const Edit removed = RemoveEntry(file);
    if (removed.outcome == Outcome::Removed) {
        const Edit again = RemoveEntry(removed.text);
        Check(again.outcome == Outcome::NotPresent);
        Check(AddEntry(removed.text).outcome == Outcome::Added);
    } else if (removed.outcome != Outcome::Refused) {
        Check(removed.text.empty());
    }
    return 0;
}
