# Two builds of one commit give the same bytes, whatever folder, time or user they ran in, so
# that anyone can rebuild a release and compare it with the published file.
#
# The one date in the program is the PE header's time stamp. The linker takes it from
# SOURCE_DATE_EPOCH; this file sets that to the caller's SOURCE_DATE_EPOCH, else to the time of
# the commit checked out, else to 0. It is worked out at every configure (scripts/test and
# scripts/release configure before they build), and a change relinks everything.
if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(ML_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
    set(ML_SOURCE_DATE_EPOCH 0)
    find_program(ML_GIT git)
    if(ML_GIT)
        execute_process(COMMAND "${ML_GIT}" log -1 --format=%ct
                        WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}"
                        OUTPUT_VARIABLE _commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                        RESULT_VARIABLE _git_result ERROR_QUIET)
        if(_git_result EQUAL 0 AND _commit_time MATCHES "^[0-9]+$")
            set(ML_SOURCE_DATE_EPOCH "${_commit_time}")
        endif()
    endif()
endif()
if(NOT ML_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be seconds since 1970, not '${ML_SOURCE_DATE_EPOCH}'.")
endif()
# Kept in the cache for the scripts that rebuild and compare (not an option: set
# SOURCE_DATE_EPOCH instead).
set(ML_SOURCE_DATE_EPOCH "${ML_SOURCE_DATE_EPOCH}" CACHE INTERNAL "PE time stamp of this build")
set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK
             "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ML_SOURCE_DATE_EPOCH}")

# No build folder, source folder or shared folder in the objects (__FILE__, debug sections).
add_compile_options("-ffile-prefix-map=${CMAKE_SOURCE_DIR}=."
                    "-ffile-prefix-map=${CMAKE_BINARY_DIR}=build"
                    "-ffile-prefix-map=${ML_SHARED_DIR}=shared")

# Static archives without owners, modes or dates of their members (D: deterministic mode),
# whatever the binutils' default.
foreach(lang C CXX)
    set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()
