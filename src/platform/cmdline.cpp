#include "platform/cmdline.hpp"

namespace ml {

void append_windows_argument(std::string& out, std::string_view arg) {
    const bool quote = arg.empty() || arg.find_first_of(" \t") != std::string_view::npos;
    if (quote) out.push_back('"');
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // Each backslash right before a quote must be doubled, and the quote escaped.
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out.push_back(c);
    }
    // Trailing backslashes are literal unless a closing quote follows them.
    out.append(quote ? backslashes * 2 : backslashes, '\\');
    if (quote) out.push_back('"');
}

Result<std::string> join_command_line(std::string_view program,
                                      std::span<const std::string> arguments) {
    if (program.find('\0') != std::string_view::npos) {
        return fail(ErrorKind::InvalidInput, "nul byte found in provided data");
    }
    std::string line;
    line.reserve(program.size() + 2 + arguments.size() * 16);
    line.push_back('"');
    line.append(program);
    line.push_back('"');
    for (const std::string& arg : arguments) {
        if (arg.find('\0') != std::string::npos) {
            return fail(ErrorKind::InvalidInput, "nul byte found in provided data");
        }
        line.push_back(' ');
        append_windows_argument(line, arg);
    }
    return line;
}

Result<std::string> join_command_line(std::string_view program,
                                      std::span<const std::string> arguments,
                                      std::string_view raw_tail) {
    auto line = join_command_line(program, arguments);
    if (!line || raw_tail.empty()) return line;
    if (raw_tail.find('\0') != std::string_view::npos) {
        return fail(ErrorKind::InvalidInput, "nul byte found in provided data");
    }
    line->push_back(' ');
    line->append(raw_tail);
    return line;
}

}  // namespace ml
