// Counts that a test build keeps (CMake option TINTWELL_TEST_COUNTERS): how often each direct route
// was taken, and how often the table of watched dicts had no room. A fast path that has turned
// itself off gives the same results as the general route, so only a count shows it; the tests of
// the fast paths ask for them. Read through the exported C function tintwell_test_counter(name)
// (-1 for a name no counter has), never through the modules' namespaces. In any other build a
// counter is nothing and counting compiles to nothing.
#pragma once

namespace frame {

#ifdef TINTWELL_TEST_COUNTERS

class TestCounter {
public:
    explicit TestCounter(const char* name) noexcept;
    TestCounter(const TestCounter&) = delete;
    TestCounter& operator=(const TestCounter&) = delete;

    void count() noexcept { ++count_; }

private:
    friend long long counted(const char* name) noexcept;
    const char* name_;
    long long count_ = 0;
    TestCounter* next_;
};

#else

class TestCounter {
public:
    constexpr explicit TestCounter(const char*) noexcept {}
    TestCounter(const TestCounter&) = delete;
    TestCounter& operator=(const TestCounter&) = delete;

    void count() const noexcept {}
};

#endif

}  // namespace frame
