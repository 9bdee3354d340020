// The Ogg Vorbis decoder itself: the whole of stb_vorbis, compiled here and
// nowhere else. It leaves one-letter macros defined, so nothing else may be
// compiled in this translation unit. Built as C++ so that the sanitizer builds
// check it along with our own code.
#include <stb_vorbis.h>
