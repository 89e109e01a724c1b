// Error ids the library pushes, by name. The texts live in the message
// catalogue; these names only keep numbers out of the code.
#pragma once

#include <cstdint>

namespace qrv::err {

inline constexpr int32_t kOsError = 16151;                // "O/S error %ld: %s"
inline constexpr int32_t kInvalidThreadKey = 16401;       // "invalid thread key"
inline constexpr int32_t kCannotCreateThreadKey = 16402;  // "cannot create thread key"
inline constexpr int32_t kCannotDeleteThreadKey = 16403;  // "cannot delete thread key"
inline constexpr int32_t kCannotGetThreadData = 16404;    // "cannot get thread specific data"
inline constexpr int32_t kCannotSetThreadData = 16405;    // "cannot set thread specific data"
inline constexpr int32_t kCannotInitMutex = 16513;        // "cannot init thread mutex"

}  // namespace qrv::err

namespace qrv::err {

// The space allocator.
inline constexpr int32_t kNoSpaceFromOs = 16002;      // "no allocation space available from O/S"
inline constexpr int32_t kBadSpaceSize = 16004;       // "bad size argument %ld to space allocator"
inline constexpr int32_t kSpaceLimitReached = 16007;  // "space limitation is reached"

// Number readers.
inline constexpr int32_t kInvalidCharacter = 16051;  // "invalid character"
inline constexpr int32_t kNoDigits = 16052;          // "no digits"
inline constexpr int32_t kNumberTooLarge = 16053;    // "number too large"
inline constexpr int32_t kNumberTooSmall = 16055;    // "number too small"
inline constexpr int32_t kFloatOverflow = 16054;     // "floating point overflow"
inline constexpr int32_t kFloatUnderflow = 16056;    // "floating point underflow"

}  // namespace qrv::err
