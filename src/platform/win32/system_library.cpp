#include "platform/win32/system_library.hpp"

#include <string>

#include "platform/win32/win32.hpp"

namespace ml {

bool load_libraries_from_system_folder_only() {
    return SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

Result<FARPROC> system_function(const wchar_t* dll, const char* function) {
    // LoadLibraryExW with this flag searches the system folder alone, whatever the process's
    // default search path says.
    const HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        Error error = last_os_error();
        error.message = narrow(dll) + ": " + error.message;
        return std::unexpected(std::move(error));
    }
    const FARPROC address = GetProcAddress(module, function);
    if (address == nullptr) {
        Error error = last_os_error();
        error.message = narrow(dll) + " " + function + ": " + error.message;
        return std::unexpected(std::move(error));
    }
    return address;
}

}  // namespace ml
