#include "runs/artwork.hpp"

#include "platform/text.hpp"

namespace ml {

std::string artwork_file_name(const ArtworkKind& kind, std::uint32_t appid) {
    return std::to_string(appid) + std::string(kind.suffix);
}

std::string logo_position_file_name(std::uint32_t appid) {
    return std::to_string(appid) + ".json";
}

std::string logo_position_failed_line(std::string_view indent, std::string_view path,
                                      std::string_view error) {
    return std::string(indent) + "[!] Could not write the logo position " + debug_quote(path) +
           " (" + std::string(error) +
           "). Steam may show no logo for the game until you use its \"Adjust Logo Position\" "
           "and save.\n";
}

}  // namespace ml
