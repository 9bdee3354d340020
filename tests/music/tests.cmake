# The music: the synthesizer and score reader of tools/music, and the track the
# build made from the score. Host builds only, where the tool exists.
if(TARGET shadestrip_music)
    file(GLOB music_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
    add_executable(music_tests ${music_test_sources} ${CMAKE_CURRENT_LIST_DIR}/decoded_track.cpp)
    target_link_libraries(music_tests PRIVATE shadestrip_music GTest::gtest GTest::gtest_main)
    target_include_directories(music_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
    target_compile_definitions(music_tests PRIVATE
        SHADESTRIP_TEST_RESOURCE_DIR="${SHADESTRIP_RESOURCE_DIR}"
        SHADESTRIP_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    if(TARGET shadestrip_music_files)
        add_dependencies(music_tests shadestrip_music_files)
    endif()
    shadestrip_warnings(music_tests)
    gtest_discover_tests(music_tests DISCOVERY_TIMEOUT 60 WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        PROPERTIES LABELS music)
endif()
