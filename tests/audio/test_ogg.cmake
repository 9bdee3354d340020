# The test streams, made on the spot with libvorbisenc: a library of their own
# for the audio and platform tests, the audio-server checks, the stream
# fuzzer and the audio bench. Included by each of those trees; made once.
if(NOT TARGET shade_test_ogg)
    add_library(shade_test_ogg STATIC ${CMAKE_CURRENT_LIST_DIR}/test_ogg.cpp)
    # Included as "audio/test_ogg.h", from the tests' root.
    target_include_directories(shade_test_ogg PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
    target_link_libraries(shade_test_ogg PUBLIC PkgConfig::VORBIS)
    shadestrip_warnings(shade_test_ogg)
endif()
