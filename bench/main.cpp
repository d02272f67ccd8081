// Times each user action of the main window beside its floor, the least work the engine must
// do for it, on generated data files of growing size, and prints one table.
//
//   tessaly-bench [--sizes=200,1000,10000,100000] [--quick] [--benchmark_filter=...]
//
// --quick runs every measurement once (for the smoke test); the times then mean nothing.

#include "data/failure.h"
#include "dataset.h"
#include "fail.h"
#include "mainwindow/fatal.h"
#include "measure.h"
#include "registration.h"
#include "startup.h"
#include "table.h"

#include <QApplication>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

// The sizes of the generated files to measure on, and whether to measure each action once.
QList<int> parseArguments(const QStringList &arguments, bool &quick)
{
    QList<int> sizes = {200, 1000, 10000, 100000};
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--quick")) {
            quick = true;
        } else if (argument.startsWith(QLatin1String("--sizes="))) {
            sizes.clear();
            for (const QString &size : argument.mid(8).split(QLatin1Char(','))) {
                bool ok = false;
                sizes << size.toInt(&ok);
                if (!ok || sizes.last() < 2)
                    fail(QStringLiteral("a size is a whole number of runewords, 2 or more"));
            }
        } else {
            fail(QStringLiteral("unknown argument %1").arg(argument));
        }
    }
    return sizes;
}

} // namespace

// Qt's offscreen platform remarks on every fixed-size window and every window raised; nothing
// else is hidden.
void quieter(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")) ||
        message.contains(QLatin1String("does not support raise()")) ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

int main(int argc, char **argv)
{
    // Measured with the windows offscreen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quieter);
    if (argc == 3 && qstrcmp(argv[1], "--show-once") == 0)
        return showOnce(argc, argv);
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    setFailureHandler([](const Failure &failure) { fail(failure.text()); });

    bool quick = false;
    const QList<int> sizes = parseArguments(app.arguments().mid(1), quick);

    const QLocale english(QLocale::English);
    std::fprintf(stderr, "Making the data files...\n");
    {
        const GameData shipped = readGameData(QStringLiteral(TESSALY_GAMEDATA_DIR));
        bench.datasets.push_back(makeDataset(
            shipped,
            QStringLiteral("shipped (%1)").arg(english.toString(shipped.runewords.size()))));
        for (int size : sizes)
            bench.datasets.push_back(
                makeDataset(generatedData(size, shipped), english.toString(size)));
    }

    const std::vector<Row> &rows = registerAll(quick);

    std::fprintf(stderr, "Measuring...\n");
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    bench.leave();
    benchmark::Shutdown();
    printTable(rows, collector, bench.peakKb);
    return 0;
}
