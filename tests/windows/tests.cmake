# The Windows build's own tests, run under Wine: the platform layer's unit
# tests, frame parity with the host build, a smoke run of the real program in
# a console window under Xvfb, and the waveOut clock against a private
# PulseAudio null sink.
if(NOT CMAKE_CROSSCOMPILING OR NOT SHADESTRIP_PLATFORM STREQUAL "win32")
    return()
endif()

shadestrip_test(windows_tests windows shade_platform_win32)

add_executable(waveout-probe ${CMAKE_CURRENT_LIST_DIR}/waveout_probe.cpp)
target_link_libraries(waveout-probe PRIVATE shade_platform_win32)
shadestrip_warnings(waveout-probe)
