// Turning whatever was thrown into words for a person, for the places that must
// stop an exception (the worker's top, the host's last resort).
#pragma once

#include <exception>
#include <string>

namespace NS_Failure {

// Names the failing component ("the time service", ...). Kernel exceptions are
// thrown as pointers to fresh objects: this deletes the object it names.
std::string Describe(std::exception_ptr failure);

} // namespace NS_Failure
