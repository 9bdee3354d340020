# The Debian packages that more than one folder uses, looked up once for the
# whole tree (the imported targets are global):
#   PkgConfig::VORBIS      libvorbisenc, libvorbisfile, libvorbis and libogg
#                          (libvorbis-dev): the music tool and the tests and
#                          benchmarks that make Ogg Vorbis streams
#   PkgConfig::VTERM       libvterm (libvterm-dev): the terminal emulator the
#                          terminal tests and the slow-link relay check against
#   SHADESTRIP_STB_DIR     the folder of the stb headers (libstb-dev). Only that
#                          folder is added, so a cross compiler sees no other
#                          host header; the headers are plain C, so a cross
#                          build reads the host's.
# Packages that one folder alone uses are looked up there.
find_package(PkgConfig REQUIRED)

# A cross build runs none of the programs that encode Vorbis.
if(NOT CMAKE_CROSSCOMPILING)
    pkg_check_modules(VORBIS REQUIRED IMPORTED_TARGET GLOBAL vorbisenc vorbisfile vorbis ogg)
    # Only the tests and benchmarks use it: a build to play the show needs less.
    if(SHADESTRIP_TESTS OR SHADESTRIP_BENCH)
        pkg_check_modules(VTERM REQUIRED IMPORTED_TARGET GLOBAL vterm)
    endif()
endif()

find_path(SHADESTRIP_STB_DIR stb_vorbis.h
    PATHS /usr/include/stb /usr/local/include/stb
    NO_CMAKE_FIND_ROOT_PATH
    DOC "Folder of the stb headers (Debian package libstb-dev)")
if(NOT SHADESTRIP_STB_DIR OR NOT EXISTS ${SHADESTRIP_STB_DIR}/stb_image_write.h)
    message(FATAL_ERROR "The stb headers are missing: install the libstb-dev package")
endif()
