# The program as an installed Unix command: its command line, its manual pages
# and its Debian package.
if(NOT SHADESTRIP_PLATFORM STREQUAL "posix")
    return()
endif()

set(package_tests ${CMAKE_CURRENT_LIST_DIR})

add_test(NAME program.command_line
    COMMAND bash ${package_tests}/check_command_line.sh $<TARGET_FILE:shadestrip>
        ${PROJECT_VERSION} ${CMAKE_BINARY_DIR}/package-tests/command-line)
set_tests_properties(program.command_line PROPERTIES TIMEOUT 120 LABELS cli)

add_test(NAME docs.man_pages
    COMMAND bash ${package_tests}/check_man_pages.sh ${PROJECT_VERSION}
        ${CMAKE_SOURCE_DIR}/docs/man/shadestrip.6 ${CMAKE_SOURCE_DIR}/docs/man/shadestrip-capture.1)
set_tests_properties(docs.man_pages PROPERTIES TIMEOUT 60 LABELS docs)

# A package is made of an ordinary build, not of a sanitizer build.
if(CMAKE_CXX_FLAGS MATCHES "sanitize")
    return()
endif()
# cpack installs the whole tree into its staging area: one package test at a time.
add_test(NAME package.deb
    COMMAND bash ${package_tests}/check_package.sh ${CMAKE_BINARY_DIR}
        ${CMAKE_BINARY_DIR}/package-tests/deb ${PROJECT_VERSION})
set_tests_properties(package.deb PROPERTIES TIMEOUT 300 LABELS package RESOURCE_LOCK cpack)
