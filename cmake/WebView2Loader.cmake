# Microsoft's WebView2 loader library, carried inside the setup as constant data. The build
# takes the file from the shared vendor folder (or from ML_WEBVIEW2_LOADER) and refuses any
# bytes other than the ones recorded in the vendor folder's SHA256SUMS: the setup writes
# them out unexamined, so a wrong file would reach every installation.
set(ML_WEBVIEW2_LOADER "${ML_SHARED_DIR}/vendor/WebView2Loader.dll" CACHE FILEPATH
    "WebView2Loader.dll (x64, 1.0.3800.47) to embed in the setup")
set(_sums "${ML_SHARED_DIR}/vendor/SHA256SUMS")

if(NOT EXISTS "${_sums}")
    message(FATAL_ERROR "${_sums} is missing: ML_SHARED_DIR must name the shared folder that "
                        "holds vendor/SHA256SUMS.")
endif()
if(NOT EXISTS "${ML_WEBVIEW2_LOADER}" OR IS_DIRECTORY "${ML_WEBVIEW2_LOADER}")
    message(FATAL_ERROR "WebView2Loader.dll not found at ${ML_WEBVIEW2_LOADER}. Give its place "
                        "with -DML_WEBVIEW2_LOADER=<file> or the shared folder with "
                        "-DML_SHARED_DIR=<folder>.")
endif()

file(STRINGS "${_sums}" _lines REGEX "[ *]WebView2Loader\\.dll$")
list(LENGTH _lines _count)
if(NOT _count EQUAL 1)
    message(FATAL_ERROR "${_sums} has no single line for WebView2Loader.dll.")
endif()
string(REGEX MATCH "^[0-9a-fA-F]+" _expected "${_lines}")
string(TOLOWER "${_expected}" _expected)
file(SHA256 "${ML_WEBVIEW2_LOADER}" _actual)
if(NOT _actual STREQUAL _expected)
    message(FATAL_ERROR "${ML_WEBVIEW2_LOADER} is not the expected WebView2Loader.dll: its "
                        "SHA-256 is ${_actual}, ${_sums} says ${_expected}. Set "
                        "ML_WEBVIEW2_LOADER (or ML_SHARED_DIR) to the right file.")
endif()
# A different file at the same place must be checked again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ML_WEBVIEW2_LOADER}" "${_sums}")

# The bytes are included by the assembler (.incbin) into a read-only section of the object.
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/runs/win32/webview2_loader_data.cpp PROPERTIES
    COMPILE_DEFINITIONS "ML_WEBVIEW2_LOADER_FILE=\"${ML_WEBVIEW2_LOADER}\""
    OBJECT_DEPENDS "${ML_WEBVIEW2_LOADER}")
