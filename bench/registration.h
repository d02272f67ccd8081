#pragma once

#include "table.h"

#include <vector>

// Registers every action on every data file of bench.datasets, beside its floor. Returns the
// table's rows in the order registered.
const std::vector<Row> &registerAll(bool quick);
