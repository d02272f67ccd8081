#include "startup.h"

#include "data/failure.h"
#include "fail.h"
#include "mainwindow/fatal.h"
#include "mainwindow/twips.h"
#include "measure.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <utility>

namespace {

// The empty window of the start-up floor: the main window's menu tree, nothing else.
std::unique_ptr<QMainWindow> emptyWindow()
{
    auto window = std::make_unique<QMainWindow>();
    auto *client = new QWidget(window.get());
    client->setFixedSize(twips(8955), twips(7275));
    window->setCentralWidget(client);
    QMenu *file = window->menuBar()->addMenu(QStringLiteral("&File"));
    QMenu *load = file->addMenu(QStringLiteral("Load"));
    QMenu *save = file->addMenu(QStringLiteral("save"));
    for (int k = 1; k <= 10; ++k) {
        load->addAction(QStringLiteral("save%1").arg(k));
        save->addAction(QStringLiteral("Save%1").arg(k));
    }
    file->addAction(QStringLiteral("Exit"));
    QMenu *help = window->menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("Help"));
    help->addAction(QStringLiteral("About"));
    auto *runename = new QMenu(QStringLiteral("Runename"), window.get());
    runename->addAction(QStringLiteral("search runewords containing"));
    runename->addAction(QStringLiteral("show rune properties"));
    return window;
}

// Start-up as a player meets it: a new process, with the libraries loaded and the fonts found
// afresh, until the window has been shown. The child is this program (see showOnce); the time
// runs from its start until it reports the window shown.
double startChild(const QString &folder)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const Clock::time_point start = Clock::now();
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--show-once"), folder});
    if (!child.waitForReadyRead(60000))
        fail(QStringLiteral("the start-up process did not report"));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!child.readAll().startsWith("shown"))
        fail(QStringLiteral("the start-up process failed"));
    child.waitForFinished();
    return seconds;
}

// The program and the empty window are started in turns, so that both meet the machine in the
// same state: a start takes some 20 ms, and the speed of a shared machine changes from one
// second to the next by more than the difference being measured. Each repetition of the
// program's measurement is one pair; it keeps the empty window's time, which the floor's
// measurement then reports in the same order. Run on its own, the floor starts its own.
std::deque<double> floorStarts;

} // namespace

void startUp(benchmark::State &state, const Dataset &dataset)
{
    bench.enter(dataset);
    std::unique_ptr<Form1> form;
    measure(
        state, [&] { form.reset(); },
        [&] {
            form = std::make_unique<Form1>(dataset.path());
            form->Form_Load();
            form->show();
            QCoreApplication::processEvents();
        });
}

void startUpFloor(benchmark::State &state, const Dataset &dataset)
{
    bench.enter(dataset);
    std::unique_ptr<QMainWindow> window;
    measure(
        state, [&] { window.reset(); },
        [&] {
            window = emptyWindow();
            window->show();
            QCoreApplication::processEvents();
        });
}

void startUpProcess(benchmark::State &state, const Dataset &dataset)
{
    bench.enter(dataset);
    static bool warm = false;
    if (!std::exchange(warm, true)) {
        startChild(dataset.path());
        startChild(QStringLiteral("-"));
    }
    for (auto _ : state) {
        state.SetIterationTime(startChild(dataset.path()));
        floorStarts.push_back(startChild(QStringLiteral("-")));
    }
}

void startUpProcessFloor(benchmark::State &state, const Dataset &dataset)
{
    bench.enter(dataset);
    for (auto _ : state) {
        if (floorStarts.empty()) {
            state.SetIterationTime(startChild(QStringLiteral("-")));
        } else {
            state.SetIterationTime(floorStarts.front());
            floorStarts.pop_front();
        }
    }
}

int showOnce(int argc, char **argv)
{
    QApplication app(argc, argv);
    setFailureHandler([](const Failure &failure) { fail(failure.text()); });
    const QString folder = app.arguments().at(2);
    std::unique_ptr<QMainWindow> window;
    try {
        if (folder == QLatin1String("-")) {
            window = emptyWindow();
        } else {
            // The program's own way in, as main() takes it.
            window = startProgram([&folder] {
                return DataLocation{folder + QStringLiteral("/newRunewords.mdb"), folder};
            });
            if (!window)
                fail(QStringLiteral("the program did not start"));
        }
    } catch (const Failure &failure) {
        fail(failure.text());
    }
    window->show();
    QCoreApplication::processEvents();
    std::fputs("shown\n", stdout);
    std::fflush(stdout);
    std::_Exit(0);
}
