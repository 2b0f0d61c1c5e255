#include "checker/CheckCommand.h"

#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The plots are drawn into images: no window, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream errors(stderr);
    return CheckCommand::run(application.arguments(), out, errors);
}
