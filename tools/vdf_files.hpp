#pragma once

// Files for the developer tools and benchmarks (POSIX, native build only): a shortcuts.vdf
// read for the view parse, and a written file streamed into place.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "vdf/shortcuts_vdf.hpp"
#include "vdf/shortcuts_vdf_view.hpp"

namespace ml::tools {

// A file's bytes, read whole into memory; the view's texts point into them. Not a mapping:
// a mapped file that shrinks while it is read (Steam or another roundtrip rewriting it in
// place) turns every access to the pages it lost into SIGBUS. Reading stops at the end of
// the file as it is then, whatever its size said before, so a file that shrinks or grows
// during the read gives the bytes that were there. Users' files reach tens of MB.
class FileBytes {
  public:
    // Reads the file at path. Returns an empty text, or why not.
    std::string open(const char* path) {
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return std::strerror(errno);
        std::string why = read_all(fd);
        ::close(fd);
        if (!why.empty()) bytes_.clear();
        return why;
    }
    std::string_view bytes() const noexcept { return bytes_; }

  private:
    std::string read_all(int fd) {
        struct stat st {};
        if (fstat(fd, &st) != 0) return std::strerror(errno);
        if (!S_ISREG(st.st_mode)) return "not a regular file";
        // The size is a first guess only. One byte more than it lets the read that finds the
        // end happen inside the buffer: a full buffer grows only for a file that grew, and
        // the file is held once, not in a buffer twice its size.
        constexpr std::size_t kChunk = 1 << 20;
        bytes_.resize(static_cast<std::size_t>(st.st_size) + 1);
        std::size_t have = 0;
        for (;;) {
            if (have == bytes_.size()) bytes_.resize(have + std::max(have / 2, kChunk));
            const ssize_t n = ::read(fd, bytes_.data() + have, bytes_.size() - have);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return std::strerror(errno);
            if (n == 0) break;
            have += static_cast<std::size_t>(n);
        }
        bytes_.resize(have);
        return {};
    }

    std::string bytes_;
};

// A sink into an open file descriptor; keeps the first error.
class FdSink final : public VdfSink {
  public:
    explicit FdSink(int fd) : fd_(fd) {}
    bool write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error_ = errno;
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    int error() const noexcept { return error_; }

  private:
    int fd_;
    int error_ = 0;
};

// Streams the file for view into a new file beside path and moves it into place: path may
// name the file the view was read from, and a failed write never leaves a partial file at
// path. Returns 0, or the errno of the failure.
inline int write_file_replacing(const char* path, const ShortcutsView& view) {
    const std::string temp = std::string(path) + ".vdftool-" + std::to_string(getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    FdSink sink(fd);
    int error = 0;
    if (!write_shortcuts_vdf(view, sink)) error = sink.error();
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(temp.c_str(), path) != 0) error = errno;
    if (error != 0) (void)std::remove(temp.c_str());
    return error;
}

}  // namespace ml::tools
