// How the kernel reports a failure, and how the places that must stop a failure
// (the worker's top, the universe's teardown, the tools' last resort) put it into
// words for a person.
#pragma once

#include <cstddef>
#include <exception>
#include <new>
#include <string>

namespace NS_Failure {

// Every kernel failure is a pointer to a fresh, empty object of the failing
// component's own Exception class; null when even that allocation fails.
template <typename E> [[noreturn]] void Throw()
{
    throw new (std::nothrow) E;
}

// Names the failing component ("the time service", ...) and deletes the kernel
// exception object it names. Allocates the returned string.
std::string Describe(std::exception_ptr failure);

// The same words, copied into a caller's buffer (cut short to fit, always
// terminated when size > 0), without allocating and without throwing: for
// places where nothing may escape.
void DescribeInto(std::exception_ptr failure, char* buffer, std::size_t size) noexcept;

// Lets a failure go without a word: deletes the kernel exception object it
// names, if any. Never throws.
void Discard(std::exception_ptr failure) noexcept;

} // namespace NS_Failure
