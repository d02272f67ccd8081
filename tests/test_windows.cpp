#include "about/frmabout.h"
#include "about/frmhelp.h"
#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"
#include "runeinfo/frmruneinfo.h"
#include "testsupport.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// Waits for the window to close; closes it when it does not, so that the test goes on.
bool closes(QWidget *window)
{
    if (QTest::qWaitFor([window] { return !window->isVisible(); }))
        return true;
    window->close();
    return false;
}

QString effect(TestFolder &folder, int rune, int which)
{
    // The boxes hold lines, not the stored line ends.
    return folder
        .scalar(QStringLiteral("SELECT Runefunction%1 FROM runes WHERE Runenumber = %2")
                    .arg(which)
                    .arg(rune))
        .toString()
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

class TestWindows : public QObject {
    Q_OBJECT
    FailureRecorder failures;

private Q_SLOTS:
    void cleanup();
    void runeProperties_data();
    void runeProperties();
    void runePropertiesCloseOnDeactivation();
    void aboutBox_data();
    void aboutBox();
    void helpWindow_data();
    void helpWindow();
    void helpKeepsProgramRunning();
};

void TestWindows::cleanup()
{
    QCOMPARE(failures.texts, QStringList());
    failures.texts.clear();
    for (QWidget *window : QApplication::topLevelWidgets())
        if (qobject_cast<frmhelp *>(window))
            delete window;
}

void TestWindows::runeProperties_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("label");
    QTest::newRow("one digit, effect of two lines")
        << QStringLiteral("7") << QString() << QString();
    QTest::newRow("two digits") << QStringLiteral("23") << QString() << QString();
    QTest::newRow("Null name") << QStringLiteral("12")
                               << QStringLiteral(
                                      "UPDATE runes SET Runename = NULL WHERE Runenumber = 12")
                               << QStringLiteral("Rune ");
}

void TestWindows::runeProperties()
{
    QFETCH(QString, tag);
    QFETCH(QString, setup);
    QFETCH(QString, label);
    TestFolder folder;
    auto form = startForm(folder.path());
    // Changed after start-up, which refuses a rune without a name.
    if (!setup.isEmpty())
        folder.sql(setup);
    const int rune = tag.toInt();
    if (label.isEmpty())
        label =
            QStringLiteral("Rune ") +
            folder.scalar(QStringLiteral("SELECT Runename FROM runes WHERE Runenumber = ") + tag)
                .toString();
    QStringList trace;
    form->runeDb->setTraceHook([&](const QString &sql) { trace << sql; });
    form->mnuRunename->Tag = tag;

    QStringList shown;
    bool samePicture = false;
    whenModal<FrmRuneInfo>([&](FrmRuneInfo *window) {
        shown << window->windowTitle() << window->Label4->text()
              << window->Textability1->toPlainText() << window->Textability2->toPlainText()
              << window->Textability3->toPlainText();
        samePicture = window->Picture1->pixmap().toImage() ==
                      form->PictureRunes[size_t(rune)]->Picture().toImage();
        window->close();
    });
    form->mnuruneprop->trigger();

    QVERIFY(trace.contains(QStringLiteral("Select * from runes Where runes.Runenumber = ") + tag));
    QCOMPARE(shown, (QStringList{QStringLiteral("Form2"), label, effect(folder, rune, 1),
                                 effect(folder, rune, 2), effect(folder, rune, 3)}));
    QVERIFY(samePicture);
    if (rune == 7)
        QVERIFY(shown.last().contains(QLatin1Char('\n')));
}

void TestWindows::runePropertiesCloseOnDeactivation()
{
    TestFolder folder;
    auto form = startForm(folder.path());
    form->mnuRunename->Tag = QStringLiteral("7");

    bool closedOnDeactivation = false;
    whenModal<FrmRuneInfo>([&](FrmRuneInfo *window) {
        QTest::keyClicks(window->Textability1, QStringLiteral("typed"));
        // Showing must not close it; losing activation to another window must.
        QCoreApplication::processEvents();
        QVERIFY(window->isVisible());
        auto *other = new QWidget(window, Qt::Window);
        other->show();
        other->activateWindow();
        closedOnDeactivation = closes(window);
    });
    form->mnuruneprop_Click();
    QVERIFY(closedOnDeactivation);

    QString reopened;
    whenModal<FrmRuneInfo>([&](FrmRuneInfo *window) {
        reopened = window->Textability1->toPlainText();
        window->close();
    });
    form->mnuruneprop_Click();
    QCOMPARE(reopened, effect(folder, 7, 1));
}

void TestWindows::aboutBox_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Escape") << int(Qt::Key_Escape);
}

void TestWindows::aboutBox()
{
    QFETCH(int, key);
    TestFolder folder;
    auto form = startForm(folder.path());
    QStringList shown;
    bool closed = false;
    whenModal<frmAbout>([&](frmAbout *about) {
        shown << about->windowTitle() << about->lblTitle->text() << about->lblVersion->text();
        QTest::keyClick(about->focusWidget(), Qt::Key(key));
        closed = closes(about);
    });
    form->mnuAbout->trigger();
    QCOMPARE(shown,
             (QStringList{QStringLiteral("About Tessaly"), QStringLiteral("Tessaly by Quillane"),
                          QStringLiteral("Version 1.3.2")}));
    QVERIFY(closed);
}

void TestWindows::helpWindow_data()
{
    aboutBox_data();
}

void TestWindows::helpWindow()
{
    QFETCH(int, key);
    TestFolder folder;
    auto form = startForm(folder.path());
    form->mnuHelpScreen->trigger();
    form->mnuHelpScreen->trigger();

    int open = 0;
    for (QWidget *window : QApplication::topLevelWidgets())
        open += qobject_cast<frmhelp *>(window) ? 1 : 0;
    QCOMPARE(open, 1);
    QVERIFY(form->helpWindow && form->helpWindow->isVisible());

    const QStringList lines = form->helpWindow->Text1->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 14);
    QCOMPARE(lines.first(), QStringLiteral("how to use : "));
    QCOMPARE(lines.at(6), QStringLiteral("- mail tessaly@example.org"));
    QCOMPARE(lines.at(9), lines.at(6));
    QCOMPARE(lines.last(), QString());

    QVERIFY(QTest::qWaitForWindowActive(form->helpWindow));
    QTest::keyClick(form->helpWindow->focusWidget(), Qt::Key(key));
    QTRY_VERIFY(form->helpWindow.isNull());
}

void TestWindows::helpKeepsProgramRunning()
{
    TestFolder folder;
    auto form = startForm(folder.path());
    form->show();
    form->mnuHelpScreen_Click();
    QVERIFY(QTest::qWaitForWindowExposed(form->helpWindow));

    // Closing the main window must not end the event loop; closing the help window then must.
    bool helpClosedByUs = false;
    QTimer::singleShot(0, form.get(), [&] {
        form->close();
        QTimer::singleShot(0, form.get(), [&] {
            if (form->helpWindow && form->helpWindow->isVisible()) {
                helpClosedByUs = true;
                form->helpWindow->close();
            }
        });
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, &QCoreApplication::quit);
    guard.start(20000);
    QApplication::setQuitOnLastWindowClosed(true);
    QApplication::exec();

    QVERIFY(helpClosedByUs);
    QVERIFY(!form->isVisible());
    QTRY_VERIFY(form->helpWindow.isNull());
}

QTEST_MAIN(TestWindows)
#include "test_windows.moc"
