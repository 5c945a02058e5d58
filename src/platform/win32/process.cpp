#include "platform/win32/process.hpp"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <span>
#include <vector>

#include "platform/cmdline.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/system_tools.hpp"
#include "platform/win32/win32.hpp"

namespace ml {
namespace {

// An inheritable handle on the null device, for the streams nobody should see.
Result<UniqueHandle> open_null_device(DWORD access) {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE h = CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::unexpected(last_os_error());
    return UniqueHandle(h);
}

// A pipe whose write end the child inherits and whose read end stays ours.
struct CapturePipe {
    UniqueHandle read;
    UniqueHandle write;
};

Result<CapturePipe> make_capture_pipe() {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    CapturePipe pipe;
    if (!CreatePipe(pipe.read.put(), pipe.write.put(), &sa, 0)) {
        return std::unexpected(last_os_error());
    }
    if (!SetHandleInformation(pipe.read.get(), HANDLE_FLAG_INHERIT, 0)) {
        return std::unexpected(last_os_error());
    }
    return pipe;
}

// An inheritable duplicate of one of our standard handles when it is a console; empty when
// it is a pipe or file (a child that outlives us would keep our reader waiting), when we
// have none (a GUI program started without a console) or it cannot be duplicated.
UniqueHandle inheritable_console_copy_of(DWORD which) {
    HANDLE ours = GetStdHandle(which);
    if (ours == nullptr || ours == INVALID_HANDLE_VALUE) return {};
    DWORD mode = 0;
    if (GetFileType(ours) != FILE_TYPE_CHAR || !GetConsoleMode(ours, &mode)) return {};
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), ours, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return {};
    }
    return UniqueHandle(copy);
}

// The attribute list that limits what a child inherits to the given handles: without it a
// child also inherits every other inheritable handle of ours, pipes of other children
// included.
class InheritList {
  public:
    Result<void> init(std::span<const HANDLE> handles) {
        for (const HANDLE h : handles) {
            // Windows refuses a list that names one handle twice.
            if (std::find(handles_.begin(), handles_.end(), h) == handles_.end()) {
                handles_.push_back(h);
            }
        }
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
            list_ = nullptr;
            return std::unexpected(last_os_error());
        }
        if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                       handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
            return std::unexpected(last_os_error());
        }
        return {};
    }
    LPPROC_THREAD_ATTRIBUTE_LIST get() const noexcept { return list_; }
    ~InheritList() {
        if (list_) DeleteProcThreadAttributeList(list_);
    }

  private:
    std::vector<HANDLE> handles_;
    std::vector<unsigned char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// Reads a pipe on a thread of its own until every writer has closed it, or until told to
// stop: a process that is not ours (started by the child outside its job, or handed the
// handle) may hold the write end open for ever.
class PipeReader {
  public:
    explicit PipeReader(HANDLE pipe) : pipe_(pipe) {
        // Without a thread nothing is read: a child that fills the pipe then blocks until
        // its limit ends it, where reading here could block us instead.
        thread_.reset(CreateThread(nullptr, 0, &PipeReader::main, this, 0, nullptr));
    }
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;
    ~PipeReader() { finish(); }

    // Waits for the end of the data; after a grace period for writers that are still being
    // ended, cancels the read in progress. What was read stays.
    std::string finish() {
        if (thread_) {
            // Ended processes close their handles a moment after TerminateJobObject returns.
            constexpr DWORD grace_ms = 5'000;
            if (WaitForSingleObject(thread_.get(), grace_ms) == WAIT_TIMEOUT) {
                stop_.store(true);
                // The reader may be between two reads when the cancel comes; it then sees
                // the flag, or its next read is cancelled on the next round.
                do {
                    CancelSynchronousIo(thread_.get());
                } while (WaitForSingleObject(thread_.get(), 50) == WAIT_TIMEOUT);
            }
            thread_.reset();
        }
        return std::move(data_);
    }

  private:
    static DWORD WINAPI main(void* self) {
        static_cast<PipeReader*>(self)->read_all();
        return 0;
    }
    void read_all() {
        char buffer[16384];
        DWORD got = 0;
        while (!stop_.load() && ReadFile(pipe_, buffer, sizeof buffer, &got, nullptr) && got > 0)
            data_.append(buffer, got);
    }

    HANDLE pipe_;
    std::string data_;
    std::atomic<bool> stop_{false};
    UniqueHandle thread_;
};

// The job a waited child starts in, so that at its limit it goes together with everything
// it started. With kill_on_close, whatever is still in the job when its handle closes ends
// too, also when this program itself ends first: a download tool and a probe leave nothing
// behind. Without it, what an action started (Steam's own processes, after a -shutdown
// request) runs on after a normal exit. Empty when the system refuses one; the child alone
// is then ended at its limit.
UniqueHandle make_job(bool kill_on_close) {
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job || !kill_on_close) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
    info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &info,
                                 sizeof info)) {
        return {};
    }
    return job;
}

// The size of a file another process is writing; 0 while it does not exist. Asked through a
// handle: the size in the folder entry, which GetFileAttributesExW reads, can lag behind the
// data of a file still open for writing on NTFS. Opening for attributes only conflicts with
// no sharing mode the writer chose.
std::uint64_t size_being_written(const std::string& path) {
    UniqueFile file(CreateFileW(widen(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) return 0;
    return static_cast<std::uint64_t>(size.QuadPart);
}

// Exit code of a child the watch or its limit ended (a process ended by Task Manager shows
// 1 as well).
constexpr UINT kStoppedExitCode = 1;

// Ends the child and, through its job, everything it started; returns once the child is
// gone (termination is asynchronous, but quick).
void end_child(HANDLE process, HANDLE job) {
    if (job == nullptr || !TerminateJobObject(job, kStoppedExitCode)) {
        TerminateProcess(process, kStoppedExitCode);
    }
    WaitForSingleObject(process, 10'000);
}

// The caller's limit, or the default for the kind of child; never more than the longest.
DWORD wait_limit(const ChildOptions& options) {
    const std::uint32_t fallback =
        options.output == ChildOutput::Capture ? kProbeWaitLimitMs : kActionWaitLimitMs;
    return std::min(options.wait_limit_ms.value_or(fallback), kLongestWaitLimitMs);
}

// Waits for a watched child in short slices, looking at the file's size between them; ends
// the child's job (or the child alone) once the watch says so.
std::optional<TransferEnd> wait_watched(HANDLE process, HANDLE job, const ChildWatch& watch) {
    // Short enough that a shortened test limit is kept to within a tenth of a second.
    constexpr DWORD slice_ms = 100;
    TransferWatch clock(watch.limits, TransferClock::now());
    while (WaitForSingleObject(process, slice_ms) == WAIT_TIMEOUT) {
        const auto now = TransferClock::now();
        clock.bytes_seen(size_being_written(watch.file), now);
        if (const auto end = clock.due(now)) {
            end_child(process, job);
            return end;
        }
    }
    return std::nullopt;
}

}  // namespace

Result<ChildRun> run_child(std::string_view program, const std::vector<std::string>& arguments,
                           const ChildOptions& options) {
    if (options.output == ChildOutput::Capture && !options.wait) {
        return fail(ErrorKind::InvalidInput, "captured output needs a child that is waited for");
    }
    if (options.watch && (options.output == ChildOutput::Capture || !options.wait)) {
        return fail(ErrorKind::InvalidInput,
                    "a watched child is waited for, its output not captured");
    }
    if (options.input == ChildInput::UntilWeExit && options.wait) {
        return fail(ErrorKind::InvalidInput,
                    "a child that waits for this program's end cannot be waited for");
    }
    // A system tool by its full path, never by search: a planted reg.exe beside us or in
    // the current folder must not run.
    const std::optional<std::string> tool = system_tool_path(program);
    const std::string_view resolved = tool ? std::string_view(*tool) : program;
    auto line = join_command_line(resolved, arguments, options.raw_tail);
    if (!line) return std::unexpected(line.error());
    std::wstring command_line = widen(*line);
    const std::wstring application = tool ? widen(*tool) : std::wstring();
    if (options.working_dir.find('\0') != std::string::npos) {
        return fail(ErrorKind::InvalidInput, "a working folder cannot hold a NUL character");
    }
    const std::wstring working_dir = widen(options.working_dir);

    // The child's end of its input, and with UntilWeExit our end of that pipe.
    UniqueHandle child_in;
    UniqueHandle our_input_end;
    if (options.input == ChildInput::UntilWeExit) {
        auto pipe = make_capture_pipe();
        if (!pipe) return std::unexpected(pipe.error());
        // make_capture_pipe keeps the read end to us; here the child reads, we hold the
        // write end, and only we may hold it: no other child of ours inherits it.
        if (!SetHandleInformation(pipe->read.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ||
            !SetHandleInformation(pipe->write.get(), HANDLE_FLAG_INHERIT, 0)) {
            return std::unexpected(last_os_error());
        }
        child_in = std::move(pipe->read);
        our_input_end = std::move(pipe->write);
    } else {
        auto null_in = open_null_device(GENERIC_READ);
        if (!null_in) return std::unexpected(null_in.error());
        child_in = std::move(*null_in);
    }

    // The child's ends of its output streams; ours (the pipes' read ends) stay below.
    UniqueHandle child_out;
    UniqueHandle child_err;
    CapturePipe out_pipe;
    CapturePipe err_pipe;
    switch (options.output) {
        case ChildOutput::Discard:
            break;
        case ChildOutput::Capture: {
            auto o = make_capture_pipe();
            if (!o) return std::unexpected(o.error());
            auto e = make_capture_pipe();
            if (!e) return std::unexpected(e.error());
            out_pipe = std::move(*o);
            err_pipe = std::move(*e);
            child_out = std::move(out_pipe.write);
            child_err = std::move(err_pipe.write);
            break;
        }
        case ChildOutput::Inherit:
            child_out = inheritable_console_copy_of(STD_OUTPUT_HANDLE);
            child_err = inheritable_console_copy_of(STD_ERROR_HANDLE);
            break;
    }
    UniqueHandle null_out;
    if (!child_out || !child_err) {
        auto n = open_null_device(GENERIC_WRITE);
        if (!n) return std::unexpected(n.error());
        null_out = std::move(*n);
    }

    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof(si);
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    si.StartupInfo.hStdInput = child_in.get();
    si.StartupInfo.hStdOutput = child_out ? child_out.get() : null_out.get();
    si.StartupInfo.hStdError = child_err ? child_err.get() : null_out.get();
    std::vector<HANDLE> handed = {si.StartupInfo.hStdInput, si.StartupInfo.hStdOutput,
                                  si.StartupInfo.hStdError};
    handed.insert(handed.end(), options.inherited.begin(), options.inherited.end());
    InheritList inherit;
    if (auto listed = inherit.init(handed); !listed) return std::unexpected(listed.error());
    si.lpAttributeList = inherit.get();

    // A waited child starts suspended, so that it is in its job before it can start
    // anything. A child left to run gets no job: it must outlive us (Steam, the remover).
    // Nor may it stay in a job that this program was started in (a CI agent's, a launcher's,
    // PowerShell's Start-Process -Wait), which would end it, or wait for it, with us: it
    // breaks away where the job allows it (JOB_OBJECT_LIMIT_BREAKAWAY_OK); where the job
    // refuses, CreateProcessW fails with ERROR_ACCESS_DENIED, and it starts inside the job.
    // In nested jobs only our innermost job answers that way: one further out that refuses
    // keeps the child (it leaves only the jobs inside that one) and CreateProcessW succeeds.
    // Outside any job the flag does nothing.
    UniqueHandle job;
    if (options.wait) job = make_job(options.watch || options.output == ChildOutput::Capture);
    const DWORD flags = CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT |
                        (options.wait ? CREATE_SUSPENDED : CREATE_BREAKAWAY_FROM_JOB);
    // A system tool is named in full as the application, so nothing is searched; any other
    // program (a Steam client, a test's tool) is looked up as a command would be.
    PROCESS_INFORMATION pi{};
    const auto create = [&](DWORD creation_flags) {
        return CreateProcessW(tool ? application.c_str() : nullptr, command_line.data(), nullptr,
                              nullptr, TRUE, creation_flags, nullptr,
                              working_dir.empty() ? nullptr : working_dir.c_str(), &si.StartupInfo,
                              &pi) != FALSE;
    };
    bool created = create(flags);
    if (!created && (flags & CREATE_BREAKAWAY_FROM_JOB) && GetLastError() == ERROR_ACCESS_DENIED)
        created = create(flags & ~static_cast<DWORD>(CREATE_BREAKAWAY_FROM_JOB));
    if (!created) return std::unexpected(last_os_error());
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    if (options.wait) {
        // Refused where this program runs in a job that forbids nesting (before Windows 8).
        if (job && !AssignProcessToJobObject(job.get(), process.get())) job.reset();
        ResumeThread(thread.get());
    }
    // Our copies of the child's ends must go, or the pipes never report their end.
    child_out.reset();
    child_err.reset();
    null_out.reset();
    child_in.reset();
    // Never closed: the child sees the end of its input when the system closes this handle
    // as this process exits.
    (void)our_input_end.release();

    ChildRun run;
    if (!options.wait) return run;
    if (options.watch) {
        run.stopped = wait_watched(process.get(), job.get(), *options.watch);
    } else {
        // Both streams are read at once: a child that fills one pipe while we wait on the
        // other would block for ever.
        std::optional<PipeReader> out_reader;
        std::optional<PipeReader> err_reader;
        if (options.output == ChildOutput::Capture) {
            out_reader.emplace(out_pipe.read.get());
            err_reader.emplace(err_pipe.read.get());
        }
        if (WaitForSingleObject(process.get(), wait_limit(options)) != WAIT_OBJECT_0) {
            end_child(process.get(), job.get());
            if (out_reader) {
                // A half answer is no answer.
                job.reset();
                (void)out_reader->finish();
                (void)err_reader->finish();
            }
            return run;
        }
        if (out_reader) {
            // What the probe left running goes with its job now; the pipes then end.
            job.reset();
            run.out = out_reader->finish();
            run.err = err_reader->finish();
        }
    }
    DWORD code = 0;
    if (WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.get(), &code)) {
        return run;
    }
    run.exit_code = code;
    return run;
}

Result<std::uint32_t> run_hidden_command(std::string_view program,
                                         const std::vector<std::string>& arguments) {
    auto run = run_child(program, arguments);
    if (!run) return std::unexpected(run.error());
    if (!run->exit_code) {
        return fail(ErrorKind::Other, std::string(program) + " did not finish within " +
                                          std::to_string(kActionWaitLimitMs / 1000) +
                                          " seconds and was ended");
    }
    return *run->exit_code;
}

}  // namespace ml
