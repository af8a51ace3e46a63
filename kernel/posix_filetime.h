// The Win32 FILETIME layout for hosts that have no windows.h: 100-nanosecond
// intervals since 1 January 1601 UTC, low word first.
#pragma once

#include <cstdint>

typedef struct _FILETIME {
    std::uint32_t dwLowDateTime;
    std::uint32_t dwHighDateTime;
} FILETIME;
