// stb_image's implementation, for reading written PNGs back in the tests.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
