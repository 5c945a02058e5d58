// Loads each library named on the command line by bare name, the ordinary way (LoadLibraryW,
// the default search order), and prints the file each one came from. Exit status: the number
// of libraries that could not be loaded.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        const HMODULE module = LoadLibraryW(argv[i]);
        wchar_t path[MAX_PATH] = L"";
        if (module == nullptr || GetModuleFileNameW(module, path, MAX_PATH) == 0) {
            std::printf("%ls: not loaded (%lu)\n", argv[i], GetLastError());
            ++failed;
        } else {
            std::printf("%ls: %ls\n", argv[i], path);
        }
    }
    return failed;
}
