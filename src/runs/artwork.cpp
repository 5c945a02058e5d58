#include "runs/artwork.hpp"

namespace ml {

std::string artwork_file_name(const ArtworkKind& kind, std::uint32_t appid) {
    return std::to_string(appid) + std::string(kind.suffix);
}

}  // namespace ml
