#pragma once

#include "dataset.h"

#include <benchmark/benchmark.h>

// The main window's actions on one data file. Where floor is true, the texts the action gave
// the engine are read again straight through SQLite's C API instead: the least work the engine
// must do for it.
void search(benchmark::State &state, const Dataset &dataset, int owned, bool floor);
void oneRuneSearch(benchmark::State &state, const Dataset &dataset, bool floor);
void display(benchmark::State &state, const Dataset &dataset, bool floor);
void load(benchmark::State &state, const Dataset &dataset, bool floor);
void save(benchmark::State &state, const Dataset &dataset);

// The Find runewords window; typing in Gives and changing "Missing at most" read nothing and
// have no floor.
void closestOpen(benchmark::State &state, const Dataset &dataset);
void closestRefresh(benchmark::State &state, const Dataset &dataset);
void closestMissing(benchmark::State &state, const Dataset &dataset);
void findGives(benchmark::State &state, const Dataset &dataset);
void findMissingZero(benchmark::State &state, const Dataset &dataset);

// Runes > Import game data... of a data file of the same size, from the choice of the file to the
// main window showing the new data; its floor, the file's bytes copied beside the player's file
// and renamed into its place.
void importDataFile(benchmark::State &state, const Dataset &dataset);
void importDataFileFloor(benchmark::State &state, const Dataset &dataset);
