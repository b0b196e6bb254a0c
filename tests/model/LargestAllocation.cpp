#include "LargestAllocation.h"

#include <cstdlib>
#include <new>

// In a file of its own: where the compiler sees both this operator new and a
// caller's delete, it takes malloc and free for a mismatched pair.

namespace {

thread_local bool measuring = false;
thread_local std::size_t largest = 0;

} // namespace

void* operator new(std::size_t size)
{
    if (measuring && size > largest) {
        largest = size;
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

namespace a3::test {

void startMeasuringAllocations()
{
    largest = 0;
    measuring = true;
}

std::size_t largestAllocationSinceStart()
{
    return largest;
}

} // namespace a3::test
