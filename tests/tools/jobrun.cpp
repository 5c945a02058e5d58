// jobrun [--no-breakaway] PROGRAM [ARGS...]
//
// Runs PROGRAM the way a CI agent, a software-distribution agent or a game launcher does:
// inside a job that ends whatever is still in it once the job is closed
// (JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE), and that lets a child leave it on request
// (JOB_OBJECT_LIMIT_BREAKAWAY_OK) unless --no-breakaway. It closes the job as soon as the
// program has exited, then appends "job closed" to the file named by JOBRUN_LOG (if set), and
// returns the program's exit status (127 when it cannot be started).
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

#include "fake_log.hpp"
#include "platform/cmdline.hpp"
#include "platform/win32/console.hpp"
#include "platform/win32/handle.hpp"
#include "platform/win32/win32.hpp"

int wmain() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ml::UniqueLocal owner(reinterpret_cast<HLOCAL>(argv));
    int first = 1;
    const bool breakaway = !(argc > 1 && std::wstring_view(argv[1]) == L"--no-breakaway");
    if (!breakaway) ++first;
    if (first >= argc) {
        ml::err("usage: jobrun [--no-breakaway] PROGRAM [ARGS...]\n");
        return 127;
    }
    std::vector<std::string> args;
    for (int k = first + 1; k < argc; ++k) args.push_back(ml::narrow(argv[k]));
    auto line = ml::join_command_line(ml::narrow(argv[first]), args);
    if (!line) {
        ml::err("jobrun: " + line.error().message + "\n");
        return 127;
    }
    std::wstring command_line = ml::widen(*line);

    ml::UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
    info.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | (breakaway ? JOB_OBJECT_LIMIT_BREAKAWAY_OK : 0);
    if (!job || !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &info,
                                         sizeof info)) {
        ml::err("jobrun: no job: " + ml::last_os_error().display() + "\n");
        return 127;
    }

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE h : {si.hStdInput, si.hStdOutput, si.hStdError}) {
        if (h != nullptr && h != INVALID_HANDLE_VALUE)
            SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    // Suspended until it is in the job, so that nothing it starts escapes.
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(argv[first], command_line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                        nullptr, nullptr, &si, &pi)) {
        ml::err("jobrun: cannot start " + ml::narrow(argv[first]) + ": " +
                ml::last_os_error().display() + "\n");
        return 127;
    }
    ml::UniqueHandle process(pi.hProcess);
    ml::UniqueHandle thread(pi.hThread);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        ml::err("jobrun: cannot assign the job: " + ml::last_os_error().display() + "\n");
        TerminateProcess(process.get(), 127);
        return 127;
    }
    ResumeThread(thread.get());
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    job.reset();
    ml::testing::append_log_line("JOBRUN_LOG", "job closed");
    return static_cast<int>(code);
}
