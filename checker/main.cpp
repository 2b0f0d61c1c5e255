#include "checker/CheckCommand.h"

#include <QGuiApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The plots are drawn into images: no window, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Read before the toolkit, which takes "--session" as its own and removes it.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QGuiApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream errors(stderr);
    return CheckCommand::run(arguments, out, errors);
}
