#include "app/CommandLine.h"
#include "app/DiagnosticMessages.h"
#include "app/KIVOApplication.h"
#include "engine/IplImagePointer.h"
#include "generated/ProgramVersion.h"

#include <cstdio>

namespace {

int print(const QByteArray &text)
{
    std::fputs(text.constData(), stdout);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Answered before the toolkit starts, so that they need no display.
    switch (CommandLine::request(argc, argv)) {
    case CommandLine::Request::ShowHelp:
        return print(CommandLine::helpText());
    case CommandLine::Request::ShowVersion:
        return print(CommandLine::versionText());
    case CommandLine::Request::Run:
        break;
    }
    qRegisterMetaType<IplImage *>("IplImage*");
    // Lets the desktop match the window to the desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(EYEBLINK_APP_ID));
    // Before the application and gone after it, so that every message of theirs takes it.
    const DiagnosticMessages diagnostics;
    KIVOApplication application(argc, argv);
    return application.exec();
}
