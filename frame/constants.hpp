// The constant pool: strings and integers created once, during module exec, and never freed. Each
// constant is a static object that registers itself at load time; exec builds every registered
// constant in one pass.
#pragma once

#include "ref.hpp"

namespace frame {

class PoolEntry {
public:
    PoolEntry(const PoolEntry&) = delete;
    PoolEntry& operator=(const PoolEntry&) = delete;

    // Builds every entry that is not built yet; -1 with an exception set on failure.
    static int build_all() noexcept;

protected:
    PoolEntry() noexcept;
    ~PoolEntry() = default;
    virtual bool built() const noexcept = 0;
    virtual int build() noexcept = 0;

private:
    PoolEntry* next_;
};

// A str constant. Identifiers (attribute names, dict keys, parameter names) are interned so that
// keyword matching and dict lookups can compare by identity first.
class Str : public PoolEntry {
public:
    enum class Kind { identifier, text };
    explicit Str(const char* utf8, Kind kind = Kind::identifier) noexcept : utf8_(utf8), kind_(kind) {}

    [[nodiscard]] PyObject* get() const noexcept { return obj_.get(); }
    [[nodiscard]] const char* utf8() const noexcept { return utf8_; }

private:
    bool built() const noexcept final { return static_cast<bool>(obj_); }
    int build() noexcept final;

    const char* utf8_;
    Kind kind_;
    StaticRef obj_;
};

class Int final : public PoolEntry {
public:
    explicit Int(long value) noexcept : value_(value) {}

    [[nodiscard]] PyObject* get() const noexcept { return obj_.get(); }
    [[nodiscard]] long value() const noexcept { return value_; }

private:
    bool built() const noexcept override { return static_cast<bool>(obj_); }
    int build() noexcept override;

    long value_;
    StaticRef obj_;
};

}  // namespace frame
