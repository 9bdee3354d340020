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
    set(tmux_scenarios sighup sigterm sigint resize typing audio-killed stuck-output
        stop-continue)
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

# The show over a 30 KB/s link that buffers without limit (as ssh does): the
# frame shown stays within half a second of the music (about 170 ms at p99
# when measured over the whole show; a whole busy frame takes 500 ms through
# such a link, so a picture not drawn ahead of time fails this).
find_package(ZLIB)
if(TARGET shadestrip AND ZLIB_FOUND)
    add_executable(link_relay ${CMAKE_SOURCE_DIR}/bench/link/link_bench.cpp)
    target_link_libraries(link_relay PRIVATE PkgConfig::VTERM util ZLIB::ZLIB)
    shadestrip_warnings(link_relay)
    add_test(NAME reliability.slow_link
        COMMAND link_relay --check $<TARGET_FILE:shadestrip> 20 30 500)
    # The same rate 250 ms each way, ended as an ssh session is: no answer is
    # left for the shell or echoed, and the note on the slow link is said.
    add_test(NAME reliability.slow_link_exit
        COMMAND link_relay --check $<TARGET_FILE:shadestrip> 21 30 2000 500)
    # One at a time: each measures time on a 2-core machine.
    set_tests_properties(reliability.slow_link reliability.slow_link_exit PROPERTIES
        TIMEOUT 120 LABELS reliability RESOURCE_LOCK slow_link)
endif()

# A sound server that stops answering, at start-up and mid-show, a socket that
# never answers, and no sound device at all (audio_faults.sh).
if(TARGET shadestrip)
    foreach(scenario stopped-escape stopped-sigterm stopped-resume stopped-at-start
            escape-at-start sigterm-at-start silent-socket no-device sdl-stopped-at-start
            sdl-escape-at-start sdl-sigterm-at-start sdl-silent-socket pipewire-stopped-escape
            pipewire-stopped-resume pipewire-stopped-at-start pipewire-escape-at-start
            sdlalsa-stopped-at-start sdlalsa-escape-at-start)
        add_test(NAME reliability.audio.${scenario}
            COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/audio_faults.sh ${scenario}
                $<TARGET_FILE:shadestrip> ${CMAKE_BINARY_DIR}/reliability/audio-${scenario})
        set_tests_properties(reliability.audio.${scenario} PROPERTIES
            TIMEOUT 120 LABELS reliability SKIP_RETURN_CODE 77)
    endforeach()
endif()

# The terminal given back in a private tmux with an interactive shell: a show
# started in the background, and pastes while the show runs
# (terminal_give_back.sh).
if(TARGET shadestrip)
    foreach(scenario background paste)
        add_test(NAME reliability.give_back.${scenario}
            COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/terminal_give_back.sh ${scenario}
                $<TARGET_FILE:shadestrip> ${CMAKE_BINARY_DIR}/reliability/give-back-${scenario})
        set_tests_properties(reliability.give_back.${scenario} PROPERTIES
            TIMEOUT 120 LABELS reliability SKIP_RETURN_CODE 77)
    endforeach()
endif()
