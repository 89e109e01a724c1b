// The compiler driver's process-wide state: what the mode word and the
// driver options set, and the library directories of the target. One
// driver run at a time per process.
#ifndef QRV_BIN_DRIVER_H
#define QRV_BIN_DRIVER_H

#include <cstdint>

#include "bin/internal.h"

namespace qrv::bin {

// Driver modes; as bits, kCxx marks a C++ kind, kOdbc the ODBC families,
// kBcs their BCS variant, kPrecompiled precompiler output.
enum Mode : uint32_t {
    kModeC = 1,
    kModeCxx = 2,
    kModeOdbc = 9,
    kModeOdbcCxx = 10,
    kModeOdbcBcs = 25,
    kModeOdbcBcsCxx = 26,
    kModePrecompiledC = 257,
    kModePrecompiledCxx = 258,
};
constexpr uint32_t kCxxBit = 2, kOdbcBit = 8;

enum SpaceModel { kSpStandard, kSpRad, kSpDebug, kSpEfence };

constexpr int kListSize = 1024;        // a list variable or option list
constexpr int kGeneratedSize = 10240;  // a generated library list
constexpr int kDirSize = 1024;

struct Flags {
    bool basic_only, basic_net, crypt, basic_shared, deprecated, devcc, echo, devwarn, small, guiconsole, list_lines,
        no_product, driver, shared_link, forced_api, readline, traceable, src_inc, src_lib, utilapi, encryption;
};

struct DriverState {
    uint32_t mode;
    const char *compiler;       // null: the options file names none
    const char *compiler_var;   // the variable that should have named it
    const char *compiler_path;  // put in front of PATH when set
    char compiler_options[kListSize];
    char syslibs[kListSize];
    char export_options[kListSize];  // set by the mode word, emptied by "-linker"
    char main_item[11];
    int space_model;
    Flags flags;
    const char *net_override;  // "^mshost" after "-usenetstub"
    bool linker_in_c_mode;
    bool overflow;  // a list did not fit: the run fails with 10679
    char target[MSBIN_XTARGET_SIZE];
    char root[kDirSize];
    char engine_dir[kDirSize];
    char common_dir[kDirSize];
    char shared_dir[kDirSize];
    const char *shlib_style;
};

extern DriverState g_driver;

// A bounded text: appends stop at its size and mark the state's overflow.
void append(char *text, int size, const char *piece) noexcept;
inline void append_list(char *text, const char *piece) noexcept { append(text, kListSize, piece); }

void compute_library_dirs() noexcept;

// The mode word, the driver options and the checks after them: the index
// of the first argument for the compiler, or -1 on failure.
int parse_driver_arguments(int argc, char *const argv[]) noexcept;

// The generated lists, into buffers of kGeneratedSize bytes.
void odbc_list(char *list) noexcept;
void gui_console_list(char *list) noexcept;
void product_list(char *list, const char *encryption) noexcept;

}  // namespace qrv::bin

#endif
