// Forcing the compiler's hand on the few small functions that run for every field or text.
#pragma once

// Left to itself the compiler keeps some of these as calls, several for every record.
#if defined(__GNUC__) || defined(__clang__)
#define TARVEL_INLINE [[gnu::always_inline]] inline
#else
#define TARVEL_INLINE inline
#endif
