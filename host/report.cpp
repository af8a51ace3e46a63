#include "host/report.h"

#include <cstdio>

namespace NS_Report {

namespace {
std::string programName = "velmora";
}

void SetProgramName(const std::string& name)
{
    programName = name;
}

const std::string& ProgramName()
{
    return programName;
}

void Line(const std::string& message)
{
    const std::string line = programName + ": " + message + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace NS_Report
