// qrvnlsc -o: the output replaces a regular file or takes a free name;
// anything else under the name (link, FIFO, directory, device, a source)
// is refused with exit status 1 and left exactly as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "os_support.h"

namespace {

struct Outcome {
    int status;
    std::string err;
};

Outcome nlsc(const TempDir &dir, const std::string &args) {
    std::string command = "'" QRV_NLSC_PATH "' " + args + " 2>'" + (dir / "stderr") + "'";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(dir / "stderr")};
}

// Names in dir besides the fixed ones: a temporary file left behind.
int stray_files(const TempDir &dir) {
    std::string listing = dir / "listing";
    std::system(
        ("ls -A '" + dir.path() + "' | grep -v -x -E 'src.txt|stderr|listing|out|other|target' >'" + listing + "'")
            .c_str());
    return static_cast<int>(read_file(listing).size());
}

const char kSource[] = "16001\tfirst message\n";

TEST(NlscOutput, RefusesWhatIsNotARegularFileOrIsASource) {
    struct Case {
        const char *name;
        std::function<std::string(const TempDir &)> make;  // returns the -o argument
        std::string expect;                                // in the message
        std::function<bool(const TempDir &)> unchanged;
    };
    auto is_link_to_target = [](const TempDir &d) {
        struct stat st;
        return lstat((d / "out").c_str(), &st) == 0 && S_ISLNK(st.st_mode) && read_file(d / "target") == "keep\n";
    };
    const Case cases[] = {
        {"symlink to a file",
         [](const TempDir &d) {
             write_file(d / "target", "keep\n");
             return symlink((d / "target").c_str(), (d / "out").c_str()) == 0 ? d / "out" : "";
         },
         "is a symbolic link", is_link_to_target},
        {"dangling symlink",
         [](const TempDir &d) { return symlink((d / "target").c_str(), (d / "out").c_str()) == 0 ? d / "out" : ""; },
         "is a symbolic link",
         [](const TempDir &d) {
             struct stat st;
             return lstat((d / "out").c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
                    access((d / "target").c_str(), F_OK) != 0;
         }},
        {"FIFO", [](const TempDir &d) { return mkfifo((d / "out").c_str(), 0600) == 0 ? d / "out" : ""; }, "is a FIFO",
         [](const TempDir &d) {
             struct stat st;
             return lstat((d / "out").c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
         }},
        {"directory", [](const TempDir &d) { return mkdir((d / "out").c_str(), 0700) == 0 ? d / "out" : ""; },
         "is a directory",
         [](const TempDir &d) {
             struct stat st;
             return lstat((d / "out").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
         }},
        {"device",  // a copy of /dev/null's node where that is allowed, else /dev/null (then not as root)
         [](const TempDir &d) {
             if (mknod((d / "out").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) return d / "out";
             return geteuid() != 0 ? std::string("/dev/null") : std::string();
         },
         "is a device",
         [](const TempDir &d) {
             struct stat st;
             return (lstat((d / "out").c_str(), &st) == 0 || lstat("/dev/null", &st) == 0) && S_ISCHR(st.st_mode);
         }},
        {"the source itself", [](const TempDir &d) { return d / "src.txt"; }, "is the source",
         [](const TempDir &d) { return read_file(d / "src.txt") == kSource; }},
        {"the source by another path", [](const TempDir &d) { return d.path() + "/./src.txt"; }, "is the source",
         [](const TempDir &d) { return read_file(d / "src.txt") == kSource; }},
        {"a hard link to the source",
         [](const TempDir &d) { return link((d / "src.txt").c_str(), (d / "other").c_str()) == 0 ? d / "other" : ""; },
         "is the source",
         [](const TempDir &d) { return read_file(d / "src.txt") == kSource && read_file(d / "other") == kSource; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_file(dir / "src.txt", kSource);
        std::string out = c.make(dir);
        if (out.empty()) continue;  // no device node can be made here
        Outcome r = nlsc(dir, "-o '" + out + "' '" + (dir / "src.txt") + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << r.err;
        EXPECT_TRUE(c.unchanged(dir));
        EXPECT_EQ(stray_files(dir), 0);
    }
}

TEST(NlscOutput, WritesAFreeNameAndReplacesARegularFile) {
    TempDir dir;
    write_file(dir / "src.txt", kSource);
    Outcome fresh = nlsc(dir, "-o '" + (dir / "out") + "' '" + (dir / "src.txt") + "'");
    EXPECT_EQ(fresh.status, 0) << fresh.err;
    std::string image = read_file(dir / "out");
    EXPECT_GT(image.size(), 0u);
    write_file(dir / "out", "old contents");
    Outcome again = nlsc(dir, "-o '" + (dir / "out") + "' '" + (dir / "src.txt") + "'");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(read_file(dir / "out"), image);
    EXPECT_EQ(read_file(dir / "src.txt"), kSource);
    EXPECT_EQ(stray_files(dir), 0);
}

}  // namespace
