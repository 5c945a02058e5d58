#pragma once

#include <string_view>

namespace ml {

// The bytes of Microsoft's WebView2Loader.dll (x64, 1.0.3800.47, 160,880 bytes), built into
// the program; written out unchanged when neither a local copy nor the server provides one.
std::string_view embedded_webview2_loader();

}  // namespace ml
