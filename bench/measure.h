#pragma once

#include "dataset.h"
#include "floors.h"
#include "mainwindow/form1.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <vector>

using Clock = std::chrono::steady_clock;

// Times work() alone. prepare() runs untimed before each call, and one untimed call warms
// caches up first.
void measure(benchmark::State &state, const std::function<void()> &prepare,
             const std::function<void()> &work);
void measure(benchmark::State &state, const std::function<void()> &work);

// The main window and a floor connection on one data file, shared by the actions measured
// on it. Every action sets up the board and list it needs.
struct Session {
    explicit Session(const Dataset &dataset);
    std::unique_ptr<Form1> form;
    Engine engine;
};

class Bench {
public:
    std::vector<std::unique_ptr<Dataset>> datasets;
    std::map<const Dataset *, long> peakKb;

    Session &session(const Dataset &dataset);
    // Measurements run size after size; the peak memory of a size covers all of its actions.
    void enter(const Dataset &dataset);
    void leave();

private:
    const Dataset *current_ = nullptr;
    std::unique_ptr<Session> session_;
};

extern Bench bench;
