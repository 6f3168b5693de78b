// Function attributes of GCC and Clang, for compilers that know them; elsewhere (MSVC) nothing, where
// they would only be warned of as unknown. They steer code layout and inlining, never behaviour.
#pragma once

#if __has_cpp_attribute(gnu::cold)
#define TINTWELL_COLD [[gnu::cold]]  // an error path: kept out of the way of the hot code
#else
#define TINTWELL_COLD
#endif

#if __has_cpp_attribute(gnu::noinline)
#define TINTWELL_NOINLINE [[gnu::noinline]]
#else
#define TINTWELL_NOINLINE
#endif

#if __has_cpp_attribute(gnu::always_inline)
#define TINTWELL_ALWAYS_INLINE [[gnu::always_inline]]
#else
#define TINTWELL_ALWAYS_INLINE
#endif
