// A working tasklist for tests (Wine's own prints nothing): the harness lists a prefix's
// processes with it, and tests put it into the prefix's system folder.
//
// Supported as Windows' tasklist documents them: /fi "imagename eq|ne NAME" (NAME may end in
// *, names compare without case; several /fi all apply), /nh, /fo table|csv. Output as the
// real tool prints it: a blank line, then the table with its header and ruler, CRLF line
// ends; "INFO: No tasks are running which match the specified criteria." when no process
// matches; exit status 0. Unknown options and filters print an ERROR line and exit 1.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "platform/win32/handle.hpp"
#include "platform/text.hpp"
#include "platform/win32/win32.hpp"

namespace {

struct Filter {
    bool equal;
    std::string pattern;  // lower case
};

struct Task {
    std::string image;
    DWORD pid;
    DWORD session;
    SIZE_T memory_kb;
};

void print(const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

int usage_error(const std::string& message) {
    const std::string text = message + "\r\nType \"TASKLIST /?\" for usage.\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
    return 1;
}

bool matches(const Filter& f, const std::string& image) {
    const std::string name = ml::ascii_lower(image);
    const bool hit = f.pattern.ends_with('*')
                         ? name.starts_with(f.pattern.substr(0, f.pattern.size() - 1))
                         : name == f.pattern;
    return hit == f.equal;
}

std::vector<Task> running_tasks() {
    std::vector<Task> tasks;
    ml::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return tasks;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        Task t{ml::narrow(entry.szExeFile), entry.th32ProcessID, 0, 0};
        ProcessIdToSessionId(t.pid, &t.session);
        ml::UniqueHandle process(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, t.pid));
        PROCESS_MEMORY_COUNTERS counters{};
        if (process && GetProcessMemoryInfo(process.get(), &counters, sizeof counters)) {
            t.memory_kb = counters.WorkingSetSize / 1024;
        }
        tasks.push_back(t);
    }
    return tasks;
}

std::string pad(std::string text, std::size_t width, bool right) {
    if (text.size() > width) text.resize(width);
    const std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

// 45000 -> "45,000 K", as the table and the CSV form show memory.
std::string memory_text(SIZE_T kb) {
    std::string digits = std::to_string(kb);
    for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
    return digits + " K";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<Filter> filters;
    bool header = true;
    bool csv = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = ml::ascii_lower(ml::narrow(argv[i]));
        if (option == "/nh") {
            header = false;
        } else if ((option == "/fo" || option == "/fi") && i + 1 < argc) {
            const std::string value = ml::ascii_lower(ml::narrow(argv[++i]));
            if (option == "/fo") {
                if (value != "table" && value != "csv") {
                    return usage_error("ERROR: Invalid value '" + value + "' specified for '/fo'.");
                }
                csv = value == "csv";
                continue;
            }
            const bool eq = value.starts_with("imagename eq ");
            if (!eq && !value.starts_with("imagename ne ")) {
                return usage_error("ERROR: The search filter cannot be recognized.");
            }
            filters.push_back({eq, value.substr(13)});
        } else {
            return usage_error("ERROR: Invalid argument/option - '" + ml::narrow(argv[i]) + "'.");
        }
    }

    std::string text;
    for (const Task& t : running_tasks()) {
        bool keep = true;
        for (const Filter& f : filters) keep = keep && matches(f, t.image);
        if (!keep) continue;
        const std::string session_name = t.session == 0 ? "Services" : "Console";
        if (csv) {
            text += "\"" + t.image + "\",\"" + std::to_string(t.pid) + "\",\"" + session_name +
                    "\",\"" + std::to_string(t.session) + "\",\"" + memory_text(t.memory_kb) +
                    "\"\r\n";
        } else {
            text += pad(t.image, 25, false) + " " + pad(std::to_string(t.pid), 8, true) + " " +
                    pad(session_name, 16, false) + " " + pad(std::to_string(t.session), 11, true) +
                    " " + pad(memory_text(t.memory_kb), 12, true) + "\r\n";
        }
    }
    if (text.empty()) {
        print("INFO: No tasks are running which match the specified criteria.\r\n");
        return 0;
    }
    if (csv) {
        if (header)
            text = "\"Image Name\",\"PID\",\"Session Name\",\"Session#\",\"Mem Usage\"\r\n" + text;
    } else if (header) {
        text =
            "\r\nImage Name                     PID Session Name        Session#    Mem Usage\r\n"
            "========================= ======== ================ =========== ============\r\n" +
            text;
    } else {
        text = "\r\n" + text;
    }
    print(text);
    return 0;
}
