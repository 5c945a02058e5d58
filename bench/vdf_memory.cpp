// Peak heap while reading and writing a shortcuts.vdf, measured by counting every
// allocation, for both paths: owned records (the product's runs) and the view with the
// streaming writer (vdftool roundtrip), next to the file's size.
//   vdf_memory                    a generated 100,000-entry file
//   vdf_memory FILE               FILE, read as vdftool reads it
//   vdf_memory --write N OUT      write a generated N-entry file to OUT
// The whole-process figure: /usr/bin/time -f '%e s %M KiB' vdftool roundtrip IN OUT.

#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <new>
#include <string>

#include "shortcut_corpus.hpp"
#include "vdf/shortcuts_vdf_view.hpp"
#include "vdf_files.hpp"

namespace {

// Live and peak bytes as malloc hands them out (usable size, so rounding counts too).
std::size_t g_live = 0;
std::size_t g_peak = 0;

void* counted_alloc(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    g_live += malloc_usable_size(p);
    if (g_live > g_peak) g_peak = g_live;
    return p;
}

void counted_free(void* p) noexcept {
    if (p == nullptr) return;
    g_live -= malloc_usable_size(p);
    std::free(p);
}

// Takes the streamed file and forgets it, as a file on disk would keep it out of the heap.
class Discard final : public ml::VdfSink {
  public:
    bool write(std::string_view bytes) override {
        written += bytes.size();
        return true;
    }
    std::size_t written = 0;
};

void print_peak(const char* what, std::size_t before, std::size_t size) {
    std::printf("%s: peak heap %zu bytes = %.2fx input (its own: %.2fx)\n", what, g_peak,
                static_cast<double>(g_peak) / static_cast<double>(size),
                static_cast<double>(g_peak - before) / static_cast<double>(size));
}

// read_peak: the peak heap of reading the input, when it was read from a file.
int measure(std::string_view bytes, std::size_t read_peak) {
    const std::size_t before = g_live;
    std::size_t entries = 0;
    g_peak = g_live;
    {
        const auto list = ml::parse_shortcuts_vdf(bytes);
        if (!list) {
            std::fprintf(stderr, "vdf_memory: %s\n", list.error().message.c_str());
            return 1;
        }
        entries = list->size();
        std::printf("input: %zu bytes, %zu entries\n", bytes.size(), entries);
        std::printf("heap live before parse (input included): %zu bytes\n", before);
        print_peak("owned records, parse", before, bytes.size());
        const std::string out = ml::serialize_shortcuts_vdf(*list);
        print_peak("owned records, parse and serialize to a string", before, bytes.size());
    }
    g_peak = g_live;
    {
        const auto view = ml::parse_shortcuts_vdf_view(bytes);
        if (!view) return 1;
        Discard sink;
        (void)ml::write_shortcuts_vdf(*view, sink);
        if (sink.written == 0) return 1;
        print_peak("view, parse and streamed write", before, bytes.size());
        // vdftool reads the file whole, then parses the view: its peak is the higher of the
        // read's and of the file's bytes with the view's own heap.
        const std::size_t parsed = bytes.size() + (g_peak - before);
        std::printf("vdftool, the file read whole and its view: %.2fx the file\n",
                    static_cast<double>(std::max(read_peak, parsed)) /
                        static_cast<double>(bytes.size()));
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("max RSS of the process: %ld KiB\n", usage.ru_maxrss);
    return 0;
}

}  // namespace

void* operator new(std::size_t size) {
    return counted_alloc(size);
}
void* operator new[](std::size_t size) {
    return counted_alloc(size);
}
void operator delete(void* p) noexcept {
    counted_free(p);
}
void operator delete[](void* p) noexcept {
    counted_free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    counted_free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    counted_free(p);
}

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--write") {
        const std::string bytes = ml::bench::generated_file(std::stoul(argv[2]));
        std::ofstream out(argv[3], std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return out ? 0 : 1;
    }
    if (argc == 2) {
        // Through vdftool's own reader, so that its buffer counts as it really is.
        g_peak = g_live;
        ml::tools::FileBytes file;
        if (const std::string why = file.open(argv[1]); !why.empty()) {
            std::fprintf(stderr, "vdf_memory: cannot read %s: %s\n", argv[1], why.c_str());
            return 1;
        }
        const std::size_t read_peak = g_peak;
        std::printf("read whole as vdftool reads it: peak heap %.2fx the file\n",
                    static_cast<double>(read_peak) / static_cast<double>(file.bytes().size()));
        return measure(file.bytes(), read_peak);
    }
    const std::string bytes = ml::bench::generated_file(100000);
    return measure(bytes, 0);
}
