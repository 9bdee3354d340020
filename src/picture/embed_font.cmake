# Turns the gzipped PSF1 console font into a C++ array initialiser, so the PNG
# library carries its font and needs no file at run time. Run with cmake -P:
#   -DFONT=default8x16.psf.gz -DOUT=cp437_font.inc
if(NOT FONT OR NOT OUT)
    message(FATAL_ERROR "usage: cmake -DFONT=<font.psf.gz> -DOUT=<out.inc> -P embed_font.cmake")
endif()

set(raw "${OUT}.psf")
execute_process(COMMAND gzip -dc "${FONT}" OUTPUT_FILE "${raw}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FONT}: cannot decompress (gzip said ${result})")
endif()

file(READ "${raw}" hex HEX)
file(REMOVE "${raw}")
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")

# PSF1: magic 36 04, mode, bytes per glyph; then the glyphs. Only the plain
# 256-glyph, 16-row form is accepted.
string(SUBSTRING "${hex}" 0 4 magic)
string(SUBSTRING "${hex}" 4 2 mode)
string(SUBSTRING "${hex}" 6 2 rows)
if(NOT magic STREQUAL "3604" OR NOT rows STREQUAL "10" OR size LESS 4100)
    message(FATAL_ERROR "${FONT}: not a PSF1 font of 256 glyphs of 8 x 16 "
                        "(magic ${magic}, mode ${mode}, ${rows} bytes a glyph, ${size} bytes)")
endif()

# One line per glyph.
set(glyphs "")
foreach(glyph RANGE 255)
    math(EXPR offset "8 + ${glyph} * 32")
    string(SUBSTRING "${hex}" ${offset} 32 row)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," row "${row}")
    string(APPEND glyphs "${row}\n")
endforeach()
file(WRITE "${OUT}.tmp"
     "// Generated from ${FONT} by embed_font.cmake: 256 glyphs of 16 rows, bit 7 on the left.\n"
     "${glyphs}")
file(RENAME "${OUT}.tmp" "${OUT}")
