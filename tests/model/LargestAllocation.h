#pragma once

#include <cstddef>

namespace a3::test {

// The largest block this thread has allocated with operator new since the
// last call of startMeasuringAllocations(); this test program replaces the
// global operator new to measure it.
void startMeasuringAllocations();
std::size_t largestAllocationSinceStart();

} // namespace a3::test
