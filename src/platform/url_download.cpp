#include "platform/url_download.hpp"

#include <windows.h>

#include <urlmon.h>

#include <atomic>
#include <cstdio>

#include "platform/handle.hpp"
#include "platform/win32.hpp"

namespace ml {
namespace {

// Keeps COM initialised on this thread for the life of the object, when it was not yet.
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

// COM objects are destroyed through Release, never through a pointer to an interface, so
// the interfaces' missing virtual destructors do not matter.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// Watches a download for the HTTP status of the answer. urlmon asks the callback for
// IHttpNegotiate and reports each response's status through OnResponse.
class StatusWatcher final : public IBindStatusCallback, public IHttpNegotiate {
  public:
    DWORD status() const { return status_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
            *out = static_cast<IBindStatusCallback*>(this);
        } else if (IsEqualIID(riid, IID_IHttpNegotiate)) {
            *out = static_cast<IHttpNegotiate*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // IBindStatusCallback: nothing to steer; only the status matters.
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

    // IHttpNegotiate
    HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                   LPWSTR* additional_headers) override {
        if (additional_headers != nullptr) *additional_headers = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR, LPCWSTR,
                                         LPWSTR* additional_headers) override {
        if (additional_headers != nullptr) *additional_headers = nullptr;
        status_ = code;  // after redirects, the last answer is the one saved
        return S_OK;
    }

  private:
    ~StatusWatcher() = default;

    std::atomic<ULONG> refs_{1};
    std::atomic<DWORD> status_{0};
};

#pragma GCC diagnostic pop

}  // namespace

Result<void> url_download_to_file(const std::string& url, const std::string& path) {
    ComScope com;
    auto* watcher = new StatusWatcher();
    ComPtr<IBindStatusCallback> callback;
    *callback.put() = watcher;  // takes the first reference
    const HRESULT hr =
        URLDownloadToFileW(nullptr, widen(url).c_str(), widen(path).c_str(), 0, callback.get());
    if (FAILED(hr)) {
        char code[16];
        snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
        return fail(ErrorKind::Other, std::string("URL download failed with ") + code);
    }
    // No answer seen (0) counts as a failure as well: nothing says the file is what was asked.
    const DWORD status = watcher->status();
    if (status < 200 || status > 299) {
        return fail(ErrorKind::Other, "HTTP status " + std::to_string(status));
    }
    return {};
}

}  // namespace ml
