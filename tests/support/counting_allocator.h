#pragma once

// A program that links counting_allocator.cpp counts every global operator new, from every
// thread, so a test can show that a stretch of work allocates nothing.
namespace VadiZov::testing {

long allocationCount();

} // namespace VadiZov::testing
