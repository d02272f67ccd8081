#pragma once

#include "data/database.h"
#include "data/querydef.h"
#include "data/recordset.h"
#include "itemtypes.h"
#include "mainwindow/datalocation.h"
#include "mainwindow/listbox.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class FindWindow;
class GameDataProgress;
class GameDataWindow;
struct GameData;
class RuneTile;
class frmhelp;

// A pop-up menu that remembers which tile it was opened over.
class TaggedMenu : public QMenu {
public:
    using QMenu::QMenu;
    QString Tag;
};

// The main window. It is the program: it owns the connection, the board, the filters, the
// result list and the runeword display, and opens the other windows. Its operations that
// belong to a subsystem are defined in that subsystem's folder.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QString applicationFolder = QCoreApplication::applicationDirPath(),
                   QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up: opens the data file, captions the menus, fills the list, loads the tiles.
    // Throws Failure; the window is shown only after it returns.
    void Form_Load();
    void mnuExit_Click();

    // Shared state
    std::unique_ptr<Database> runeDb;
    std::unique_ptr<Recordset> currentRecordset;
    std::unique_ptr<QueryDef> currentQueryDef;
    QString appPath;
    // The data file and the folder of CRunes/: beside the program unless startProgram() was
    // given the player's own copy (mainwindow/datalocation.h).
    QString dataFile;
    QString picturesFolder;
    std::array<qint16, 46> ownedState{};
    bool ownedSaved = false;

    // Controls, indexed as the window numbers them (PictureRunes 1..46, Label1 0..45). Reach a
    // tile by its rune number through tile(), which knows the board's bounds.
    QGroupBox *Frame1 = nullptr;
    std::array<RuneTile *, 47> PictureRunes{};
    std::array<QLabel *, 46> Label1{};
    QPushButton *Commandrevert = nullptr;
    QLineEdit *TextRunes = nullptr;
    QPlainTextEdit *Text1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QCheckBox *CheckBodyArmor = nullptr;
    QCheckBox *CheckHelm = nullptr;
    QCheckBox *CheckBelt = nullptr;
    QCheckBox *CheckBoots = nullptr;
    QCheckBox *CheckGloves = nullptr;
    QCheckBox *CheckShield = nullptr;
    QCheckBox *CheckMeleeWeapon = nullptr;
    QCheckBox *CheckmissileWeapon = nullptr;
    QCheckBox *Checkother = nullptr;
    QGroupBox *Frame3 = nullptr;
    std::array<QCheckBox *, 6> Checksockets{};
    ListBox *List1 = nullptr;
    QPushButton *CommandSearch = nullptr;
    QPushButton *CommandClear = nullptr;

    // Menus (mnuload and mnuSave 1..10)
    QMenu *mnuFile = nullptr;
    QMenu *mnumainload = nullptr;
    std::array<QAction *, 11> mnuload{};
    QMenu *mnuMainSave = nullptr;
    std::array<QAction *, 11> mnuSave{};
    QAction *mnuExit = nullptr;
    QMenu *mnuRunes = nullptr;
    QAction *mnuFind = nullptr;
    QAction *mnuImport = nullptr;
    QAction *mnuGameData = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuHelpScreen = nullptr;
    QAction *mnuAbout = nullptr;
    TaggedMenu *mnuRunename = nullptr;
    QAction *mnuSearch = nullptr;
    QAction *mnuruneprop = nullptr;

    // Rune board: mainwindow/board.cpp
    void ResetBoard();
    void SaveOwned();
    void RestoreOwned();
    void PictureRunes_Click(int index);
    void PictureRunes_RightPress(int index);
    // The tile the right button marked last, and whether it was owned before.
    int rightPressedRune = 0;
    bool rightPressedOwned = false;
    void CommandClear_Click();
    void Commandrevert_Click();
    // The tile of a rune number, or nullptr for a number beyond the board (a damaged file's).
    RuneTile *tile(qint64 rune) const;
    // The tiles' two states; every writer sets Appearance and BackColor together. A number
    // beyond the board marks nothing.
    void markOwned(qint64 rune);
    void markNotOwned(qint64 rune);
    // Ticks or unticks the nine item-type boxes and the six socket boxes.
    void setAllFilters(bool ticked);
    // Copies the board into ownedState unless it already holds the player's set.
    void keepOwnedSet();

    // Search: search/search.cpp
    void CommandSearch_Click();
    void Fillrunewordlist();
    void mnuSearch_Click();

    // Runeword display: display/display.cpp
    void List1_Click();
    void SetCurrentRuneword();
    void SetCurrentRuneword(const QString &entry);
    void ShowItemTypes();
    void ShowSockets();
    // The two outcomes of SetCurrentRuneword: an empty display, or the current row's runes
    // marked on the board and named in TextRunes.
    void clearRunewordDisplay();
    void showRunes();

    // Save slots: saves/saves.cpp
    void FillMenu();
    void mnuload_Click(int slot);
    void mnuSave_Click(int slot);

    // Rune properties: runeinfo/frmruneinfo.cpp
    void mnuruneprop_Click();

    // About and help: about/
    void mnuHelpScreen_Click();
    void mnuAbout_Click();
    QPointer<frmhelp> helpWindow;

    // Find runewords: closest/findwindow.cpp
    void mnuFind_Click();
    QPointer<FindWindow> findWindow;

    // Game data: gamedatawin/gamedatawindow.cpp
    void mnuImport_Click();
    void mnuGameData_Click();
    // Takes in the game data of a data file or of text sources (their runewords.txt), keeping
    // the saves and the replaced file beside the data file. A refusal or a failure is told, and
    // leaves the file and the window as they were.
    void importGameData(const QString &source);
    // Puts the game data that came with the program back, keeping the saves.
    void restoreGameData();
    // Where Restore finds the shipped game data.
    QString shippedDataFile() const;
    // Asks for the file to import; a test puts its own chooser here.
    std::function<QString(QWidget *parent)> chooseImportFile;
    QPointer<GameDataWindow> gameDataWindow;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void createControls();
    void createBoard(QWidget *client);
    void createFilters(QWidget *client);
    void createMenus();
    void connectHandlers();
    // Appends every row's runewordName to List1, in the order the rows come.
    void addRunewordNames(Recordset &rows);
    // Puts data in the data file's place and shows it, telling progress of each step; false
    // when it was refused (told).
    bool replaceGameData(GameData &data, const QString &schema, const QString &source,
                         GameDataProgress &progress);
};

// A rune's base colour on the board, as a colour value.
int baseColour(int rune);

// Finds the data file, brings the program's fonts, creates the main window and runs its
// start-up, as the program starts. A failure is shown in its message box and leaves no window.
std::unique_ptr<Form1> startProgram(const std::function<DataLocation()> &locate);

// The item-type boxes in the order the window shows them, each with the column it stands for.
struct ItemType {
    ItemTypeIndex type;
    const char *caption;
    const char *boxName;
    QCheckBox *Form1::*box;
    const char *column = itemTypeColumns[type];
};
inline const std::array<ItemType, 9> itemTypes{{
    {BodyArmor, "Body Armor", "CheckBodyArmor", &Form1::CheckBodyArmor},
    {Helm, "Helm", "CheckHelm", &Form1::CheckHelm},
    {Belt, "Belt", "CheckBelt", &Form1::CheckBelt},
    {Boots, "Boots", "CheckBoots", &Form1::CheckBoots},
    {Gloves, "Gloves", "CheckGloves", &Form1::CheckGloves},
    {Shield, "Shield", "CheckShield", &Form1::CheckShield},
    {MeleeWeapon, "Melee Weapon", "CheckMeleeWeapon", &Form1::CheckMeleeWeapon},
    {MissileWeapon, "Missile Weapon", "CheckmissileWeapon", &Form1::CheckmissileWeapon},
    {Other, "Other", "Checkother", &Form1::Checkother},
}};
