// The constant pool: strings, integers and traceback labels created once, during module exec, and
// never freed. Each constant is a static object that registers itself at load time; exec builds
// every registered constant of a phase in one pass.
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
class Str final : public PoolEntry {
public:
    enum class Kind { identifier, text };
    explicit Str(const char* utf8, Kind kind = Kind::identifier) noexcept : utf8_(utf8), kind_(kind) {}

    [[nodiscard]] PyObject* get() const noexcept { return obj_; }
    [[nodiscard]] Borrowed borrowed() const noexcept { return Borrowed(obj_); }
    [[nodiscard]] const char* utf8() const noexcept { return utf8_; }

    // The global of this name as last looked up in `dict` (see lookup_global): a borrowed pointer
    // that is valid while `generation` matches the current generation of the watched dicts.
    struct GlobalCache {
        PyObject* dict = nullptr;
        PyObject* value = nullptr;
        unsigned long long generation = 0;
    };
    mutable GlobalCache global_cache;

    // The attribute of this name of one module (see lookup_attribute), valid under the same rule.
    struct AttributeCache {
        PyObject* owner = nullptr;  // strong
        PyObject* value = nullptr;
        unsigned long long generation = 0;
    };
    mutable AttributeCache attribute_cache;

private:
    bool built() const noexcept override { return obj_ != nullptr; }
    int build() noexcept override;

    const char* utf8_;
    Kind kind_;
    PyObject* obj_ = nullptr;
};

class Int final : public PoolEntry {
public:
    explicit Int(long value) noexcept : value_(value) {}

    [[nodiscard]] PyObject* get() const noexcept { return obj_; }
    [[nodiscard]] long value() const noexcept { return value_; }

private:
    bool built() const noexcept override { return obj_ != nullptr; }
    int build() noexcept override;

    long value_;
    PyObject* obj_ = nullptr;
};

// The code object that names a function in traceback entries, e.g. "tintwell.colors.parse_hex"
// in the file "tintwell/colors". Created the first time an exception needs it and kept from then
// on: creating code objects at import would only slow every import down.
class TraceLabel {
public:
    // `path` is the function's dotted path inside the module, e.g. "enable_windows_vt._try_enable";
    // a null path labels the module's own initialisation ("init tintwell.colors").
    constexpr TraceLabel(const char* path, int line) noexcept : path_(path), line_(line) {}
    TraceLabel(const TraceLabel&) = delete;
    TraceLabel& operator=(const TraceLabel&) = delete;

    // Adds an entry for this function to the traceback of the pending exception; `globals` is the
    // namespace of the function (or of the module being executed), null for a cleared function.
    void add_to_traceback(PyObject* globals) const noexcept;

private:
    PyCodeObject* code() const noexcept;

    const char* path_;
    int line_;
    mutable PyCodeObject* code_ = nullptr;
};

}  // namespace frame
