#include "mainwindow/form1.h"
#include "mainwindow/listbox.h"
#include "mainwindow/runetile.h"
#include "testsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

void press(Form1 &form, const QString &step)
{
    const QHash<QString, QWidget *> buttons{{QStringLiteral("Clear"), form.CommandClear},
                                            {QStringLiteral("revert"), form.Commandrevert}};
    if (step == QLatin1String("Enter"))
        QTest::keyClick(&form, Qt::Key_Return);
    else
        QTest::mouseClick(buttons.value(step, form.PictureRunes[size_t(step.toInt())]),
                          Qt::LeftButton);
}

} // namespace

class TestBoard : public QObject {
    Q_OBJECT
    std::unique_ptr<Form1> form;
    std::unique_ptr<TestFolder> folder;

private Q_SLOTS:
    void init()
    {
        form.reset();
        folder = std::make_unique<TestFolder>();
        form = startForm(folder->path());
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void rightPress()
    {
        // Marks the tile owned, whatever it was, and opens the rune menu at the tile's corner;
        // the menu key does as the right button does.
        form->markOwned(46);
        for (const int k : {8, 46, 7}) {
            QPoint at;
            QTimer::singleShot(0, form.get(), [&] {
                at = form->mnuRunename->isVisible() ? form->mnuRunename->pos() : QPoint(-1, -1);
                form->mnuRunename->close();
            });
            if (k == 7)
                QTest::keyClick(form->PictureRunes[size_t(k)], Qt::Key_Menu);
            else
                QTest::mouseClick(form->PictureRunes[size_t(k)], Qt::RightButton);
            const QPoint corner = form->PictureRunes[size_t(k)]->pos() + QPoint(20, 20);
            QTRY_COMPARE(at, form->centralWidget()->mapToGlobal(corner));
            QCOMPARE(form->mnuRunename->Tag, QString::number(k));
        }
        QCOMPARE(ownedTiles(*form), (QList<int>{7, 8, 46}));
        QCOMPARE(inconsistentTile(*form), QString());
        // The owned set never learnt of the marks.
        press(*form, QStringLiteral("revert"));
        QCOMPARE(ownedTiles(*form), QList<int>{});
    }

    void clearAndRevert_data()
    {
        // The row's name gives the steps: tiles clicked, Clear, revert, Enter.
        QTest::addColumn<QList<int>>("owned");
        QTest::addColumn<bool>("kept");
        QTest::newRow("revert") << QList<int>{} << false;
        QTest::newRow("Clear revert") << QList<int>{} << false;
        QTest::newRow("8 46 Clear") << QList<int>{} << true;
        QTest::newRow("8 46 Clear revert") << QList<int>{8, 46} << false;
        QTest::newRow("1 2 3 Clear 4 Clear revert") << QList<int>{1, 2, 3} << false;
        QTest::newRow("5 revert") << QList<int>{} << false;
        QTest::newRow("1 Clear revert 2 Clear 1 revert") << QList<int>{1, 2} << false;
        QTest::newRow("9 Enter") << QList<int>{} << true;
        QTest::newRow("9 Enter revert") << QList<int>{9} << false;
        QTest::newRow("Clear 7 46 7") << QList<int>{46} << true;
    }

    void clearAndRevert()
    {
        QFETCH(QList<int>, owned);
        QFETCH(bool, kept);
        // Leftovers for Clear and revert to remove.
        const QStringList everyRuneword = listed(*form);
        for (QCheckBox *box : filterBoxes(*form))
            box->setChecked(false);
        form->Text1->setPlainText(QStringLiteral("Needs level 5"));
        form->TextRunes->setText(QStringLiteral("Ebb Tarn"));
        form->List1->addItem(QStringLiteral("left over"));
        // Clear reads the save names again; nothing else does.
        folder->sql(QStringLiteral("UPDATE saves SET saveName = 'renamed' WHERE savenumber = 3"));
        const QString slotThree = form->mnuload[3]->text();

        const QStringList steps =
            QString::fromLatin1(QTest::currentDataTag()).split(QLatin1Char(' '));
        for (const QString &step : steps)
            press(*form, step);
        QCOMPARE(ownedTiles(*form), owned);
        QCOMPARE(form->ownedSaved, kept);
        QCOMPARE(inconsistentTile(*form), QString());
        QCOMPARE(tickedFilters(*form).split(QLatin1Char(' ')).size(), 15);
        QCOMPARE(form->Text1->toPlainText(), QString());
        // Only Clear empties the rune names and fills the list afresh.
        const bool cleared =
            steps.contains(QStringLiteral("Clear")) || steps.contains(QStringLiteral("Enter"));
        QCOMPARE(form->TextRunes->text(), cleared ? QString() : QStringLiteral("Ebb Tarn"));
        QCOMPARE(listed(*form), everyRuneword + QStringList(!cleared, QStringLiteral("left over")));
        QCOMPARE(form->mnuload[3]->text(), cleared ? QStringLiteral("renamed") : slotThree);
    }

    void enterKey_data()
    {
        // The control with the focus, the key, and the button Enter clicks.
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("clicked");
        for (const QString &button :
             {QStringLiteral("Search"), QStringLiteral("Clear"), QStringLiteral("revert")}) {
            QTest::addRow("%s Return", qPrintable(button)) << button << 0 << button;
            QTest::addRow("%s keypad Enter", qPrintable(button))
                << button << int(Qt::KeypadModifier) << button;
        }
        // Anywhere else Clear is the window's button.
        for (const char *other :
             {"PictureRunes5", "CheckHelm", "Checksockets0", "List1", "TextRunes", "Text1"}) {
            QTest::addRow("%s Return", other) << QString::fromLatin1(other) << 0 << "Clear";
            QTest::addRow("%s keypad Enter", other)
                << QString::fromLatin1(other) << int(Qt::KeypadModifier) << "Clear";
        }
    }

    void enterKey()
    {
        QFETCH(QString, focus);
        QFETCH(int, modifiers);
        QFETCH(QString, clicked);
        QStringList pressed;
        for (QPushButton *button : {form->CommandSearch, form->CommandClear, form->Commandrevert})
            connect(button, &QPushButton::clicked, form.get(),
                    [&pressed, button] { pressed << button->text(); });
        QWidget *target = form->findChild<QWidget *>(QStringLiteral("Command") + focus);
        if (!target)
            target = form->findChild<QWidget *>(focus);
        QVERIFY(target);
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
        QTest::keyClick(target, modifiers ? Qt::Key_Enter : Qt::Key_Return,
                        Qt::KeyboardModifiers(modifiers));
        QCOMPARE(pressed, QStringList{clicked});
    }

    void everyControlHasAnAccessibleName()
    {
        const auto name = [](QObject *object) {
            return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
        };
        // A screen reader finds each tile by its rune's name.
        for (int k = 1; k <= 46; ++k)
            QCOMPARE(name(form->PictureRunes[size_t(k)]), form->Label1[size_t(k - 1)]->text());
        for (QWidget *control : form->centralWidget()->findChildren<QWidget *>()) {
            if (control->focusPolicy() && !qobject_cast<QLabel *>(control) && control->isVisible())
                QVERIFY2(!name(control).isEmpty(), qPrintable(control->objectName()));
        }
    }

    void theBoardWorksFromTheKeyboard()
    {
        form->PictureRunes[1]->setFocus();
        QTest::keyClick(form->PictureRunes[1], Qt::Key_Space);
        QTest::keyClick(form->PictureRunes[1], Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->PictureRunes[2]);
        QTest::keyClick(form->PictureRunes[2], Qt::Key_Space);
        QCOMPARE(ownedTiles(*form), (QList<int>{1, 2}));
    }
};

QTEST_MAIN(TestBoard)
#include "test_board.moc"
