#include "cache.hpp"

namespace paint {

using frame::Ref;

bool cacheable(PyObject* colour) noexcept {
    if (PyUnicode_CheckExact(colour) || PyLong_CheckExact(colour)) {
        return true;
    }
    if (!PyTuple_CheckExact(colour) || PyTuple_GET_SIZE(colour) != 3) {
        return false;
    }
    return PyLong_CheckExact(PyTuple_GET_ITEM(colour, 0)) && PyLong_CheckExact(PyTuple_GET_ITEM(colour, 1)) &&
           PyLong_CheckExact(PyTuple_GET_ITEM(colour, 2));
}

namespace {

// Remembers `colour` and `sequence` as the last ones; the ones they replace are released last.
void remember_last(SequenceCache& cache, PyObject* colour, PyObject* sequence) noexcept {
    PyObject* old_colour = cache.last_colour;
    PyObject* old_sequence = cache.last_sequence;
    cache.last_colour = Py_NewRef(colour);
    cache.last_sequence = Py_NewRef(sequence);
    Py_XDECREF(old_colour);
    Py_XDECREF(old_sequence);
}

}  // namespace

int cache_init(SequenceCache& cache) noexcept {
    cache.recent = PyDict_New();
    cache.older = nullptr;
    cache.last_colour = cache.last_sequence = nullptr;
    return cache.recent == nullptr ? -1 : 0;
}

PyObject* cache_find(SequenceCache& cache, PyObject* colour) noexcept {
    // Keys are exact str, int and tuples of ints: a lookup cannot run Python code or fail.
    PyObject* sequence = PyDict_GetItemWithError(cache.recent, colour);
    if (sequence != nullptr) {
        remember_last(cache, colour, sequence);
        return Py_NewRef(sequence);
    }
    if (cache.older == nullptr) {
        return nullptr;
    }
    if (PyDict_Pop(cache.older, colour, &sequence) <= 0) {
        return nullptr;
    }
    if (cache_store(cache, colour, sequence) < 0) {
        PyErr_Clear();  // a failed move only costs the colour its place; the sequence is still good
    }
    remember_last(cache, colour, sequence);
    return sequence;
}

int cache_store(SequenceCache& cache, PyObject* colour, PyObject* sequence) noexcept {
    if (PyDict_GET_SIZE(cache.recent) >= kGeneration) {
        PyObject* fresh = PyDict_New();
        if (fresh == nullptr) {
            return -1;
        }
        PyObject* dropped = cache.older;
        cache.older = cache.recent;
        cache.recent = fresh;
        Py_XDECREF(dropped);  // last: the cache is whole again before anything is freed
    }
    return PyDict_SetItem(cache.recent, colour, sequence);
}

int cache_clear(SequenceCache& cache) noexcept {
    PyObject* fresh = PyDict_New();
    if (fresh == nullptr) {
        return -1;
    }
    PyObject* dropped[4] = {cache.recent, cache.older, cache.last_colour, cache.last_sequence};
    cache.recent = fresh;
    cache.older = cache.last_colour = cache.last_sequence = nullptr;
    for (PyObject* old : dropped) {  // last: the cache is whole again before anything is freed
        Py_XDECREF(old);
    }
    return 0;
}

Py_ssize_t cache_size(const SequenceCache& cache) noexcept {
    return PyDict_GET_SIZE(cache.recent) + (cache.older != nullptr ? PyDict_GET_SIZE(cache.older) : 0);
}

void cache_release(SequenceCache& cache) noexcept {
    Py_CLEAR(cache.recent);
    Py_CLEAR(cache.older);
    Py_CLEAR(cache.last_colour);
    Py_CLEAR(cache.last_sequence);
}

}  // namespace paint
