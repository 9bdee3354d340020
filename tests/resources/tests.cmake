# The picture tools: the text form, the PNG renderer, and the round trip of
# every built picture through text. Host builds only (the tools are host tools).
if(NOT TARGET shade_artfile OR NOT TARGET shade_cellpng)
    return()
endif()

file(GLOB art_tool_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/tools/*_test.cpp)
add_executable(art_tools_tests ${art_tool_tests} ${CMAKE_CURRENT_LIST_DIR}/tools/stb_image_impl.cpp)
target_link_libraries(art_tools_tests PRIVATE shade_artfile shade_cellpng
    GTest::gtest GTest::gtest_main)
target_include_directories(art_tools_tests SYSTEM PRIVATE ${SHADESTRIP_STB_DIR})
target_compile_definitions(art_tools_tests PRIVATE SHADESTRIP_BINARY_DIR="${CMAKE_BINARY_DIR}")
shadestrip_warnings(art_tools_tests)
gtest_discover_tests(art_tools_tests DISCOVERY_TIMEOUT 60 WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    PROPERTIES LABELS resources)

foreach(picture "cells;title.cells;160" "bytes;cloud_mask.bytes;512" "cells;starfield.cells;160"
                "bytes;rotozoom.bytes;128" "cells;caption.cells;320" "cells;fire_edge.cells;10"
                "cells;closing.cells;80" "cells;blink.cells;10")
    list(GET picture 0 kind)
    list(GET picture 1 name)
    list(GET picture 2 width)
    add_test(NAME resources.round_trip.${name}
        COMMAND ${CMAKE_COMMAND} -DCELLART=$<TARGET_FILE:shadestrip-cellart> -DKIND=${kind}
                -DFILE=${SHADESTRIP_RESOURCE_DIR}/${name} -DWIDTH=${width}
                -DWORK=${CMAKE_CURRENT_BINARY_DIR}/round_trip_${name}
                -P ${CMAKE_CURRENT_LIST_DIR}/round_trip.cmake)
    set_tests_properties(resources.round_trip.${name} PROPERTIES LABELS resources)
endforeach()
