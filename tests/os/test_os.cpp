// The operating-system wrappers, from paths to password input, and the error
// ids of the reporting level.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "msos.h"
#include "os/os_internal.h"
#include "os_support.h"
#include "support.h"

namespace {

using Os = LibraryTest;

TEST(OsPaths, FullPathNamesAreJoinedAndFoldedByText) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::string here = cwd;
    const char *const kPaths[][2] = {
        {"/a/b/../c", "/a/c"}, {"/a/./b//c", "/a/b/c"}, {"/..", "/"}, {"/a/b/", "/a/b/"}, {"x", nullptr}};
    for (const auto &c : kPaths) {
        std::string expected = c[1] != nullptr ? c[1] : (here == "/" ? "/x" : here + "/x");
        const int n = static_cast<int>(expected.size());
        Guarded buffer(256), small(expected.size());  // small: one byte short of the NUL
        char *part = nullptr;
        EXPECT_EQ(msos_getfullpathname(c[0], 256, buffer.data(), &part), n) << c[0];
        EXPECT_EQ(buffer.text(), expected) << c[0];
        EXPECT_EQ(part != nullptr ? part : "<null>",
                  expected.back() == '/' ? "<null>" : expected.substr(expected.rfind('/') + 1))
            << c[0];
        EXPECT_EQ(msos_getfullpathname(c[0], n, small.data(), nullptr), n + 1);
        EXPECT_TRUE(small.canaries_intact() && small.data()[0] == '\x5A') << "nothing copied: " << c[0];
    }
    EXPECT_EQ(msos_getfullpathname("", 256, cwd, nullptr), 0);
    Guarded tiny(here.size());  // no room for the NUL
    EXPECT_EQ(msos_getcwd(tiny.data(), static_cast<int>(here.size())), nullptr);
    EXPECT_TRUE(tiny.canaries_intact() && tiny.data()[0] == '\x5A');
}

TEST(OsPaths, SearchPathFindsFilesAndAddsTheExtension) {
    TempDir a, b;
    write_file(b / "tool.sh", "");
    std::string list = a.path() + ":" + b.path();
    char buffer[512];
    char *part = nullptr;
    int n = msos_searchpath(list.c_str(), "tool", ".sh", sizeof buffer, buffer, &part);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(n)), b / "tool.sh");
    EXPECT_STREQ(part, "tool.sh");
    EXPECT_EQ(msos_searchpath(list.c_str(), "tool.txt", ".sh", sizeof buffer, buffer, nullptr), 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_GT(msos_searchpath(nullptr, "sh", nullptr, sizeof buffer, buffer, nullptr), 0) << "PATH";
}

// The build tools find their installation beside their own executable.
TEST(OsPaths, ModuleFileNameIsTheRunningProgramsFile) {
    char buffer[4096];
    char *part = nullptr;
    const int n = msos_getmodulefilename(buffer, sizeof buffer, &part);
    ASSERT_GT(n, 0);
    EXPECT_EQ(buffer[0], '/');
    EXPECT_STREQ(part, "tests_os");  // the os folder's test program
    struct stat status;
    EXPECT_TRUE(stat(buffer, &status) == 0 && S_ISREG(status.st_mode)) << buffer;
    Guarded small(static_cast<size_t>(n));  // no room for the NUL
    EXPECT_EQ(msos_getmodulefilename(small.data(), n, nullptr), n + 1);
    EXPECT_TRUE(small.canaries_intact() && small.data()[0] == '\x5A');
    EXPECT_EQ(msos_getmodulefilename(nullptr, 0, nullptr), n + 1);

    // A failed read, and a link as long as the read's buffer (cut short).
    SyscallScope scope;
    const struct {
        ssize_t (*readlink)(const char *, char *, size_t);
        int error;
    } kFaults[] = {
        {[](const char *, char *, size_t) -> ssize_t { return errno = EACCES, -1; }, EACCES},
        {[](const char *, char *b, size_t size) { return memset(b, 'a', size), ssize_t(size); }, ENAMETOOLONG}};
    for (const auto &f : kFaults) {
        qrv::os::g_sys.readlink = f.readlink;
        Guarded out(64);
        errno = 0;
        EXPECT_EQ(msos_getmodulefilename(out.data(), 64, nullptr), 0);
        EXPECT_EQ(errno, f.error);
        EXPECT_TRUE(out.canaries_intact() && out.data()[0] == '\x5A');
    }
}

TEST(OsFiles, SeekingBeyond32BitsNeedsTheHighPart) {
    TempDir dir;
    qrv_handle h = msos_createfile((dir / "s").c_str(), MSOS_GENERIC_READ | MSOS_GENERIC_WRITE, 0, nullptr,
                                   MSOS_CREATE_NEW, 0, -1);
    ASSERT_GE(h, 0);
    int32_t high = 0;
    EXPECT_EQ(msos_setfilepointer(h, -1, &high, MSOS_FILE_BEGIN), 0xFFFFFFFFu);
    EXPECT_EQ(errno, 0) << "a genuine position of all bits set";
    int ok = 0;
    high = 0;
    EXPECT_EQ(mseos_setfilepointer(h, -1, &high, MSOS_FILE_BEGIN, &ok), 0xFFFFFFFFu);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(msos_setfilepointer(h, 0, nullptr, MSOS_FILE_CURRENT), MSOS_INVALID_SET_FILE_POINTER);
    EXPECT_EQ(errno, EOVERFLOW) << "without a high part all bits set is an error";
    EXPECT_EQ(mseos_setfilepointer(h, -5, nullptr, MSOS_FILE_BEGIN, &ok), MSOS_INVALID_SET_FILE_POINTER);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(msos_closehandle(h), 1);
}

TEST(OsFiles, FindFilesWithWildcards) {
    TempDir dir;
    for (const char *name : {"a.txt", "b.txt", "noext"}) write_file(dir / name, "");
    for (auto [pattern, count] : {std::pair{"*.*", 5}, {"*.txt", 2}, {"?ext", 0}, {"no*", 1}}) {
        msos_find_data data;
        qrv_handle h = msos_findfirstfile((dir / pattern).c_str(), &data);
        int n = 0;
        if (h != QRV_INVALID_HANDLE) {
            do ++n;
            while (msos_findnextfile(h, &data));
            EXPECT_EQ(errno, MSOS_NO_MORE_FILES);
            EXPECT_EQ(msos_findclose(h), 1);
        }
        EXPECT_EQ(n, count) << pattern;
    }
    EXPECT_EQ(msos_findnextfile(QRV_INVALID_HANDLE, nullptr), 0);
    EXPECT_EQ(msos_getfileattributes(dir.path().c_str()), MSOS_FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(msos_getfileattributes((dir / "noext").c_str()), MSOS_FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(msos_unlink("nul"), -1) << "the null device is never removed";
    EXPECT_EQ(errno, EACCES);
}

TEST(OsEnvironment, PutEnvSetsWhatFollowsTheFirstEquals) {
    const struct {
        const char *text;
        int result;
        const char *value;  // null: unset
    } kCases[] = {{"QRV_T=v", 0, "v"},    {"QRV_T=", 0, ""},   {"QRV_T=a=b", 0, "a=b"},
                  {"QRV_T", -1, nullptr}, {"=v", -1, nullptr}, {nullptr, -1, nullptr}};
    for (const auto &c : kCases) {
        unsetenv("QRV_T");
        EXPECT_EQ(msos_putenv(c.text), c.result) << c.text;
        EXPECT_STREQ(getenv("QRV_T"), c.value) << c.text;
    }
}

TEST(OsEnvironment, ReadersReturnTheSizeNeededAndCopyOnlyWhatFits) {
    ASSERT_EQ(msos_setenvironmentvariable("QRV_V", "hello"), 1);
    const int kSizes[][2] = {{6, 5}, {5, 6}, {0, 6}, {100, 5}};  // size, result
    for (const auto &c : kSizes) {
        Guarded buffer(static_cast<size_t>(c[0]));
        EXPECT_EQ(msos_getenvironmentvariable("QRV_V", buffer.data(), c[0]), c[1]) << c[0];
        std::string want = c[1] == 5 ? std::string("hello", 6) : std::string(static_cast<size_t>(c[0]), '\x5A');
        EXPECT_EQ(std::string(buffer.data(), std::min(c[0], 6)), want) << c[0];
        EXPECT_TRUE(buffer.canaries_intact());
    }
    EXPECT_EQ(msos_setenvironmentvariable("QRV_V", nullptr), 1);
    EXPECT_EQ(msos_getenvironmentvariable("QRV_V", nullptr, 0), 0);
    EXPECT_EQ(msos_setenvironmentvariable("A=B", "x"), 0);

    setenv("QRV_X", "ex", 1);
    const char *text = "<%QRV_X%|%QRV_NONE%|%|%%>";
    const std::string expected = "<ex|%QRV_NONE%|%|%%>";
    const int n = static_cast<int>(expected.size());
    Guarded small(expected.size()), fits(expected.size() + 1);
    EXPECT_EQ(msos_expandenvironmentstrings(text, nullptr, 0), n + 1);
    EXPECT_EQ(msos_expandenvironmentstrings(text, small.data(), n), n + 1);
    EXPECT_TRUE(small.canaries_intact());
    EXPECT_EQ(msos_expandenvironmentstrings(text, fits.data(), n + 1), n + 1);
    EXPECT_EQ(fits.text(), expected);

    int size = 1;
    char name[1];
    EXPECT_EQ(msos_getusername(name, &size), 0);
    EXPECT_GT(size, 1) << "the size needed";
    std::vector<char> room(static_cast<size_t>(size));
    EXPECT_EQ(msos_getusername(room.data(), &size), 1);
}

TEST(OsProcess, SignalsOutsideTheSetAreRefused) {
    auto handler = [](int) {};
    for (int sig : {9, 1, 0, 64, 22}) EXPECT_EQ(msos_signal(sig, handler), nullptr) << sig;
    struct sigaction current;
    sigaction(SIGKILL, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
    EXPECT_EQ(msos_signal(SIGTERM, handler), SIG_DFL);
    EXPECT_EQ(msos_signal(SIGTERM, SIG_DFL), handler) << "the previous handler comes back";
}

TEST(OsProcess, SleepsOfZeroOrLessReturnAtOnce) {
    auto start = std::chrono::steady_clock::now();
    for (double s : {0.0, -1.0, 0.0004, std::nan("")}) msos_sleep_ex(s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    start = std::chrono::steady_clock::now();
    msos_sleep_ex(0.02);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
}

int g_main_calls;
std::vector<std::string> g_main_args;

int record_main(int argc, char **argv) {
    ++g_main_calls;
    g_main_args.clear();
    for (int i = 0; argv[i] != nullptr; ++i) g_main_args.emplace_back(argv[i]);
    return argc + 40;
}

TEST(OsProcess, WideEntryConvertsArgumentsToUtf8) {
    std::u16string one = u"prog", two = u"\u00e9\U0001F600";
    qrv_wchar *argv[] = {reinterpret_cast<qrv_wchar *>(one.data()), reinterpret_cast<qrv_wchar *>(two.data()), nullptr};
    EXPECT_EQ(msos_wmain_wrapper(2, argv, record_main), 42);
    EXPECT_EQ(g_main_args, (std::vector<std::string>{"prog", "\xC3\xA9\xF0\x9F\x98\x80"}));
    qrv_wchar *empty[] = {nullptr};
    EXPECT_EQ(msos_wmain_wrapper(0, empty, record_main), 40);
    EXPECT_TRUE(g_main_args.empty()) << "only the null pointer";
    qrv_wchar lone[] = {0xD800, 'x', 0};
    qrv_wchar *bad[] = {lone, nullptr};
    g_main_calls = 0;
    EXPECT_EQ(msos_wmain_wrapper(1, bad, record_main), 199);
    EXPECT_EQ(g_main_calls, 0);
}

TEST(OsProcess, KeysFromPathsAreStableAndCarryTheProjectId) {
    TempDir dir;
    int32_t a = msos_ftok(dir.path().c_str(), 'A');
    EXPECT_EQ(a, msos_ftok(dir.path().c_str(), 'A'));
    EXPECT_EQ(a >> 24, 'A') << "positive, with the project id on top";
    EXPECT_NE(a, msos_ftok(dir.path().c_str(), 'B'));
    EXPECT_EQ(msos_ftok((dir / "missing").c_str(), 'A'), -1);
}

TEST(OsProcess, LoaderErrorsComeBackAsText) {
    EXPECT_EQ(msos_dlopen("/no/such/libx.so"), nullptr);
    EXPECT_NE(std::string(msos_dlerror()).find("libx.so"), std::string::npos);
    void *self = msos_dlopen("libc.so.6");
    ASSERT_NE(self, nullptr);
    void *address = reinterpret_cast<void *>(1);
    EXPECT_EQ(msos_dlsym(self, "getpid", &address), nullptr);
    EXPECT_EQ(address, dlsym(self, "getpid"));
    const char *text = msos_dlsym(self, "qrv_no_such_symbol", &address);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(address, nullptr);
    EXPECT_STREQ(text, msos_dlerror()) << "the same text";
    EXPECT_EQ(msos_dlclose(self), 1);
}

char *map_view(qrv_handle mapping, uint32_t access, uint32_t offset) {
    return static_cast<char *>(msos_mapviewoffileex(mapping, access, 0, offset, 0, nullptr));
}

TEST(OsMemory, MappingsShareBytesByHandleByNameAndWithFiles) {
    qrv_handle fresh = msos_createfilemapping(QRV_INVALID_HANDLE, nullptr, MSOS_PAGE_READWRITE, 0, 8192, nullptr);
    char *one = map_view(fresh, MSOS_FILE_MAP_WRITE, 0), *two = map_view(fresh, MSOS_FILE_MAP_READ, 4096);
    ASSERT_TRUE(one != nullptr && two != nullptr);
    one[4096] = 'q';
    EXPECT_EQ(map_view(fresh, MSOS_FILE_MAP_READ, 100), nullptr) << "unaligned";
    EXPECT_EQ(msos_closehandle(fresh), 1);
    EXPECT_EQ(two[0], 'q') << "views share bytes and outlive the handle";
    EXPECT_EQ(msos_unmapviewoffile(one) + msos_unmapviewoffile(two), 2);
    EXPECT_EQ(msos_unmapviewoffile(one), 0) << "only once";

    std::string name = "qrv-test-" + std::to_string(getpid());
    qrv_handle named = msos_createfilemapping(-1, nullptr, MSOS_PAGE_READWRITE, 0, 4096, name.c_str());
    qrv_handle opened = msos_openfilemapping(MSOS_FILE_MAP_WRITE, 0, name.c_str());
    char *w = map_view(named, MSOS_FILE_MAP_WRITE, 0), *r = map_view(opened, MSOS_FILE_MAP_WRITE, 0);
    ASSERT_TRUE(w != nullptr && r != nullptr);
    w[10] = 'n';
    EXPECT_EQ(r[10], 'n');
    EXPECT_EQ(msos_unmapviewoffile(w) + msos_unmapviewoffile(r), 2);
    EXPECT_EQ(msos_closehandle(opened) + msos_closehandle(named), 2);
    EXPECT_EQ(msos_openfilemapping(MSOS_FILE_MAP_READ, 0, name.c_str()), 0) << "gone with its creator";

    TempDir dir;
    write_file(dir / "m", "file!");
    qrv_handle h = msos_createfile((dir / "m").c_str(), MSOS_GENERIC_READ | MSOS_GENERIC_WRITE, 0, nullptr,
                                   MSOS_OPEN_EXISTING, 0, -1);
    qrv_handle onfile = msos_createfilemapping(h, nullptr, MSOS_PAGE_READWRITE, 0, 0, nullptr);
    char *view = map_view(onfile, MSOS_FILE_MAP_WRITE, 0);
    ASSERT_NE(view, nullptr);
    view[0] = 'F';
    EXPECT_EQ(msos_unmapviewoffile(view) + msos_closehandle(onfile) + msos_closehandle(h), 3);
    EXPECT_EQ(read_file(dir / "m"), "File!");
}

TEST(OsExit, ExitFlushesAndAbortEndsWith99) {
    EXPECT_EXIT((printf("pending"), msos_exit(7)), ::testing::ExitedWithCode(7), "");
    EXPECT_EXIT(msos_abort(), ::testing::ExitedWithCode(99), "");
}

uint32_t exit_early(void *) {
    msos_exit_thread(5);
    return 1;
}

uint32_t exit_by_strategy(void *) {
    msos_exit(6);
    return 1;
}

TEST(OsExit, ThreadExitsReportTheirCode) {
    for (msos_thread_routine routine : {exit_early, exit_by_strategy}) {
        msos_set_thread_exit_strategy(1);
        qrv_handle t = msos_createthread(nullptr, 0, routine, nullptr, 0, nullptr);
        ASSERT_NE(t, 0);
        EXPECT_EQ(msos_waitforsingleobject(t, MSOS_INFINITE), MSOS_WAIT_OBJECT_0);
        EXPECT_EQ(qrv::os::thread_exit_code(t), routine == exit_early ? 5u : 6u);
        EXPECT_EQ(msos_closehandle(t), 1);
        msos_set_thread_exit_strategy(0);
    }
}

// Runs body in a child on a new pseudo-terminal, types keys and returns
// what the child printed and its exit code.
std::pair<std::string, int> on_terminal(const std::function<int()> &body, const std::string &keys) {
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) _exit(body());
    std::string seen;
    char buf[256];
    bool typed = false;
    for (;;) {
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, 5000) <= 0) {  // the child hangs: end it
            kill(pid, SIGKILL);
            break;
        }
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        seen.append(buf, static_cast<size_t>(n));
        if (!typed && seen.find("pw: ") != std::string::npos) {
            typed = write(master, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    return {seen, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(OsPass, TerminalInputIsHiddenAndControlKeysStartOver) {
    auto check = [] {
        char buffer[4];
        char *p = msos_getpass("pw: ", buffer, sizeof buffer);
        return p == buffer && std::string(buffer) == "xyz" ? 0 : 1;
    };
    auto [seen, code] = on_terminal(check, std::string("ab\x7f") + "xyzw\r");
    EXPECT_EQ(code, 0) << seen;
    EXPECT_EQ(seen.find("ab"), std::string::npos) << "no echo: " << seen;
    EXPECT_NE(seen.find("***"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("****"), std::string::npos) << "size - 1 characters at most";
}

TEST(OsPass, WithoutATerminalOneLineOfStandardInput) {
    EXPECT_EXIT(
        {
            setsid();  // no controlling terminal
            int fds[2];
            if (pipe(fds) != 0 || write(fds[1], "secret\r\nrest", 12) != 12) _exit(2);
            close(fds[1]);
            dup2(fds[0], 0);
            char buffer[5];
            char *p = msos_getpass("pw: ", buffer, sizeof buffer);
            _exit(p == buffer && std::string(buffer) == "secr" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "pw: ");
    char one[1] = {'z'};
    EXPECT_EQ(msos_getpass("", one, 1), nullptr);
    EXPECT_EQ(one[0], 'z');
}

// The reporting forms: a new report of the system error, then the form's id.
TEST_F(Os, ReportingFormsPushTheSystemErrorAndTheirId) {
    TempDir dir;
    const struct {
        const char *name;
        std::function<int64_t()> call;
        int64_t result;
        int32_t id;
        int os_error;
    } kForms[] = {{"unlink", [&] { return mseos_unlink(dir.path().c_str()); }, -1, 16477, EISDIR},
                  {"rename", [&] { return mseos_rename((dir / "x").c_str(), (dir / "y").c_str()); }, -1, 16475, ENOENT},
                  {"write", [] { return mseos_writefile(9999, "x", 1, nullptr, nullptr); }, 0, 16478, EBADF},
                  {"setendoffile", [] { return mseos_setendoffile(-4); }, 0, 16536, EBADF},
                  {"setevent", [] { return mseos_setevent(12); }, 0, 16495, EBADF},
                  {"handleinfo_invalid", [] { return mseos_set_handleinformation(9999, 1, 1); }, 0, 16493, EBADF},
                  {"kill", [] { return mseos_kill(getpid(), 15); }, -1, 16468, ENOTSUP},
                  {"bigmem_alloc", [] { return mseos_bigmem_alloc(-1) == nullptr ? 0 : 1; }, 0, 16500, EINVAL},
                  {"bigmem_free", [&] { return mseos_bigmem_free(&dir); }, 0, 16511, EINVAL},
                  {"createthread", [] { return mseos_createthread(nullptr, 0, nullptr, nullptr, 0, nullptr); }, 0,
                   16496, EINVAL}};
    for (const auto &c : kForms) {
        mserror_reset_seterr(16001, 0);
        EXPECT_EQ(c.call(), c.result) << c.name;
        EXPECT_EQ(mserror_geterr_id(), c.id) << c.name;
        EXPECT_EQ(entry_count(), 2) << c.name << ": a new report";
        EXPECT_TRUE(mserror_pop() && mserror_geterr_id() == 16151 && number_arg(0) == c.os_error) << c.name;
    }
}

TEST_F(Os, ReportingLevelArgumentsAndTheSpecialCases) {
    mseos_kill(123, 9);
    EXPECT_EQ(number_arg(0), 9);
    EXPECT_EQ(number_arg(1), 123);
    mseos_rename("/nonexistent/a", "/nonexistent/b");
    EXPECT_EQ(string_arg(0) + string_arg(1), "/nonexistent/a/nonexistent/b");
    EXPECT_EQ(mseos_getstdhandle(5), QRV_INVALID_HANDLE);
    EXPECT_EQ(mserror_geterr_id(), 16151) << "only the system error";
    EXPECT_EQ(entry_count(), 1);
    void *block = mseos_bigmem_alloc(100000);
    ASSERT_NE(block, nullptr);
    static_cast<char *>(block)[99999] = 1;
    EXPECT_EQ(mseos_bigmem_free(block), 1);
    void *heap = mseos_malloc(16);
    heap = mseos_realloc(heap, 32);
    EXPECT_NE(heap, nullptr);
    msos_free(heap);
}

}  // namespace
