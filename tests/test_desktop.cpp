#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"
#include "testsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestDesktop : public QObject {
    Q_OBJECT
    TestFolder folder;
    std::unique_ptr<Form1> form;

private Q_SLOTS:
    void initTestCase()
    {
        form = startForm(folder.path());
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
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
        // The menu key opens the tile's pop-up menu, as the right button does.
        QSignalSpy shown(form->mnuRunename, &QMenu::aboutToShow);
        QTimer::singleShot(0, form->mnuRunename, &QMenu::close);
        QTest::keyClick(form->PictureRunes[7], Qt::Key_Menu);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(form->mnuRunename->Tag, QStringLiteral("7"));
        QCOMPARE(ownedTiles(*form), (QList<int>{1, 2, 7}));
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
