#include "test_counters.hpp"

#ifdef TINTWELL_TEST_COUNTERS

#include <string_view>

namespace frame {

namespace {
constinit TestCounter* counters_head = nullptr;
}

TestCounter::TestCounter(const char* name) noexcept : name_(name), next_(counters_head) { counters_head = this; }

long long counted(const char* name) noexcept {
    for (const TestCounter* counter = counters_head; counter != nullptr; counter = counter->next_) {
        if (std::string_view(counter->name_) == name) {
            return counter->count_;
        }
    }
    return -1;
}

}  // namespace frame

extern "C" [[gnu::visibility("default")]] long long tintwell_test_counter(const char* name) noexcept {
    return frame::counted(name);
}

#endif
