// qrvnlsc: compiles message sources into an NLS message file, and prints an
// NLS file back as a source.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "nlsc.h"

namespace {

const char kUsage[] =
    "usage: qrvnlsc [-v] -o OUTPUT SOURCE...   compile message sources into an NLS file\n"
    "       qrvnlsc -d FILE                    print an NLS file as a message source\n"
    "\n"
    "A source holds one message per line: the id (1 to 65535), a tab and the text,\n"
    "with the escapes \\t \\n \\r \\\\ and \\xHH. Lines starting with '#' are comments;\n"
    "the section lines [builtin] and [file-only] are accepted and do not change the file.\n";

int fail(const std::string &what) {
    std::fprintf(stderr, "qrvnlsc: %s\n", what.c_str());
    return 1;
}

bool read_file(const char *path, std::string &data, std::string &error) {
    FILE *f = std::fopen(path, "rb");
    if (f == nullptr) {
        error = std::string("cannot open '") + path + "': " + std::strerror(errno);
        return false;
    }
    data.clear();
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok) error = std::string("cannot read '") + path + "'";
    return ok;
}

// What an existing output name is, for the refusal message.
const char *kind_of(mode_t mode) {
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// The output replaces only a regular file or takes a free name: a rename
// over a link, FIFO or device would put a plain file in its place, and a
// rename over a source would lose the source.
bool check_output(const std::string &path, const std::vector<const char *> &sources, std::string &error) {
    struct stat out;
    if (lstat(path.c_str(), &out) != 0) {
        if (errno == ENOENT) return true;
        error = "cannot examine the output '" + path + "': " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(out.st_mode)) {
        error = "the output '" + path + "' is " + kind_of(out.st_mode) +
                "; only a regular file or a new name may be written";
        return false;
    }
    for (const char *source : sources) {
        struct stat in;
        if (stat(source, &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
            error = "the output '" + path + "' is the source '" + source + "'";
            return false;
        }
    }
    return true;
}

// Writes beside the target and renames, so a failed run never leaves a
// half-written file where a build expects a finished one. The temporary
// name is created fresh (O_EXCL): whatever already has that name is left alone.
bool write_file(const std::string &path, const std::string &data, std::string &error) {
    std::string temp = path + ".tmp" + std::to_string(getpid());
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "cannot create '" + temp + "': " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < data.size();) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            ok = false;
        }
    }
    int saved = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        error = "cannot write '" + path + "': " + std::strerror(saved != 0 ? saved : EIO);
        std::remove(temp.c_str());
    }
    return ok;
}

int compile(const std::string &output, const std::vector<const char *> &sources, bool verbose) {
    std::string refused;
    if (!check_output(output, sources, refused)) return fail(refused);
    std::vector<qrv::nlsc::Message> all;
    std::set<uint32_t> ids;
    for (const char *path : sources) {
        std::string text, error;
        if (!read_file(path, text, error)) return fail(error);
        std::vector<qrv::nlsc::Message> messages;
        qrv::nlsc::Diagnostic diag;
        if (!qrv::nlsc::parse_source(text, messages, diag)) {
            return fail(std::string(path) + ":" + std::to_string(diag.line) + ": " + diag.what);
        }
        for (auto &m : messages) {
            if (!ids.insert(m.id).second) {
                return fail(std::string(path) + ":" + std::to_string(m.line) + ": id " + std::to_string(m.id) +
                            " is already defined in an earlier source");
            }
            all.push_back(std::move(m));
        }
    }
    std::string image, error;
    if (!qrv::nlsc::build_image(all, image, error)) return fail(output + ": " + error);
    if (!write_file(output, image, error)) return fail(error);
    if (verbose) {
        qrv::nlsc::Header h;
        qrv::nlsc::read_header(image, h, error);
        std::printf("%s: %zu messages, %u buckets of %u bytes, %zu bytes\n", output.c_str(), all.size(), h.bucket_count,
                    h.bucket_size, image.size());
    }
    return 0;
}

int dump(const char *path) {
    std::string image, error;
    if (!read_file(path, image, error)) return fail(error);
    std::vector<qrv::nlsc::Message> messages;
    if (!qrv::nlsc::read_all(image, messages, error)) return fail(std::string(path) + ": " + error);
    for (const auto &m : messages) std::printf("%u\t%s\n", m.id, qrv::nlsc::escape_text(m.text).c_str());
    return std::fflush(stdout) == 0 ? 0 : fail("cannot write the output");
}

}  // namespace

int main(int argc, char **argv) {
    std::string output;
    std::vector<const char *> sources;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "-d" && argc == 3) {
            return dump(argv[2]);
        } else if (arg == "-o" && i + 1 < argc && output.empty()) {
            output = argv[++i];
        } else if (arg == "-v") {
            verbose = true;
        } else if (arg.empty() || arg[0] == '-') {
            sources.clear();
            break;
        } else {
            sources.push_back(argv[i]);
        }
    }
    if (output.empty() || sources.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return compile(output, sources, verbose);
}
