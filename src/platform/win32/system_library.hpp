#pragma once

// Libraries that are not KnownDLLs (urlmon, comctl32) are looked for first in the program's
// own folder and the current folder when they are imported or loaded by bare name. A setup
// is run from a Downloads folder, where a web page may have dropped a urlmon.dll beside it:
// that copy would run with the user's rights. So the program imports only KnownDLLs, which
// the system always takes from its own folder, and loads the others from there by hand.
#include <windows.h>

#include "platform/error.hpp"

namespace ml {

// Makes the system folder the only place this process loads libraries from when a load does
// not say otherwise, so that what COM and the shell load later follows it too. Called first
// thing at start-up; false when the system refuses (nothing else then changes).
bool load_libraries_from_system_folder_only();

// The address of `function` in the system folder's copy of the library `dll` (for example
// L"urlmon.dll"). The library stays loaded for the rest of the process: a download left
// behind on its own thread may still be running inside it. An error names the library or the
// function that could not be had.
Result<FARPROC> system_function(const wchar_t* dll, const char* function);

// system_function with the function's own type: system_function_as<decltype(F)>(dll, "F").
template <class Fn>
Result<Fn*> system_function_as(const wchar_t* dll, const char* function) {
    const Result<FARPROC> address = system_function(dll, function);
    if (!address) return std::unexpected(address.error());
    return reinterpret_cast<Fn*>(reinterpret_cast<void*>(*address));
}

}  // namespace ml
