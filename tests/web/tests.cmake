# The browser edition's checks that run natively: a digest of every frame of
# the show, compared between the default build and the soft-rounding build
# (tests/web/test-web runs both; make test-web).
if(CMAKE_CROSSCOMPILING)
    return()
endif()
add_executable(shadestrip-frame-digests ${CMAKE_CURRENT_LIST_DIR}/frame_digests.cpp)
target_link_libraries(shadestrip-frame-digests PRIVATE shade_platform_headless shade_resources)
shadestrip_warnings(shadestrip-frame-digests)

# The software rounding against the processor's downward mode: the reference
# side switches the mode, so the compiler must keep its arithmetic in place.
add_executable(round_down_tests ${CMAKE_CURRENT_LIST_DIR}/round_down_test.cpp)
target_link_libraries(round_down_tests PRIVATE shade_imaging GTest::gtest GTest::gtest_main)
target_include_directories(round_down_tests PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(round_down_tests PRIVATE -frounding-math)
shadestrip_warnings(round_down_tests)
gtest_discover_tests(round_down_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS web)

# The canvas console's pure part, against the capture tool's rendering.
add_executable(web_canvas_tests ${CMAKE_CURRENT_LIST_DIR}/canvas_cells_test.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/web/canvas_cells.cpp)
target_link_libraries(web_canvas_tests PRIVATE shade_cellpng GTest::gtest GTest::gtest_main)
target_include_directories(web_canvas_tests PRIVATE ${CMAKE_SOURCE_DIR}/src)
shadestrip_warnings(web_canvas_tests)
gtest_discover_tests(web_canvas_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS web)
