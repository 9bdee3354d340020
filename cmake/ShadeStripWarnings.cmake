# Compiler flags. GCC and Clang (MinGW's GCC included) spell every flag the
# build passes alike; SHADESTRIP_GCC_LIKE guards them, so another compiler
# configures without them instead of failing on unknown options.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    set(SHADESTRIP_GCC_LIKE TRUE)
else()
    set(SHADESTRIP_GCC_LIKE FALSE)
    message(WARNING "${CMAKE_CXX_COMPILER_ID}: no exact-float or warning flags are known for "
                    "this compiler; the pictures may differ from the GCC and Clang builds")
endif()

# Warnings are errors on our own code (not on third-party headers, which come
# in as system includes).
function(shadestrip_warnings target)
    if(SHADESTRIP_GCC_LIKE)
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
    endif()
endfunction()
