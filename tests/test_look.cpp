#include "about/frmabout.h"
#include "about/frmhelp.h"
#include "mainwindow/form1.h"
#include "mainwindow/programfont.h"
#include "runeinfo/frmruneinfo.h"
#include "saves/dialog.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionButton>

namespace {

// What a fresh Debian 12 desktop has: the DejaVu fonts that Qt's packages pull in, and
// fontconfig's own rules. Anything else the windows need, the program must bring.
void limitFontsToDebianDefaults(const QString &folder)
{
    QDir(folder).mkpath(QStringLiteral("fonts"));
    for (const char *name :
         {"Sans", "Sans-Bold", "SansMono", "SansMono-Bold", "Serif", "Serif-Bold"})
        QFile::link(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVu%1.ttf")
                        .arg(QLatin1String(name)),
                    QStringLiteral("%1/fonts/DejaVu%2.ttf").arg(folder, QLatin1String(name)));
    QFile config(folder + QStringLiteral("/fonts.conf"));
    if (!config.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(config.fileName()));
    config.write(QStringLiteral("<?xml version=\"1.0\"?>\n<fontconfig>\n"
                                "  <dir>%1/fonts</dir>\n  <cachedir>%1/cache</cachedir>\n"
                                "  <include ignore_missing=\"yes\">/etc/fonts/conf.d</include>\n"
                                "</fontconfig>\n")
                     .arg(folder)
                     .toUtf8());
    config.close();
    qputenv("FONTCONFIG_FILE", QFile::encodeName(config.fileName()));
    // The user's own fonts folders would add to the set.
    qputenv("HOME", QFile::encodeName(folder));
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder + QStringLiteral("/data")));
}

// The captions of a window's labels, check boxes, buttons and frames that do not fit their
// controls, one line each. A control that reaches past the window's edge has only the part
// inside to show.
QString clippedCaptions(QWidget *window)
{
    QStringList clipped;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        const auto visible = [&](QRect area) {
            const QRect inWindow(control->mapTo(window, area.topLeft()), area.size());
            return inWindow.intersected(window->rect()).size();
        };
        const QFontMetrics metrics = control->fontMetrics();
        QString text;
        QSize room, needed;
        if (auto *label = qobject_cast<QLabel *>(control)) {
            text = label->text();
            room = visible(label->contentsRect());
            const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
            needed = metrics.boundingRect(QRect(0, 0, room.width(), 10000), flags, text).size();
        } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
            QStyleOptionButton option;
            option.initFrom(button);
            text = option.text = button->text();
            room = visible(button->style()->subElementRect(qobject_cast<QCheckBox *>(button)
                                                               ? QStyle::SE_CheckBoxContents
                                                               : QStyle::SE_PushButtonContents,
                                                           &option, button));
            needed = {metrics.horizontalAdvance(text), metrics.height()};
        } else if (auto *frame = qobject_cast<QGroupBox *>(control)) {
            // The caption stands on the top line, 6 pixels in, with 2 pixels either side.
            text = frame->title();
            room = frame->size();
            needed = {6 + metrics.horizontalAdvance(text) + 4, 0};
        }
        if (control->isVisibleTo(window) && !text.isEmpty() &&
            (needed.width() > room.width() || needed.height() > room.height()))
            clipped << QStringLiteral("%1 \"%2\": needs %3 pixels, has %4")
                           .arg(control->objectName(), text)
                           .arg(needed.width())
                           .arg(room.width());
    }
    return clipped.join(QLatin1Char('\n'));
}

} // namespace

class TestLook : public QObject {
    Q_OBJECT
    FailureRecorder failures;
    TestFolder folder;
    std::unique_ptr<Form1> form;

private Q_SLOTS:
    void initTestCase()
    {
        loadProgramFonts(QStringLiteral(TESSALY_PROGRAM_FOLDER));
        form = startForm(folder.path());
    }
    void everyCaptionFitsInTheProgramsFont();
};

void TestLook::everyCaptionFitsInTheProgramsFont()
{
    // Not a look-alike the system happens to offer in its place.
    QCOMPARE(QFontInfo(form->font()).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(QFontInfo(form->Commandrevert->font()).family(), QStringLiteral("Liberation Serif"));
    frmAbout about(form.get());
    Dialog dialog(form.get());
    for (QWidget *window : QList<QWidget *>{form.get(), &about, &dialog}) {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(clippedCaptions(window), QString());
    }
    // The rune window with each rune's name in turn.
    for (int k = 1; k <= 46; ++k) {
        QString clipped = QStringLiteral("not shown");
        whenModal<FrmRuneInfo>([&](FrmRuneInfo *window) {
            clipped = clippedCaptions(window);
            window->close();
        });
        form->mnuRunename->Tag = QString::number(k);
        form->mnuruneprop->trigger();
        QCOMPARE(clipped, QString());
    }
    // The help text fits without a scroll bar.
    form->mnuHelpScreen->trigger();
    frmhelp *help = form->helpWindow;
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QTRY_COMPARE(help->Text1->verticalScrollBar()->maximum(), 0);
    QCOMPARE(clippedCaptions(help), QString());
    QCOMPARE(failures.texts, QStringList());
}

int main(int argc, char **argv)
{
    QTemporaryDir fonts;
    limitFontsToDebianDefaults(fonts.path());
    QApplication app(argc, argv);
    TestLook test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_look.moc"
