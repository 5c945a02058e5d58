#pragma once

#include <string_view>

namespace ml {

// The size of Microsoft's WebView2Loader.dll (x64, 1.0.3800.47) that the setup carries.
inline constexpr std::size_t kEmbeddedWebView2LoaderSize = 160880;

// The bytes of that library, built into the program; written out unchanged when neither a
// local copy nor the server provides one.
std::string_view embedded_webview2_loader();

}  // namespace ml
