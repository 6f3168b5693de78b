#include "test_counters.hpp"

#ifdef TINTWELL_TEST_COUNTERS

#include <string_view>

#include "module.hpp"

namespace frame {

long long counted(const char* name) noexcept {
    for (const std::span<TestCounter* const> list :
         {std::span<TestCounter* const>(counters::all), module_info.counters}) {
        for (const TestCounter* counter : list) {
            if (std::string_view(counter->name_) == name) {
                return counter->count_;
            }
        }
    }
    return -1;
}

}  // namespace frame

extern "C" [[gnu::visibility("default")]] long long tintwell_test_counter(const char* name) noexcept {
    return frame::counted(name);
}

#endif
