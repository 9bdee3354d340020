# The audio tests make their Ogg Vorbis streams on the spot with libvorbisenc.
if(TARGET platform_tests)
    target_sources(platform_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/audio_test_ogg.cpp)
    target_link_libraries(platform_tests PRIVATE PkgConfig::VORBIS)
endif()
