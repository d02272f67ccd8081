#pragma once

// The main window and the classes of its controls, which every test reaches into.
#include "data/failure.h"
#include "mainwindow/fatal.h"
#include "mainwindow/form1.h"
#include "mainwindow/listbox.h"
#include "mainwindow/runetile.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <memory>

// The tests' many fixed texts as QString, without a wrapper around each.
inline QString operator""_q(const char *text, size_t size)
{
    return QString::fromUtf8(text, qsizetype(size));
}

// A folder that stands where the program's own folder would: a data file built from the
// project's sources and the rune pictures, made afresh for each test.
class TestFolder {
public:
    // Without pictures for tests that only read the data file.
    enum class Pictures { Made, Left };
    // Made in parent, or in the system's temporary folder.
    explicit TestFolder(Pictures pictures = Pictures::Made, const QString &parent = {});
    QString path() const { return dir_.path(); }
    // As the program's messages show it.
    QString dataFile() const { return QDir::toNativeSeparators(path() + "/newRunewords.mdb"_q); }

    // Changes the data file outside the program, for cases that need damaged or odd data.
    void sql(const QString &statements);
    QStringList column(const QString &query);
    // Each slot as a fresh connection reads it, "name:runes" in the order of the rows, then the
    // file's verdict on itself.
    QStringList slots();

private:
    QTemporaryDir dir_;
};

// Runs start-up on a folder, as main() does, and returns the window (not shown).
std::unique_ptr<Form1> startForm(const QString &folder);

// Reads everything a session can read: the display of every runeword listed at start-up, the
// load of every slot, a search with every rune owned, the display of every runeword it finds,
// a search for the runewords containing rune 1 and the Find runewords window. Failures propagate.
void readEverything(Form1 &form);

// Catches failures reported at the top of event handling, and the messages after which the
// program goes on (notices), while it lives.
class FailureRecorder {
public:
    FailureRecorder()
    {
        setFailureHandler([this](const Failure &failure) { texts << failure.text(); });
        setNoticeHandler([this](QWidget *, const QString &text) { notices << text; });
    }
    ~FailureRecorder()
    {
        setFailureHandler(nullptr);
        setNoticeHandler(nullptr);
    }
    QStringList texts, notices;
};

// The shipped game data, read from the sources.
QString gameDataSources();
// A file's bytes; none when it cannot be read.
QByteArray fileBytes(const QString &path);
// The names of the files in a folder, hidden ones too.
QStringList filesIn(const QString &folder);

// The text of the failure (or the data tool's error) that call throws; empty when it throws none.
template <typename Call> QString failureOf(Call &&call)
{
    try {
        call();
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

// The board as a list of owned rune numbers, and the board set to such a list.
QList<int> ownedTiles(const Form1 &form);
void setBoard(Form1 &form, const QList<int> &owned);
// The owned set kept in ownedState, as rune numbers.
QList<int> savedTiles(const Form1 &form);
// The names of the runewords in the result list, top to bottom.
QStringList listed(const Form1 &form);
// The item-type boxes in the order of the data's columns (itemTypeColumns), then the socket
// boxes 1 to 6.
QList<QCheckBox *> filterBoxes(const Form1 &form);
// The item-type columns as SQL lists them: "armor, helm, ...".
QString itemTypeColumnList();
// The ticked boxes: item types by their column, sockets by their number ("helm other 4").
QString tickedFilters(const Form1 &form);
// Every tile is in one of its two states: owned on black, or not owned on the colour of its
// group of seven, which its Tag holds. Describes the first tile that is not; empty when all are.
QString inconsistentTile(const Form1 &form);

// Runs step on the modal window of type W once it is up and active; closes whatever modal
// window came up instead, so that the test goes on and fails.
template <typename W, typename Step> void whenModal(Step step)
{
    QTimer::singleShot(0, [step] {
        const auto up = [] { return qobject_cast<W *>(QApplication::activeModalWidget()); };
        if (QTest::qWaitFor([&] { return up() && up()->isActiveWindow(); }))
            return step(up());
        if (QWidget *other = QApplication::activeModalWidget())
            other->close();
        QFAIL("the modal window did not come up");
    });
}
