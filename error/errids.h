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

// The file layer and the operating-system layer.
inline constexpr int32_t kCannotLockFile = 16113;             // "cannot lock file"
inline constexpr int32_t kCannotAccessDirectory = 16114;      // "cannot access directory '%s'"
inline constexpr int32_t kFileReadInterrupted = 16116;        // "file read interrupted"
inline constexpr int32_t kCannotUnlockFile = 16123;           // "cannot unlock file"
inline constexpr int32_t kPartialWrite = 16125;               // "partial write to file"
inline constexpr int32_t kInvalidAccessArgument = 16126;      // "invalid access argument to msfio_open"
inline constexpr int32_t kCannotOpenDirectory = 16129;        // "cannot open directory '%s'"
inline constexpr int32_t kCannotReadDirectory = 16130;        // "cannot read directory"
inline constexpr int32_t kCannotRenameAcrossDevices = 16132;  // "cannot rename file across devices"
inline constexpr int32_t kCannotSetInheritance = 16134;       // "cannot set inheritance for file"
inline constexpr int32_t kDirectoryExists = 16135;            // "directory '%s' already exists"
inline constexpr int32_t kDirectoryMissing = 16136;           // "directory '%s' does not exist"
inline constexpr int32_t kNotADirectory = 16137;              // "'%s' is not a directory"
inline constexpr int32_t kCannotRealloc = 16154;              // "cannot realloc memory"
inline constexpr int32_t kCannotSendSignal = 16468;           // "cannot send signal %ld to process %ld"
inline constexpr int32_t kCannotCloseFile = 16469;            // "cannot close file"
inline constexpr int32_t kCannotCreateFile = 16470;           // "cannot create file '%s'"
inline constexpr int32_t kCannotDupFile = 16471;              // "cannot dup file"
inline constexpr int32_t kCannotSeek = 16472;                 // "cannot seek in file"
inline constexpr int32_t kCannotOpenFile = 16473;             // "cannot open file '%s'"
inline constexpr int32_t kCannotReadFile = 16474;             // "cannot read from file"
inline constexpr int32_t kCannotRenameFile = 16475;           // "cannot rename file '%s' to '%s'"
inline constexpr int32_t kCannotRemoveFile = 16477;           // "cannot remove file '%s'"
inline constexpr int32_t kCannotWriteFile = 16478;            // "cannot write to file"
inline constexpr int32_t kCannotSyncFile = 16480;             // "cannot sync file"
inline constexpr int32_t kCannotStatFile = 16483;             // "cannot stat file"
inline constexpr int32_t kCannotStatNamedFile = 16484;        // "cannot stat file '%s'"
inline constexpr int32_t kCannotCreatePipe = 16486;           // "cannot create pipe"
inline constexpr int32_t kCannotCreateDirectory = 16489;      // "cannot create directory '%s'"
inline constexpr int32_t kCannotRemoveDirectory = 16490;      // "cannot remove directory '%s'"
inline constexpr int32_t kCannotSetHandleInfo = 16492;        // "cannot set handle information"
inline constexpr int32_t kHandleInfoInvalidHandle = 16493;    // "cannot set handle information due to invalid handle"
inline constexpr int32_t kCannotCreateEvent = 16494;          // "cannot create event '%s'"
inline constexpr int32_t kCannotSetEvent = 16495;             // "cannot set event '%ld'"
inline constexpr int32_t kCannotCreateThread = 16496;         // "cannot create thread"
inline constexpr int32_t kCannotMalloc = 16497;               // "cannot malloc memory"
inline constexpr int32_t kCannotVirtualAlloc = 16500;         // "cannot VirtualAlloc memory"
inline constexpr int32_t kCannotVirtualFree = 16511;          // "cannot VirtualFree memory"
inline constexpr int32_t kReadInterrupted = 16516;            // "cannot read from file: interrupted"
inline constexpr int32_t kCannotSetEndOfFile = 16536;         // "cannot set end of file"

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

// Buffered streams.
inline constexpr int32_t kNonEmptyInputBuffer = 16251;  // "attempt to de-allocate non-empty input buffer"
inline constexpr int32_t kInputOnOutputStream = 16252;  // "input operation not supported for output file"
inline constexpr int32_t kOutputOnInputStream = 16253;  // "output operation not supported for input file"
inline constexpr int32_t kInvalidStreamAccess = 16254;  // "invalid access argument to mssio_open"

// Process settings, configuration and temporary files.
inline constexpr int32_t kQuorvelpathNotSet = 16301;         // "The environment variable QUORVELPATH is not set"
inline constexpr int32_t kInitFileError = 16302;             // "initialization file error"
inline constexpr int32_t kQuorvelpathNotInRegistry = 16309;  // "The variable QUORVELPATH is not set in the registry"
inline constexpr int32_t kInvalidConnection = 16310;         // "invalid connection handle"
inline constexpr int32_t kNoFreeTmpFile = 16351;             // "no non-existing tmp files"
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

namespace qrv::err {

// NLS message files and the message layer.
inline constexpr int32_t kNlsHeader = 16201;       // "cannot read NLS file header"
inline constexpr int32_t kNlsFormat = 16202;       // "NLS file does not have the proper format"
inline constexpr int32_t kNlsVersion = 16203;      // "NLS file version is not supported"
inline constexpr int32_t kNoNlsFile = 16204;       // "no NLS file available"
inline constexpr int32_t kNlsSeekHash = 16205;     // "cannot seek to NLS file hash area"
inline constexpr int32_t kNlsReadHash = 16206;     // "cannot read NLS file hash area"
inline constexpr int32_t kNlsShortHash = 16207;    // "cannot read entire NLS file hash area"
inline constexpr int32_t kNlsIdNotFound = 16208;   // "message id %ld not found in NLS file"
inline constexpr int32_t kNlsSeekMessage = 16209;  // "cannot seek to message in NLS file"
inline constexpr int32_t kNlsReadMessage = 16210;  // "cannot read message in NLS file"
inline constexpr int32_t kNlsFileError = 16303;    // "NLS file error"

}  // namespace qrv::err
