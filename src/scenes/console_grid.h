// The console the show is drawn for: 80 x 50 character cells, each cell 1.2
// times as tall as it is wide. Round shapes are painted 1.2 times wider than
// high so that they look round on screen.
#pragma once

constexpr int consoleColumns = 80;
constexpr int consoleRows = 50;
// A cell's height over its width.
constexpr float cellAspect = 1.2f;
