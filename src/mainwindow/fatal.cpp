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
    box.exec();
}

void runGuarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const Failure &failure) {
        reportFailure(failure);
    } catch (const std::exception &error) {
        reportFailure(Failure(QStringLiteral("finish the action"), QString(),
                              QString::fromLocal8Bit(error.what())));
    }
}
