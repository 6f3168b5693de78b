// The sequences a painter has made for recently shown colours, one cache per colour layer.
//
// Two generations of kGeneration entries: a hit in the newer costs one dict lookup; a colour found in
// the older moves to the newer; when the newer is full it becomes the older and the older is dropped,
// so what goes is what has gone unused longest. Only colours of exact type str, int and tuples of
// three ints are kept: their hashing and comparison run no Python code, and equal values of other
// types may stand for other colours (1.0 and 1, (1 + 0j, 2, 3) and (1, 2, 3)).
#pragma once

#include "frame/ref.hpp"

namespace paint {

constexpr Py_ssize_t kGeneration = 256;

struct SequenceCache {
    PyObject* recent;  // dict colour -> sequence, owned; never null while the painter lives
    PyObject* older;   // the same, owned; null until the first turn of generations
    // The colour last found or stored, and its sequence (owned, or both null): a call with the very
    // same object (a literal in a loop) needs no lookup. Only kept colours, whose value cannot change.
    PyObject* last_colour;
    PyObject* last_sequence;
};

// Whether `colour` may be a key.
bool cacheable(PyObject* colour) noexcept;

// Makes the empty cache; -1 with an exception set on failure.
int cache_init(SequenceCache& cache) noexcept;

// The sequence kept for `colour` (a new reference), or null with no exception set when there is none.
PyObject* cache_find(SequenceCache& cache, PyObject* colour) noexcept;

// cache_find for the colour of the last call, which needs no lookup; null when `colour` is another.
inline PyObject* cache_last(const SequenceCache& cache, PyObject* colour) noexcept {
    return colour == cache.last_colour ? Py_NewRef(cache.last_sequence) : nullptr;
}

// Keeps `sequence` for `colour` in the newer generation; -1 with an exception set on failure.
int cache_store(SequenceCache& cache, PyObject* colour, PyObject* sequence) noexcept;

// Forgets every sequence and the last colour, as for a painter whose level has changed; -1 with an
// exception set on failure (the cache is then as it was).
int cache_clear(SequenceCache& cache) noexcept;

// Sequences kept in both generations.
Py_ssize_t cache_size(const SequenceCache& cache) noexcept;

// Releases both generations (for the painter's deallocation). The garbage collector need not see the
// caches: their keys and values are str, int and tuples of ints, which can hold nothing else.
void cache_release(SequenceCache& cache) noexcept;

}  // namespace paint
