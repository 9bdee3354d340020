# Running cross-built test programs under Wine (included by tests/CMakeLists.txt
# in cross builds). Every Wine test shares one prefix inside the build tree,
# made by a fixture before the first of them and whose wineserver is stopped
# after the last.

set(SHADESTRIP_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(SHADESTRIP_WINE_HELPER ${CMAKE_CURRENT_LIST_DIR}/wine-prefix)
set(SHADESTRIP_WINE_ENVIRONMENT
    "WINEPREFIX=${SHADESTRIP_WINEPREFIX}"
    "WINEDEBUG=-all"
    "WINEDLLOVERRIDES=mscoree,mshtml=")

add_test(NAME wine_prefix_setup COMMAND ${SHADESTRIP_WINE_HELPER} setup)
add_test(NAME wine_prefix_cleanup COMMAND ${SHADESTRIP_WINE_HELPER} stop)
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 180)
set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60)
set_tests_properties(wine_prefix_setup wine_prefix_cleanup PROPERTIES
    ENVIRONMENT "${SHADESTRIP_WINE_ENVIRONMENT}"
    ENVIRONMENT_MODIFICATION "DISPLAY=unset:"
    LABELS windows)

# A test that runs under Wine: the prefix's environment, no X display (the
# tests that need one start their own), and a bound on its time.
#   shadestrip_wine_test(NAME LABEL COMMAND command args...)
function(shadestrip_wine_test name label)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "TIMEOUT" "COMMAND")
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 300)
    endif()
    add_test(NAME ${name} COMMAND ${arg_COMMAND} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "${SHADESTRIP_WINE_ENVIRONMENT}"
        ENVIRONMENT_MODIFICATION "DISPLAY=unset:"
        FIXTURES_REQUIRED wine_prefix
        TIMEOUT ${arg_TIMEOUT}
        LABELS "${label};windows")
endfunction()
