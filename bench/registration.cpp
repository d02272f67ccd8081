#include "registration.h"

#include "actions.h"
#include "data/failure.h"
#include "fail.h"
#include "floors.h"
#include "measure.h"
#include "startup.h"

#include <QString>

#include <exception>
#include <functional>
#include <string>
#include <utility>

namespace {

std::vector<Row> rows;

// Registers an action and its floor as two measurements.
// pairs: that many repetitions of one iteration each, instead of five of as many iterations as
// fill 0.2 s, for a measurement made in pairs with its floor.
void add(const QString &action, const Dataset &dataset, bool quick,
         const std::function<void(benchmark::State &)> &work,
         const std::function<void(benchmark::State &)> &floor, int pairs = 0)
{
    const std::string name = QStringLiteral("%1/%2")
                                 .arg(QString(action).replace(QLatin1Char(' '), QLatin1Char('_')))
                                 .arg(dataset.runewords)
                                 .toStdString();
    for (const auto &[benchmarkName, function] :
         {std::pair{name, work}, std::pair{name + "/floor", floor}}) {
        benchmark::internal::Benchmark *b = benchmark::RegisterBenchmark(
            benchmarkName.c_str(), [function](benchmark::State &state) {
                try {
                    function(state);
                } catch (const Failure &failure) {
                    fail(failure.text());
                } catch (const std::exception &error) {
                    fail(QString::fromUtf8(error.what()));
                }
            });
        b->UseManualTime();
        if (quick)
            b->Iterations(1)->Repetitions(1);
        else if (pairs > 0)
            b->Iterations(1)->Repetitions(pairs)->ReportAggregatesOnly(true);
        else
            b->MinTime(0.2)->Repetitions(5)->ReportAggregatesOnly(true);
    }
    rows.push_back({action, &dataset, name, name + "/floor"});
}

void registerClosest(const std::string &name, bool quick,
                     const std::function<void(benchmark::State &)> &function)
{
    benchmark::internal::Benchmark *b =
        benchmark::RegisterBenchmark(name.c_str(), [function](benchmark::State &state) {
            try {
                function(state);
            } catch (const Failure &failure) {
                fail(failure.text());
            }
        });
    b->UseManualTime();
    if (quick)
        b->Iterations(1)->Repetitions(1);
    else
        b->MinTime(0.2)->Repetitions(5)->ReportAggregatesOnly(true);
}

void addClosest(const Dataset &d, bool quick)
{
    add(
        QStringLiteral("Open Find runewords"), d, quick, [&d](auto &s) { closestOpen(s, d); },
        [&d](auto &s) { closestFloor(s, d); });
    add(
        QStringLiteral("Find runewords after a Search"), d, quick,
        [&d](auto &s) { closestRefresh(s, d); }, [&d](auto &s) { closestFloor(s, d); });
    // Actions that read nothing: no floor.
    const auto unfloored = [&](const QString &action, const char *key,
                               void (*function)(benchmark::State &, const Dataset &)) {
        const std::string name =
            QStringLiteral("%1/%2").arg(QLatin1String(key)).arg(d.runewords).toStdString();
        registerClosest(name, quick, [&d, function](auto &s) { function(s, d); });
        rows.push_back({action, &d, name, name + "/floor"});
    };
    unfloored(QStringLiteral("Change \"Missing at most\""), "Change Missing at most",
              closestMissing);
    unfloored(QStringLiteral("Missing at most 0"), "Missing at most 0", findMissingZero);
    unfloored(QStringLiteral("Type a word in Gives"), "Type a word in Gives", findGives);
}

} // namespace

const std::vector<Row> &registerAll(bool quick)
{
    // A start and its floor's take about 50 ms: 2 s in all, and a median of many single starts.
    const int startPairs = 40;
    // An import of 100,000 runewords takes seconds: five single imports.
    const int importPairs = 5;
    const Dataset *shipped = bench.datasets.front().get();
    add(
        QStringLiteral("Start-up, new process"), *shipped, quick,
        [shipped](auto &s) { startUpProcess(s, *shipped); },
        [shipped](auto &s) { startUpProcessFloor(s, *shipped); }, startPairs);
    add(
        QStringLiteral("Start-up"), *shipped, quick, [shipped](auto &s) { startUp(s, *shipped); },
        [shipped](auto &s) { startUpFloor(s, *shipped); });
    for (size_t i = 1; i < bench.datasets.size(); ++i) {
        const Dataset *d = bench.datasets[i].get();
        add(
            QStringLiteral("Start-up"), *d, quick, [d](auto &s) { startUp(s, *d); },
            [d](auto &s) { startUpFloor(s, *d); });
        add(
            QStringLiteral("Search, all runes owned"), *d, quick,
            [d](auto &s) { search(s, *d, 46, false); }, [d](auto &s) { search(s, *d, 46, true); });
        add(
            QStringLiteral("Search, ten runes owned"), *d, quick,
            [d](auto &s) { search(s, *d, 10, false); }, [d](auto &s) { search(s, *d, 10, true); });
        add(
            QStringLiteral("Display a runeword"), *d, quick,
            [d](auto &s) { display(s, *d, false); }, [d](auto &s) { display(s, *d, true); });
        add(
            QStringLiteral("One-rune search"), *d, quick,
            [d](auto &s) { oneRuneSearch(s, *d, false); },
            [d](auto &s) { oneRuneSearch(s, *d, true); });
        add(
            QStringLiteral("Load a slot of 46 runes"), *d, quick,
            [d](auto &s) { load(s, *d, false); }, [d](auto &s) { load(s, *d, true); });
        add(
            QStringLiteral("Save 46 runes"), *d, quick, [d](auto &s) { save(s, *d); },
            [d](auto &s) { saveFloor(s, *d); });
        addClosest(*d, quick);
        // Last: it replaces the data file the other rows read, with the same data.
        add(
            QStringLiteral("Import a data file"), *d, quick,
            [d](auto &s) { importDataFile(s, *d); }, [d](auto &s) { importDataFileFloor(s, *d); },
            importPairs);
    }
    return rows;
}
