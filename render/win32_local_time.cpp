#include <ctime>

#include "render/local_time.h"

namespace NS_LocalTime {

Reading SystemLocalTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm broken{};
    if (localtime_s(&broken, &now) != 0) {
        return Reading{};
    }
    return Reading{broken.tm_hour, broken.tm_min, broken.tm_sec};
}

} // namespace NS_LocalTime
