#include "platform/folder_size.hpp"

#include <limits>

#include "platform/path.hpp"

namespace ml {

std::optional<std::uint64_t> total_file_bytes(const std::string& root, const FolderLister& list) {
    auto top = list(root);
    if (!top) return std::nullopt;
    std::uint64_t total = 0;
    const auto add = [&total](std::uint64_t bytes) {
        total = bytes > std::numeric_limits<std::uint64_t>::max() - total
                    ? std::numeric_limits<std::uint64_t>::max()
                    : total + bytes;
    };
    // A list of folders still to visit rather than recursion: a deep tree costs memory, not
    // stack.
    std::vector<std::pair<std::string, std::vector<FolderEntry>>> pending;
    pending.emplace_back(root, std::move(*top));
    while (!pending.empty()) {
        auto [folder, entries] = std::move(pending.back());
        pending.pop_back();
        for (FolderEntry& entry : entries) {
            if (entry.kind == FolderEntry::Kind::File) {
                add(entry.size);
            } else if (entry.kind == FolderEntry::Kind::Folder) {
                std::string path = path_join(folder, entry.name);
                if (auto inner = list(path))
                    pending.emplace_back(std::move(path), std::move(*inner));
            }
        }
    }
    return total;
}

}  // namespace ml
