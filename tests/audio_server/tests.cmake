# The SDL player against a real audio server: a private PulseAudio with a null
# sink, where the position must advance at 44100 frames per second within 1 %
# over 10 s. Skipped where PulseAudio is not installed. These run alone: a
# null sink starved of the processor by other tests falls behind real time.
if(TARGET shade_sdl_audio)
    add_executable(audio_server_probe ${CMAKE_CURRENT_LIST_DIR}/audio_server_probe.cpp)
    target_include_directories(audio_server_probe PRIVATE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(audio_server_probe PRIVATE shade_sdl_audio shade_test_ogg)
    shadestrip_warnings(audio_server_probe)
    add_test(NAME audio_server.position_rate
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/pulse_position_check.sh
                $<TARGET_FILE:audio_server_probe>)
    set_tests_properties(audio_server.position_rate PROPERTIES RUN_SERIAL TRUE
        SKIP_RETURN_CODE 77 TIMEOUT 90 LABELS audio_server)

    # The PulseAudio player against the same kind of server.
    get_target_property(audio_server_defs shade_sdl_audio INTERFACE_COMPILE_DEFINITIONS)
    if(TARGET GTest::gtest_main AND "SHADESTRIP_HAVE_PULSE" IN_LIST audio_server_defs)
        add_executable(pulse_player_test ${CMAKE_CURRENT_LIST_DIR}/pulse_audio_player_test.cpp)
        target_include_directories(pulse_player_test PRIVATE ${CMAKE_SOURCE_DIR}/src)
        target_link_libraries(pulse_player_test PRIVATE shade_sdl_audio shade_test_ogg
            GTest::gtest_main)
        shadestrip_warnings(pulse_player_test)
        add_test(NAME audio_server.pulse_player
            COMMAND ${CMAKE_CURRENT_LIST_DIR}/pulse_position_check.sh
                    $<TARGET_FILE:pulse_player_test>)
        set_tests_properties(audio_server.pulse_player PROPERTIES RUN_SERIAL TRUE
            SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS audio_server)
    endif()
endif()
