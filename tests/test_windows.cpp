#include "about/frmabout.h"
#include "about/frmhelp.h"
#include "mainwindow/programfont.h"
#include "runeinfo/frmruneinfo.h"
#include "saves/dialog.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QFontInfo>
#include <QGroupBox>
#include <QScrollBar>
#include <QStyleOptionButton>

#include <functional>
#include <utility>

namespace {

// What a label, button, text box or menu entry says, or a frame's title.
QString captionOf(const QObject *object)
{
    return object->property(object->inherits("QGroupBox") ? "title" : "text").toString();
}

// The captions of a window's labels, check boxes, buttons and frames that do not fit their
// controls, one line each. A control that reaches past the window's edge has only the part
// inside to show.
QString clippedCaptions(QWidget *window)
{
    QStringList clipped;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        const QFontMetrics metrics = control->fontMetrics();
        const QString text = captionOf(control);
        QRect area;
        QSize needed;
        if (auto *label = qobject_cast<QLabel *>(control)) {
            area = label->contentsRect();
            const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
            needed = metrics.boundingRect(area, flags, text).size();
        } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = text;
            const auto contents = qobject_cast<QCheckBox *>(button) ? QStyle::SE_CheckBoxContents
                                                                    : QStyle::SE_PushButtonContents;
            area = button->style()->subElementRect(contents, &option, button);
            needed = {metrics.horizontalAdvance(text), metrics.height()};
        } else if (qobject_cast<QGroupBox *>(control)) {
            // The caption stands on the top line, 6 pixels in, with 2 pixels either side.
            area = control->rect();
            needed = {6 + metrics.horizontalAdvance(text) + 4, 0};
        }
        const QRect inWindow(control->mapTo(window, area.topLeft()), area.size());
        const QSize room = inWindow.intersected(window->rect()).size();
        if (control->isVisibleTo(window) && !text.isEmpty() &&
            (needed.width() > room.width() || needed.height() > room.height()))
            clipped
                << "%1: needs %2 pixels, has %3"_q.arg(text).arg(needed.width()).arg(room.width());
    }
    return clipped.join(u'\n');
}

// Every caption a window shows of its own, in the order its controls were made: the title, the
// texts of labels, buttons, boxes and menu entries, the titles of frames, and tool tips.
QStringList textsOf(const QWidget *window)
{
    QStringList texts{window->windowTitle()};
    for (const QObject *child : window->findChildren<QObject *>()) {
        texts << captionOf(child);
        if (child->isWidgetType())
            texts << "tip: "_q + child->property("toolTip").toString();
    }
    texts.removeAll(QString());
    texts.removeAll("tip: "_q);
    return texts;
}

} // namespace

// The main window's board and display, and every window's texts, on a folder with runewords made
// for the display.
class TestWindows : public QObject {
    Q_OBJECT
    // No window may fail, whatever the data holds.
    FailureRecorder failures;
    std::unique_ptr<Form1> form;
    std::unique_ptr<TestFolder> folder;
    QStringList trace;

    void select(const QString &name) { form->List1->setCurrentRow(form->List1->find(name)); }

private Q_SLOTS:
    void initTestCase() { loadProgramFonts(QStringLiteral(TESSALY_PROGRAM_FOLDER)); }

    void init()
    {
        form.reset();
        folder = std::make_unique<TestFolder>();
        folder->sql(
            "INSERT INTO RuneWords (RuneWordName, runewordText, nrrunes, rune1, rune2, rune3, "
            "rune4, rune5, rune6, %1) VALUES "
            "('Tq Primer', 'primer', 6, 40, 41, 42, 43, 44, 45, 1, 1, 1, 1, 1, 1, 1, 1, 1),"
            "('Tq Gap', 'Line one\nLine two', 4, 3, 0, 20, 0, 21, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1),"
            "('Tq Twice', 'twice', 7, 5, 99, 5, -3, 12, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0),"
            "('Tq Bare', 'bare', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),"
            "('Tq Nulls', NULL, NULL, 12, NULL, NULL, 0, 0, 46, NULL, 1, NULL, 0, 0, 0, 0, 0, 0),"
            "('Tq Keeper''s Vow', 'vow', 1, 46, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0),"
            "('Tq Hollow ', 'hollow', 2, 8, 9, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1),"
            "('Tq Fraction', 'fraction', 3, 3.7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1);"
            // A rune whose name looks like markup.
            "UPDATE runes SET Runename = '<i>Ort' WHERE rowid = 9;"_q.arg(itemTypeColumnList()));
        form = startForm(folder->path());
        form->runeDb->setTraceHook([this](const QString &sql) { trace << sql; });
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void cleanup() { QCOMPARE(std::exchange(failures.texts, {}), QStringList()); }

    void display()
    {
        // Start-up refuses a rune without a name; the display reads the file afresh each time.
        folder->sql("UPDATE runes SET Runename = NULL WHERE Runenumber = 20;"
                    "INSERT INTO runes (Runenumber, Runename) VALUES (99, 'Phantom');"_q);
        // A runeword as the display shows it: its name, its text, the rune numbers whose names
        // are looked up, the tiles marked and the boxes ticked.
        using Shown = std::tuple<QString, QString, QList<double>, QList<int>, QString>;
        for (const auto &[name, text, looked, tiles, filters] :
             {// Rune 20 has no name.
              Shown{"Tq Gap"_q, "Line one\nLine two"_q, {3, 20, 21}, {3, 20, 21}, "helm other 4"_q},
              // 99 has a name but no tile, -3 has neither.
              Shown{"Tq Twice"_q, "twice"_q, {5, 99, 5, -3, 12}, {5, 12}, "gloves"_q},
              Shown{"Tq Bare"_q, "bare"_q, {}, {}, ""_q},
              Shown{"Tq Nulls"_q, ""_q, {12, 46}, {12, 46}, "helm"_q},
              Shown{"Tq Keeper's Vow"_q, "vow"_q, {46}, {46}, "shield 1"_q},
              // The name goes in without the blank and finds no row.
              Shown{"Tq Hollow "_q, ""_q, {}, {}, ""_q},
              // The stored number goes into the SQL as written, its whole part marks the tile.
              Shown{"Tq Fraction"_q, "fraction"_q, {3.7}, {3}, "other 3"_q}}) {
            // Every control starts out filled by another runeword, so nothing may be left over,
            // and the cursor at the end of its text.
            select("Tq Primer"_q);
            form->Text1->moveCursor(QTextCursor::End);
            trace.clear();
            select(name);
            // The name goes in without its end blanks and with its apostrophe doubled.
            QStringList queries{"Select * from RuneWords Where runewords.RuneWordName = '%1'"_q.arg(
                QString(name).trimmed().replace(u'\'', "''"_q))};
            QStringList names;
            for (double n : looked) {
                queries << "Select runes.runename from runes Where runes.Runenumber = %1"_q.arg(n);
                names << folder->column("SELECT Runename FROM runes WHERE rowid = %1"_q.arg(n));
            }
            // What ran, then what shows.
            QCOMPARE(trace << form->Text1->toPlainText() << form->TextRunes->text(),
                     queries << text << names.join(u' '));
            QCOMPARE(form->Text1->textCursor().position(), 0);
            QCOMPARE(ownedTiles(*form), tiles);
            QCOMPARE(tickedFilters(*form), filters);
            QVERIFY_THROWS_EXCEPTION(Failure, form->currentRecordset->recordCount());
        }
    }

    void browsingKeepsOwnedSet()
    {
        // Three entries, so that there is room below the last one.
        form->List1->clear();
        form->List1->addItems({"Tq Gap"_q, "Tq Primer"_q, "Tq Twice"_q});
        select("Tq Gap"_q);
        form->Commandrevert_Click();
        setBoard(*form, {6, 7});
        // The first list event keeps the owned set, even one without a selection, which shows
        // nothing.
        form->List1->clearSelection();
        QCOMPARE(ownedTiles(*form), (QList<int>{6, 7}));
        form->Commandrevert_Click();
        select("Tq Gap"_q);
        form->Commandrevert_Click();

        // None of these selects anything new: the selection stays and no display runs, so the
        // board is still the player's own set.
        QWidget *area = form->List1->viewport();
        const auto entry = [this](int row) {
            return form->List1->visualRect(form->List1->model()->index(row, 0)).center();
        };
        QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(5, area->height() - 5));
        QTest::mouseClick(area, Qt::LeftButton, Qt::ControlModifier, entry(0));
        QTest::mouseClick(area, Qt::LeftButton, {}, entry(0));
        form->List1->setFocus();
        QTest::keyClick(form->List1, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(form->List1->selectedTexts(), QStringList{"Tq Gap"_q});
        QVERIFY(!form->ownedSaved);

        // The next selection keeps the board with the mark made since; later ones, from the
        // keyboard too, and tile clicks between them do not replace it.
        form->PictureRunes_Click(9);
        QTest::mouseClick(area, Qt::LeftButton, {}, entry(1));
        form->PictureRunes_Click(5);
        QTest::keyClick(form->List1, Qt::Key_Down);
        QCOMPARE(form->Text1->toPlainText(), "twice"_q);
        QCOMPARE(ownedTiles(*form), (QList<int>{5, 12}));
        form->Commandrevert_Click();
        QCOMPARE(ownedTiles(*form), (QList<int>{6, 7, 9}));
        // Filling the list afresh leaves nothing selected.
        form->CommandSearch_Click();
        QVERIFY(form->List1->selectedTexts().isEmpty());
    }

    void runeWindow()
    {
        // Rune 9's name looks like markup: it shows its characters, under its tile and in the
        // window.
        QCOMPARE(form->Label1[8]->text(), "<i>Ort"_q);
        QCOMPARE(form->Label1[8]->textFormat(), Qt::PlainText);
        // What the window shows for a rune (the name, the effects, whether the picture is the
        // file's at the screen's density, the captions that do not fit), where two Tabs from the
        // first box and an Escape leave the focus and the window, then the SQL it ran. Losing
        // activation to another window closes it.
        const auto shown = [this](int k) {
            QStringList seen;
            trace.clear();
            whenModal<FrmRuneInfo>([&](FrmRuneInfo *window) {
                const QString x2 = window->devicePixelRatioF() > 1 ? "@2x"_q : QString();
                const QImage file(folder->path() + "/CRunes/crune%1%2.gif"_q.arg(k).arg(x2));
                const QImage picture = window->Picture1->pixmap().toImage();
                const bool plain = window->Label4->textFormat() == Qt::PlainText;
                seen << window->Label4->text() << window->Textability1->toPlainText()
                     << window->Textability2->toPlainText() << window->Textability3->toPlainText()
                     << QVariant(picture.convertToFormat(file.format()) == file && plain).toString()
                     << clippedCaptions(window);
                for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Escape})
                    QTest::keyClick(window->focusWidget(), key);
                seen << window->focusWidget()->accessibleName()
                     << QVariant(window->isVisible()).toString();
                auto *other = new QWidget(window, Qt::Window);
                other->show();
                other->activateWindow();
                if (!QTest::qWaitFor([window] { return !window->isVisible(); }))
                    QVERIFY(!window->close()); // it stayed open
            });
            form->mnuRunename->Tag = QString::number(k);
            form->mnuruneprop->trigger();
            return seen + trace;
        };
        // The name and the effects as the file holds them; the effects show as lines, without the
        // stored line ends.
        const auto expected = [this](int k) {
            return folder->column("SELECT replace(value, char(13, 10), char(10)) FROM runes, "
                                  "json_each(json_array('Rune ' || Runename, Runefunction1, "
                                  "Runefunction2, Runefunction3)) WHERE Runenumber = %1"_q.arg(k))
                   << "true"_q << QString() << "Shields, Armors & Belts"_q
                   << "true"_q
                   << "Select * from runes Where runes.Runenumber = %1"_q.arg(k);
        };
        for (int k = 1; k <= 46; ++k)
            QCOMPARE(shown(k), expected(k));
        QVERIFY(expected(7)[3].contains(u'\n')); // one of two lines
    }

    // Closing the main window leaves the help window, and the program, running; Enter in the
    // help window then closes it and ends the program.
    void helpKeepsProgramRunning()
    {
        form->mnuHelpScreen->trigger();
        const QPointer<frmhelp> help = form->helpWindow;
        QVERIFY(QTest::qWaitForWindowActive(help));
        bool helpOpen = false;
        QTimer::singleShot(0, form.get(), [&] {
            form->close();
            QTimer::singleShot(0, form.get(), [&] {
                helpOpen = help && help->isVisible();
                if (helpOpen)
                    QTest::keyClick(help->focusWidget(), Qt::Key_Return);
            });
        });
        // Should the loop not end; quit() would close the windows, exit() leaves them.
        QObject guard;
        QTimer::singleShot(20000, &guard, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(helpOpen);
        QTRY_VERIFY(help.isNull());
    }

    // Every window's own texts, made afresh before anything fills them from the data file (in
    // the order textsOf() finds them, joined by "|"), and every caption fits in the program's
    // fonts; the main window's also once filled, the rune window's with the runes' texts.
    void windowTexts()
    {
        // Not a look-alike the system happens to offer in its place.
        QCOMPARE(QFontInfo(form->font()).family(), "Liberation Sans"_q);
        QCOMPARE(QFontInfo(form->Commandrevert->font()).family(), "Liberation Serif"_q);
        QCOMPARE(clippedCaptions(form.get()), QString());
        const auto check = [](auto &&window, const char *texts) {
            QCOMPARE(textsOf(&window).join(u'|'), QLatin1String(texts));
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(clippedCaptions(&window), QString());
        };
        check(Form1(folder->path()),
              "Tessaly|Runes|revert|tip: Reverts to the last loaded or saved state|Item Types|Body "
              "Armor|Helm|Belt|Boots|Gloves|Shield|Melee Weapon|Missile Weapon|Other|number of "
              "sockets|1 socket|2 sockets|3 sockets|4 sockets|5 sockets|6 sockets|Search|tip: "
              "errr, duh?|Clear|tip: clears all runes and search parameters|&File|Load|save1|save2|"
              "save3|save4|save5|save6|save7|save8|save9|save10|save|Save1|Save2|Save3|Save4|Save5|"
              "Save6|Save7|Save8|Save9|save10|Exit|&Runes|Find runewords...|"
              "Import game data...|Game data...|&Help|Help|About|"
              "Runename|search runewords containing|show rune properties");
        check(Dialog(form.get()), "Dialog Caption|save|OK|Cancel|Save name : ");
        check(FrmRuneInfo(form.get()),
              "Form2|Weapons & Gloves|Helm, Wands, Staves & Boots|Shields, Armors & Belts|Rune ");
        check(frmAbout(form.get()), "About Tessaly|OK|Tessaly by Quillane|Version 1.3.2");
        // One help window, however often it is asked for; its text, checked by its start, fits
        // without a scroll bar; Escape closes it.
        form->mnuHelpScreen->trigger();
        const QPointer<frmhelp> help = form->helpWindow;
        form->mnuHelpScreen->trigger();
        QCOMPARE(form->helpWindow, help);
        check(*help, "Help on Tessaly|OK");
        QTRY_COMPARE(help->Text1->verticalScrollBar()->maximum(), 0);
        QVERIFY(help->Text1->toPlainText().startsWith("how to use : \n- Select all the runes"_q));
        QTest::keyClick(help->focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(help.isNull());
    }

    void rightPress()
    {
        // Marks the tile owned, whatever it was, and opens the rune menu at the tile's corner;
        // the menu key does as the right button does.
        form->markOwned(46);
        for (const int k : {8, 46, 7}) {
            RuneTile *tile = form->PictureRunes[size_t(k)];
            QPoint at;
            QTimer::singleShot(0, form.get(), [&] {
                at = form->mnuRunename->isVisible() ? form->mnuRunename->pos() : QPoint(-1, -1);
                form->mnuRunename->close();
            });
            k == 7 ? QTest::keyClick(tile, Qt::Key_Menu) : QTest::mouseClick(tile, Qt::RightButton);
            QTRY_COMPARE(at, form->centralWidget()->mapToGlobal(tile->pos() + QPoint(20, 20)));
        }
        QCOMPARE(ownedTiles(*form), (QList<int>{7, 8, 46}));
        // The owned set never learnt of the marks.
        form->Commandrevert_Click();
        QCOMPARE(ownedTiles(*form), QList<int>{});
        // Nor does the one-rune search's copy of the set: revert brings back exactly the tiles
        // the player had marked.
        for (const QList<int> &set : {QList<int>{1, 2, 5}, QList<int>{1, 2, 5, 12}}) {
            setBoard(*form, set);
            QTimer::singleShot(0, form.get(), [&] {
                form->mnuSearch->trigger();
                form->mnuRunename->close();
            });
            QTest::mouseClick(form->PictureRunes[12], Qt::RightButton);
            QTRY_COMPARE(ownedTiles(*form), QList<int>{12});
            form->Commandrevert_Click();
            QCOMPARE(ownedTiles(*form), set);
        }
    }

    // The steps (tiles clicked, Clear, revert, Enter) and what the board and the owned set then
    // hold.
    void clearAndRevert_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("owned");
        QTest::addColumn<bool>("kept");
        QTest::newRow("Clear keeps the set") << "8 46 Clear"_q << QList<int>{} << true;
        QTest::newRow("a second Clear does not copy")
            << "1 2 46 Clear 4 Clear revert"_q << QList<int>{1, 2, 46} << false;
        QTest::newRow("revert before any copy") << "5 revert"_q << QList<int>{} << false;
        QTest::newRow("revert twice")
            << "1 Clear revert 2 Clear 1 revert"_q << QList<int>{1, 2} << false;
        QTest::newRow("Enter clears") << "9 Enter"_q << QList<int>{} << true;
    }

    void clearAndRevert()
    {
        QFETCH(QString, steps);
        QFETCH(QList<int>, owned);
        QFETCH(bool, kept);
        // Leftovers for Clear and revert to remove.
        const QStringList everyRuneword = listed(*form);
        for (QCheckBox *box : filterBoxes(*form))
            box->setChecked(false);
        form->Text1->setPlainText("Needs level 5"_q);
        form->TextRunes->setText("Ebb Tarn"_q);
        form->List1->addItem("left over"_q);
        // Clear reads the save names again; nothing else does.
        folder->sql("UPDATE saves SET saveName = 'renamed' WHERE savenumber = 3"_q);
        const QString slotThree = form->mnuload[3]->text();
        for (const QString &step : steps.split(u' ')) {
            if (step == "Enter"_q)
                QTest::keyClick(form.get(), Qt::Key_Return);
            else // a tile, CommandClear or Commandrevert
                QTest::mouseClick(form->findChild<QWidget *>(
                                      (step.toInt() ? "PictureRunes"_q : "Command"_q) + step),
                                  Qt::LeftButton);
        }
        QCOMPARE(ownedTiles(*form), owned);
        QCOMPARE(form->ownedSaved, kept);
        QCOMPARE(inconsistentTile(*form), QString());
        QCOMPARE(tickedFilters(*form).split(u' ').size(), 15);
        QCOMPARE(form->Text1->toPlainText(), QString());
        // Only Clear empties the rune names and fills the list afresh.
        const bool cleared = steps.contains("Clear"_q) || steps.contains("Enter"_q);
        QCOMPARE(form->TextRunes->text(), cleared ? QString() : "Ebb Tarn"_q);
        QCOMPARE(listed(*form), everyRuneword + QStringList(!cleared, "left over"_q));
        QCOMPARE(form->mnuload[3]->text(), cleared ? "renamed"_q : slotThree);
    }

    // Without a mouse: Return and the keypad's Enter click a focused button, anywhere else
    // Clear; the board from the keyboard. What a screen reader reads is test_import's.
    void withoutAMouse()
    {
        QStringList pressed;
        for (QPushButton *button : {form->CommandSearch, form->CommandClear, form->Commandrevert})
            connect(button, &QPushButton::clicked, form.get(),
                    [&pressed, button] { pressed << button->text(); });
        for (const char *focus : {"CommandSearch", "CommandClear", "Commandrevert", "PictureRunes5",
                                  "CheckHelm", "Checksockets0", "List1", "TextRunes", "Text1"}) {
            auto *target = form->findChild<QWidget *>(QLatin1String(focus));
            target->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), target);
            const auto *button = qobject_cast<QPushButton *>(target);
            for (const Qt::KeyboardModifier modifier : {Qt::NoModifier, Qt::KeypadModifier}) {
                QTest::keyClick(target, modifier ? Qt::Key_Enter : Qt::Key_Return, modifier);
                QCOMPARE(std::exchange(pressed, {}), {button ? button->text() : "Clear"_q});
            }
        }
        // Tab goes on from tile to tile, and Space marks one as a click does.
        form->PictureRunes[1]->setFocus();
        QTest::keyClick(form->PictureRunes[1], Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->PictureRunes[2]);
        const int before = form->PictureRunes[2]->Appearance();
        QTest::keyClick(form->PictureRunes[2], Qt::Key_Space);
        QCOMPARE(form->PictureRunes[2]->Appearance(), 1 - before);
    }
};

int main(int argc, char **argv)
{
    // What a fresh Debian 12 desktop has: the DejaVu fonts that Qt's packages pull in, and
    // fontconfig's own rules. Anything else the windows need, the program must bring. Elsewhere
    // the system's own fonts stay.
    QTemporaryDir fonts;
#ifdef Q_OS_LINUX
    QFile config(fonts.filePath("fonts.conf"_q));
    if (!config.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(config.fileName()));
    config.write(qUtf8Printable("<fontconfig><dir>/usr/share/fonts/truetype/dejavu</dir><cachedir>"
                                "%1/cache</cachedir><include ignore_missing=\"yes\">/etc/fonts/"
                                "conf.d</include></fontconfig>"_q.arg(fonts.path())));
    config.close();
    qputenv("FONTCONFIG_FILE", config.fileName().toUtf8());
    // The user's own fonts folders would add to the set.
    qputenv("HOME", fonts.path().toUtf8());
    qputenv("XDG_DATA_HOME", fonts.filePath("data"_q).toUtf8());
#endif
    QApplication app(argc, argv);
    TestWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_windows.moc"
