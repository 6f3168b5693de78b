#include "constants.hpp"

namespace frame {

namespace {
constinit PoolEntry* pool_head = nullptr;
}

PoolEntry::PoolEntry() noexcept : next_(pool_head) { pool_head = this; }

int PoolEntry::build_all() noexcept {
    for (PoolEntry* entry = pool_head; entry != nullptr; entry = entry->next_) {
        if (!entry->built() && entry->build() < 0) {
            return -1;
        }
    }
    return 0;
}

int Str::build() noexcept {
    obj_.set(Ref::steal(kind_ == Kind::identifier ? PyUnicode_InternFromString(utf8_) : PyUnicode_FromString(utf8_)));
    return obj_ ? 0 : -1;
}

int Int::build() noexcept {
    obj_.set(Ref::steal(PyLong_FromLong(value_)));
    return obj_ ? 0 : -1;
}

}  // namespace frame
