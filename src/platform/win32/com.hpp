#pragma once

#include <windows.h>

#include <objbase.h>

namespace ml {

// Keeps COM initialised (single-threaded apartment) on this thread for the life of the
// object. A thread that already has COM keeps its own; only a successful call is undone.
class ComScope {
  public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    HRESULT hr_;
};

}  // namespace ml
