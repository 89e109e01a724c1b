// Handles that are not live: a closed one closed again or used, a stale one
// after a new handle of its kind was made, random memory dressed as a
// handle, and a handle of another kind. Each is refused with its kind's
// report, and nothing it names, nor the new handle, is touched.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "base/registry.h"
#include "msfio.h"
#include "msnlsmsg.h"
#include "mssio.h"
#include "msvars.h"
#include "os_support.h"
#include "support.h"

namespace {

constexpr int32_t kMarker = 16001;  // an older report below every refusal

std::string text(const char *p) { return p != nullptr ? p : "<null>"; }

struct HandleKind {
    const char *name;
    std::function<void *()> open;
    std::function<int64_t(void *)> close;
    std::function<int64_t(void *)> use;  // would change the handle or what it names
    int64_t refused;                     // what use gives for a value that is not live (close gives 0)
    std::vector<int32_t> use_ids;        // the stack after a refused use, top first
    std::vector<int32_t> close_ids;      // the stack after a refused close
    std::function<bool(void *)> intact;  // a live handle still shows its first state
};

class Handles : public LibraryTest {
protected:
    TempDir dir;
    std::vector<HandleKind> kinds;
    int files = 0;
    char line[MSROMF_LINE_SIZE + 1] = {};
    std::string first_rom_line;

    static void *fd_handle(msfio_fd fd) { return reinterpret_cast<void *>(fd); }
    static msfio_fd fd_of(void *h) { return reinterpret_cast<msfio_fd>(h); }
    std::string next_path() { return dir / std::to_string(files++); }

    void SetUp() override {
        LibraryTest::SetUp();
        write_file(dir / "only", "");
        msromf_file *rom = msromf_open("config/initfile.txt");
        ASSERT_NE(rom, nullptr);
        ASSERT_GT(msromf_read(rom, line), 0);
        first_rom_line = line;
        msromf_close(rom);
        static const char kBlocks[] = "REC=1\nA=x\nEND\nREC=2\nA=y\nEND\n";
        kinds = {
            {"descriptor",
             [this] { return fd_handle(msfio_create(next_path().c_str(), 1, 0, 0)); },
             [](void *h) { return int64_t{msfio_close(fd_of(h))}; },
             [](void *h) { return int64_t{msfio_write(fd_of(h), "x", 1)}; },
             -1,
             {16478, 16151},
             {16469, 16151},
             [](void *h) { return msfio_tell(fd_of(h)) == 0; }},
            {"stream",
             [this] { return static_cast<void *>(mssio_open(next_path().c_str(), "w")); },
             [](void *h) { return int64_t{mssio_close(static_cast<mssio_stream *>(h))}; },
             [](void *h) { return int64_t{mssio_write(static_cast<mssio_stream *>(h), "x\n", 2)}; },
             -1,
             {16478, 16151},
             {16469, 16151},
             [](void *h) { return mssio_tell(static_cast<mssio_stream *>(h)) == 0; }},
            {"variable set",
             [] { return static_cast<void *>(msvars_readbuf(kBlocks)); },
             [](void *h) { return int64_t{msvars_freevars(static_cast<msvars_set *>(h))}; },
             [](void *h) { return static_cast<int64_t>(msvars_reopen(static_cast<msvars_set *>(h)) != nullptr); },
             0,
             {kMarker},
             {kMarker},
             [](void *h) { return text(msvars_getvar(static_cast<msvars_set *>(h), "A")) == "x"; }},
            {"variable object",
             [this] {
                 if (set_ == nullptr) set_ = msvars_readbuf(kBlocks);
                 return static_cast<void *>(msvars_getobj_init(set_, "REC", "END"));
             },
             [](void *h) { return int64_t{msvars_getobj_end(static_cast<msvars_obj *>(h))}; },
             [](void *h) { return static_cast<int64_t>(msvars_getobj_next(static_cast<msvars_obj *>(h)) != nullptr); },
             0,
             {kMarker},
             {kMarker},
             [](void *h) { return text(msvars_getvar_obj(h, "A")) == "x"; }},
            {"NLS client",
             [] { return static_cast<void *>(msnlsmsg_init_client("english", '|')); },
             [](void *h) {
                 msnlsmsg_end_client(static_cast<msnlsmsg_client *>(h));
                 return int64_t{0};
             },
             [](void *h) {
                 char text[64] = "untouched";
                 int result = msnlsmsg_error_msg_all(text, sizeof text, static_cast<msnlsmsg_client *>(h));
                 return std::string(text) == "untouched" ? int64_t{result} : int64_t{-99};
             },
             0,
             {kMarker},
             {kMarker},
             [](void *h) {
                 char text[64];
                 mserror_reset_seterr(kMarker, 0);
                 bool rendered = msnlsmsg_error_msg_all(text, sizeof text, static_cast<msnlsmsg_client *>(h)) == 1;
                 mserror_reset();
                 return rendered;
             }},
            {"directory listing",
             [this] { return static_cast<void *>(msfio_opendir(dir.path().c_str(), "only")); },
             [](void *h) { return int64_t{msfio_closedir(static_cast<msfio_dir *>(h))}; },
             [](void *h) {
                 char name[32] = "untouched";
                 int result = msfio_readdir(static_cast<msfio_dir *>(h), name, sizeof name);
                 return std::string(name) == "untouched" ? int64_t{result} : int64_t{-99};
             },
             0,
             {16130, 16151},
             {16151},
             [](void *h) {
                 char name[32];
                 return msfio_readdir(static_cast<msfio_dir *>(h), name, sizeof name) && std::string(name) == "only";
             }},
            {"read-only-memory file",
             [] { return static_cast<void *>(msromf_open("config/initfile.txt")); },
             [](void *h) { return int64_t{msromf_close(static_cast<msromf_file *>(h))}; },
             [this](void *h) {
                 std::memset(line, 'u', 8);
                 int result = msromf_read(static_cast<msromf_file *>(h), line);
                 return line[0] == 'u' ? int64_t{result} : int64_t{-99};
             },
             -1,
             {kMarker},
             {kMarker},
             [this](void *h) {
                 return msromf_read(static_cast<msromf_file *>(h), line) > 0 && first_rom_line == line;
             }},
        };
    }
    void TearDown() override {
        msvars_freevars(set_);
        LibraryTest::TearDown();
    }

    // Runs op on a stack holding only the marker; the ids then, top first.
    static std::vector<int32_t> stack_after(const std::function<void()> &op) {
        mserror_reset();
        mserror_seterr(kMarker, 0);
        op();
        return error_ids();
    }

    void expect_refused(const HandleKind &k, void *h) {
        int64_t result = 0;
        EXPECT_EQ(stack_after([&] { result = k.use(h); }), k.use_ids);
        EXPECT_EQ(result, k.refused);
        EXPECT_EQ(stack_after([&] { result = k.close(h); }), k.close_ids);
        EXPECT_EQ(result, 0);
    }

    msvars_set *set_ = nullptr;
};

TEST_F(Handles, ClosedHandlesAreRefusedAndTouchNothing) {
    for (const HandleKind &k : kinds) {
        SCOPED_TRACE(k.name);
        void *stale = k.open();
        ASSERT_NE(stale, nullptr);
        ASSERT_TRUE(k.intact(stale));
        mserror_reset();
        k.close(stale);
        EXPECT_EQ(mserror_geterr_id(), 0) << "a live handle closes quietly";
        expect_refused(k, stale);  // use after close, then the double close

        // A new handle of the kind never takes a recently closed address,
        // and the stale value reaches nothing of it.
        void *fresh = k.open();
        ASSERT_NE(fresh, nullptr);
        EXPECT_NE(fresh, stale);
        expect_refused(k, stale);
        EXPECT_TRUE(k.intact(fresh));
        mserror_reset();
        k.close(fresh);
        EXPECT_EQ(mserror_geterr_id(), 0);
    }
}

TEST_F(Handles, RandomMemoryAndOtherKindsAreRefused) {
    // Memory dressed with every tag the records carried before their
    // registries: the descriptor's magic, the set's and the object's tags.
    std::vector<uint32_t> dressed(64);
    const uint32_t kTags[] = {0x199F10D5u, MSVARS_SET_TAG, MSVARS_OBJ_TAG, 0};
    for (size_t i = 0; i < dressed.size(); ++i) dressed[i] = kTags[i % 4];
    const std::vector<uint32_t> before = dressed;

    std::vector<void *> handles;
    for (const HandleKind &k : kinds) handles.push_back(k.open());
    for (size_t i = 0; i < kinds.size(); ++i) {
        const HandleKind &k = kinds[i];
        SCOPED_TRACE(k.name);
        for (void *stranger : {static_cast<void *>(dressed.data()), static_cast<void *>(dressed.data() + 3),
                               reinterpret_cast<void *>(uintptr_t{1}), reinterpret_cast<void *>(intptr_t{-911 - 8})}) {
            expect_refused(k, stranger);
        }
        void *other = handles[(i + 1) % handles.size()];
        expect_refused(k, other);
        EXPECT_TRUE(kinds[(i + 1) % kinds.size()].intact(other)) << "the other kind's handle is untouched";
    }
    EXPECT_EQ(dressed, before);
    for (size_t i = 0; i < kinds.size(); ++i) kinds[i].close(handles[i]);
}

// The registry on its own: many handles of one kind force its table to
// grow and to sweep closed slots, and membership stays exact throughout.
class HandleRegistry : public LibraryTest {};

TEST_F(HandleRegistry, MembershipStaysExactThroughGrowthAndSweeps) {
    using qrv::space::Kind;
    std::vector<void *> open;
    std::vector<void *> closed;
    for (int round = 0; round < 6; ++round) {
        for (int i = 0; i < 300; ++i) open.push_back(qrv::space::get_handle(Kind::romfile, 8));
        for (size_t i = 0; i < open.size(); i += 2) {
            ASSERT_TRUE(qrv::space::retire(Kind::romfile, open[i]));
            closed.push_back(open[i]);
        }
        std::vector<void *> kept;
        for (size_t i = 1; i < open.size(); i += 2) kept.push_back(open[i]);
        for (void *p : kept) ASSERT_TRUE(qrv::space::is_live(Kind::romfile, p));
        for (void *p : closed) {
            bool reused = std::find(kept.begin(), kept.end(), p) != kept.end();
            ASSERT_EQ(qrv::space::is_live(Kind::romfile, p), reused);
            EXPECT_FALSE(qrv::space::is_live(Kind::stream, p));
        }
        for (void *p : closed) qrv::space::release(p);
        closed.clear();
        open = kept;
    }
    for (void *p : open) EXPECT_TRUE(qrv::space::release_handle(Kind::romfile, p));
}

}  // namespace
