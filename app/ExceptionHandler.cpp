#include "app/ExceptionHandler.h"

#include "platform/Errors.h"

#include <QMessageBox>

#include <exception>

namespace app {

namespace {

ExceptionSink &sink()
{
    static ExceptionSink instance;
    return instance;
}

QString currentMessage()
{
    try {
        throw;
    } catch (const platform::TfError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

} // namespace

void setExceptionSink(ExceptionSink newSink)
{
    sink() = std::move(newSink);
}

void handleCurrentException()
{
    QString message = currentMessage();
    // Sentences end with a period, as the framework's message boxes always did.
    if (!message.isEmpty() && message.back() > u'.')
        message += u'.';
    if (sink()) {
        sink()(message);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                          message);
}


TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        app::handleCurrentException();
        return false;
    }
}

} // namespace app
