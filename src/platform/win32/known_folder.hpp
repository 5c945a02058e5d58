#pragma once

// The user's shell folders as the shell itself reports them.
#include <optional>
#include <string>

namespace ml {

// The shell folders this program puts shortcuts into.
enum class KnownFolder {
    Desktop,   // the Desktop the user sees
    Programs,  // the user's Start Menu programs folder
};

// The folder's path as the shell reports it for the current user (SHGetKnownFolderPath),
// wherever folder redirection or OneDrive's folder backup has moved it. Not checked for
// existence: a Desktop redirected to a share that is offline is still the user's Desktop.
// nullopt when the shell cannot say or names a path that is not valid Unicode. The text is
// returned as the shell gives it, which need not be absolute (a value naming an unset
// variable stays unexpanded): callers judge it.
std::optional<std::string> known_folder_path(KnownFolder folder);

}  // namespace ml
