#include "about/frmabout.h"
#include "about/frmhelp.h"
#include "mainwindow/form1.h"
#include "mainwindow/programfont.h"
#include "mainwindow/runetile.h"
#include "runeinfo/frmruneinfo.h"
#include "saves/dialog.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <utility>

namespace {

// What a fresh Debian 12 desktop has: the DejaVu fonts that Qt's packages pull in, and
// fontconfig's own rules. Anything else the windows need, the program must bring.
void limitFontsToDebianDefaults(const QString &folder)
{
    QDir(folder).mkpath(QStringLiteral("fonts"));
    for (const char *name :
         {"Sans", "Sans-Bold", "SansMono", "SansMono-Bold", "Serif", "Serif-Bold"})
        QFile::link(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVu%1.ttf")
                        .arg(QLatin1String(name)),
                    QStringLiteral("%1/fonts/DejaVu%2.ttf").arg(folder, QLatin1String(name)));
    QFile config(folder + QStringLiteral("/fonts.conf"));
    if (!config.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(config.fileName()));
    config.write(QStringLiteral("<?xml version=\"1.0\"?>\n<fontconfig>\n"
                                "  <dir>%1/fonts</dir>\n  <cachedir>%1/cache</cachedir>\n"
                                "  <include ignore_missing=\"yes\">/etc/fonts/conf.d</include>\n"
                                "</fontconfig>\n")
                     .arg(folder)
                     .toUtf8());
    config.close();
    qputenv("FONTCONFIG_FILE", QFile::encodeName(config.fileName()));
    // The user's own fonts folders would add to the set.
    qputenv("HOME", QFile::encodeName(folder));
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder + QStringLiteral("/data")));
}

// The captions of a window's labels, check boxes, buttons and frames that do not fit their
// controls, one line each. A control that reaches past the window's edge has only the part
// inside to show.
QString clippedCaptions(QWidget *window)
{
    QStringList clipped;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        const auto visible = [&](QRect area) {
            const QRect inWindow(control->mapTo(window, area.topLeft()), area.size());
            return inWindow.intersected(window->rect()).size();
        };
        const QFontMetrics metrics = control->fontMetrics();
        QString text;
        QSize room, needed;
        if (auto *label = qobject_cast<QLabel *>(control)) {
            text = label->text();
            room = visible(label->contentsRect());
            const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
            needed = metrics.boundingRect(QRect(0, 0, room.width(), 10000), flags, text).size();
        } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
            QStyleOptionButton option;
            option.initFrom(button);
            text = option.text = button->text();
            room = visible(button->style()->subElementRect(qobject_cast<QCheckBox *>(button)
                                                               ? QStyle::SE_CheckBoxContents
                                                               : QStyle::SE_PushButtonContents,
                                                           &option, button));
            needed = {metrics.horizontalAdvance(text), metrics.height()};
        } else if (auto *frame = qobject_cast<QGroupBox *>(control)) {
            // The caption stands on the top line, 6 pixels in, with 2 pixels either side.
            text = frame->title();
            room = frame->size();
            needed = {6 + metrics.horizontalAdvance(text) + 4, 0};
        }
        if (control->isVisibleTo(window) && !text.isEmpty() &&
            (needed.width() > room.width() || needed.height() > room.height()))
            clipped << QStringLiteral("%1 \"%2\": needs %3 pixels, has %4")
                           .arg(control->objectName(), text)
                           .arg(needed.width())
                           .arg(room.width());
    }
    return clipped.join(QLatin1Char('\n'));
}

// Every text a window shows of its own, in the order its controls were made: the title, the
// captions of labels, buttons, frames and menus, tool tips and fixed text boxes.
QStringList textsOf(const QWidget *window)
{
    QStringList texts{window->windowTitle()};
    for (const QObject *child : window->findChildren<QObject *>()) {
        QString text;
        if (const auto *label = qobject_cast<const QLabel *>(child))
            text = label->text();
        else if (const auto *button = qobject_cast<const QAbstractButton *>(child))
            text = button->text();
        else if (const auto *frame = qobject_cast<const QGroupBox *>(child))
            text = frame->title();
        else if (const auto *box = qobject_cast<const QPlainTextEdit *>(child))
            text = box->toPlainText();
        else if (const auto *action = qobject_cast<const QAction *>(child))
            text = action->text();
        if (!text.isEmpty())
            texts << text;
        const auto *widget = qobject_cast<const QWidget *>(child);
        if (widget && !widget->toolTip().isEmpty())
            texts << QStringLiteral("tip: ") + widget->toolTip();
    }
    return texts;
}

} // namespace

class TestWindows : public QObject {
    Q_OBJECT
    FailureRecorder failures;
    TestFolder folder;
    std::unique_ptr<Form1> form;

private Q_SLOTS:
    void initTestCase()
    {
        loadProgramFonts(QStringLiteral(TESSALY_PROGRAM_FOLDER));
        form = startForm(folder.path());
    }
    void cleanup() { QCOMPARE(std::exchange(failures.texts, {}), QStringList()); }
    void runeWindow();
    void fixedTexts_data();
    void fixedTexts();
    void helpKeepsProgramRunning_data();
    void helpKeepsProgramRunning();
    void everyCaptionFitsInTheProgramsFont();
};

void TestWindows::runeWindow()
{
    // What the window shows for rune 7 (the name, the effects, whether the picture is the
    // tile's), then the SQL it ran. step runs while the window is up and closes it.
    form->mnuRunename->Tag = QStringLiteral("7");
    const auto shown = [this](const std::function<void(FrmRuneInfo *)> &step) {
        QStringList seen, trace;
        form->runeDb->setTraceHook([&](const QString &sql) { trace << sql; });
        whenModal<FrmRuneInfo>([&](FrmRuneInfo *window) {
            seen << window->Label4->text() << window->Textability1->toPlainText()
                 << window->Textability2->toPlainText() << window->Textability3->toPlainText()
                 << QVariant(window->Picture1->pixmap().toImage() ==
                             form->PictureRunes[7]->Picture().toImage())
                        .toString();
            step(window);
        });
        form->mnuruneprop->trigger();
        form->runeDb->setTraceHook(nullptr);
        return seen + trace;
    };
    const auto close = [](FrmRuneInfo *window) { window->close(); };
    // The name and the effects as the file holds them; the effects show as lines, without the
    // stored line ends, and rune 7 has one of two lines.
    QStringList expected = folder.column(
        QStringLiteral("SELECT replace(value, char(13, 10), char(10)) FROM runes, json_each("
                       "json_array('Rune ' || Runename, Runefunction1, Runefunction2, "
                       "Runefunction3)) WHERE Runenumber = 7"));
    QVERIFY(expected[3].contains(QLatin1Char('\n')));
    expected << QStringLiteral("true")
             << QStringLiteral("Select * from runes Where runes.Runenumber = 7");
    QCOMPARE(shown(close), expected);
    shown([](FrmRuneInfo *window) {
        QTest::keyClicks(window->Textability1, QStringLiteral("typed"));
        // Showing must not close it; losing activation to another window must.
        QCoreApplication::processEvents();
        QVERIFY(window->isVisible());
        auto *other = new QWidget(window, Qt::Window);
        other->show();
        other->activateWindow();
        if (!QTest::qWaitFor([window] { return !window->isVisible(); }))
            QVERIFY(!window->close()); // it stayed open
    });
    QCOMPARE(shown(close), expected); // nothing typed is kept
}

void TestWindows::fixedTexts_data()
{
    // The texts in the order textsOf() finds them, joined by "|".
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("texts");
    QString slots[2];
    for (int k = 1; k <= 10; ++k) {
        slots[0] += QStringLiteral("save%1|").arg(k);
        slots[1] += (k < 10 ? QStringLiteral("Save%1|") : QStringLiteral("save%1|")).arg(k);
    }
    QTest::newRow("main window")
        << "Form1"
        << QStringLiteral("Tessaly|Runes|revert|tip: Reverts to the last loaded or saved state|"
                          "Item Types|Body Armor|Helm|Belt|Boots|Gloves|Shield|Melee Weapon|"
                          "Missile Weapon|Other|number of sockets|1 socket|2 sockets|3 sockets|"
                          "4 sockets|5 sockets|6 sockets|Search|tip: errr, duh?|Clear|tip: "
                          "clears all runes and search parameters|&File|Load|") +
               slots[0] + QStringLiteral("save|") + slots[1] +
               QStringLiteral("Exit|&Runes|Closest runewords|&Help|Help|About|Runename|search "
                              "runewords containing|"
                              "show rune properties");
    QTest::newRow("save dialog") << "Dialog"
                                 << "Dialog Caption|OK|Cancel|Save name : ";
    QTest::newRow("rune window")
        << "FrmRuneInfo"
        << "Form2|Weapons & Gloves|Helm, Wands, Staves & Boots|Shields, Armors & Belts|Rune ";
    QTest::newRow("about box") << "frmAbout"
                               << "About Tessaly|OK|Tessaly by Quillane|Version 1.3.2";
    QTest::newRow("help window")
        << "frmhelp"
        << "Help on Tessaly|OK|how to use : \n- Select all the runes you character(s) have and "
           "press search to see what runewords you can make\n- Load the 'all' save and select "
           "the item type and number of sockets you want to find for excample which 4 socketed "
           "armors there are.\n- Combine the two and find out which runeword you can make of "
           "those 4 socketed armors. \n\nfound a bug?\n- mail tessaly@example.org\n\nwant "
           "more features\n- mail tessaly@example.org\n\nwant to donate money\n- give it to "
           "poor old veldrane :)\n";
}

void TestWindows::fixedTexts()
{
    QFETCH(QString, window);
    QFETCH(QString, texts);
    // Made afresh, before anything fills them from the data file.
    std::unique_ptr<QWidget> made;
    if (window == QLatin1String("Form1"))
        made = std::make_unique<Form1>(folder.path());
    else if (window == QLatin1String("Dialog"))
        made = std::make_unique<Dialog>(form.get());
    else if (window == QLatin1String("FrmRuneInfo"))
        made = std::make_unique<FrmRuneInfo>(form.get());
    else if (window == QLatin1String("frmAbout"))
        made = std::make_unique<frmAbout>(form.get());
    else
        made = std::make_unique<frmhelp>();
    QCOMPARE(textsOf(made.get()).join(QLatin1Char('|')), texts);
}

void TestWindows::helpKeepsProgramRunning_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Escape") << int(Qt::Key_Escape);
}

void TestWindows::helpKeepsProgramRunning()
{
    QFETCH(int, key);
    // One help window, however often it is asked for.
    form->show();
    form->mnuHelpScreen->trigger();
    const QPointer<frmhelp> help = form->helpWindow;
    form->mnuHelpScreen->trigger();
    QCOMPARE(form->helpWindow, help);
    QVERIFY(QTest::qWaitForWindowActive(help));
    // Closing the main window must not end the event loop; the key in the help window then must.
    bool helpOpen = false;
    QTimer::singleShot(0, form.get(), [&] {
        form->close();
        QTimer::singleShot(0, form.get(), [&] {
            helpOpen = help && help->isVisible();
            if (helpOpen)
                QTest::keyClick(help->focusWidget(), Qt::Key(key));
        });
    });
    QObject guard; // should the loop not end
    QTimer::singleShot(20000, &guard, &QCoreApplication::quit);
    QApplication::exec();
    QVERIFY(helpOpen);
    QTRY_VERIFY(help.isNull());
}

void TestWindows::everyCaptionFitsInTheProgramsFont()
{
    // Not a look-alike the system happens to offer in its place.
    QCOMPARE(QFontInfo(form->font()).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(QFontInfo(form->Commandrevert->font()).family(), QStringLiteral("Liberation Serif"));
    frmAbout about(form.get());
    Dialog dialog(form.get());
    for (QWidget *window : QList<QWidget *>{form.get(), &about, &dialog}) {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(clippedCaptions(window), QString());
    }
    // The rune window with each rune's name in turn.
    for (int k = 1; k <= 46; ++k) {
        QString clipped = QStringLiteral("not shown");
        whenModal<FrmRuneInfo>([&](FrmRuneInfo *window) {
            clipped = clippedCaptions(window);
            window->close();
        });
        form->mnuRunename->Tag = QString::number(k);
        form->mnuruneprop->trigger();
        QCOMPARE(clipped, QString());
    }
    // The help text fits without a scroll bar.
    form->mnuHelpScreen->trigger();
    frmhelp *help = form->helpWindow;
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QTRY_COMPARE(help->Text1->verticalScrollBar()->maximum(), 0);
    QCOMPARE(clippedCaptions(help), QString());
}

int main(int argc, char **argv)
{
    QTemporaryDir fonts;
    limitFontsToDebianDefaults(fonts.path());
    QApplication app(argc, argv);
    TestWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_windows.moc"
