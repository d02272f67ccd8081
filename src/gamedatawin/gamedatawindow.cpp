#include "gamedatawindow.h"

#include "about/frmhelp.h"
#include "closest/findwindow.h"
#include "datafile.h"
#include "mainwindow/fatal.h"
#include "mainwindow/form1.h"
#include "rebuild.h"
#include "runeinfo/frmruneinfo.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QUrl>

#include <filesystem>
#include <system_error>

namespace {

const QString beforeImport = QStringLiteral(".before-import");
// In a portable folder the player's file is the shipped one: its game data is kept here at
// the first import, for Restore.
const QString shippedCopy = QStringLiteral(".shipped");

QLabel *plainLabel(QWidget *parent, const QString &name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString chooseFile(QWidget *parent)
{
    return QFileDialog::getOpenFileName(
        parent, QStringLiteral("Import game data"), QString(),
        QStringLiteral("Tessaly data files (*.mdb);;Text sources (runewords.txt);;All files (*)"));
}

} // namespace

GameDataWindow::GameDataWindow(Form1 *form)
    : QDialog(form, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowCloseButtonHint),
      form_(form)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Game data"));
    auto *grid = new QGridLayout(this);
    const QStringList captions{QStringLiteral("Data file:"), QStringLiteral("Game data:"),
                               QStringLiteral("Imported:")};
    QLabel **values[] = {&lblDataFile, &lblGameData, &lblImported};
    const char *names[] = {"lblDataFile", "lblGameData", "lblImported"};
    for (int row = 0; row < 3; ++row) {
        grid->addWidget(new QLabel(captions[row], this), row, 0, Qt::AlignTop);
        *values[row] = plainLabel(this, QLatin1String(names[row]));
        grid->addWidget(*values[row], row, 1);
    }
    cmdShowFolder = new QPushButton(QStringLiteral("Show in folder"), this);
    grid->addWidget(cmdShowFolder, 0, 2);
    auto *buttons = new QHBoxLayout;
    cmdImport = new QPushButton(QStringLiteral("Import..."), this);
    cmdRestore =
        new QPushButton(QStringLiteral("Restore the game data that came with the program"), this);
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    buttons->addWidget(cmdImport);
    buttons->addWidget(cmdRestore);
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    grid->addLayout(buttons, 3, 0, 1, 3);
    grid->setColumnStretch(1, 1);

    connect(cmdShowFolder, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(form_->dataFile).path()));
    });
    connect(cmdImport, &QPushButton::clicked, this, guarded([this] { form_->mnuImport_Click(); }));
    connect(cmdRestore, &QPushButton::clicked, this, guarded([this] { form_->restoreGameData(); }));
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    refresh();
}

void GameDataWindow::refresh()
{
    lblDataFile->setText(native(QFileInfo(form_->dataFile).absoluteFilePath()));
    GameDataInfo info;
    try {
        info = gameDataInfo(form_->dataFile);
    } catch (const std::exception &error) {
        lblGameData->setText(QString::fromUtf8(error.what()));
    }
    const QString name = !info.name.isEmpty()      ? info.name
                         : info.imported.isEmpty() ? QStringLiteral("Tessaly's own game data")
                                                   : QStringLiteral("(no name)");
    lblGameData->setText(QStringLiteral("%1, version %2").arg(name).arg(info.version));
    const QDateTime when = QDateTime::fromString(info.imported, Qt::ISODate);
    lblImported->setText(
        info.imported.isEmpty()
            ? QStringLiteral("no")
            : QStringLiteral("yes, on %1")
                  .arg(QLocale().toString(when.toLocalTime(), QLocale::ShortFormat)));
    cmdRestore->setEnabled(!info.imported.isEmpty());
}

// How far an import or a restore is, shown once it has taken half a second: one of 100,000
// runewords takes seconds. It has no cancel button, as a step once begun is finished; each
// step's setValue also lets the shown dialog paint.
class GameDataProgress {
public:
    // The steps: the source's check, the three of the rebuild, the main window's new start.
    static constexpr int steps = 5;

    GameDataProgress(QWidget *parent, const QString &title)
        : dialog_(QString(), QString(), 0, steps + 1, parent)
    {
        dialog_.setObjectName(QStringLiteral("importProgress"));
        dialog_.setWindowTitle(title);
        dialog_.setWindowModality(Qt::WindowModal);
        dialog_.setMinimumDuration(500);
        dialog_.setValue(0);
    }
    void step(const QString &label)
    {
        dialog_.setLabelText(label);
        // Below the maximum, at which the dialog would go before the last step is over.
        dialog_.setValue(dialog_.value() + 1);
    }
    void step(RebuildStep now)
    {
        static const char *const labels[] = {"Building the new data file...",
                                             "Checking the new data file...",
                                             "Putting the new data file in place..."};
        step(QLatin1String(labels[int(now)]));
    }
    // Before any message, and at the end.
    void done() { dialog_.reset(); }

private:
    QProgressDialog dialog_;
};

// Form1's game data operations

QString Form1::shippedDataFile() const
{
    const QString beside = QDir(picturesFolder).filePath(QStringLiteral("newRunewords.mdb"));
    return QFileInfo(beside) == QFileInfo(dataFile) ? dataFile + shippedCopy : beside;
}

void Form1::mnuGameData_Click()
{
    if (!gameDataWindow)
        gameDataWindow = new GameDataWindow(this);
    gameDataWindow->show();
    gameDataWindow->raise();
    gameDataWindow->activateWindow();
}

void Form1::mnuImport_Click()
{
    const QString source = (chooseImportFile ? chooseImportFile : chooseFile)(this);
    if (!source.isEmpty())
        importGameData(source);
}

void Form1::importGameData(const QString &source)
{
    const QString shown = native(source);
    GameDataProgress progress(this, QStringLiteral("Import game data"));
    progress.step(QStringLiteral("Checking %1...").arg(QFileInfo(source).fileName()));
    GameDataSource read = readGameDataSource(source);
    if (!read.problems.isEmpty()) {
        progress.done();
        showNotice(this, QStringLiteral("The game data in\n%1\nwas not imported:\n%2\n\nYour data "
                                        "file was left as it was.")
                             .arg(shown, read.problems.join(QLatin1Char('\n'))));
        return;
    }
    GameDataInfo current;
    try {
        current = gameDataInfo(dataFile);
    } catch (const std::exception &) {
        // The rebuild reads the file again and reports what is wrong with it.
    }
    // The first import in a portable folder keeps the shipped game data for Restore.
    const QString shipped = shippedDataFile();
    if (shipped == dataFile + shippedCopy && current.imported.isEmpty()) {
        std::error_code error;
        copyReplacing(dataFile, shipped, error);
        if (error) {
            progress.done();
            showNotice(this, QStringLiteral("The game data in\n%1\nwas not imported: the game "
                                            "data that came with the program could not be kept "
                                            "as\n%2\n%3\n\nYour data file was left as it was.")
                                 .arg(shown, native(shipped),
                                      QString::fromLocal8Bit(error.message().c_str())));
            return;
        }
    }
    read.data.imported = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    if (read.data.name.isEmpty()) {
        const QFileInfo file(source);
        read.data.name = file.suffix().compare(QStringLiteral("txt"), Qt::CaseInsensitive) == 0
                             ? QFileInfo(file.path()).fileName()
                             : file.completeBaseName();
    }
    if (replaceGameData(read.data, read.schema, shown, progress))
        showNotice(this, QStringLiteral("The game data of\n%1\nis in use now. Your saves were "
                                        "kept; the data file it replaced is kept as\n%2")
                             .arg(shown, native(dataFile + beforeImport)));
}

void Form1::restoreGameData()
{
    const QString shipped = shippedDataFile();
    GameDataProgress progress(this, QStringLiteral("Restore game data"));
    progress.step(QStringLiteral("Checking %1...").arg(QFileInfo(shipped).fileName()));
    GameDataSource read = readGameDataSource(shipped);
    if (!read.problems.isEmpty()) {
        progress.done();
        showNotice(this, QStringLiteral("The game data that came with the program could not be "
                                        "restored:\n%1\n\nYour data file was left as it was.")
                             .arg(read.problems.join(QLatin1Char('\n'))));
        return;
    }
    read.data.imported.clear();
    replaceGameData(read.data, read.schema, native(shipped), progress);
}

bool Form1::replaceGameData(GameData &data, const QString &schema, const QString &source,
                            GameDataProgress &progress)
{
    // No connection may hold the file while another takes its place: Windows refuses that.
    currentRecordset.reset();
    currentQueryDef.reset();
    runeDb.reset();
    QStringList problems;
    try {
        problems = rebuildDataFile(data, schema, dataFile, true, beforeImport,
                                   [&progress](RebuildStep now) { progress.step(now); });
    } catch (const std::exception &error) {
        problems << QString::fromUtf8(error.what());
    }
    if (!problems.isEmpty()) {
        runeDb = std::make_unique<Database>(dataFile);
        progress.done();
        showNotice(this, QStringLiteral("The game data of\n%1\ncould not take the place of your "
                                        "data file's:\n%2\n\nYour data file was left as it was.")
                             .arg(source, problems.join(QLatin1Char('\n'))));
        return false;
    }
    // Every window that shows the old data goes; the main window starts afresh on the new.
    progress.step(QStringLiteral("Showing the new game data..."));
    for (FrmRuneInfo *window : findChildren<FrmRuneInfo *>())
        window->reject();
    if (findWindow)
        findWindow->close();
    if (helpWindow)
        helpWindow->close();
    Form_Load();
    setAllFilters(true);
    TextRunes->clear();
    if (gameDataWindow)
        gameDataWindow->refresh();
    progress.done();
    return true;
}
