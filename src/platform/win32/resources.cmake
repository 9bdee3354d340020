# The resource lookup on Windows (included by src/platform/CMakeLists.txt):
# shade_resources is the FindResourceA lookup plus the resources themselves,
# an .rc file written from resources/resources.list and compiled by windres.
#
# A resource object defines no symbols, so inside a static library the linker
# would never pull it in. It is linked as an object file of its own into every
# program that uses shade_resources, beside the lookup's own object.

find_program(SHADESTRIP_WINDRES NAMES ${CMAKE_RC_COMPILER} x86_64-w64-mingw32-windres windres
    REQUIRED)

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SHADESTRIP_RESOURCES_LIST})
file(STRINGS ${SHADESTRIP_RESOURCES_LIST} resourceLines REGEX "^[ \t]*[0-9]")
set(rcText "// Written by the build from resources/resources.list: do not edit.\n")
string(APPEND rcText "LANGUAGE 0x09, 0x01\n")
set(rcInputs "")
set(missing "")
foreach(line ${resourceLines})
    string(REGEX MATCH "^[ \t]*([0-9]+)[ \t]+([^ \t]+)" matched "${line}")
    set(id ${CMAKE_MATCH_1})
    set(file ${SHADESTRIP_RESOURCE_DIR}/${CMAKE_MATCH_2})
    if(file MATCHES "[\"\\\\]")
        message(FATAL_ERROR "Resource path ${file} cannot go into an .rc file")
    endif()
    if(NOT EXISTS ${file} AND SHADESTRIP_PREBUILT_RESOURCES)
        list(APPEND missing ${file})
    endif()
    string(APPEND rcText "${id} BINARY \"${file}\"\n")
    list(APPEND rcInputs ${file})
endforeach()
if(missing)
    message(FATAL_ERROR "Resource files missing in ${SHADESTRIP_RESOURCE_DIR}:\n  ${missing}\n"
        "Build them in a host build first (cmake --build --preset default "
        "--target shadestrip_resource_files), as `make windows` does.")
endif()

set(rcFile ${CMAKE_CURRENT_BINARY_DIR}/shadestrip_resources.rc)
set(rcObject ${CMAKE_CURRENT_BINARY_DIR}/shadestrip_resources.res.o)
file(CONFIGURE OUTPUT ${rcFile} CONTENT "${rcText}" @ONLY)
add_custom_command(
    OUTPUT ${rcObject}
    COMMAND ${SHADESTRIP_WINDRES} -O coff -i ${rcFile} -o ${rcObject}
    DEPENDS ${rcFile} ${rcInputs}
    COMMENT "Compiling the Windows resources"
    VERBATIM)
add_custom_target(shadestrip_resource_object DEPENDS ${rcObject})
if(TARGET shadestrip_resource_files)
    add_dependencies(shadestrip_resource_object shadestrip_resource_files)
endif()

add_library(shade_resources OBJECT win32/executable_resources.cpp)
target_include_directories(shade_resources PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(shade_resources PUBLIC ${rcObject})
add_dependencies(shade_resources shadestrip_resource_object)
shadestrip_warnings(shade_resources)
