# The capture tool: its command line, output names, checked writes and video
# placement (unit tests), and the tool itself end to end (scripts).
if(NOT TARGET shade_capture)
    return()
endif()

add_executable(capture_tests
    ${CMAKE_CURRENT_LIST_DIR}/capture_options_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/output_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/video_picture_test.cpp)
target_link_libraries(capture_tests PRIVATE shade_capture shade_resources GTest::gtest GTest::gtest_main)
shadestrip_warnings(capture_tests)
gtest_discover_tests(capture_tests DISCOVERY_TIMEOUT 60 WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES LABELS capture)

set(capture_script ${CMAKE_CURRENT_LIST_DIR}/run_capture.sh)
set(capture_work ${CMAKE_BINARY_DIR}/capture-tests)
foreach(scenario names-and-counts write-errors last-frame)
    add_test(NAME capture.${scenario}
        COMMAND bash ${capture_script} ${scenario} $<TARGET_FILE:shadestrip-capture>
            ${capture_work}/${scenario})
    set_tests_properties(capture.${scenario} PROPERTIES TIMEOUT 120 LABELS capture
        SKIP_RETURN_CODE 77)
endforeach()

if(TARGET shade_capture_video)
    add_executable(track-samples ${CMAKE_CURRENT_LIST_DIR}/track_samples.cpp)
    target_link_libraries(track-samples PRIVATE shade_app shade_audio shade_resources)
    shadestrip_warnings(track-samples)
    foreach(scenario video-exact video-blink video-codecs video-errors video-sizes faults)
        add_test(NAME capture.${scenario}
            COMMAND bash ${capture_script} ${scenario} $<TARGET_FILE:shadestrip-capture>
                ${capture_work}/${scenario} $<TARGET_FILE:track-samples>)
        # Encoding at 2x and 4k takes minutes on a busy 2-core machine.
        set_tests_properties(capture.${scenario} PROPERTIES TIMEOUT 600 LABELS capture
            SKIP_RETURN_CODE 77)
    endforeach()
endif()
