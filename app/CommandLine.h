#pragma once

#include "eyelid/EyelidRegion.h"
#include "eyelid/EyelidThreshold.h"
#include "stimulus/SerialSetting.h"
#include "ui/SessionPlan.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

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
    // The last "--eyelid-region X,Y,W,H" and "--eyelid-threshold N"; nothing when none is
    // given or the last is not of the form.
    std::optional<EyelidRegion> eyelidRegion;
    std::optional<EyelidThreshold> eyelidThreshold;
    // The last "--serial DEVICE[:BAUD]"; nothing when not given or not understood.
    std::optional<SerialSetting> serial;
    // The last "--serial-start TEXT", escapes read; empty when not given.
    QByteArray serialStart;
    // "--trials N", "--iti MIN-MAX" and "--start-when-open CLOSURE:MS", the last of each; no
    // trials when not given or not understood.
    SessionPlan session;
    // What was not used as given, one text each, such as "video length 'abc' is not a whole
    // number of seconds: 0 used"; each is also a debug line.
    QStringList notes;

    // What the program is asked to do before it makes any window.
    enum class Request { Run, ShowHelp, ShowVersion };
    // Finds --help or --version among the program's own options. Reads argv only, without the
    // toolkit, so that the answer needs no display.
    static Request request(int argc, const char *const *argv);
    static QByteArray helpText();
    static QByteArray versionText();

    // The arguments after "--": positional, whatever they look like.
    using Operands = std::vector<char *>;
    // Takes "--" and the arguments after it out of argc/argv, so that the toolkit does not read
    // its own options there; parse() puts them back.
    static Operands holdBackOperands(int &argc, char **argv);

    // Reads the arguments and removes the options that take a value from argc/argv, so
    // that argc then counts the program name and the positional arguments only, the held-back
    // operands last.
    static CommandLine parse(int &argc, char **argv, const Operands &operands = {});
};
