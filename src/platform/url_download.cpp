#include "platform/url_download.hpp"

#include <windows.h>

#include <urlmon.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/com.hpp"
#include "platform/handle.hpp"
#include "platform/win32.hpp"

namespace ml {
namespace {

// COM objects are destroyed through Release, never through a pointer to an interface, so
// the interfaces' missing virtual destructors do not matter.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// Watches a download: the HTTP status of the answer (urlmon asks the callback for
// IHttpNegotiate and reports each response's status through OnResponse), and its progress
// against the limits. OnProgress runs on the calling thread; the watchdog reads the same
// state from its own thread, hence the lock.
class StatusWatcher final : public IBindStatusCallback, public IHttpNegotiate {
  public:
    explicit StatusWatcher(const TransferLimits& limits) : watch_(limits, TransferClock::now()) {}

    DWORD status() const { return status_; }

    // Why the transfer was ended, when it was.
    std::optional<TransferEnd> ended() const {
        std::lock_guard lock(mutex_);
        return ended_;
    }

    // Decides whether the limits are passed and aborts the binding then; called by the
    // watchdog and after each progress report. Abort is asked again on later calls until a
    // binding exists to take it.
    void abort_if_due(TransferClock::time_point now) {
        ComPtr<IBinding> binding;
        {
            std::lock_guard lock(mutex_);
            if (finished_) return;  // a transfer that ended by itself is not judged afterwards
            if (!ended_) ended_ = watch_.due(now);
            if (!ended_ || abort_sent_ || !binding_) return;
            binding_->AddRef();
            binding.reset(binding_.get());
            abort_sent_ = true;
        }
        // Outside the lock: the abort may report the binding's end to this very object.
        if (FAILED(binding->Abort())) {
            std::lock_guard lock(mutex_);
            abort_sent_ = false;
        }
    }

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

    // IBindStatusCallback: the binding is kept for the watchdog's abort.
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding* binding) override {
        std::lock_guard lock(mutex_);
        if (binding != nullptr) binding->AddRef();
        binding_.reset(binding);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG, ULONG status_code,
                                         LPCWSTR) override {
        const auto now = TransferClock::now();
        record(progress, status_code, now);
        // Aborted here and now: a redirect loop on a fast server makes hundreds of hops
        // between two looks of the watchdog. (Wine's service ignores an E_ABORT answer.)
        abort_if_due(now);
        return ended() ? E_ABORT : S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override {
        std::lock_guard lock(mutex_);
        finished_ = true;
        binding_.reset();
        return S_OK;
    }
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

    void record(ULONG progress, ULONG status_code, TransferClock::time_point now) {
        std::lock_guard lock(mutex_);
        switch (status_code) {
            // Wine's service forwards no BINDSTATUS_REDIRECTING, but each request of a
            // redirect chain shows up as one more "sending request".
            case BINDSTATUS_SENDINGREQUEST:
                watch_.request_sent();
                break;
            case BINDSTATUS_REDIRECTING:
                watch_.redirect_seen();
                break;
            case BINDSTATUS_BEGINDOWNLOADDATA:
            case BINDSTATUS_DOWNLOADINGDATA:
            case BINDSTATUS_ENDDOWNLOADDATA:
                watch_.bytes_seen(progress, now);
                break;
            default:
                break;
        }
    }

    std::atomic<ULONG> refs_{1};
    std::atomic<DWORD> status_{0};
    mutable std::mutex mutex_;
    TransferWatch watch_;
    ComPtr<IBinding> binding_;
    std::optional<TransferEnd> ended_;
    bool abort_sent_ = false;
    bool finished_ = false;
};

// Checks a download against its limits from a thread of its own until stopped. Needed
// because a server that never sends anything produces no callback at all, and because
// URLDownloadToFileW blocks its thread: under Wine its wait loop dispatches only urlmon's own
// window messages, so a timer of ours on that thread would never fire. IBinding::Abort from
// this thread is safe there: urlmon hands the abort's result to the calling thread through
// that same window, as it does for its own worker threads.
class Watchdog {
  public:
    explicit Watchdog(StatusWatcher& watcher)
        : thread_([this, &watcher] {
              std::unique_lock lock(mutex_);
              while (!stop_) {
                  stop_signal_.wait_for(lock, std::chrono::milliseconds(100));
                  if (stop_) break;
                  lock.unlock();
                  watcher.abort_if_due(TransferClock::now());
                  lock.lock();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        stop_signal_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable stop_signal_;
    bool stop_ = false;
    std::thread thread_;  // last: it starts once the members above exist
};

#pragma GCC diagnostic pop

}  // namespace

Result<void> url_download_to_file(const std::string& url, const std::string& path,
                                  const TransferLimits& limits) {
    ComScope com;
    auto* watcher = new StatusWatcher(limits);
    ComPtr<IBindStatusCallback> callback;
    *callback.put() = watcher;  // takes the first reference
    HRESULT hr = S_OK;
    {
        Watchdog watchdog(*watcher);
        hr =
            URLDownloadToFileW(nullptr, widen(url).c_str(), widen(path).c_str(), 0, callback.get());
    }
    if (const auto end = watcher->ended()) {
        return fail(ErrorKind::Other,
                    "URL download stopped: " + std::string(transfer_end_text(*end)));
    }
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
