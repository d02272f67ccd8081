#pragma once

#include <functional>

class Failure;
class QString;
class QWidget;

// A failure ends the program: the user is told what failed and why, and the event loops
// stop. Tests put their own handler in place to look at the failure instead.
using FailureHandler = std::function<void(const Failure &)>;
void setFailureHandler(FailureHandler handler);
void reportFailure(const Failure &failure);
// The message box that names the failure, shown before the program ends.
void showFailure(const Failure &failure);

// A message after which the program goes on: bad data that was handled where it was read.
// Tests put their own handler in place to look at the text instead of a message box.
using NoticeHandler = std::function<void(QWidget *parent, const QString &text)>;
void setNoticeHandler(NoticeHandler handler);
void showNotice(QWidget *parent, const QString &text);

// Runs one event handler to its end; a failure inside it is reported here, at the top of the
// event handling, and nowhere else.
void runGuarded(const std::function<void()> &handler);

template <typename... Args, typename Handler> auto guarded(Handler handler)
{
    return [handler](Args... args) { runGuarded([&] { handler(args...); }); };
}
