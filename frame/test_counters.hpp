// Counts that a test build keeps (CMake option TINTWELL_TEST_COUNTERS): how often each direct route
// was taken, and how often the table of watched dicts had no room. A fast path that has turned
// itself off gives the same results as the general route, so only a count shows it; the tests of
// the fast paths ask for them. Read through the exported C function tintwell_test_counter(name)
// (-1 for a name no counter has), never through the modules' namespaces. In any other build a
// counter is nothing and counting compiles to nothing.
#pragma once

#include <span>

namespace frame {

#ifdef TINTWELL_TEST_COUNTERS

class TestCounter {
public:
    constexpr explicit TestCounter(const char* name) noexcept : name_(name) {}
    TestCounter(const TestCounter&) = delete;
    TestCounter& operator=(const TestCounter&) = delete;

    void count() noexcept { ++count_; }

private:
    friend long long counted(const char* name) noexcept;
    const char* name_;
    long long count_ = 0;
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

// The counters of an X-list, whose entries read X(name, "label"), and `all`, the list of them that
// tintwell_test_counter searches: each counter named once.
#define TINTWELL_COUNTER(name, label) inline constinit ::frame::TestCounter name{label};
#define TINTWELL_LISTED_COUNTER(name, label) &name,
#define TINTWELL_COUNTERS(LIST) \
    LIST(TINTWELL_COUNTER)      \
    inline constexpr ::frame::TestCounter* const all[] = {LIST(TINTWELL_LISTED_COUNTER)};

// The frame's own counters.
#define TINTWELL_FRAME_COUNTERS(X)                        \
    X(remembered_global, "frame.remembered_global")       \
    X(remembered_attribute, "frame.remembered_attribute") \
    X(positional_binding, "frame.positional_binding")     \
    X(own_call, "frame.own_call")                         \
    X(watch_table_full, "frame.watch_table_full")         \
    X(watch_evicted, "frame.watch_evicted")

namespace counters {
TINTWELL_COUNTERS(TINTWELL_FRAME_COUNTERS)
}

}  // namespace frame
