#include "mainwindow/form1.h"
#include "mainwindow/runetile.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

QList<QCheckBox *> filterBoxes(const Form1 &form)
{
    return form.findChildren<QCheckBox *>();
}

QStringList listed(const Form1 &form)
{
    QStringList names;
    for (int row = 0; row < form.List1->count(); ++row)
        names << form.List1->item(row)->text();
    return names;
}

// Closes the pop-up menu that the next, blocking, call opens, and remembers where it stood.
struct PopupCloser {
    QPointer<QWidget> seen;
    QPoint at;

    void arm()
    {
        QTimer::singleShot(0, [this] {
            seen = QApplication::activePopupWidget();
            if (seen) {
                at = seen->pos();
                seen->close();
            }
        });
    }
};

} // namespace

class TestBoard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void baseColoursAndToggling_data();
    void baseColoursAndToggling();
    void rightPressMarksOwned_data();
    void rightPressMarksOwned();
    void otherButtonsDoNothing();
    void clearAndRevertSequences_data();
    void clearAndRevertSequences();
    void clearAndRevertResetTheWindow_data();
    void clearAndRevertResetTheWindow();

private:
    void press(const QString &step);

    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<TestFolder> scratch;
    std::unique_ptr<Form1> form;
};

void TestBoard::initTestCase()
{
    folder = std::make_unique<TestFolder>();
}

void TestBoard::init()
{
    form = startForm(folder->path());
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
}

void TestBoard::cleanup()
{
    form.reset();
    scratch.reset();
}

void TestBoard::press(const QString &step)
{
    if (step == QLatin1String("Clear"))
        QTest::mouseClick(form->CommandClear, Qt::LeftButton);
    else if (step == QLatin1String("revert"))
        QTest::mouseClick(form->Commandrevert, Qt::LeftButton);
    else if (step == QLatin1String("Enter"))
        QTest::keyClick(form.get(), Qt::Key_Return);
    else
        QTest::mouseClick(form->PictureRunes[size_t(step.toInt())], Qt::LeftButton);
}

void TestBoard::baseColoursAndToggling_data()
{
    QTest::addColumn<int>("tile");
    QTest::addColumn<QColor>("base");
    QTest::addColumn<QString>("tag");

    const struct {
        int first, last;
        QColor colour;
        const char *tag;
    } groups[] = {
        {1, 7, QColor(255, 255, 255), "16777215"},  {8, 14, QColor(174, 68, 52), "3425454"},
        {15, 21, QColor(204, 186, 102), "6732492"}, {22, 28, QColor(210, 132, 32), "2131154"},
        {29, 35, QColor(78, 208, 72), "4771918"},   {36, 42, QColor(146, 130, 96), "6324882"},
        {43, 46, QColor(144, 50, 214), "14037648"},
    };
    for (const auto &group : groups)
        for (const int tile : {group.first, group.last})
            QTest::addRow("tile %d", tile)
                << tile << group.colour << QString::fromLatin1(group.tag);
}

void TestBoard::baseColoursAndToggling()
{
    QFETCH(int, tile);
    QFETCH(QColor, base);
    QFETCH(QString, tag);

    RuneTile *picture = form->PictureRunes[size_t(tile)];
    const int value = base.red() + 256 * base.green() + 65536 * base.blue();
    QCOMPARE(picture->Tag, tag);
    QCOMPARE(picture->Appearance(), 0);
    QCOMPARE(picture->BackColor(), value);

    QTest::mouseClick(picture, Qt::LeftButton);
    QCOMPARE(picture->Appearance(), 1);
    QCOMPARE(picture->BackColor(), 0);
    QTest::mouseClick(picture, Qt::LeftButton);
    QCOMPARE(picture->Appearance(), 0);
    QCOMPARE(picture->BackColor(), value);
    QCOMPARE(picture->Tag, tag);

    // A click is the tile's own business.
    QVERIFY(!form->ownedSaved);
    QCOMPARE(form->ownedState, decltype(form->ownedState){});
    QVERIFY(form->List1->selectedItems().isEmpty());
}

void TestBoard::rightPressMarksOwned_data()
{
    QTest::addColumn<int>("tile");
    QTest::addColumn<bool>("ownedBefore");

    QTest::newRow("not owned tile 8") << 8 << false;
    QTest::newRow("owned tile 8") << 8 << true;
    QTest::newRow("not owned tile 46") << 46 << false;
}

void TestBoard::rightPressMarksOwned()
{
    QFETCH(int, tile);
    QFETCH(bool, ownedBefore);

    RuneTile *picture = form->PictureRunes[size_t(tile)];
    if (ownedBefore)
        form->markOwned(tile);

    PopupCloser closer;
    closer.arm();
    QTest::mouseClick(picture, Qt::RightButton);

    QCOMPARE(closer.seen.data(), form->mnuRunename);
    QCOMPARE(closer.at, form->centralWidget()->mapToGlobal(picture->pos() + QPoint(20, 20)));
    QCOMPARE(form->mnuRunename->Tag, QString::number(tile));
    QCOMPARE(ownedTiles(*form), QList<int>{tile});
    QCOMPARE(inconsistentTile(*form), QString());
    QVERIFY(!form->ownedSaved);
    QCOMPARE(form->ownedState, decltype(form->ownedState){});

    // The owned set never learnt of the mark.
    press(QStringLiteral("revert"));
    QCOMPARE(ownedTiles(*form), QList<int>{});
}

void TestBoard::otherButtonsDoNothing()
{
    for (const Qt::MouseButton button : {Qt::MiddleButton, Qt::BackButton}) {
        PopupCloser closer;
        closer.arm();
        QTest::mouseClick(form->PictureRunes[5], button);
        QCoreApplication::processEvents();
        QVERIFY(!closer.seen);
        QCOMPARE(ownedTiles(*form), QList<int>{});
    }
}

void TestBoard::clearAndRevertSequences_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<int>>("owned");
    QTest::addColumn<bool>("ownedSaved");

    const auto steps = [](const char *text) {
        return QString::fromLatin1(text).split(QLatin1Char(' '));
    };
    QTest::newRow("revert before anything") << steps("revert") << QList<int>{} << false;
    QTest::newRow("clear at start, revert") << steps("Clear revert") << QList<int>{} << false;
    QTest::newRow("clear empties the board") << steps("8 46 Clear") << QList<int>{} << true;
    QTest::newRow("revert after clear") << steps("8 46 Clear revert") << QList<int>{8, 46} << false;
    QTest::newRow("second clear does not copy")
        << steps("1 2 3 Clear 4 Clear revert") << QList<int>{1, 2, 3} << false;
    QTest::newRow("clicks alone are not kept") << steps("5 revert") << QList<int>{} << false;
    QTest::newRow("after revert, clear copies again")
        << steps("1 Clear revert 2 Clear 1 revert") << QList<int>{1, 2} << false;
    QTest::newRow("Enter presses clear") << steps("9 Enter") << QList<int>{} << true;
    QTest::newRow("Enter, revert") << steps("9 Enter revert") << QList<int>{9} << false;
}

void TestBoard::clearAndRevertSequences()
{
    QFETCH(QStringList, steps);
    QFETCH(QList<int>, owned);
    QFETCH(bool, ownedSaved);

    for (const QString &step : std::as_const(steps))
        press(step);
    QCOMPARE(ownedTiles(*form), owned);
    QCOMPARE(form->ownedSaved, ownedSaved);
    QCOMPARE(inconsistentTile(*form), QString());
}

void TestBoard::clearAndRevertResetTheWindow_data()
{
    QTest::addColumn<bool>("clear");
    QTest::newRow("Clear") << true;
    QTest::newRow("revert") << false;
}

void TestBoard::clearAndRevertResetTheWindow()
{
    QFETCH(bool, clear);

    // Clear reads the slot names afresh, so this case changes its own file.
    scratch = std::make_unique<TestFolder>();
    form = startForm(scratch->path());
    const QStringList everyRuneword = listed(*form);
    const QString slotName = form->mnuload[2]->text();
    scratch->sql(QStringLiteral("UPDATE saves SET saveName = 'renamed' WHERE savenumber = 2;"));
    for (QCheckBox *box : filterBoxes(*form))
        box->setChecked(false);
    form->Text1->setPlainText(QStringLiteral("Needs level 5"));
    form->TextRunes->setText(QStringLiteral("Ebb Tarn"));
    form->List1->addItem(QStringLiteral("left over"));

    press(clear ? QStringLiteral("Clear") : QStringLiteral("revert"));

    const QList<QCheckBox *> boxes = filterBoxes(*form);
    QCOMPARE(boxes.size(), 15);
    for (const QCheckBox *box : boxes)
        QVERIFY2(box->isChecked(), qPrintable(box->text()));
    QVERIFY(form->Text1->toPlainText().isEmpty());
    QCOMPARE(form->TextRunes->text(), clear ? QString() : QStringLiteral("Ebb Tarn"));
    QCOMPARE(listed(*form),
             clear ? everyRuneword : everyRuneword + QStringList{QStringLiteral("left over")});
    QCOMPARE(form->mnuload[2]->text(), clear ? QStringLiteral("renamed") : slotName);
    QCOMPARE(form->mnuSave[2]->text(), clear ? QStringLiteral("renamed") : slotName);
}

QTEST_MAIN(TestBoard)
#include "test_board.moc"
