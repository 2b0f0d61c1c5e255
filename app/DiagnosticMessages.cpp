#include "app/DiagnosticMessages.h"

#include "common/BoundedOutput.h"
#include "common/StandardStreams.h"

#include <QString>

namespace {

// A fatal message ends the program as soon as the handler returns: it gets this long to
// reach the terminal, with what came before it.
constexpr std::chrono::milliseconds fatalWait{2000};

} // namespace

DiagnosticMessages::DiagnosticMessages()
{
    // Made now, so that it outlives the handler that uses it.
    StandardStreams::error();
    previous = qInstallMessageHandler(&DiagnosticMessages::handle);
}

DiagnosticMessages::~DiagnosticMessages()
{
    qInstallMessageHandler(previous);
}

void DiagnosticMessages::handle(QtMsgType type, const QMessageLogContext &context,
                                const QString &message)
{
    const QString formatted = qFormatLogMessage(type, context, message);
    // A message pattern that leaves nothing prints nothing, as with the toolkit's handler.
    if (formatted.isNull())
        return;
    BoundedOutput &stream = StandardStreams::error();
    stream.push(formatted.toLocal8Bit() + '\n', BoundedOutput::Kind::Message);
    if (type == QtFatalMsg)
        stream.drain(fatalWait);
}
