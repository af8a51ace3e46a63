// How a Linux saver speaks to a person: one line on standard error, after the
// program's name, as command-line programs do ("velmora: cannot open ...").
#pragma once

#include <string>

namespace NS_Report {

// The name the lines begin with; the entry sets it once, before anything fails.
void SetProgramName(const std::string& name);
const std::string& ProgramName();

// Writes "name: message" and a newline in one piece, so that lines of two
// threads never mix.
void Line(const std::string& message);

} // namespace NS_Report
