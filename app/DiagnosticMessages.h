#pragma once

#include <QtGlobal>

// While it exists, the toolkit's debug messages go to the standard error through
// StandardStreams::error(), formatted as the toolkit's own handler formats them: whichever
// thread writes a message never waits for the terminal.
class DiagnosticMessages
{
public:
    DiagnosticMessages();
    // Gives the messages back to the handler that was installed before.
    ~DiagnosticMessages();
    DiagnosticMessages(const DiagnosticMessages &) = delete;
    DiagnosticMessages &operator=(const DiagnosticMessages &) = delete;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);

    QtMessageHandler previous;
};
