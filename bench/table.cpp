#include "table.h"

#include "fail.h"
#include "machine.h"

#include <QLocale>
#include <QStringList>

#include <cstdio>

void Collector::ReportRuns(const std::vector<Run> &runs)
{
    for (const Run &run : runs) {
        if (run.error_occurred)
            fail(QStringLiteral("%1: %2").arg(QString::fromStdString(run.benchmark_name()),
                                              QString::fromStdString(run.error_message)));
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
        if (median || single)
            seconds[run.run_name.function_name] =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
}

namespace {

QString duration(double seconds)
{
    if (seconds < 1e-3)
        return QStringLiteral("%1 µs").arg(seconds * 1e6, 0, 'f', seconds < 1e-5 ? 1 : 0);
    if (seconds < 1)
        return QStringLiteral("%1 ms").arg(seconds * 1e3, 0, 'f', seconds < 1e-2 ? 2 : 1);
    return QStringLiteral("%1 s").arg(seconds, 0, 'f', 2);
}

} // namespace

void printTable(const std::vector<Row> &rows, const Collector &collector,
                const std::map<const Dataset *, long> &peakKb)
{
    const QLocale english(QLocale::English);
    std::printf("Machine: %s\n\n", qPrintable(machine()));
    std::printf("| Action | Runewords | Median | Floor | Ratio |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    for (const Row &row : rows) {
        // --benchmark_filter may leave out either.
        const auto time = collector.seconds.find(row.name);
        const auto floor = collector.seconds.find(row.floorName);
        const bool timed = time != collector.seconds.end();
        const bool floored = floor != collector.seconds.end();
        if (!timed && !floored)
            continue;
        std::printf(
            "| %s | %s | %s | %s | %s |\n", qPrintable(row.action), qPrintable(row.dataset->label),
            timed ? qPrintable(duration(time->second)) : "-",
            floored ? qPrintable(duration(floor->second)) : "-",
            timed && floored ? qPrintable(QString::number(time->second / floor->second, 'f', 2))
                             : "-");
    }

    // How each action grows from 1,000 to 100,000 runewords; linear growth is 100 times.
    QStringList growth;
    for (const Row &large : rows) {
        if (large.dataset->runewords != 100000 || !collector.seconds.count(large.name))
            continue;
        for (const Row &small : rows) {
            if (small.action == large.action && small.dataset->runewords == 1000 &&
                collector.seconds.count(small.name))
                growth << QStringLiteral("%1 %2x").arg(
                    large.action, QString::number(collector.seconds.at(large.name) /
                                                      collector.seconds.at(small.name),
                                                  'f', 1));
        }
    }
    if (!growth.isEmpty())
        std::printf("\nGrowth from 1,000 to 100,000 runewords (linear: 100x): %s.\n",
                    qPrintable(growth.join(QStringLiteral(", "))));

    const Dataset *largest = nullptr;
    for (const auto &[dataset, kb] : peakKb) {
        if (kb > 0 && (!largest || dataset->runewords > largest->runewords))
            largest = dataset;
    }
    if (largest)
        std::printf("\nPeak resident memory at %s runewords: %.0f MiB.\n",
                    qPrintable(english.toString(largest->runewords)),
                    double(peakKb.at(largest)) / 1024);
}
