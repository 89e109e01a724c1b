// This library's own layer: the ordered steps its init function runs and
// the ordered steps its end function runs. A step whose subsystem belongs to
// a later part of the library is listed with no function, so that the order
// stands in one place and each subsystem fills its own slot.
#include "base/errids.h"
#include "base/errstack.h"
#include "base/space.h"
#include "codeset/wide.h"
#include "config/lookup.h"
#include "config/settings.h"
#include "fmt/engine.h"
#include "frame/frame_internal.h"
#include "io/fio.h"
#include "io/stream.h"
#include "msbasic.h"
#include "msconn.h"
#include "mserror.h"
#include "msg/messages.h"
#include "msos.h"
#include "mssp.h"
#include "mstask.h"
#include "mstime.h"
#include "mstmp.h"
#include "msvars.h"
#include "os/codepage.h"
#include "os/os_config.h"
#include "time/offset.h"

namespace qrv::frame {
namespace {

struct InitStep {
    const char *name;
    bool (*run)(int mode);
};

struct EndStep {
    const char *name;
    void (*run)(int mode, int orderly);
};

void **workspace() { return msbasic_get_thread_wss_only(); }

// The snapshot comes first: everything after it may read MS variables. A
// process without an environment still runs, with no variables.
bool init_variables(int mode) {
    if (mode != MSBASIC_MODE_PROCESS) return true;
    mstmp_set_tmpfile_postfix_value(static_cast<uint16_t>(msos_time() & 0xFFFF));
    msvars_envinit();
    return true;
}

bool init_anchor(int) {
    void **wss = workspace();
    if (wss == nullptr) return false;
    if (wss[kAnchorSlot] == nullptr) wss[kAnchorSlot] = space::get_zeroed<Anchor>();
    return wss[kAnchorSlot] != nullptr;
}

bool init_error_stack(int mode) {
    if (mode == MSBASIC_MODE_PROCESS) errstack::set_reallocator(space::reget_quiet);
    Anchor *anchor = current_anchor();
    return anchor != nullptr && errstack::create(anchor);
}

bool init_task_handle(int mode) {
    if (mode == MSBASIC_MODE_THREAD) return true;
    mstask_block *task = mstask_api_get_task();
    if (task == nullptr) return false;
    if (task->task_handle == nullptr) task->task_handle = mshandle_alloc(MSHANDLE_TASK_MAGIC, MSHANDLE_TASK_SIZE);
    return task->task_handle != nullptr;
}

bool init_process_settings(int mode) {
    if (mode != MSBASIC_MODE_PROCESS) return true;
    if (!settings::resolve_installation() || !vars::load_initfile() || !vars::load_envfile()) return false;
    set_debug_value(msvars_getenv("MSDEBUG"));
    // An environment file may name other standard files than the process
    // environment did.
    if (msvars_envfile_get_vars() != nullptr && !fio::redirect(msvars_getenv)) return false;
    sio::attach_standard();
    return true;
}

// Opened on the first wide conversion; here only its record and mutex.
bool init_wide_translator(int mode) {
    if (mode != MSBASIC_MODE_PROCESS) return true;
    fmt::set_wide_translator(codeset::wide_translator());
    return fmt::wide_process_start();
}

void end_wide_translator(int mode, int) {
    if (mode == MSBASIC_MODE_PROCESS) fmt::wide_process_end();
}

bool init_standard_descriptors(int mode) { return fio::init(mode, msvars_getenv); }

// The socket layer was started when the library was loaded; a failed start
// fails the first init.
bool check_socket_layer() {
    int code = msos_get_winsock_init_errno();
    if (code == 0) return true;
    mserror_seterr_os(code);
    mserror_seterr(err::kCannotLoadWinsock, 0);
    return false;
}

bool init_random() {
    if (msos_rand_init() != 0) return true;
    mserror_seterr(err::kCannotInitRandom, 0);
    return false;
}

// The time offset is read once per process, after the variables it may
// come from.
bool init_process_services(int mode) {
    return mode != MSBASIC_MODE_PROCESS ||
           (settings::choose_tmpdir() && check_socket_layer() && init_random() && mstime_init() != 0);
}

bool init_messages(int mode) {
    if ((mode == MSBASIC_MODE_PROCESS && !msg::process_init(msbasic_get_thread_wss)) || !msg::thread_init()) {
        mserror_seterr(err::kNlsFileError, 0);
        return false;
    }
    if (mode != MSBASIC_MODE_PROCESS) return true;
    if (msbasic_debug_check("nlsmessage")) msg::set_id_only(true);
    if (msbasic_debug_check("puretasking")) msos_set_thread_exit_strategy(1);
    return true;
}

bool init_connections(int mode) { return msconn_init(mode) == 1; }

bool init_space_statistics(int) {
    if (msbasic_debug_check("statm")) mssp_enable_os_spstat(1);
    return true;
}

// The MSDEBUG words of the space reports, noted before the value goes.
bool g_report_usage = false;
bool g_check_leaks = false;

void end_note_space_reports(int mode, int) {
    if (mode != MSBASIC_MODE_PROCESS) return;
    g_report_usage = msbasic_debug_check("memuse");
    g_check_leaks = msbasic_debug_check("memchk");
}

void end_task_handle(int mode, int) {
    if (mode == MSBASIC_MODE_THREAD) return;
    if (mstask_block *task = mstask_api_get_task()) {
        space::release(task->task_handle);
        task->task_handle = nullptr;
    }
}

void end_messages(int mode, int) { msg::end(mode); }

void end_process_files(int mode, int orderly) {
    if (mode == MSBASIC_MODE_PROCESS) vars::release_files();
    sio::end(mode, orderly);
}

void end_error_stack(int, int) {
    if (Anchor *anchor = current_anchor()) errstack::destroy(anchor);
}

void end_anchor(int, int) {
    void **wss = workspace();
    if (wss == nullptr) return;
    space::release(wss[kAnchorSlot]);
    wss[kAnchorSlot] = nullptr;
}

void end_process_state(int mode, int) {
    if (mode != MSBASIC_MODE_PROCESS) return;
    settings::end_tmpdir();
    mstime::end();
    note_space_reports(g_report_usage, g_check_leaks);
    set_debug_value(nullptr);
    settings::end_installation();
    msvars_envend();
    msos_rand_end();
    os::codepage_release();
}

constexpr InitStep kInitSteps[] = {
    {"temporary-file postfix and MS-variable environment", init_variables},
    {"per-thread anchor", init_anchor},
    {"error stack", init_error_stack},
    {"task handle", init_task_handle},
    {"standard descriptors and their redirection", init_standard_descriptors},
    {"task streams", sio::init},
    {"installation, initialisation file, environment file, MSDEBUG", init_process_settings},
    {"wide translator", init_wide_translator},
    {"messages and NLS files, id-only mode, thread exit strategy", init_messages},
    {"temporary directory, socket layer, random generator, time", init_process_services},
    {"connections", init_connections},
    {"space statistics", init_space_statistics},
};

constexpr EndStep kEndSteps[] = {
    {"space report switches", end_note_space_reports},
    {"connections", msconn_end},
    {"messages", end_messages},
    {"wide translator", end_wide_translator},
    {"environment file, initialisation file, task streams (modes 1, 2)", end_process_files},
    {"standard descriptors", fio::end},
    {"task handle", end_task_handle},
    {"error stack", end_error_stack},
    {"per-thread anchor", end_anchor},
    {"temporary directory, time offset, space reports, MS-variable environment, random generator, converters",
     end_process_state},
};

}  // namespace

int library_init(int mode) noexcept {
    for (const InitStep &step : kInitSteps) {
        if (step.run != nullptr && !step.run(mode)) return 0;
    }
    return 1;
}

void library_end(int mode, int orderly) noexcept {
    for (const EndStep &step : kEndSteps) {
        if (step.run != nullptr) step.run(mode, orderly);
    }
}

}  // namespace qrv::frame

extern "C" QRV_API void msbasic_init_cascade(void) noexcept {
    msbasic_init_end_register(qrv::frame::library_init, qrv::frame::library_end);
}
