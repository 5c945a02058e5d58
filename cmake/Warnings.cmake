# Warnings are errors in every target of ours.
function(ml_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wconversion -Wsign-conversion
                                             -Wshadow -Wnon-virtual-dtor -Wimplicit-fallthrough)
endfunction()
