# Warnings are errors on our own code (not on third-party headers, which come
# in as system includes).
function(shadestrip_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()
