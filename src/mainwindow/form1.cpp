#include "form1.h"

#include "about/frmhelp.h"
#include "data/failure.h"
#include "fatal.h"
#include "frame.h"
#include "listbox.h"
#include "programfont.h"
#include "programicon.h"
#include "runepictures.h"
#include "runetile.h"
#include "twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

Form1::Form1(QString applicationFolder, QWidget *parent)
    : QMainWindow(parent), appPath(std::move(applicationFolder)),
      dataFile(appPath + QDir::separator() + QStringLiteral("newRunewords.mdb")),
      picturesFolder(appPath)
{
    setWindowTitle(QStringLiteral("Tessaly"));
    setWindowIcon(programIcon());
    setFont(programFont());
    // Fixed frame with minimise and close, but no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    createControls();
    createMenus();
    connectHandlers();
    // Not resizable on any platform: the window keeps the size its menu bar and client need.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

Form1::~Form1() = default;

namespace {

QCheckBox *checkBox(const QString &name, const QString &caption, QWidget *parent,
                    const QRect &geometry)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setGeometry(geometry);
    box->setChecked(true);
    return box;
}

// The picture in that file, to be shown at 1/scale of its size. Throws Failure naming the file.
QPixmap runePicture(const QString &path, int scale)
{
    QImageReader reader(path);
    QImage picture = reader.read();
    if (picture.isNull())
        throw Failure(QStringLiteral("load the rune picture"), QDir::toNativeSeparators(path),
                      reader.errorString());
    picture.setDevicePixelRatio(scale);
    return QPixmap::fromImage(picture);
}

} // namespace

void Form1::createControls()
{
    auto *client = new QWidget(this);
    client->setFixedSize(twips(8955), twips(7275));
    setCentralWidget(client);
    // Made in tab order: the board, the runeword's texts, the filters, the list, the buttons.
    createBoard(client);

    TextRunes = new QLineEdit(client);
    TextRunes->setObjectName(QStringLiteral("TextRunes"));
    TextRunes->setGeometry(twipsRect(120, 4080, 6015, 375));
    TextRunes->setReadOnly(true);
    TextRunes->setAccessibleName(QStringLiteral("Runes of the runeword"));

    Text1 = new QPlainTextEdit(client);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(120, 4560, 6015, 2655));
    Text1->setReadOnly(true);
    Text1->setAccessibleName(QStringLiteral("Runeword text"));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    createFilters(client);

    List1 = new ListBox(client);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(twipsRect(6240, 4080, 2655, 2595));
    List1->setAccessibleName(QStringLiteral("Runewords"));

    CommandSearch = new QPushButton(QStringLiteral("Search"), client);
    CommandSearch->setObjectName(QStringLiteral("CommandSearch"));
    CommandSearch->setGeometry(twipsRect(6360, 6840, 1215, 375));
    CommandSearch->setToolTip(QStringLiteral("errr, duh?"));

    CommandClear = new QPushButton(QStringLiteral("Clear"), client);
    CommandClear->setObjectName(QStringLiteral("CommandClear"));
    CommandClear->setGeometry(twipsRect(7680, 6840, 1215, 375));
    CommandClear->setToolTip(QStringLiteral("clears all runes and search parameters"));
}

void Form1::createBoard(QWidget *client)
{
    Frame1 = new Frame(QStringLiteral("Runes"), client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipsRect(0, 0, 6135, 3975));
    for (int k = 1; k <= 46; ++k) {
        const int left = 120 + 600 * ((k - 1) % 10);
        const int top = 240 + 720 * ((k - 1) / 10);
        auto *tile = new RuneTile(k, Frame1);
        tile->setObjectName(QStringLiteral("PictureRunes%1").arg(k));
        // The first tile was drawn a little smaller; it keeps its size.
        tile->setGeometry(k == 1 ? twipsRect(left, top, 435, 420) : twipsRect(left, top, 465, 450));
        PictureRunes[size_t(k)] = tile;

        auto *label = new QLabel(Frame1);
        label->setObjectName(QStringLiteral("Label1_%1").arg(k - 1));
        // The rune's name as the file holds it, never read as markup.
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        label->setGeometry(twipsRect(left, 720 + 720 * ((k - 1) / 10), 495, 255));
        Label1[size_t(k - 1)] = label;
        tile->setLabel(label);
    }
    Commandrevert = new QPushButton(QStringLiteral("revert"), Frame1);
    Commandrevert->setObjectName(QStringLiteral("Commandrevert"));
    Commandrevert->setGeometry(twipsRect(4920, 3120, 1095, 495));
    Commandrevert->setFont(programSerifFont());
    Commandrevert->setToolTip(QStringLiteral("Reverts to the last loaded or saved state"));
}

void Form1::createFilters(QWidget *client)
{
    Frame2 = new Frame(QStringLiteral("Item Types"), client);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(twipsRect(6240, 0, 2655, 2655));
    // Six short captions, then after a gap the three long ones in wider boxes.
    for (int i = 0; i < 9; ++i) {
        const ItemType &type = itemTypes[size_t(i)];
        const QRect place = i < 6 ? twipsRect(120, 240 + 240 * i, 1215, 255)
                                  : twipsRect(120, 1800 + 240 * (i - 6), 1575, 255);
        this->*type.box =
            checkBox(QLatin1String(type.boxName), QLatin1String(type.caption), Frame2, place);
    }

    Frame3 = new Frame(QStringLiteral("number of sockets"), client);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    Frame3->setGeometry(twipsRect(6240, 2640, 2655, 1335));
    for (int i = 0; i < 6; ++i) {
        const QString caption =
            i == 0 ? QStringLiteral("1 socket") : QStringLiteral("%1 sockets").arg(i + 1);
        const int left = i < 3 ? 120 : 1440;
        const int top = 240 + 360 * (i % 3);
        const int width = i == 0 ? 975 : 1095;
        Checksockets[size_t(i)] = checkBox(QStringLiteral("Checksockets%1").arg(i), caption, Frame3,
                                           twipsRect(left, top, width, 255));
    }
}

void Form1::createMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnumainload = mnuFile->addMenu(QStringLiteral("Load"));
    for (int k = 1; k <= 10; ++k)
        mnuload[size_t(k)] = mnumainload->addAction(QStringLiteral("save%1").arg(k));
    mnuMainSave = mnuFile->addMenu(QStringLiteral("save"));
    for (int k = 1; k <= 10; ++k)
        mnuSave[size_t(k)] = mnuMainSave->addAction(k < 10 ? QStringLiteral("Save%1").arg(k)
                                                           : QStringLiteral("save10"));
    // The tenth slot holds the full set the help text refers to; it can be loaded, never saved.
    mnuSave[10]->setEnabled(false);
    mnuExit = mnuFile->addAction(QStringLiteral("Exit"));

    mnuRunes = menuBar()->addMenu(QStringLiteral("&Runes"));
    mnuFind = mnuRunes->addAction(QStringLiteral("Find runewords..."));
    mnuFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    mnuRunes->addSeparator();
    mnuImport = mnuRunes->addAction(QStringLiteral("Import game data..."));
    mnuGameData = mnuRunes->addAction(QStringLiteral("Game data..."));

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelpScreen = mnuHelp->addAction(QStringLiteral("Help"));
    mnuAbout = mnuHelp->addAction(QStringLiteral("About"));

    mnuRunename = new TaggedMenu(QStringLiteral("Runename"), this);
    mnuSearch = mnuRunename->addAction(QStringLiteral("search runewords containing"));
    mnuruneprop = mnuRunename->addAction(QStringLiteral("show rune properties"));
}

void Form1::connectHandlers()
{
    for (int k = 1; k <= 46; ++k) {
        connect(PictureRunes[size_t(k)], &RuneTile::clicked, this,
                guarded<int>([this](int index) { PictureRunes_Click(index); }));
        connect(PictureRunes[size_t(k)], &RuneTile::rightPressed, this,
                guarded<int>([this](int index) { PictureRunes_RightPress(index); }));
    }
    connect(CommandClear, &QPushButton::clicked, this, guarded([this] { CommandClear_Click(); }));
    connect(Commandrevert, &QPushButton::clicked, this, guarded([this] { Commandrevert_Click(); }));
    connect(CommandSearch, &QPushButton::clicked, this, guarded([this] { CommandSearch_Click(); }));
    connect(List1, &ListBox::itemSelectionChanged, this, guarded([this] { List1_Click(); }));
    for (int k = 1; k <= 10; ++k) {
        connect(mnuload[size_t(k)], &QAction::triggered, this,
                guarded([this, k] { mnuload_Click(k); }));
        connect(mnuSave[size_t(k)], &QAction::triggered, this,
                guarded([this, k] { mnuSave_Click(k); }));
    }
    connect(mnuExit, &QAction::triggered, this, guarded([this] { mnuExit_Click(); }));
    connect(mnuHelpScreen, &QAction::triggered, this, guarded([this] { mnuHelpScreen_Click(); }));
    connect(mnuAbout, &QAction::triggered, this, guarded([this] { mnuAbout_Click(); }));
    connect(mnuFind, &QAction::triggered, this, guarded([this] { mnuFind_Click(); }));
    connect(mnuImport, &QAction::triggered, this, guarded([this] { mnuImport_Click(); }));
    connect(mnuGameData, &QAction::triggered, this, guarded([this] { mnuGameData_Click(); }));
    connect(mnuSearch, &QAction::triggered, this, guarded([this] { mnuSearch_Click(); }));
    connect(mnuruneprop, &QAction::triggered, this, guarded([this] { mnuruneprop_Click(); }));
}

// Clear is the window's keyboard button: Enter clicks it wherever the focus is, except on a
// push button, which takes Enter itself. Enter reaches the window only when the focused control
// did not use it.
void Form1::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    auto *button = qobject_cast<QPushButton *>(QApplication::focusWidget());
    if (button && (button == CommandSearch || button == CommandClear || button == Commandrevert))
        button->click();
    else
        CommandClear->click();
}

void Form1::Form_Load()
{
    ownedState.fill(0);
    runeDb = std::make_unique<Database>(dataFile);
    FillMenu();
    Fillrunewordlist();
    Text1->setPlainText(QString());

    currentRecordset = runeDb->openRecordset(QStringLiteral("runesQuery"));
    currentRecordset->moveFirst();
    const QString pictures = picturesFolder + QStringLiteral("/CRunes/");
    // The large pictures are read only where a screen draws at more than one pixel a point.
    // Start-up within 1.6 times the empty window: reading all 46 measured 1.7 to 2.4 ms more.
    const QList<QScreen *> screens = QGuiApplication::screens();
    const bool sharp = std::any_of(screens.begin(), screens.end(), [](const QScreen *screen) {
        return screen->devicePixelRatio() > 1;
    });
    for (int k = 1; k <= 46; ++k) {
        const QPixmap picture = runePicture(pictures + runePictureName(k), 1);
        // The large picture may be missing: a folder made before there were any still works.
        const QString large = pictures + runePictureName(k, 2);
        PictureRunes[size_t(k)]->setPicture(
            picture, sharp && QFileInfo::exists(large) ? runePicture(large, 2) : QPixmap());
        const QVariant name = currentRecordset->field(QStringLiteral("Runename"));
        if (name.isNull())
            throw Failure(QStringLiteral("read the rune names"),
                          QStringLiteral("runesQuery, row %1\nin %2").arg(k).arg(runeDb->path()),
                          QStringLiteral("The rune has no name (Runename is Null)."));
        Label1[size_t(k - 1)]->setText(name.toString());
        currentRecordset->moveNext();
    }
    currentRecordset->close();
    ResetBoard();
}

void Form1::mnuExit_Click()
{
    close();
}

std::unique_ptr<Form1> startProgram(const std::function<DataLocation()> &locate)
{
    try {
        const DataLocation location = locate();
        loadProgramFonts(location.shippedFolder);
        auto form = std::make_unique<Form1>();
        form->dataFile = location.dataFile;
        form->picturesFolder = location.shippedFolder;
        form->Form_Load();
        return form;
    } catch (const Failure &failure) {
        showFailure(failure);
        return nullptr;
    }
}
