#pragma once

#include <QApplication>
#include <QString>

#include <functional>

// The application's default handler for errors raised inside event handlers: the
// message is shown and the program goes on.
namespace app {

using ExceptionSink = std::function<void(const QString &message)>;

// Replaces the message box (tests record the messages instead); empty restores it.
void setExceptionSink(ExceptionSink sink);

// Shows the error currently being handled. Call it only inside a catch block.
void handleCurrentException();

template<typename F>
void guarded(F &&f)
{
    try {
        f();
    } catch (...) {
        handleCurrentException();
    }
}


// Catches what an event handler let through, so that no error ends the program.
class TApplication : public QApplication
{
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace app
