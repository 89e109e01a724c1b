// The frame's side of the space allocator: the ceiling it starts with and
// the reports MSDEBUG asks for at the end of the process. They live above
// the allocator because they read a variable and format text, which both
// allocate.
#include <atomic>
#include <cstring>

#include "base/space.h"
#include "frame/frame_internal.h"
#include "mscv.h"
#include "mserror.h"
#include "msfmt.h"
#include "msos.h"
#include "mssp.h"
#include "os/os_internal.h"

namespace qrv::frame {
namespace {

std::atomic<bool> g_usage_report{false};
std::atomic<bool> g_leak_check{false};

}  // namespace

int64_t space_limit() noexcept {
    const char *text = os::getenv("MSSPACELIMIT");
    if (text == nullptr || *text == '\0') return -1;
    int32_t value = 0;
    int32_t floor = mserror_cleanup_save();  // a bad value means no ceiling, not an error
    int ok = mscv_al(&value, text);
    mserror_cleanup_restore(floor);
    return ok && value >= 0 ? value : -1;
}

void note_space_reports(bool usage_report, bool leak_check) noexcept {
    g_usage_report = usage_report;
    g_leak_check = leak_check;
}

void print_space_reports(int orderly) noexcept {
    bool usage = g_usage_report.exchange(false), leaks = g_leak_check.exchange(false);
    if (orderly != 1) return;  // a forked child's discarding pass prints nothing
    char text[512];
    int pid = msos_getpid();
    if (usage) {
        msfmt_buffer_lim(text, sizeof text,
                         "\nPID: %d\nQuorvel internal Memory Allocation Accounting: [HWM = High Water Mark]\n"
                         "Memory Allocated (HWM): %ld bytes (%ld bytes)\nNumber of Memory space (HWM): %ld units "
                         "(%ld units)\nBiggest Single Allocation: %ld bytes\n",
                         pid, static_cast<long>(mssp_get_spstat(4)), static_cast<long>(mssp_get_spstat(2)),
                         static_cast<long>(mssp_get_spstat(3)), static_cast<long>(mssp_get_spstat(0)),
                         static_cast<long>(mssp_get_spstat(1)));
        os::write_stderr(text, std::strlen(text));
    }
    if (leaks && space::leak_warning_on() && mssp_get_spstat(3) != 0) {
        msfmt_buffer_lim(text, sizeof text, "\n*** Warning: %d space(s) still allocated (pid=%d)\n", mssp_get_spstat(3),
                         pid);
        os::write_stderr(text, std::strlen(text));
    }
}

}  // namespace qrv::frame

extern "C" QRV_API char *mssp_stat_fmt_report_for_svr(char *buf, int len) noexcept {
    if (buf == nullptr || len < 1) return nullptr;
    msfmt_buffer_lim(buf, len,
                     "svpid (%d) alloc mem(HWM) %ld(%ld) bytes, alloc spaces(HWM) %ld(%ld) units, max single alloc "
                     "%ld bytes\n",
                     msos_getpid(), static_cast<long>(mssp_get_spstat(4)), static_cast<long>(mssp_get_spstat(2)),
                     static_cast<long>(mssp_get_spstat(3)), static_cast<long>(mssp_get_spstat(0)),
                     static_cast<long>(mssp_get_spstat(1)));
    return buf;
}
