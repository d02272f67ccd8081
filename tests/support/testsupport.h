#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

class Form1;
class Failure;

// A folder that stands where the program's own folder would: a data file built from the
// project's sources and the rune pictures, made afresh for each test.
class TestFolder {
public:
    // Without pictures for tests that only read the data file.
    enum class Pictures { Made, Left };
    explicit TestFolder(Pictures pictures = Pictures::Made);
    QString path() const { return dir_.path(); }
    QString dataFile() const;

    void makeDataFile();
    void makePictures();
    // Changes the data file outside the program, for cases that need damaged or odd data.
    void sql(const QString &statements);
    QVariant scalar(const QString &query);
    QStringList column(const QString &query);

private:
    QTemporaryDir dir_;
};

// Runs start-up on a folder, as main() does, and returns the window (not shown).
std::unique_ptr<Form1> startForm(const QString &folder);

// Reads everything a session can read: the display of every runeword listed at start-up, the
// load of every slot, a search with every rune owned, the display of every runeword it finds
// and a search for the runewords containing rune 1. Failures propagate.
void readEverything(Form1 &form);

// Catches failures reported at the top of event handling while it lives.
class FailureRecorder {
public:
    FailureRecorder();
    ~FailureRecorder();
    QStringList texts;
};

// The shipped game data, read from the sources.
QString gameDataSources();
