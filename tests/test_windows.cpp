#include "about/frmabout.h"
#include "about/frmhelp.h"
#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"
#include "runeinfo/frmruneinfo.h"
#include "saves/dialog.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <functional>
#include <utility>

class TestWindows : public QObject {
    Q_OBJECT
    FailureRecorder failures;
    TestFolder folder;
    std::unique_ptr<Form1> form;

private Q_SLOTS:
    void initTestCase() { form = startForm(folder.path()); }
    void cleanup() { QCOMPARE(std::exchange(failures.texts, {}), QStringList()); }
    void runeWindow();
    void fixedTexts_data();
    void fixedTexts();
    void helpKeepsProgramRunning_data();
    void helpKeepsProgramRunning();
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

namespace {

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

QTEST_MAIN(TestWindows)
#include "test_windows.moc"
