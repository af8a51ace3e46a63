#include <ctime>

#include "render/local_time.h"

namespace NS_LocalTime {

Reading SystemLocalTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm broken{};
    // localtime_r: the host's thread may use localtime's static buffer meanwhile.
    if (localtime_r(&now, &broken) == nullptr) {
        return Reading{};
    }
    return Reading{broken.tm_hour, broken.tm_min, broken.tm_sec};
}

} // namespace NS_LocalTime
