#include "runeinfo/frmruneinfo.h"
#include "saves/dialog.h"
#include "testsupport.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QMenuBar>

#include <map>

#ifdef TESSALY_ACCESSIBILITY_SWITCH
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <private/qguiapplication_p.h>
#endif

namespace {

// Qt tells assistive tools of a change only while one listens, and only its platform layer can
// say that one does: with that layer's headers the test is the one listening.
bool switchAccessibilityOn()
{
#ifdef TESSALY_ACCESSIBILITY_SWITCH
    if (QPlatformAccessibility *platform =
            QGuiApplicationPrivate::platformIntegration()->accessibility())
        platform->setActive(true);
#endif
    return QAccessible::isActive();
}

// What assistive tools were told: for each object whose checked state was announced, the state
// it reported when asked at once, as a screen reader asks.
std::map<QObject *, QList<bool>> announced;

void recordAnnouncement(QAccessibleEvent *event)
{
    if (event->type() != QAccessible::StateChanged ||
        !static_cast<QAccessibleStateChangeEvent *>(event)->changedStates().checked)
        return;
    announced[event->object()] << event->accessibleInterface()->state().checked;
}

QAccessibleInterface *accessible(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object);
}

// The controls under an accessible object that a person has to tell apart by name and that
// have none.
void namelessUnder(QAccessibleInterface *node, QStringList &nameless)
{
    static const QList<QAccessible::Role> named{
        QAccessible::PushButton, QAccessible::CheckBox, QAccessible::RadioButton,
        QAccessible::SpinBox,    QAccessible::ComboBox, QAccessible::EditableText,
        QAccessible::List,       QAccessible::Table,    QAccessible::ColumnHeader,
        QAccessible::Grouping,   QAccessible::MenuItem};
    if (node->state().invisible)
        return;
    if (named.contains(node->role()) && node->text(QAccessible::Name).trimmed().isEmpty()) {
        // A header cell has no object of its own; its table has.
        const QObject *object = node->object() ? node->object() : node->parent()->object();
        nameless << "role %1, %2 %3"_q.arg(node->role())
                        .arg(QLatin1String(object->metaObject()->className()),
                             object->objectName());
    }
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface *child = node->child(i))
            namelessUnder(child, nameless);
    }
}

QString namelessIn(QWidget *window)
{
    QStringList nameless;
    namelessUnder(accessible(window), nameless);
    return nameless.join(u'\n');
}

} // namespace

// The main window's board and controls as assistive tools read them.
class TestAccess : public QObject {
    Q_OBJECT
    FailureRecorder failures;
    std::unique_ptr<Form1> form;
    std::unique_ptr<TestFolder> folder;
    bool listening = false;

private Q_SLOTS:
    void initTestCase()
    {
        QAccessible::installUpdateHandler(recordAnnouncement);
        listening = switchAccessibilityOn();
    }

    void init()
    {
        folder = std::make_unique<TestFolder>();
        folder->sql("INSERT INTO RuneWords (RuneWordName, runewordText, nrrunes, rune1, rune2, "
                    "rune3, rune4, rune5, rune6, %1) VALUES ('Tq Shown', 'shown', 3, 3, 8, 44, 0, "
                    "0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1)"_q.arg(itemTypeColumnList()));
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

    // The steps, and the tiles then owned. "black" and "raised" write one property of a tile as
    // no handler would: only Appearance counts.
    void tilesAsToggles_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("owned");
        QTest::newRow("click twice") << "click 1, click 5, click 1"_q << QList<int>{5};
        QTest::newRow("Space") << "space 2, space 46"_q << QList<int>{2, 46};
        QTest::newRow("press action") << "press 3, press 9, press 3"_q << QList<int>{9};
        QTest::newRow("right button") << "click 7, right 7, right 12"_q << QList<int>{7, 12};
        QTest::newRow("shown runeword") << "click 1, click 3, show"_q << QList<int>{3, 8, 44};
        QTest::newRow("Clear, revert")
            << "click 1, click 5, Clear, click 6, revert"_q << QList<int>{1, 5};
        QTest::newRow("only Appearance") << "black 4, raised 6"_q << QList<int>{6};
        QTest::newRow("renamed") << "rename 1, click 1"_q << QList<int>{1};
    }

    void tilesAsToggles()
    {
        QFETCH(QString, steps);
        QFETCH(QList<int>, owned);
        for (const QString &step : steps.split(", "_q)) {
            const QString what = step.section(u' ', 0, 0);
            const int k = step.section(u' ', 1).toInt();
            RuneTile *tile = form->PictureRunes[size_t(qBound(1, k, 46))];
            if (what == "click"_q) {
                QTest::mouseClick(tile, Qt::LeftButton);
            } else if (what == "space"_q) {
                tile->setFocus();
                QTest::keyClick(tile, Qt::Key_Space);
            } else if (what == "press"_q) {
                accessible(tile)->actionInterface()->doAction(
                    QAccessibleActionInterface::pressAction());
            } else if (what == "right"_q) {
                QTimer::singleShot(0, form.get(), [this] { form->mnuRunename->close(); });
                QTest::mouseClick(tile, Qt::RightButton);
            } else if (what == "show"_q) {
                form->List1->setCurrentRow(form->List1->find("Tq Shown"_q));
            } else if (what == "black"_q) {
                tile->setBackColor(0);
            } else if (what == "raised"_q) {
                tile->setAppearance(1);
            } else if (what == "rename"_q) {
                // As new game data would rename it.
                form->Label1[size_t(k - 1)]->setText("Éobh Ærn"_q);
            } else {
                QTest::mouseClick(what == "Clear"_q ? form->CommandClear : form->Commandrevert,
                                  Qt::LeftButton);
            }
        }
        QCOMPARE(ownedTiles(*form), owned);

        QStringList wrong;
        for (int k = 1; k <= 46; ++k) {
            RuneTile *tile = form->PictureRunes[size_t(k)];
            QAccessibleInterface *read = accessible(tile);
            const QString name = read->text(QAccessible::Name);
            const QAccessible::State state = read->state();
            const auto labels = read->relations(QAccessible::Label);
            // Each announcement tells something new (no tile was owned at first), the last one
            // what holds now.
            const QList<bool> said = announced[tile];
            QString told;
            for (qsizetype i = 0; i < said.size(); ++i)
                told += said[i] == (i % 2 == 0) ? u'+' : u'!';
            const bool heard =
                !listening || (!told.contains(u'!') && said.size() % 2 == int(state.checked));
            if (read->role() != QAccessible::CheckBox || name.isEmpty() ||
                name != form->Label1[size_t(k - 1)]->text() ||
                read->text(QAccessible::Description) != "rune %1 of 46"_q.arg(k) ||
                !state.checkable || state.checked != owned.contains(k) || !heard ||
                labels.isEmpty() || labels[0].first->object() != form->Label1[size_t(k - 1)])
                wrong << "tile %1: role %2, name \"%3\", %4, %5, announced \"%6\""_q.arg(k)
                             .arg(read->role())
                             .arg(name, read->text(QAccessible::Description),
                                  state.checked ? "checked"_q : "not checked"_q)
                             .arg(told);
        }
        QCOMPARE(wrong.join(u'\n'), QString());
        if (!listening)
            QSKIP("Qt's accessibility cannot be switched on here: no announcement was heard");
    }

    // Every control of the main window, the rune window, the save dialog and the windows the
    // Runes menu opens has a name to be read by.
    void everyControlNamed()
    {
        QCOMPARE(namelessIn(form.get()), QString());

        QString inRuneWindow = "not shown"_q;
        whenModal<FrmRuneInfo>([&](FrmRuneInfo *window) {
            inRuneWindow = namelessIn(window);
            window->close();
        });
        form->mnuRunename->Tag = "7"_q;
        form->mnuruneprop->trigger();
        QCOMPARE(inRuneWindow, QString());

        Dialog dialog(form.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(namelessIn(&dialog), QString());
        dialog.close();

        // The windows of our own, reached through the menus that are not File or Help. The
        // import's file chooser is the platform's, not ours: it answers at once.
        form->chooseImportFile = [](QWidget *) { return QString(); };
        const QWidgetList before = QApplication::topLevelWidgets();
        for (QAction *menu : form->menuBar()->actions()) {
            if (menu->menu() == form->mnuFile || menu->menu() == form->mnuHelp || !menu->menu())
                continue;
            for (QAction *entry : menu->menu()->actions())
                entry->trigger();
        }
        int windows = 0;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (before.contains(window) || !window->isVisible())
                continue;
            ++windows;
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QVERIFY2(namelessIn(window).isEmpty(),
                     qPrintable(window->windowTitle() + u'\n' + namelessIn(window)));
        }
        QVERIFY(windows > 0);
    }
};

QTEST_MAIN(TestAccess)
#include "test_access.moc"
