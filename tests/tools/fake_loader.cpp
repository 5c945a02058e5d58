// A small x64 library that is not Microsoft's WebView2Loader.dll: what another program's
// loader, or a planted one, looks like to the setup's checks. Tests copy it under that name.
#include <windows.h>

extern "C" __declspec(dllexport) int MarrowlaneTestLibrary() {
    return 42;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
