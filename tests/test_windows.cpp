#include "about/frmhelp.h"
#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"
#include "runeinfo/frmruneinfo.h"
#include "testsupport.h"

#include <QApplication>
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
