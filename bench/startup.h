#pragma once

#include "dataset.h"

#include <benchmark/benchmark.h>

// Start-up inside this process: the main window made, loaded and shown; its floor, an empty
// window with the same menus.
void startUp(benchmark::State &state, const Dataset &dataset);
void startUpFloor(benchmark::State &state, const Dataset &dataset);

// Start-up as a player meets it, in a new process; its floor, a new process that shows the
// empty window.
void startUpProcess(benchmark::State &state, const Dataset &dataset);
void startUpProcessFloor(benchmark::State &state, const Dataset &dataset);

// The child of startUpProcess: shows the main window on folder, or the empty window for "-",
// says so and ends at once.
int showOnce(int argc, char **argv);
