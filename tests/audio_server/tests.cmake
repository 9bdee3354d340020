# The SDL player against a real audio server: a private PulseAudio with a null
# sink, where the position must advance at 44100 frames per second within 1 %
# over 10 s. Skipped where PulseAudio is not installed. These run alone: a
# null sink starved of the processor by other tests falls behind real time.
#   shadestrip_audio_server_test(NAME PROGRAM SOURCE TIMEOUT libraries...)
# builds PROGRAM and runs it under pulse_position_check.sh, which starts the
# server around it.
function(shadestrip_audio_server_test name program source timeout)
    add_executable(${program} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${source})
    target_include_directories(${program} PRIVATE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${program} PRIVATE shade_sdl_audio shade_test_ogg ${ARGN})
    shadestrip_warnings(${program})
    add_test(NAME audio_server.${name}
        COMMAND ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/pulse_position_check.sh
                $<TARGET_FILE:${program}>)
    set_tests_properties(audio_server.${name} PROPERTIES RUN_SERIAL TRUE
        SKIP_RETURN_CODE 77 TIMEOUT ${timeout} LABELS audio_server)
endfunction()

if(TARGET shade_sdl_audio)
    shadestrip_audio_server_test(position_rate audio_server_probe audio_server_probe.cpp 90)

    # The PulseAudio player against the same kind of server.
    get_target_property(audio_server_defs shade_sdl_audio INTERFACE_COMPILE_DEFINITIONS)
    if(TARGET GTest::gtest_main AND "SHADESTRIP_HAVE_PULSE" IN_LIST audio_server_defs)
        shadestrip_audio_server_test(pulse_player pulse_player_test
            pulse_audio_player_test.cpp 120 GTest::gtest_main)
    endif()
endif()

# The picture against the sound actually played runs sync_bench, so it is
# registered with the bench (bench/sync/CMakeLists.txt), under this label.
