#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"
#include "testsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>

class TestDesktop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyControlHasAnAccessibleName();
    void theBoardWorksFromTheKeyboard();
};

void TestDesktop::everyControlHasAnAccessibleName()
{
    TestFolder folder;
    const auto form = startForm(folder.path());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    // A screen reader finds each tile by its rune's name.
    for (int k = 1; k <= 46; ++k) {
        QAccessibleInterface *tile =
            QAccessible::queryAccessibleInterface(form->PictureRunes[size_t(k)]);
        QVERIFY(tile);
        QCOMPARE(tile->text(QAccessible::Name), form->Label1[size_t(k - 1)]->text());
    }
    const QList<QWidget *> controls = form->centralWidget()->findChildren<QWidget *>();
    for (QWidget *control : controls) {
        if (!control->focusPolicy() || qobject_cast<QLabel *>(control) || !control->isVisible())
            continue;
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
        QVERIFY2(accessible && !accessible->text(QAccessible::Name).isEmpty(),
                 qPrintable(control->objectName()));
    }
}

void TestDesktop::theBoardWorksFromTheKeyboard()
{
    TestFolder folder;
    const auto form = startForm(folder.path());
    form->show();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));

    RuneTile *first = form->PictureRunes[1];
    first->setFocus();
    QTest::keyClick(first, Qt::Key_Space);
    QCOMPARE(first->Appearance(), 1);
    QTest::keyClick(first, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form->PictureRunes[2]);
    QTest::keyClick(form->PictureRunes[2], Qt::Key_Space);
    QTest::keyClick(form->PictureRunes[2], Qt::Key_Space);
    QCOMPARE(form->PictureRunes[2]->Appearance(), 0);

    // The menu key opens the tile's pop-up menu, as the right button does.
    bool opened = false;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(QApplication::activePopupWidget());
        opened = QApplication::activePopupWidget() == form->mnuRunename;
        QApplication::activePopupWidget()->close();
    });
    QTest::keyClick(form->PictureRunes[7], Qt::Key_Menu);
    QVERIFY(opened);
    QCOMPARE(form->mnuRunename->Tag, QStringLiteral("7"));
    QCOMPARE(form->PictureRunes[7]->Appearance(), 1);
}

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
