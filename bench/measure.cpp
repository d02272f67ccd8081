#include "measure.h"

#include "machine.h"

#include <QCoreApplication>

void measure(benchmark::State &state, const std::function<void()> &prepare,
             const std::function<void()> &work)
{
    prepare();
    work();
    for (auto _ : state) {
        prepare();
        const Clock::time_point start = Clock::now();
        work();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}

void measure(benchmark::State &state, const std::function<void()> &work)
{
    measure(
        state, [] {}, work);
}

Session::Session(const Dataset &dataset)
    : form(std::make_unique<Form1>(dataset.path())),
      engine(dataset.dir.filePath(QStringLiteral("newRunewords.mdb")))
{
    form->Form_Load();
    form->show();
    QCoreApplication::processEvents();
}

Session &Bench::session(const Dataset &dataset)
{
    enter(dataset);
    if (!session_)
        session_ = std::make_unique<Session>(dataset);
    return *session_;
}

void Bench::enter(const Dataset &dataset)
{
    if (current_ == &dataset)
        return;
    leave();
    current_ = &dataset;
    resetPeakResident();
}

void Bench::leave()
{
    session_.reset();
    if (current_)
        peakKb[current_] = peakResidentKb();
    current_ = nullptr;
}

Bench bench;
