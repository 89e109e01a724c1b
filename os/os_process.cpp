// The environment, the user, process and thread exit, signals, sleeping,
// password input, keys from paths and the wide-character entry.
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "msos.h"
#include "os/os_internal.h"
#include "os/syscall.h"
#include "text/utf16.h"

namespace {

using qrv::os::g_sys;
using qrv::os::retry_eintr;

bool valid_name(const char *name) { return name != nullptr && *name != '\0' && strchr(name, '=') == nullptr; }

// Writes all of text to fd, ignoring failures (prompts and echoes only).
void put(int fd, const char *text, size_t length) {
    while (length > 0) {
        ssize_t n = g_sys.write(fd, text, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text += n;
        length -= static_cast<size_t>(n);
    }
}

void put(int fd, const char *text) { put(fd, text, strlen(text)); }

// One byte from fd: 1, or 0 at end of input or on failure.
int get_byte(int fd, unsigned char *c) {
    return retry_eintr([&] { return g_sys.read(fd, c, 1); }) == 1 ? 1 : 0;
}

// The password from the terminal, echo off, as the key reader would see it.
// The terminal is switched before the prompt appears, so that what is typed
// after the prompt is never flushed away.
void read_from_terminal(int tty, const char *prompt, char *buffer, int size) {
    termios saved;
    bool restore = tcgetattr(tty, &saved) == 0;
    if (restore) {
        termios raw = saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
        raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(tty, TCSAFLUSH, &raw);
    }
    put(STDERR_FILENO, prompt);
    int n = 0;
    unsigned char c;
    while (get_byte(tty, &c) == 1) {
        if (c == '\r' || c == '\n') break;
        if (c >= 32 && c <= 126) {
            if (n < size - 1) {
                buffer[n++] = static_cast<char>(c);
                put(STDOUT_FILENO, "*");
            }
            continue;
        }
        n = 0;  // anything else starts over
        put(STDOUT_FILENO, "\n");
        put(STDERR_FILENO, prompt);
    }
    buffer[n] = '\0';
    put(STDOUT_FILENO, "\n");
    if (restore) tcsetattr(tty, TCSANOW, &saved);
}

// Without a terminal: one line of standard input, its end of line dropped.
void read_line(char *buffer, int size) {
    int n = 0;
    unsigned char c;
    while (get_byte(STDIN_FILENO, &c) == 1 && c != '\n') {
        if (c != '\r' && n < size - 1) buffer[n++] = static_cast<char>(c);
    }
    buffer[n] = '\0';
}

// UTF-16 to UTF-8 of one NUL-terminated text: the bytes needed (without
// NUL), or -1 when it is not valid UTF-16. out may be null (measure only).
long utf16_to_utf8(const qrv_wchar *in, char *out) {
    size_t n = qrv::utf16::length(in);
    qrv::utf16::Result r = qrv::utf16::to_utf8(in, n, out, out == nullptr ? 0 : SIZE_MAX);
    return r.stop == qrv::utf16::Stop::kDone ? static_cast<long>(r.written) : -1;
}

}  // namespace

extern "C" {

QRV_API int msos_getenvironmentvariable(const char *name, char *buffer, int size) noexcept {
    const char *value = valid_name(name) ? getenv(name) : nullptr;
    if (value == nullptr) {
        errno = ENOENT;
        return 0;
    }
    size_t length = strlen(value);
    if (length >= INT32_MAX) {
        errno = EOVERFLOW;
        return 0;
    }
    if (buffer == nullptr || size < 0 || length + 1 > static_cast<size_t>(size)) return static_cast<int>(length) + 1;
    memcpy(buffer, value, length + 1);
    return static_cast<int>(length);
}

QRV_API int msos_setenvironmentvariable(const char *name, const char *value) noexcept {
    if (!valid_name(name)) {
        errno = EINVAL;
        return 0;
    }
    return (value != nullptr ? setenv(name, value, 1) : unsetenv(name)) == 0;
}

QRV_API int msos_putenv(const char *text) noexcept {
    const char *equals = text != nullptr ? strchr(text, '=') : nullptr;
    if (equals == nullptr || equals == text) {
        errno = EINVAL;
        return -1;
    }
    size_t length = static_cast<size_t>(equals - text);
    char stack_name[256];
    char *name = length < sizeof stack_name ? stack_name : static_cast<char *>(std::malloc(length + 1));
    if (name == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    memcpy(name, text, length);
    name[length] = '\0';
    int rc = setenv(name, equals + 1, 1);
    if (name != stack_name) std::free(name);
    return rc == 0 ? 0 : -1;
}

QRV_API int msos_expandenvironmentstrings(const char *text, char *buffer, int size) noexcept {
    if (text == nullptr) {
        errno = EINVAL;
        return 0;
    }
    // Two passes over the same rules: measure, then copy when it fits.
    for (int pass = 0; pass < 2; ++pass) {
        size_t n = 0;
        for (const char *p = text; *p != '\0';) {
            const char *close = *p == '%' ? strchr(p + 1, '%') : nullptr;
            const char *value = nullptr;
            size_t span = 1;
            if (close != nullptr && close > p + 1) {
                char name[256];
                size_t length = static_cast<size_t>(close - p - 1);
                if (length < sizeof name) {
                    memcpy(name, p + 1, length);
                    name[length] = '\0';
                    value = getenv(name);
                }
                span = length + 2;  // an unset variable is kept as written
            }
            const char *piece = value != nullptr ? value : p;
            size_t piece_length = value != nullptr ? strlen(value) : span;
            if (pass == 1) memcpy(buffer + n, piece, piece_length);
            n += piece_length;
            p += span;
        }
        if (n + 1 > static_cast<size_t>(INT32_MAX)) {
            errno = EOVERFLOW;
            return 0;
        }
        if (pass == 0 && (buffer == nullptr || size < 0 || n + 1 > static_cast<size_t>(size))) {
            return static_cast<int>(n) + 1;
        }
        if (pass == 1) {
            buffer[n] = '\0';
            return static_cast<int>(n) + 1;
        }
    }
    return 0;
}

QRV_API int msos_getusername(char *buffer, int *size) noexcept {
    if (size == nullptr) {
        errno = EINVAL;
        return 0;
    }
    char scratch[4096];
    passwd entry;
    passwd *found = nullptr;
    const char *name = nullptr;
    if (getpwuid_r(geteuid(), &entry, scratch, sizeof scratch, &found) == 0 && found != nullptr) {
        name = found->pw_name;
    }
    if (name == nullptr || *name == '\0') name = getenv("USER");
    if (name == nullptr || *name == '\0') {
        errno = ENOENT;
        return 0;
    }
    size_t length = strlen(name);
    bool fits = buffer != nullptr && *size >= 0 && length + 1 <= static_cast<size_t>(*size);
    if (fits) memcpy(buffer, name, length + 1);
    *size = static_cast<int>(length + 1);
    if (!fits) errno = ERANGE;
    return fits ? 1 : 0;
}

QRV_API void msos_exit(int code) noexcept {
    if (qrv::os::thread_exit_strategy() != 0) msos_exit_thread(static_cast<uint32_t>(code));
    fflush(nullptr);
    exit(code);
}

QRV_API void msos_abort(void) noexcept { _exit(99); }

QRV_API msos_signal_handler msos_signal(int signal_number, msos_signal_handler handler) noexcept {
    switch (signal_number) {
        case SIGINT:
        case SIGQUIT:
        case SIGILL:
        case SIGABRT:
        case SIGFPE:
        case SIGSEGV:
        case SIGTERM:
            break;
        default:
            errno = EINVAL;
            return nullptr;
    }
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (sigaction(signal_number, &action, &previous) != 0) return nullptr;
    return previous.sa_handler;  // shares its storage with sa_sigaction
}

QRV_API void msos_sleep(uint32_t seconds) noexcept { qrv::os::sleep_timespec({static_cast<time_t>(seconds), 0}); }

QRV_API void msos_sleep_ex(double seconds) noexcept {
    if (!(seconds > 0.0)) return;
    double ms = std::floor(seconds * 1000.0);
    if (ms < 1.0) return;
    if (ms > 4294967294.0) ms = 4294967294.0;
    auto whole = static_cast<uint64_t>(ms);
    qrv::os::sleep_timespec({static_cast<time_t>(whole / 1000), static_cast<long>(whole % 1000) * 1000000L});
}

QRV_API void msos_relinquish_process(void) noexcept { qrv::os::sleep_microseconds(1000); }

QRV_API char *msos_getpass(const char *prompt, char *buffer, int size) noexcept {
    if (prompt == nullptr) prompt = "";
    if (size < 2 || buffer == nullptr) {
        put(STDERR_FILENO, prompt);
        return nullptr;
    }
    int tty = retry_eintr([] { return g_sys.open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC, 0); });
    if (tty >= 0) {
        read_from_terminal(tty, prompt, buffer, size);
        g_sys.close(tty);
    } else {
        put(STDERR_FILENO, prompt);
        read_line(buffer, size);
    }
    return buffer;
}

QRV_API int32_t msos_ftok(const char *path, int project_id) noexcept {
    struct stat status;
    if (path == nullptr || g_sys.stat(path, &status) != 0) return -1;
    double sum = 0.0;
    for (int32_t i = 0; path[i] != '\0'; ++i) {
        int32_t c = static_cast<signed char>(path[i]);
        sum += static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(c * c) * static_cast<uint32_t>(i + 2)));
    }
    sum += static_cast<double>(status.st_dev);
    auto truncated = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(sum))));
    int32_t id = static_cast<signed char>(project_id);
    uint32_t key = (static_cast<uint32_t>(truncated) & 0xFFFFFFu) | (static_cast<uint32_t>(id) << 24);
    return static_cast<int32_t>(key & 0x7FFFFFFFu);
}

QRV_API int msos_wmain_wrapper(int argc, qrv_wchar **argv, msos_main_fn main_fn) noexcept {
    if (argv == nullptr || main_fn == nullptr) return 199;
    size_t count = 0;
    size_t bytes = 0;
    for (; argv[count] != nullptr; ++count) {
        long n = utf16_to_utf8(argv[count], nullptr);
        if (n < 0) return 199;
        bytes += static_cast<size_t>(n) + 1;
    }
    size_t table = (count + 1) * sizeof(char *);
    auto *block = static_cast<char *>(std::malloc(table + bytes));
    if (block == nullptr) return 199;
    auto **vector = reinterpret_cast<char **>(block);
    char *text = block + table;
    for (size_t i = 0; i < count; ++i) {
        vector[i] = text;
        text += utf16_to_utf8(argv[i], text);
        *text++ = '\0';
    }
    vector[count] = nullptr;
    int result = main_fn(argc, vector);
    std::free(block);
    return result;
}

}  // extern "C"
