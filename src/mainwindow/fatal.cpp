#include "fatal.h"

#include "data/failure.h"

#include <QApplication>
#include <QMessageBox>

namespace {

void endProgram(const Failure &failure)
{
    showFailure(failure);
    QCoreApplication::exit(1);
}

FailureHandler &handler()
{
    static FailureHandler current = endProgram;
    return current;
}

void warnUser(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tessaly"), text, QMessageBox::Ok, parent);
    // The text names what the file holds or the player typed, exactly as stored.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

NoticeHandler &noticeHandler()
{
    static NoticeHandler current = warnUser;
    return current;
}

} // namespace

void setFailureHandler(FailureHandler replacement)
{
    handler() = replacement ? std::move(replacement) : FailureHandler(endProgram);
}

void reportFailure(const Failure &failure)
{
    handler()(failure);
}

void showFailure(const Failure &failure)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Tessaly"), failure.text(),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void setNoticeHandler(NoticeHandler replacement)
{
    noticeHandler() = replacement ? std::move(replacement) : NoticeHandler(warnUser);
}

void showNotice(QWidget *parent, const QString &text)
{
    noticeHandler()(parent, text);
}

void runGuarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const Failure &failure) {
        reportFailure(failure);
    } catch (const std::exception &error) {
        reportFailure(Failure(QStringLiteral("finish the action"), QString(),
                              QString::fromUtf8(error.what())));
    }
}
