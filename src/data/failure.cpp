#include "failure.h"

Failure::Failure(QString attempted, QString object, QString reason, QString code)
    : attempted_(std::move(attempted)), object_(std::move(object)), reason_(std::move(reason)),
      code_(std::move(code)), utf8_(text().toUtf8())
{
}

QString Failure::text() const
{
    QString result = QStringLiteral("Could not %1:\n%2\n\n%3").arg(attempted_, object_, reason_);
    if (!code_.isEmpty())
        result += QStringLiteral(" (code %1)").arg(code_);
    return result;
}
