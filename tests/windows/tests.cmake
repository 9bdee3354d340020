# The Windows build's own tests, run under Wine: the platform layer's unit
# tests, frame parity with the host build, a smoke run of the real program in
# a console window under Xvfb, and the waveOut clock against a private
# PulseAudio null sink.
if(NOT CMAKE_CROSSCOMPILING OR NOT SHADESTRIP_PLATFORM STREQUAL "win32")
    return()
endif()

shadestrip_test(windows_tests windows shade_platform_win32 shade_resources)

add_executable(waveout-probe ${CMAKE_CURRENT_LIST_DIR}/waveout_probe.cpp)
target_link_libraries(waveout-probe PRIVATE shade_platform_win32 shade_resources)
shadestrip_warnings(waveout-probe)
add_executable(close-window ${CMAKE_CURRENT_LIST_DIR}/close_window.cpp)
shadestrip_warnings(close-window)
# Needs a display: run by the smoke test under its Xvfb.
add_executable(windows_console_tests ${CMAKE_CURRENT_LIST_DIR}/console_under_x.cpp)
target_link_libraries(windows_console_tests PRIVATE shade_platform_win32 GTest::gtest_main)
target_include_directories(windows_console_tests PRIVATE ${CMAKE_SOURCE_DIR}/src)
shadestrip_warnings(windows_console_tests)

# Programs and scripts, each run alone where it needs a display or a sound
# server of its own (Wine's server must not change its display mid-life).
shadestrip_wine_test(windows_smoke windows TIMEOUT 240
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/smoke-test $<TARGET_FILE:shadestrip>
        $<TARGET_FILE:close-window> $<TARGET_FILE:windows_console_tests>)
shadestrip_wine_test(windows_audio windows TIMEOUT 180
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/audio-test $<TARGET_FILE:waveout-probe>)
set_tests_properties(windows_smoke windows_audio PROPERTIES RUN_SERIAL ON)

# Frame parity with the host build's capture tool (a cross build cannot run
# its own host tools, so the host tree is given by SHADESTRIP_HOST_BUILD_DIR).
set(SHADESTRIP_HOST_BUILD_DIR "" CACHE PATH
    "Host build tree whose capture tool the Windows frames are compared with")
if(TARGET shadestrip-capture AND SHADESTRIP_HOST_BUILD_DIR)
    shadestrip_wine_test(windows_frame_parity windows TIMEOUT 600
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/parity-test
            ${SHADESTRIP_HOST_BUILD_DIR}/src/platform/headless/capture/shadestrip-capture
            $<TARGET_FILE:shadestrip-capture>)
elseif(TARGET shadestrip-capture)
    message(STATUS "SHADESTRIP_HOST_BUILD_DIR not set: no Windows frame parity test")
endif()
