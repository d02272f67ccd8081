#include "actions.h"

#include "closest/findwindow.h"
#include "datafile.h"
#include "fail.h"
#include "floors.h"
#include "mainwindow/fatal.h"
#include "mainwindow/form1.h"
#include "mainwindow/listbox.h"
#include "measure.h"
#include "saves/dialog.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSet>
#include <QSpinBox>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace {

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

void ownRunes(Form1 &form, int count)
{
    form.ResetBoard();
    for (int k = 1; k <= count; ++k)
        form.markOwned(k);
    form.setAllFilters(true);
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

} // namespace

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

// The Find runewords window.

namespace {

// Ten runes owned and every box ticked, as for the search of ten runes.
Form1 &closestSession(const Dataset &dataset)
{
    Form1 &form = *bench.session(dataset).form;
    ownRunes(form, 10);
    delete form.findWindow;
    return form;
}

void checkClosest(Form1 &form)
{
    if (!form.findWindow || form.findWindow->foundTable->rowCount() == 0 ||
        form.findWindow->wantedTable->rowCount() == 0)
        fail(QStringLiteral("the Find runewords window shows nothing"));
}

} // namespace

// Each from its handler's call to its return, as the other actions; the window repaints
// untimed in between.
void closestOpen(benchmark::State &state, const Dataset &dataset)
{
    Form1 &form = closestSession(dataset);
    measure(
        state,
        [&] {
            delete form.findWindow;
            QCoreApplication::processEvents();
        },
        [&] { form.mnuFind_Click(); });
    checkClosest(form);
    delete form.findWindow;
}

namespace {

// A step the player repeats in the open window, timed each time.
void timeInWindow(benchmark::State &state, const Dataset &dataset,
                  const std::function<void(FindWindow &)> &step)
{
    Form1 &form = closestSession(dataset);
    form.mnuFind_Click();
    checkClosest(form);
    measure(
        state, [] { QCoreApplication::processEvents(); }, [&] { step(*form.findWindow); });
    checkClosest(form);
    delete form.findWindow;
    FindWindow::lastGives.clear();
}

// Missing at most moved back and forth between two values.
void toggleMissing(benchmark::State &state, const Dataset &dataset, int low, int high)
{
    int maximum = low;
    timeInWindow(state, dataset, [&](FindWindow &window) {
        maximum = maximum == low ? high : low;
        window.missingAtMost->setValue(maximum);
    });
}

} // namespace

// The refresh that follows a Search; the search itself is timed on its own.
void closestRefresh(benchmark::State &state, const Dataset &dataset)
{
    timeInWindow(state, dataset, [](FindWindow &window) { window.refresh(); });
}

// Between 1 and 3, the largest change.
void closestMissing(benchmark::State &state, const Dataset &dataset)
{
    toggleMissing(state, dataset, 1, 3);
}

// One more letter, then one fewer: every row is tested against both words, and all pass.
void findGives(benchmark::State &state, const Dataset &dataset)
{
    bool longer = false;
    timeInWindow(state, dataset, [&](FindWindow &window) {
        longer = !longer;
        window.gives->setText(longer ? QStringLiteral("enhanced dama")
                                     : QStringLiteral("enhanced dam"));
    });
}

// Between 0 and 1, what the player can make now and what lacks one rune more.
void findMissingZero(benchmark::State &state, const Dataset &dataset)
{
    toggleMissing(state, dataset, 1, 0);
}

// Importing.

namespace {

// A data file to import beside the player's: the same game data, made by the same tool.
QString importSource(const Dataset &dataset)
{
    const QString source = dataset.dir.filePath(QStringLiteral("import.mdb"));
    if (!QFile::exists(source) &&
        !QFile::copy(dataset.dir.filePath(QStringLiteral("newRunewords.mdb")), source))
        fail(QStringLiteral("cannot copy the data file to import"));
    return source;
}

} // namespace

void importDataFile(benchmark::State &state, const Dataset &dataset)
{
    Form1 &form = *bench.session(dataset).form;
    const QString source = importSource(dataset);
    bool imported = false;
    setNoticeHandler([&imported](QWidget *, const QString &text) {
        if (!text.contains(QLatin1String("is in use now")))
            fail(text);
        imported = true;
    });
    measure(
        state, [&] { QCoreApplication::processEvents(); }, [&] { form.importGameData(source); });
    setNoticeHandler(nullptr);
    if (!imported || form.List1->count() != dataset.runewords)
        fail(QStringLiteral("the import did not list the new data"));
}

void importDataFileFloor(benchmark::State &state, const Dataset &dataset)
{
    bench.enter(dataset);
    namespace fs = std::filesystem;
    const fs::path source = filesystemPath(importSource(dataset));
    const fs::path target = filesystemPath(dataset.dir.filePath(QStringLiteral("floor.mdb")));
    fs::path partial = target;
    partial += ".partial";
    measure(state, [&] {
        fs::copy_file(source, partial, fs::copy_options::overwrite_existing);
        fs::rename(partial, target);
    });
}
