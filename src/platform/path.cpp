#include "platform/path.hpp"

#include "platform/text.hpp"

namespace ml {
bool has_drive_letter(std::string_view p) noexcept {
    return p.size() >= 2 && p[1] == ':' &&
           ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
}

bool is_absolute_path(std::string_view p) noexcept {
    const bool drive_rooted = has_drive_letter(p) && p.size() >= 3 && is_separator(p[2]);
    const bool unc = p.size() > 2 && is_separator(p[0]) && is_separator(p[1]) && !is_separator(p[2]);
    return drive_rooted || unc;
}

namespace {

bool is_absolute_like(std::string_view p) {
    return has_drive_letter(p) || (!p.empty() && is_separator(p[0]));
}

}  // namespace

std::string path_join(std::string_view base, std::string_view component) {
    if (is_absolute_like(component) || base.empty()) return std::string(component);
    std::string out;
    out.reserve(base.size() + 1 + component.size());
    out.append(base);
    if (!is_separator(out.back())) out.push_back('\\');
    out.append(component);
    return out;
}

std::string path_parent(std::string_view path) {
    std::size_t end = path.size();
    while (end > 0 && is_separator(path[end - 1])) --end;  // "C:\a\" has parent "C:\"
    const std::size_t sep = path.substr(0, end).find_last_of("\\/");
    if (sep == std::string_view::npos) return {};
    std::size_t keep = sep;
    while (keep > 0 && is_separator(path[keep - 1])) --keep;
    // Keep the root separator: the parent of C:\a is C:\, of \a is \.
    if (keep == 0 || (keep == 2 && has_drive_letter(path))) {
        return std::string(path.substr(0, sep + 1));
    }
    return std::string(path.substr(0, keep));
}

std::string_view path_file_name(std::string_view path) {
    const std::size_t sep = path.find_last_of("\\/");
    return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

bool is_plain_relative_path(std::string_view path) noexcept {
    for (;;) {
        const std::string_view name = path.substr(0, path.find('\\'));
        if (name.empty() || name == "." || name == "..") return false;
        for (const char c : name) {
            if (static_cast<unsigned char>(c) < 0x20 ||
                std::string_view("/:*?\"<>|").find(c) != std::string_view::npos)
                return false;
        }
        if (name.size() == path.size()) return true;
        path.remove_prefix(name.size() + 1);
    }
}

std::string without_verbatim_prefix(std::string_view path) {
    constexpr std::string_view verbatim = "\\\\?\\";
    if (!path.starts_with(verbatim)) return std::string(path);
    const std::string_view rest = path.substr(verbatim.size());
    if (rest.size() >= 4 && equals_ascii_ci(rest.substr(0, 4), "UNC\\")) {
        return "\\\\" + std::string(rest.substr(4));
    }
    if (has_drive_letter(rest)) return std::string(rest);
    return std::string(path);
}

}  // namespace ml
