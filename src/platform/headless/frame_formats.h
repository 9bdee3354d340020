// Frame formats of the capture tool: raw cells, UTF-8 text, and text with ANSI
// colour sequences that `cat` shows in a terminal.
#pragma once

#include "imaging/cell.h"

#include <string>

// character low byte, attribute low byte per cell, row-major: 2 x width x height bytes.
std::string encodeCells(const Cell* cells, int width, int height);
// One line of UTF-8 code page 437 glyphs per row.
std::string encodeText(const Cell* cells, int width, int height);
// Glyphs with 16-colour ANSI sequences (bright colours as 90-97 and 100-107),
// each row ending with a reset.
std::string encodeAnsi(const Cell* cells, int width, int height);
