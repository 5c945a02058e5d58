#include "platform/process.hpp"

#include <windows.h>

#include <thread>

#include "platform/cmdline.hpp"
#include "platform/handle.hpp"
#include "platform/win32.hpp"

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

// An inheritable duplicate of one of our standard handles; empty when we have none (a GUI
// program started without a console) or it cannot be duplicated.
UniqueHandle inheritable_copy_of(DWORD which) {
    HANDLE ours = GetStdHandle(which);
    if (ours == nullptr || ours == INVALID_HANDLE_VALUE) return {};
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), ours, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return {};
    }
    return UniqueHandle(copy);
}

// Reads a pipe until every writer has closed it.
std::string drain(HANDLE pipe) {
    std::string data;
    char buffer[16384];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
        data.append(buffer, got);
    return data;
}

}  // namespace

Result<ChildRun> run_child(std::string_view program, const std::vector<std::string>& arguments,
                           const ChildOptions& options) {
    if (options.output == ChildOutput::Capture && !options.wait) {
        return fail(ErrorKind::InvalidInput, "captured output needs a child that is waited for");
    }
    auto line = join_command_line(program, arguments, options.raw_tail);
    if (!line) return std::unexpected(line.error());
    std::wstring command_line = widen(*line);

    auto null_in = open_null_device(GENERIC_READ);
    if (!null_in) return std::unexpected(null_in.error());

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
            child_out = inheritable_copy_of(STD_OUTPUT_HANDLE);
            child_err = inheritable_copy_of(STD_ERROR_HANDLE);
            break;
    }
    UniqueHandle null_out;
    if (!child_out || !child_err) {
        auto n = open_null_device(GENERIC_WRITE);
        if (!n) return std::unexpected(n.error());
        null_out = std::move(*n);
    }

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = null_in->get();
    si.hStdOutput = child_out ? child_out.get() : null_out.get();
    si.hStdError = child_err ? child_err.get() : null_out.get();

    // No application name: Windows then looks the program up as a command would, which is
    // what lets `reg` or `tasklist` be found, and a test put its own tool first.
    const std::wstring working_folder = widen(options.working_folder);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, working_folder.empty() ? nullptr : working_folder.c_str(), &si,
                        &pi)) {
        return std::unexpected(last_os_error());
    }
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    // Our copies of the child's ends must go, or the pipes never report their end.
    child_out.reset();
    child_err.reset();
    null_out.reset();
    null_in->reset();

    ChildRun run;
    if (options.output == ChildOutput::Capture) {
        // Both streams are read at once: a child that fills one pipe while we wait on the
        // other would block for ever.
        std::thread err_reader([&] { run.err = drain(err_pipe.read.get()); });
        run.out = drain(out_pipe.read.get());
        err_reader.join();
    }
    if (options.wait) {
        WaitForSingleObject(process.get(), INFINITE);
        DWORD code = 0;
        if (!GetExitCodeProcess(process.get(), &code)) return std::unexpected(last_os_error());
        run.exit_code = code;
    }
    return run;
}

Result<std::uint32_t> run_hidden_command(std::string_view program,
                                         const std::vector<std::string>& arguments) {
    auto run = run_child(program, arguments);
    if (!run) return std::unexpected(run.error());
    return *run->exit_code;
}

}  // namespace ml
