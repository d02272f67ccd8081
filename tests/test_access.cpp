#include "closest/findwindow.h"
#include "gamedatawin/gamedatawindow.h"
#include "runeinfo/frmruneinfo.h"
#include "saves/dialog.h"
#include "testsupport.h"

#include <QAccessible>
#include <QAccessibleActionInterface>

#include <map>

#ifdef TESSALY_ACCESSIBILITY_SWITCH
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <private/qguiapplication_p.h>
#endif

namespace {

// What assistive tools were told: for each object whose checked state was announced, the state
// it reported when asked at once, as a screen reader asks.
std::map<QObject *, QList<bool>> announced;

void recordAnnouncement(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::StateChanged &&
        static_cast<QAccessibleStateChangeEvent *>(event)->changedStates().checked)
        announced[event->object()] << event->accessibleInterface()->state().checked;
}

// The controls under an accessible object that a person has to tell apart by name and that
// have none.
QStringList namelessUnder(QAccessibleInterface *node)
{
    static const QList<QAccessible::Role> named{
        QAccessible::PushButton, QAccessible::CheckBox, QAccessible::RadioButton,
        QAccessible::SpinBox,    QAccessible::ComboBox, QAccessible::EditableText,
        QAccessible::List,       QAccessible::Table,    QAccessible::ColumnHeader,
        QAccessible::Grouping,   QAccessible::MenuItem};
    QStringList nameless;
    if (node->state().invisible)
        return nameless;
    if (named.contains(node->role()) && node->text(QAccessible::Name).trimmed().isEmpty()) {
        // A header cell has no object of its own; its table has.
        const QObject *object = node->object() ? node->object() : node->parent()->object();
        nameless << "role %1, %2 %3"_q.arg(node->role())
                        .arg(QLatin1String(object->metaObject()->className()),
                             object->objectName());
    }
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface *child = node->child(i))
            nameless << namelessUnder(child);
    }
    return nameless;
}

} // namespace

// The main window's board and controls as assistive tools read them.
class TestAccess : public QObject {
    Q_OBJECT
    FailureRecorder failures;
    std::unique_ptr<Form1> form;
    std::unique_ptr<TestFolder> folder;
    bool listening = false;

    // Each tile as assistive tools read it; "heard" when every announcement told something new
    // (no tile was owned at first) and the last one what holds now.
    QStringList tilesAsRead()
    {
        QStringList tiles;
        for (int k = 1; k <= 46; ++k) {
            RuneTile *tile = form->PictureRunes[size_t(k)];
            QAccessibleInterface *read = QAccessible::queryAccessibleInterface(tile);
            const QAccessible::State state = read->state();
            const QList<bool> said = announced[tile];
            bool heard = !listening || said.size() % 2 == int(state.checked);
            for (qsizetype i = 0; i < said.size(); ++i)
                heard = heard && said[i] == (i % 2 == 0);
            const auto labels = read->relations(QAccessible::Label);
            const bool labelled = !labels.isEmpty() && labels[0].first->object() == tile->label();
            tiles << "%1|%2|%3|%4%5%6%7"_q.arg(read->role())
                         .arg(read->text(QAccessible::Name), read->text(QAccessible::Description),
                              state.checkable ? "checkable"_q : QString(),
                              state.checked ? " checked"_q : QString(),
                              labelled ? " labelled"_q : QString(), heard ? " heard"_q : QString());
        }
        return tiles;
    }

    // As they should read: a check box named by the label under it, checked exactly when owned.
    QStringList tilesOwning(const QList<int> &owned)
    {
        QStringList tiles;
        for (int k = 1; k <= 46; ++k)
            tiles << "%1|%2|rune %3 of 46|checkable%4 labelled heard"_q.arg(QAccessible::CheckBox)
                         .arg(form->Label1[size_t(k - 1)]->text())
                         .arg(k)
                         .arg(owned.contains(k) ? " checked"_q : QString());
        return tiles;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QAccessible::installUpdateHandler(recordAnnouncement);
        // Qt tells assistive tools of a change only while one listens, and only its platform layer
        // can say that one does: with that layer's headers the test is the one listening.
#ifdef TESSALY_ACCESSIBILITY_SWITCH
        if (QPlatformAccessibility *platform =
                QGuiApplicationPrivate::platformIntegration()->accessibility())
            platform->setActive(true);
#endif
        listening = QAccessible::isActive();
    }

    void init()
    {
        folder = std::make_unique<TestFolder>();
        folder->sql("INSERT INTO RuneWords (RuneWordName, runewordText, nrrunes, rune1, rune2, "
                    "rune3, rune4, rune5, rune6, %1) VALUES ('Tq Shown', 'shown', 3, 3, 8, 44, 0, "
                    "0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1); INSERT INTO ownedRunes VALUES (4, 12), (4, "
                    "30)"_q.arg(itemTypeColumnList()));
        form = startForm(folder->path());
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        announced.clear();
    }

    void cleanup()
    {
        form.reset();
        QCOMPARE(std::exchange(failures.texts, {}), QStringList());
    }

    // The tiles read as check boxes whatever changes them; a write of Appearance alone, as no
    // handler would make, shows that only Appearance counts, not BackColor.
    void tilesAsToggles()
    {
        QTest::mouseClick(form->PictureRunes[1], Qt::LeftButton);
        QTest::mouseClick(form->PictureRunes[5], Qt::LeftButton);
        QTest::mouseClick(form->PictureRunes[1], Qt::LeftButton);
        QAccessible::queryAccessibleInterface(form->PictureRunes[9])
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::pressAction());
        form->PictureRunes[6]->setAppearance(1);
        QCOMPARE(tilesAsRead(), tilesOwning({5, 6, 9}));
        QTest::mouseClick(form->CommandClear, Qt::LeftButton);
        QCOMPARE(tilesAsRead(), tilesOwning({}));
        QTest::mouseClick(form->Commandrevert, Qt::LeftButton);
        QCOMPARE(tilesAsRead(), tilesOwning({5, 6, 9}));
        form->mnuload_Click(4);
        QCOMPARE(tilesAsRead(), tilesOwning({12, 30}));
        // Named after the label as it is now, as new game data would rename it.
        form->Label1[2]->setText("Éobh Ærn"_q);
        form->List1->setCurrentRow(form->List1->find("Tq Shown"_q));
        QCOMPARE(tilesAsRead(), tilesOwning({3, 8, 44}));
        if (!listening)
            QSKIP("Qt's accessibility cannot be switched on here: no announcement was heard");
    }

    // Every control of the main window, the rune window, the save dialog and the windows the
    // Runes menu opens has a name to be read by.
    void everyControlNamed()
    {
        // Named when it is made; shown on its own, as it closes once another window is active.
        FrmRuneInfo runeWindow(form.get());
        Dialog dialog(form.get());
        // The import's file chooser is the platform's, not ours.
        form->mnuFind_Click();
        form->mnuGameData_Click();
        for (QWidget *window : QWidgetList{form.get(), &runeWindow, &dialog,
                                           form->findWindow.data(), form->gameDataWindow.data()}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            const QString nameless =
                namelessUnder(QAccessible::queryAccessibleInterface(window)).join(u'\n');
            QVERIFY2(nameless.isEmpty(), qPrintable(window->windowTitle() + u'\n' + nameless));
        }
    }
};

QTEST_MAIN(TestAccess)
#include "test_access.moc"
