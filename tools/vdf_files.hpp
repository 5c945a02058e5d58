#pragma once

// Files for the developer tools and benchmarks (POSIX, native build only): a shortcuts.vdf
// mapped for the view parse, and a written file streamed into place.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "vdf/shortcuts_vdf.hpp"
#include "vdf/shortcuts_vdf_view.hpp"

namespace ml::tools {

// A file's bytes mapped into memory, read-only. Users' files reach tens of MB; a mapping
// costs no copy and no fresh memory, and the view's texts point straight into it. The
// mapping stays valid after the path is replaced (roundtrip writes through a new file).
class MappedFile {
  public:
    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile() {
        if (data_ != nullptr) munmap(data_, size_);
    }

    // Maps the file at path. Returns an empty text, or why not.
    std::string open(const char* path) {
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return std::strerror(errno);
        struct stat st {};
        std::string why;
        if (fstat(fd, &st) != 0) {
            why = std::strerror(errno);
        } else if (!S_ISREG(st.st_mode)) {
            why = "not a regular file";
        } else if (st.st_size > 0) {
            size_ = static_cast<std::size_t>(st.st_size);
            // Every page is read: mapped in one go rather than fault by fault.
            void* p = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
            if (p == MAP_FAILED) {
                why = std::strerror(errno);
            } else {
                data_ = p;
            }
        }
        ::close(fd);
        return why;
    }
    std::string_view bytes() const noexcept {
        return data_ == nullptr ? std::string_view()
                                : std::string_view(static_cast<const char*>(data_), size_);
    }

  private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
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
// name the file the view was mapped from (whose mapping a truncation would break), and a
// failed write never leaves a partial file at path. Returns 0, or the errno of the failure.
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
