#pragma once

#include "dataset.h"

#include <QString>

#include <benchmark/benchmark.h>
#include <map>
#include <string>
#include <vector>

// A line of the table: an action on one data file, and its two measurements' names.
struct Row {
    QString action;
    const Dataset *dataset;
    std::string name;
    std::string floorName;
};

// Collects each measurement's median (or its single time) instead of printing it.
class Collector : public benchmark::BenchmarkReporter {
public:
    std::map<std::string, double> seconds;

    bool ReportContext(const Context &) override { return true; }
    void ReportRuns(const std::vector<Run> &runs) override;
};

// The machine, a line per row with a time, how the actions grow with the data, and the peak
// memory of the largest data file.
void printTable(const std::vector<Row> &rows, const Collector &collector,
                const std::map<const Dataset *, long> &peakKb);
