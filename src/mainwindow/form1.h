#pragma once

#include "data/database.h"
#include "data/querydef.h"
#include "data/recordset.h"
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
    // The data file and the folder of CRunes/: beside the program unless main() chose the
    // player's own copy (mainwindow/datalocation.h).
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
    void tickAllFilters();
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
};

// A rune's base colour on the board, as a colour value.
int baseColour(int rune);

// Finds the data file, brings the program's fonts, creates the main window and runs its
// start-up, as the program starts. A failure is shown in its message box and leaves no window.
std::unique_ptr<Form1> startProgram(const std::function<DataLocation()> &locate);

// The nine item types in the order of the window's boxes: the data file's column, the box's
// caption, name and member. Each operation walks them in its own order, below.
struct ItemType {
    const char *column;
    const char *caption;
    const char *boxName;
    QCheckBox *Form1::*box;
};
enum ItemTypeIndex {
    BodyArmor,
    Helm,
    Belt,
    Boots,
    Gloves,
    Shield,
    MeleeWeapon,
    MissileWeapon,
    Other
};
inline const std::array<ItemType, 9> itemTypes{{
    {"armor", "Body Armor", "CheckBodyArmor", &Form1::CheckBodyArmor},
    {"helm", "Helm", "CheckHelm", &Form1::CheckHelm},
    {"belt", "Belt", "CheckBelt", &Form1::CheckBelt},
    {"boots", "Boots", "CheckBoots", &Form1::CheckBoots},
    {"gloves", "Gloves", "CheckGloves", &Form1::CheckGloves},
    {"shield", "Shield", "CheckShield", &Form1::CheckShield},
    {"meleeweapon", "Melee Weapon", "CheckMeleeWeapon", &Form1::CheckMeleeWeapon},
    {"missileweapon", "Missile Weapon", "CheckmissileWeapon", &Form1::CheckmissileWeapon},
    {"Other", "Other", "Checkother", &Form1::Checkother},
}};
// The search joins its pieces in this order, the display reads the columns in this one, and
// Clear, revert and the one-rune search tick the boxes in the last.
inline constexpr std::array<ItemTypeIndex, 9> searchOrder{
    BodyArmor, Helm, Belt, Boots, Shield, Gloves, MeleeWeapon, MissileWeapon, Other};
inline constexpr std::array<ItemTypeIndex, 9> displayOrder{
    Helm, Boots, Belt, Gloves, BodyArmor, Shield, MeleeWeapon, MissileWeapon, Other};
inline constexpr std::array<ItemTypeIndex, 9> tickOrder{
    Belt, BodyArmor, Boots, Gloves, Helm, MeleeWeapon, MissileWeapon, Shield, Other};
