#include "constants.hpp"

#include "dict_watch.hpp"

namespace frame {

int PoolEntry::build() noexcept {
    if (!obj_) {
        switch (form_) {
            case Form::identifier:
                obj_.set(Ref::steal(PyUnicode_InternFromString(utf8_)));
                break;
            case Form::text:
                obj_.set(Ref::steal(PyUnicode_FromString(utf8_)));
                break;
            case Form::integer:
                obj_.set(Ref::steal(PyLong_FromLong(value_)));
                break;
        }
        if (!obj_) {
            return -1;
        }
    }
    if (remembered_ != nullptr) {
        remembered_->enlist();
    }
    return 0;
}

}  // namespace frame
