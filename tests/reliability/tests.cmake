# The reliability suite (label `reliability`): the whole show with a tour of
# every control (under the sanitizers when the asan preset runs it, under
# valgrind otherwise), three shows back to back, and the program in a private
# tmux through signals, resizes, random typing and a lost audio server. About
# two minutes; `make check-reliability` adds the longer variants.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    return()
endif()

add_executable(show_tour ${CMAKE_CURRENT_LIST_DIR}/show_tour.cpp)
target_link_libraries(show_tour PRIVATE shade_platform_headless shade_resources)
target_include_directories(show_tour PRIVATE ${CMAKE_SOURCE_DIR}/src)
shadestrip_warnings(show_tour)
if(TARGET shadestrip_resource_files)
    add_dependencies(show_tour shadestrip_resource_files)
endif()

string(FIND "${CMAKE_CXX_FLAGS}" "-fsanitize" reliability_sanitized)
find_program(RELIABILITY_VALGRIND valgrind)

add_test(NAME reliability.tour COMMAND show_tour tour)
add_test(NAME reliability.shows_back_to_back COMMAND show_tour shows 3)
set_tests_properties(reliability.tour reliability.shows_back_to_back PROPERTIES
    TIMEOUT 600 LABELS reliability)

# Valgrind cannot run sanitized programs; the asan preset has its own checks.
if(reliability_sanitized EQUAL -1 AND RELIABILITY_VALGRIND)
    add_test(NAME reliability.memcheck.tour
        COMMAND ${RELIABILITY_VALGRIND} --error-exitcode=99 --leak-check=full
            --errors-for-leak-kinds=definite,indirect -q $<TARGET_FILE:show_tour> tour 20)
    set_tests_properties(reliability.memcheck.tour PROPERTIES TIMEOUT 300 LABELS reliability)
endif()

if(TARGET shadestrip)
    set(tmux_script ${CMAKE_CURRENT_LIST_DIR}/tmux_runs.sh)
    set(tmux_work ${CMAKE_BINARY_DIR}/reliability)
    set(tmux_scenarios sighup sigterm sigint resize typing audio-killed)
    if(reliability_sanitized EQUAL -1)
        list(APPEND tmux_scenarios memcheck)
    endif()
    foreach(scenario ${tmux_scenarios})
        add_test(NAME reliability.tmux.${scenario}
            COMMAND bash ${tmux_script} ${scenario} $<TARGET_FILE:shadestrip>
                ${tmux_work}/${scenario})
        set_tests_properties(reliability.tmux.${scenario} PROPERTIES
            TIMEOUT 180 LABELS reliability SKIP_RETURN_CODE 77)
    endforeach()
endif()
