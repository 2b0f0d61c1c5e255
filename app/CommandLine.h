#pragma once

#include <QString>
#include <QStringList>

// What the command line says, after the toolkit has taken its own options out of it.
struct CommandLine
{
    QString workingDirectory;
    int videoLength = -1;
    int cameraIndex = 0;
    // Each "--source SOURCE" in order; these are not positional arguments.
    QStringList sources;
    // The last "--camera-mode MODE", such as "1280x720@60:MJPG"; empty when none is given.
    QString cameraMode;

    // Reads the arguments and removes the --source and --camera-mode options from argc/argv,
    // so that argc then counts the program name and the positional arguments only.
    static CommandLine parse(int &argc, char **argv);
};
