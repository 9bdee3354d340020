# End-to-end runs in a private tmux server (80 x 50): the terminal driver, which
# exercises the terminal console alone, and the program itself.
if(NOT SHADESTRIP_PLATFORM STREQUAL "posix")
    return()
endif()

add_executable(terminal_driver ${CMAKE_CURRENT_LIST_DIR}/terminal_driver.cpp)
target_link_libraries(terminal_driver PRIVATE shade_platform_posix)
shadestrip_warnings(terminal_driver)

set(e2e_script ${CMAKE_CURRENT_LIST_DIR}/run_e2e.sh)
set(e2e_work ${CMAKE_BINARY_DIR}/e2e)

foreach(scenario escape keys resize sighup sigterm sigint hangup abort exit redirect
        redirect-plain)
    add_test(NAME e2e.driver.${scenario}
        COMMAND bash ${e2e_script} ${scenario} $<TARGET_FILE:terminal_driver>
            ${e2e_work}/driver-${scenario})
    set_tests_properties(e2e.driver.${scenario} PROPERTIES TIMEOUT 60 LABELS e2e)
endforeach()

# Until the show can start its music, these report themselves skipped.
foreach(scenario escape sighup sigterm hangup redirect redirect-plain)
    add_test(NAME e2e.shadestrip.${scenario}
        COMMAND bash ${e2e_script} ${scenario} $<TARGET_FILE:shadestrip>
            ${e2e_work}/shadestrip-${scenario})
    set_tests_properties(e2e.shadestrip.${scenario} PROPERTIES
        TIMEOUT 60 LABELS e2e SKIP_RETURN_CODE 77)
endforeach()

# make run in a fresh clone of this checkout, without a sound device: it builds
# the program (a few minutes on two cores) and plays the show silently. Once is
# enough: not again for the sanitizer build, whose program it does not use.
if(NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
    add_test(NAME e2e.make_run
        COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make_run.sh ${CMAKE_SOURCE_DIR}
            ${e2e_work}/make-run)
    set_tests_properties(e2e.make_run PROPERTIES TIMEOUT 1800 LABELS e2e SKIP_RETURN_CODE 77)
endif()
