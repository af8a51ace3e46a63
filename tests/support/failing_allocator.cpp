#include "tests/support/failing_allocator.h"

#include "kernel/failure.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t kHeader = 16; // keeps the block's alignment
constexpr std::uint32_t kTracked = 0x7A11C0DEu;

std::atomic<bool> armed{false};
std::atomic<bool> failAll{false};
std::atomic<long> countdown{0};   // fail when it reaches 0
std::atomic<long> allocations{0}; // made while armed
std::atomic<long> outstanding{0}; // made while armed and not yet freed

void* Allocate(std::size_t size) noexcept
{
    const bool track = armed.load(std::memory_order_relaxed);
    if (track) {
        if (failAll.load(std::memory_order_relaxed) || countdown.fetch_sub(1, std::memory_order_relaxed) == 1) {
            return nullptr;
        }
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (block == nullptr) {
        return nullptr;
    }
    const std::uint32_t tag = track ? kTracked : 0u;
    std::memcpy(block, &tag, sizeof tag);
    if (track) {
        outstanding.fetch_add(1, std::memory_order_relaxed);
    }
    return block + kHeader;
}

void Release(void* pointer) noexcept
{
    if (pointer == nullptr) {
        return;
    }
    unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
    std::uint32_t tag = 0;
    std::memcpy(&tag, block, sizeof tag);
    if (tag == kTracked) {
        outstanding.fetch_sub(1, std::memory_order_relaxed);
    }
    std::free(block);
}

} // namespace

namespace velmora_test::failing_allocator {

void Arm(long n)
{
    countdown = n == 0 ? -1 : n;
    allocations = 0;
    outstanding = 0;
    armed = true;
}

void FailAll()
{
    failAll = true;
}

void Disarm()
{
    armed = false;
    failAll = false;
}

long Allocations()
{
    return allocations.load();
}

long Outstanding()
{
    return outstanding.load();
}

namespace {

// Empty when the run ended normally or for want of memory.
std::string RunArmed(const std::function<void()>& run, long n)
{
    std::string unexpected;
    Arm(n);
    try {
        run();
    } catch (const std::bad_alloc&) {
    } catch (...) {
        unexpected = NS_Failure::Describe(std::current_exception());
    }
    Disarm();
    return unexpected;
}

} // namespace

std::string FailEachAllocationInTurn(const std::function<void()>& run, long& total)
{
    total = 0;
    std::string unexpected = RunArmed(run, 0);
    if (!unexpected.empty())
        return "a run without failures threw: " + unexpected;
    total = Allocations();
    for (long n = 0; n <= total; ++n) {
        if (n > 0 && !(unexpected = RunArmed(run, n)).empty())
            return "failing allocation " + std::to_string(n) + " of " + std::to_string(total) + " threw: " + unexpected;
        if (Outstanding() != 0)
            return std::to_string(Outstanding()) + " blocks left after failing allocation " + std::to_string(n) +
                   " of " + std::to_string(total);
    }
    return "";
}

} // namespace velmora_test::failing_allocator

void* operator new(std::size_t size)
{
    void* pointer = Allocate(size);
    if (pointer == nullptr) {
        throw std::bad_alloc();
    }
    return pointer;
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}
void operator delete(void* pointer) noexcept
{
    Release(pointer);
}
void operator delete[](void* pointer) noexcept
{
    Release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept
{
    Release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept
{
    Release(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept
{
    Release(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept
{
    Release(pointer);
}
