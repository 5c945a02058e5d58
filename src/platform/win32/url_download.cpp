#include "platform/win32/url_download.hpp"

#include <windows.h>

#include <urlmon.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/win32/com.hpp"
#include "platform/win32/files.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/system_library.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

// What the caller and the transfer's own thread share. The caller may give up on the
// transfer and go on; the last of the two to let go frees it.
struct TransferState {
    TransferState(const TransferLimits& limits, TransferClock::time_point start)
        : watch(limits, start) {}

    std::mutex mutex;
    std::condition_variable changed;
    TransferWatch watch;
    std::optional<TransferEnd> ended;  // a limit was passed
    bool abandoned = false;            // the caller has gone on without the transfer
    bool finished = false;             // URLDownloadToFileW has returned
    HRESULT result = S_OK;
    DWORD status = 0;                        // HTTP status of the last answer
    std::optional<std::uint64_t> announced;  // its Content-Length
};

// COM objects are destroyed through Release, never through a pointer to an interface, so
// the interfaces' missing virtual destructors do not matter.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// The binding's callback. urlmon calls it on the thread that called URLDownloadToFileW, and
// only there does this object touch the binding: a COM object of a single-threaded
// apartment must not be called from another thread. The HTTP status and the announced
// length come through IHttpNegotiate::OnResponse, which urlmon asks the callback for.
class StatusWatcher final : public IBindStatusCallback, public IHttpNegotiate {
  public:
    explicit StatusWatcher(std::shared_ptr<TransferState> state) : state_(std::move(state)) {}

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

    // IBindStatusCallback
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding* binding) override {
        if (binding != nullptr) binding->AddRef();
        binding_.reset(binding);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG, ULONG status_code,
                                         LPCWSTR) override {
        if (!record(progress, status_code, TransferClock::now())) return S_OK;
        // Ended: the service honours E_ABORT from a callback. Wine's ignores it, but takes an
        // abort of the binding on this, its own thread; a redirect loop on a fast server
        // makes hundreds of hops between two looks of the caller.
        if (binding_ && !abort_sent_) {
            abort_sent_ = true;
            (void)binding_->Abort();
        }
        return E_ABORT;
    }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override {
        binding_.reset();
        return S_OK;
    }
    // Always the server's current file, and no copy left in the Internet cache: without
    // these flags Windows may answer from the cache after the server has published a new
    // runner or new artwork. The service's own flags stay. The structure is cleared up to
    // the size the service gave, as the service expects of its callbacks.
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override {
        if (flags == nullptr || info == nullptr || info->cbSize < sizeof(ULONG)) {
            return E_INVALIDARG;
        }
        *flags |= BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE;
        const ULONG size = info->cbSize;
        std::memset(info, 0, size);
        info->cbSize = size;
        if (size >= offsetof(BINDINFO, dwBindVerb) + sizeof(info->dwBindVerb)) {
            info->dwBindVerb = BINDVERB_GET;
        }
        return S_OK;
    }
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
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR headers, LPCWSTR,
                                         LPWSTR* additional_headers) override {
        if (additional_headers != nullptr) *additional_headers = nullptr;
        const auto announced =
            headers != nullptr ? announced_body_length(narrow(headers)) : std::nullopt;
        std::lock_guard lock(state_->mutex);
        // After redirects, the last answer is the one saved.
        state_->status = code;
        state_->announced = announced;
        return S_OK;
    }

  private:
    ~StatusWatcher() = default;

    // Notes a progress report; true when the transfer is to end (a limit passed, or the
    // caller gave up on it).
    bool record(ULONG progress, ULONG status_code, TransferClock::time_point now) {
        std::lock_guard lock(state_->mutex);
        switch (status_code) {
            // Wine's service forwards no BINDSTATUS_REDIRECTING, but each request of a
            // redirect chain shows up as one more "sending request".
            case BINDSTATUS_SENDINGREQUEST:
                state_->watch.request_sent();
                break;
            case BINDSTATUS_REDIRECTING:
                state_->watch.redirect_seen();
                break;
            case BINDSTATUS_BEGINDOWNLOADDATA:
            case BINDSTATUS_DOWNLOADINGDATA:
            case BINDSTATUS_ENDDOWNLOADDATA:
                state_->watch.bytes_seen(progress, now);
                break;
            default:
                break;
        }
        if (!state_->ended) state_->ended = state_->watch.due(now);
        if (state_->ended) state_->changed.notify_all();
        return state_->ended || state_->abandoned;
    }

    std::atomic<ULONG> refs_{1};
    std::shared_ptr<TransferState> state_;
    ComPtr<IBinding> binding_;  // this thread's only
    bool abort_sent_ = false;
};

#pragma GCC diagnostic pop

using DownloadToFile = decltype(URLDownloadToFileW);

// The transfer's own thread: the whole URLDownloadToFileW call. When the caller has given up
// by the time it returns, the file it may have written belongs to nobody and is removed.
void run_transfer(std::shared_ptr<TransferState> state, DownloadToFile* download, std::wstring url,
                  std::wstring file) {
    HRESULT hr = E_FAIL;
    {
        ComScope com;
        ComPtr<IBindStatusCallback> callback;
        *callback.put() = new (std::nothrow) StatusWatcher(state);  // takes the first reference
        if (callback) hr = download(nullptr, url.c_str(), file.c_str(), 0, callback.get());
    }
    bool abandoned = false;
    {
        std::lock_guard lock(state->mutex);
        state->result = hr;
        state->finished = true;
        abandoned = state->abandoned;
    }
    state->changed.notify_all();
    if (abandoned) DeleteFileW(file.c_str());
}

}  // namespace

Result<void> url_download_to_file(const std::string& url, const std::string& path,
                                  const TransferLimits& limits) {
    // urlmon is no KnownDLL: only the system folder's copy is used (system_library.hpp).
    const auto download = system_function_as<DownloadToFile>(L"urlmon.dll", "URLDownloadToFileW");
    if (!download) {
        return fail(ErrorKind::Other, "URL download failed: " + download.error().display());
    }
    auto state = std::make_shared<TransferState>(limits, TransferClock::now());
    // The service gives the caller no bound of its own (a silent server holds it for ever,
    // under Wine whatever the callback answers), and another thread may not abort its
    // binding. So it runs on a thread of its own, and this thread waits only as long as the
    // limits allow; past them the transfer is left to end by itself and its file is never
    // used.
    try {
        std::thread(run_transfer, state, *download, widen(url), widen(path)).detach();
    } catch (const std::system_error&) {
        return fail(ErrorKind::Other, "URL download failed: no thread for the transfer");
    }
    std::unique_lock lock(state->mutex);
    while (!state->finished) {
        if (!state->ended) state->ended = state->watch.due(TransferClock::now());
        if (state->ended) {
            state->abandoned = true;
            break;
        }
        state->changed.wait_for(lock, std::chrono::milliseconds(100));
    }
    if (state->ended) {
        // A transfer that passed a limit and then ended by itself is not taken either.
        state->abandoned = true;
        return fail(ErrorKind::Other,
                    "URL download stopped: " + std::string(transfer_end_text(*state->ended)));
    }
    const HRESULT hr = state->result;
    const DWORD status = state->status;
    const auto announced = state->announced;
    lock.unlock();

    if (FAILED(hr)) {
        char code[16];
        snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
        return fail(ErrorKind::Other, std::string("URL download failed with ") + code);
    }
    // No answer seen (0) counts as a failure as well: nothing says the file is what was asked.
    if (status < 200 || status > 299) {
        return fail(ErrorKind::Other, "HTTP status " + std::to_string(status));
    }
    // The service reports success for a connection closed before the announced end (Wine's
    // does): only the byte count tells.
    if (announced) {
        const std::uint64_t got = file_size(path).value_or(0);
        if (got < *announced) {
            return fail(ErrorKind::Other, "URL download ended after " + std::to_string(got) +
                                              " of " + std::to_string(*announced) + " bytes");
        }
    }
    return {};
}

}  // namespace ml
