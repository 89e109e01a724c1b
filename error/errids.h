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

namespace qrv::err {

// Process settings, configuration and temporary files.
inline constexpr int32_t kQuorvelpathNotSet = 16301;         // "The environment variable QUORVELPATH is not set"
inline constexpr int32_t kInitFileError = 16302;             // "initialization file error"
inline constexpr int32_t kQuorvelpathNotInRegistry = 16309;  // "The variable QUORVELPATH is not set in the registry"
inline constexpr int32_t kInvalidConnection = 16310;         // "invalid connection handle"
inline constexpr int32_t kNoFreeTmpFile = 16351;             // "no non-existing tmp files"
inline constexpr int32_t kCannotOpenFile = 16473;            // "cannot open file '%s'"
inline constexpr int32_t kCannotReadFile = 16474;            // "cannot read from file"
inline constexpr int32_t kEnvFileError = 16519;              // "environment file error"
inline constexpr int32_t kTmpDirMissing = 16522;             // "tmp directory '%s' does not exist"

// The variable-file reader's own refusals (texts in the NLS files, not in the
// built-in tables); the file name and line number come with 16545 on top.
inline constexpr int32_t kVarFileError = 16545;     // "error in variable file '%s' at line %ld"
inline constexpr int32_t kVarLineTooLong = 16546;   // "line longer than %ld bytes"
inline constexpr int32_t kVarLineHasNul = 16547;    // "line contains a NUL byte"
inline constexpr int32_t kVarLineNotUtf8 = 16548;   // "line is not valid UTF-8"
inline constexpr int32_t kVarValueTooLong = 16549;  // "value longer than %ld bytes after expansion"

}  // namespace qrv::err
