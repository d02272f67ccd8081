#pragma once

#include <QString>

#include <exception>

// The one error type of the program. It says what was attempted, on what (a file path, a
// table or query name, an SQL text) and why it failed, in the engine's own words. Nothing
// catches it except the place that reports it and ends the program.
class Failure : public std::exception {
public:
    Failure(QString attempted, QString object, QString reason, QString code = {});

    const QString &attempted() const { return attempted_; }
    const QString &object() const { return object_; }
    const QString &reason() const { return reason_; }
    const QString &code() const { return code_; }

    // The text shown to the user.
    QString text() const;
    const char *what() const noexcept override { return utf8_.constData(); }

private:
    QString attempted_;
    QString object_;
    QString reason_;
    QString code_;
    QByteArray utf8_;
};
