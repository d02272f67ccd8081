// Times each user action of the main window beside its floor, the least work the engine must
// do for it, on generated data files of growing size, and prints one table.
//
//   tessaly-bench [--sizes=200,1000,10000,100000] [--quick] [--benchmark_filter=...]
//
// --quick runs every measurement once (for the smoke test); the times then mean nothing.

#include "closest/closestwindow.h"
#include "data/database.h"
#include "data/failure.h"
#include "gamedata.h"
#include "mainwindow/fatal.h"
#include "mainwindow/form1.h"
#include "mainwindow/listbox.h"
#include "mainwindow/twips.h"
#include "runepictures.h"
#include "saves/dialog.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSet>
#include <QSpinBox>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <iterator>
#include <malloc.h>
#include <map>
#include <memory>
#include <sched.h>
#include <sqlite3.h>
#include <string>
#include <utility>
#include <vector>

namespace {

[[noreturn]] void fail(const QString &text)
{
    std::fprintf(stderr, "tessaly-bench: %s\n", qPrintable(text));
    std::exit(1);
}

// Random but valid runewords: unique names, 1 to 6 runes, at least one item type. The shipped
// runes and save slots are kept, so slot 10 holds all 46 runes.
GameData generatedData(int count, const GameData &shipped)
{
    static const char *const syllables[] = {"ka",  "tor", "mel", "vin", "ash", "ru",  "zel", "dor",
                                            "fen", "gal", "hy",  "ith", "lo",  "mar", "nex", "or",
                                            "pel", "qua", "ren", "sil", "tha", "ul",  "vor", "wyn"};
    QRandomGenerator random(1709);
    auto word = [&](int parts) {
        QString text;
        for (int i = 0; i < parts; ++i)
            text += QLatin1String(syllables[random.bounded(int(std::size(syllables)))]);
        text[0] = text[0].toUpper();
        return text;
    };

    GameData data;
    data.runes = shipped.runes;
    data.saves = shipped.saves;
    QSet<QString> names;
    while (data.runewords.size() < count) {
        RunewordSource runeword;
        runeword.name = word(random.bounded(2, 4)) + QLatin1Char(' ') + word(random.bounded(1, 3));
        if (names.contains(runeword.name))
            continue;
        names.insert(runeword.name);
        runeword.nrrunes = random.bounded(1, 7);
        for (int slot = 0; slot < 6; ++slot)
            runeword.runes[size_t(slot)] = slot < runeword.nrrunes ? random.bounded(1, 47) : 0;
        runeword.types[size_t(random.bounded(9))] = true;
        for (bool &type : runeword.types)
            type = type || random.bounded(4) == 0;
        runeword.text = QStringLiteral("Needs level %1\r\n+%2% enhanced damage\r\n+%3 to life")
                            .arg(random.bounded(1, 90))
                            .arg(random.bounded(10, 300))
                            .arg(random.bounded(5, 100));
        data.runewords << runeword;
    }
    return data;
}

// A program folder: the data file and the rune pictures.
struct Dataset {
    QString label;
    int runewords = 0;
    QTemporaryDir dir;
    QString path() const { return dir.path(); }
};

std::unique_ptr<Dataset> makeDataset(const GameData &data, const QString &label)
{
    auto dataset = std::make_unique<Dataset>();
    if (!dataset->dir.isValid())
        fail(QStringLiteral("cannot make a temporary folder"));
    dataset->label = label;
    dataset->runewords = int(data.runewords.size());
    const QString sources = QStringLiteral(TESSALY_GAMEDATA_DIR);
    writeDataFile(data, readSchema(sources),
                  dataset->dir.filePath(QStringLiteral("newRunewords.mdb")));
    writeRunePictures(dataset->dir.filePath(QStringLiteral("CRunes")));
    return dataset;
}

// A connection opened through SQLiteCpp, as the program's is, whose floor statements run
// straight through SQLite's C API. Like the program's, it takes no lock of its own on each call.
class Engine {
public:
    explicit Engine(const QString &path)
        : connection_(QFile::encodeName(path).toStdString(),
                      SQLite::OPEN_READWRITE | SQLite::OPEN_NOMUTEX, 2000),
          db_(connection_.getHandle())
    {
    }

    // Prepares the text, steps over every row and reads its name column (the first column
    // named like one, else the first); returns the number of rows.
    int read(const QByteArray &sql)
    {
        sqlite3_stmt *statement = prepare(sql);
        int nameColumn = 0;
        for (int column = sqlite3_column_count(statement) - 1; column >= 0; --column) {
            const char *name = sqlite3_column_name(statement, column);
            const size_t length = std::strlen(name);
            if (length >= 4 && sqlite3_stricmp(name + length - 4, "name") == 0)
                nameColumn = column;
        }
        int rows = 0;
        int result;
        while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_text(statement, nameColumn));
            benchmark::DoNotOptimize(sqlite3_column_bytes(statement, nameColumn));
            ++rows;
        }
        finish(statement, result, sql);
        return rows;
    }

    // What EXPLAIN QUERY PLAN says of the text, one step a line. Not a floor: through the
    // wrapper.
    QByteArray plan(const QByteArray &sql)
    {
        SQLite::Statement statement(connection_, "EXPLAIN QUERY PLAN " + sql.toStdString());
        QByteArray steps;
        while (statement.executeStep())
            steps += statement.getColumn(3).getText() + QByteArray("\n");
        return steps;
    }

    void write(const QByteArray &sql, std::initializer_list<QByteArray> values = {})
    {
        sqlite3_stmt *statement = prepare(sql);
        int index = 0;
        for (const QByteArray &value : values)
            sqlite3_bind_text(statement, ++index, value.constData(), int(value.size()),
                              SQLITE_STATIC);
        finish(statement, sqlite3_step(statement), sql);
    }

    sqlite3_stmt *prepare(const QByteArray &sql)
    {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &statement, nullptr) !=
            SQLITE_OK)
            fail(QStringLiteral("%1: %2").arg(QString::fromUtf8(sql),
                                              QString::fromUtf8(sqlite3_errmsg(db_))));
        return statement;
    }

    void finish(sqlite3_stmt *statement, int result, const QByteArray &sql)
    {
        if (result != SQLITE_DONE && result != SQLITE_ROW)
            fail(QStringLiteral("%1: %2").arg(QString::fromUtf8(sql),
                                              QString::fromUtf8(sqlite3_errmsg(db_))));
        sqlite3_finalize(statement);
    }

private:
    SQLite::Database connection_;
    sqlite3 *db_;
};

using SqlTexts = std::vector<QByteArray>;

// The texts an action gives the engine, as the data layer's trace sees them. The data layer's
// look-up of a table or query name in the file's schema is left out: the engine needs no such
// step to run the same query.
SqlTexts record(Form1 &form, const std::function<void()> &action)
{
    SqlTexts texts;
    form.runeDb->setTraceHook([&texts](const QString &sql) {
        if (!sql.startsWith(QLatin1String("SELECT type, name FROM sqlite_schema")))
            texts.push_back(sql.toUtf8());
    });
    action();
    form.runeDb->setTraceHook(nullptr);
    return texts;
}

int replay(Engine &engine, const SqlTexts &texts)
{
    int rows = 0;
    for (const QByteArray &sql : texts)
        rows += engine.read(sql);
    return rows;
}

using Clock = std::chrono::steady_clock;

// Times work() alone. prepare() runs untimed before each call, and one untimed call warms
// caches up first.
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

// VmHWM, the peak resident set, in kB; writing 5 to clear_refs starts it afresh.
long peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

void resetPeakResident()
{
    malloc_trim(0);
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

// The main window and a floor connection on one data file, shared by the actions measured
// on it. Every action sets up the board and list it needs.
struct Session {
    explicit Session(const Dataset &dataset)
        : form(std::make_unique<Form1>(dataset.path())),
          engine(dataset.dir.filePath(QStringLiteral("newRunewords.mdb")))
    {
        form->Form_Load();
        form->show();
        QCoreApplication::processEvents();
    }
    std::unique_ptr<Form1> form;
    Engine engine;
};

class Bench {
public:
    std::vector<std::unique_ptr<Dataset>> datasets;
    std::map<const Dataset *, long> peakKb;

    Session &session(const Dataset &dataset)
    {
        enter(dataset);
        if (!session_)
            session_ = std::make_unique<Session>(dataset);
        return *session_;
    }

    // Measurements run size after size; the peak memory of a size covers all of its actions.
    void enter(const Dataset &dataset)
    {
        if (current_ == &dataset)
            return;
        leave();
        current_ = &dataset;
        resetPeakResident();
    }

    void leave()
    {
        session_.reset();
        if (current_)
            peakKb[current_] = peakResidentKb();
        current_ = nullptr;
    }

private:
    const Dataset *current_ = nullptr;
    std::unique_ptr<Session> session_;
};

Bench bench;

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

// The child of startUpProcess: shows the main window on folder, or the empty window for "-",
// says so and ends at once.
int showOnce(int argc, char **argv)
{
    QApplication app(argc, argv);
    setFailureHandler([](const Failure &failure) { fail(failure.text()); });
    const QString folder = QString::fromLocal8Bit(argv[2]);
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

void ownRunes(Form1 &form, int count)
{
    form.ResetBoard();
    for (int k = 1; k <= count; ++k)
        form.markOwned(k);
    form.tickAllFilters();
}

// The action's list must hold exactly the rows its floor reads.
void checkListed(Form1 &form, int floorRows, const char *action)
{
    if (form.List1->count() != floorRows)
        fail(QStringLiteral("%1 lists %2 runewords, its SQL gives %3")
                 .arg(QLatin1String(action))
                 .arg(form.List1->count())
                 .arg(floorRows));
}

void search(benchmark::State &state, const Dataset &dataset, int owned, bool floor)
{
    Session &session = bench.session(dataset);
    Form1 &form = *session.form;
    ownRunes(form, owned);
    const SqlTexts texts = record(form, [&] { form.CommandSearch_Click(); });
    checkListed(form, replay(session.engine, texts), "Search");
    if (floor)
        measure(state, [&] { replay(session.engine, texts); });
    else
        measure(state, [&] { form.CommandSearch_Click(); });
}

void oneRuneSearch(benchmark::State &state, const Dataset &dataset, bool floor)
{
    Session &session = bench.session(dataset);
    Form1 &form = *session.form;
    auto action = [&] {
        form.mnuRunename->Tag = QStringLiteral("12");
        form.mnuSearch_Click();
    };
    const SqlTexts texts = record(form, action);
    checkListed(form, replay(session.engine, texts), "The one-rune search");
    if (floor)
        measure(state, [&] { replay(session.engine, texts); });
    else
        measure(state, action);
}

// Selects rows of the full list in a fixed random order, a different row each time.
void display(benchmark::State &state, const Dataset &dataset, bool floor)
{
    Session &session = bench.session(dataset);
    Form1 &form = *session.form;
    form.Fillrunewordlist();
    form.List1->clearSelection();
    const int count = form.List1->count();
    if (count < 2)
        fail(QStringLiteral("the display needs two runewords at least"));
    QRandomGenerator random(4711);
    std::vector<int> rows;
    QSet<int> chosen;
    while (int(rows.size()) < std::min(count, 64)) {
        const int row = random.bounded(count);
        if (!chosen.contains(row)) {
            chosen.insert(row);
            rows.push_back(row);
        }
    }
    std::vector<SqlTexts> texts;
    for (int row : rows)
        texts.push_back(record(form, [&] { form.List1->setCurrentRow(row); }));
    // The runeword is found by its name through the index that keeps names unique.
    const QByteArray plan = session.engine.plan(texts.front().front());
    if (!plan.contains("USING INDEX") && !plan.contains("USING COVERING INDEX"))
        fail(QStringLiteral("the display's look-up by name does not use an index: %1")
                 .arg(QString::fromUtf8(plan)));

    size_t next = 0;
    if (floor)
        measure(state, [&] { replay(session.engine, texts[next++ % texts.size()]); });
    else
        measure(state, [&] { form.List1->setCurrentRow(rows[next++ % rows.size()]); });
}

void load(benchmark::State &state, const Dataset &dataset, bool floor)
{
    Session &session = bench.session(dataset);
    Form1 &form = *session.form;
    const SqlTexts texts = record(form, [&] { form.mnuload_Click(10); });
    for (int k = 1; k <= 46; ++k) {
        if (form.ownedState[size_t(k - 1)] != 1)
            fail(QStringLiteral("slot 10 does not hold rune %1").arg(k));
    }
    if (floor)
        measure(state, [&] { replay(session.engine, texts); });
    else
        measure(state, [&] { form.mnuload_Click(10); });
}

// A save of all 46 runes into slot 9 (slot 10 cannot be saved), from the press of OK.
void save(benchmark::State &state, const Dataset &dataset)
{
    Session &session = bench.session(dataset);
    Form1 &form = *session.form;
    ownRunes(form, 46);
    std::unique_ptr<Dialog> dialog;
    measure(
        state,
        [&] {
            dialog.reset();
            dialog = std::make_unique<Dialog>(&form);
            dialog->Tag = QStringLiteral(" 9");
            dialog->Text1->setText(QStringLiteral("bench"));
        },
        [&] { dialog->OKButton->click(); });
    dialog.reset();
    if (form.mnuload[9]->text() != QLatin1String("bench"))
        fail(QStringLiteral("the save did not rename slot 9"));
}

// The same writes in one transaction: delete the slot's rows, add one row per rune, rename.
void saveFloor(benchmark::State &state, const Dataset &dataset)
{
    Engine &engine = bench.session(dataset).engine;
    measure(state, [&] {
        engine.write("BEGIN IMMEDIATE");
        engine.write("DELETE FROM ownedRunes WHERE savenumber = 9");
        const QByteArray insert = "INSERT INTO ownedRunes (savenumber, runenumber) VALUES (9, ?)";
        sqlite3_stmt *statement = engine.prepare(insert);
        for (int k = 1; k <= 46; ++k) {
            sqlite3_bind_int(statement, 1, k);
            const int result = sqlite3_step(statement);
            if (result != SQLITE_DONE)
                engine.finish(statement, result, insert);
            sqlite3_reset(statement);
        }
        engine.finish(statement, SQLITE_DONE, insert);
        engine.write("UPDATE saves SET saveName = ? WHERE savenumber = 9", {"bench"});
        engine.write("COMMIT");
    });
}

struct Row {
    QString action;
    const Dataset *dataset;
    std::string name;
    std::string floorName;
};
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

// Closest runewords -----------------------------------------------------------------------
// The window reads every runeword when it opens and again after every Search; its floor reads
// the columns it needs (name, nrrunes, the six slots, the nine item types) of every row
// straight through the C API. Changing "Missing at most" reads nothing and has no floor.

void closestFloor(benchmark::State &state, const Dataset &dataset)
{
    Engine &engine = bench.session(dataset).engine;
    const QByteArray sql = "SELECT RuneWordName, nrrunes, rune1, rune2, rune3, rune4, rune5, "
                           "rune6, armor, helm, belt, boots, shield, gloves, meleeweapon, "
                           "missileweapon, Other FROM RuneWords";
    measure(state, [&] {
        sqlite3_stmt *statement = engine.prepare(sql);
        int result;
        while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_text(statement, 0));
            benchmark::DoNotOptimize(sqlite3_column_bytes(statement, 0));
            for (int column = 1; column < 17; ++column)
                benchmark::DoNotOptimize(sqlite3_column_int64(statement, column));
        }
        engine.finish(statement, result, sql);
    });
}

// Ten runes owned and every box ticked, as for the search of ten runes.
Form1 &closestSession(const Dataset &dataset)
{
    Form1 &form = *bench.session(dataset).form;
    ownRunes(form, 10);
    delete form.closestWindow;
    return form;
}

void checkClosest(Form1 &form)
{
    if (!form.closestWindow || form.closestWindow->closestTable->rowCount() == 0 ||
        form.closestWindow->wantedTable->rowCount() == 0)
        fail(QStringLiteral("the closest runewords window shows nothing"));
}

// Each from its handler's call to its return, as the other actions; the window repaints
// untimed in between.
void closestOpen(benchmark::State &state, const Dataset &dataset)
{
    Form1 &form = closestSession(dataset);
    measure(
        state,
        [&] {
            delete form.closestWindow;
            QCoreApplication::processEvents();
        },
        [&] { form.mnuClosest_Click(); });
    checkClosest(form);
    delete form.closestWindow;
}

// The refresh that follows a Search; the search itself is timed above.
void closestRefresh(benchmark::State &state, const Dataset &dataset)
{
    Form1 &form = closestSession(dataset);
    form.mnuClosest_Click();
    checkClosest(form);
    measure(
        state, [] { QCoreApplication::processEvents(); }, [&] { form.closestWindow->refresh(); });
    delete form.closestWindow;
}

// Between 1 and 3, the largest change.
void closestMissing(benchmark::State &state, const Dataset &dataset)
{
    Form1 &form = closestSession(dataset);
    form.mnuClosest_Click();
    checkClosest(form);
    int maximum = 1;
    measure(
        state, [] { QCoreApplication::processEvents(); },
        [&] {
            maximum = maximum == 1 ? 3 : 1;
            form.closestWindow->missingAtMost->setValue(maximum);
        });
    delete form.closestWindow;
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
        QStringLiteral("Open the closest runewords"), d, quick,
        [&d](auto &s) { closestOpen(s, d); }, [&d](auto &s) { closestFloor(s, d); });
    add(
        QStringLiteral("Closest runewords after a Search"), d, quick,
        [&d](auto &s) { closestRefresh(s, d); }, [&d](auto &s) { closestFloor(s, d); });
    const std::string name =
        QStringLiteral("Change Missing at most/%1").arg(d.runewords).toStdString();
    registerClosest(name, quick, [&d](auto &s) { closestMissing(s, d); });
    rows.push_back({QStringLiteral("Change \"Missing at most\""), &d, name, name + "/floor"});
}

// Collects each measurement's median (or its single time) instead of printing it.
class Collector : public benchmark::BenchmarkReporter {
public:
    std::map<std::string, double> seconds;

    bool ReportContext(const Context &) override { return true; }
    void ReportRuns(const std::vector<Run> &runs) override
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
};

QString duration(double seconds)
{
    if (seconds < 1e-3)
        return QStringLiteral("%1 µs").arg(seconds * 1e6, 0, 'f', seconds < 1e-5 ? 1 : 0);
    if (seconds < 1)
        return QStringLiteral("%1 ms").arg(seconds * 1e3, 0, 'f', seconds < 1e-2 ? 2 : 1);
    return QStringLiteral("%1 s").arg(seconds, 0, 'f', 2);
}

QString cpuModel()
{
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : cpuinfo.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown CPU");
}

double memoryGiB()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : meminfo.readAll().split('\n')) {
            if (line.startsWith("MemTotal:"))
                return line.mid(9).trimmed().split(' ').first().toDouble() / (1024 * 1024);
        }
    }
    return 0;
}

int processors()
{
    cpu_set_t set;
    return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
}

void printTable(const Collector &collector)
{
    const QLocale english(QLocale::English);
    std::printf("Machine: %d CPUs, %s, %.1f GiB memory\n\n", processors(), qPrintable(cpuModel()),
                memoryGiB());
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
    for (const auto &[dataset, kb] : bench.peakKb) {
        if (kb > 0 && (!largest || dataset->runewords > largest->runewords))
            largest = dataset;
    }
    if (largest)
        std::printf("\nPeak resident memory at %s runewords: %.0f MiB.\n",
                    qPrintable(english.toString(largest->runewords)),
                    double(bench.peakKb.at(largest)) / 1024);
}

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

// Every action on every data file, beside its floor.
void registerAll(bool quick)
{
    // A start and its floor's take about 50 ms: 2 s in all, and a median of many single starts.
    const int startPairs = 40;
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
    }
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

    registerAll(quick);

    std::fprintf(stderr, "Measuring...\n");
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    bench.leave();
    benchmark::Shutdown();
    printTable(collector);
    return 0;
}
