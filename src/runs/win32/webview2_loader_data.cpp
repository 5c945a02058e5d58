// The WebView2 loader library as constant data. The assembler copies the file's bytes into a
// read-only section (the build checked them against the vendor folder's SHA-256 first), so
// no generated source of hundreds of kilobytes is needed.
#include "runs/win32/webview2_loader.hpp"

#ifndef ML_WEBVIEW2_LOADER_FILE
#error "the build passes ML_WEBVIEW2_LOADER_FILE, the checked WebView2Loader.dll"
#endif

extern "C" const char ml_webview2_loader_begin[];
extern "C" const char ml_webview2_loader_end[];

__asm__(
    ".section .rdata,\"dr\"\n"
    ".balign 16\n"
    ".globl ml_webview2_loader_begin\n"
    "ml_webview2_loader_begin:\n"
    ".incbin \"" ML_WEBVIEW2_LOADER_FILE
    "\"\n"
    ".globl ml_webview2_loader_end\n"
    "ml_webview2_loader_end:\n"
    ".text\n");

namespace ml {

std::string_view embedded_webview2_loader() {
    return {ml_webview2_loader_begin,
            static_cast<std::size_t>(ml_webview2_loader_end - ml_webview2_loader_begin)};
}

}  // namespace ml
