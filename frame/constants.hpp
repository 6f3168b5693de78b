// The constant pool: strings and integers created once, during module exec, and never freed. Each
// constant is a static object initialised at compile time, so that loading a module runs no code
// (nor needs the C++ runtime's guarded initialisation); exec builds the pools, the lists of them
// that the module's definition names.
#pragma once

#include <span>

#include "ref.hpp"

namespace frame {

class RememberedValue;

class PoolEntry {
public:
    PoolEntry(const PoolEntry&) = delete;
    PoolEntry& operator=(const PoolEntry&) = delete;

    [[nodiscard]] PyObject* get() const noexcept { return obj_.get(); }

    // Makes the object unless an earlier exec made it already; -1 with an exception set.
    int build() noexcept;

protected:
    enum class Form : unsigned char { identifier, text, integer };
    constexpr PoolEntry(Form form, const char* utf8, long value, RememberedValue* remembered) noexcept
        : utf8_(utf8), value_(value), remembered_(remembered), form_(form) {}
    ~PoolEntry() = default;

    const char* utf8_;  // identifier, text
    long value_;        // integer

private:
    RememberedValue* remembered_;  // where lookups by this name keep their value; enlisted when built
    Form form_;
    StaticRef obj_;
};

// A list of constants, built in order.
using Pool = std::span<PoolEntry* const>;

// The constants of an X-list, whose entries read X(type, name, constructor arguments...), and
// `pool`, the list of them: each constant named once.
#define TINTWELL_CONSTANT(type, name, ...) inline constinit type name{__VA_ARGS__};
#define TINTWELL_POOLED(type, name, ...) &name,
#define TINTWELL_CONSTANTS(LIST)                                                         \
    LIST(TINTWELL_CONSTANT)                                                              \
    inline constexpr ::frame::PoolEntry* const pool_entries[] = {LIST(TINTWELL_POOLED)}; \
    inline constexpr ::frame::Pool pool{pool_entries};

// A str constant. Identifiers (attribute names, dict keys, parameter names) are interned so that
// keyword matching and dict lookups can compare by identity first.
class Str : public PoolEntry {
public:
    enum class Kind { identifier, text };
    constexpr explicit Str(const char* utf8, Kind kind = Kind::identifier) noexcept
        : PoolEntry(kind == Kind::identifier ? Form::identifier : Form::text, utf8, 0, nullptr) {}

    [[nodiscard]] const char* utf8() const noexcept { return utf8_; }

protected:
    // An identifier whose lookups remember their value in `remembered`.
    constexpr Str(const char* utf8, RememberedValue* remembered) noexcept
        : PoolEntry(Form::identifier, utf8, 0, remembered) {}
};

class Int final : public PoolEntry {
public:
    constexpr explicit Int(long value) noexcept : PoolEntry(Form::integer, nullptr, value, nullptr) {}

    [[nodiscard]] long value() const noexcept { return value_; }
};

}  // namespace frame
