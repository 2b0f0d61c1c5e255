#pragma once

#include <QStringList>

class QTextStream;

// The checker's command line: eyeblink-check [--plot] WORKING_DIRECTORY...
class CheckCommand
{
public:
    enum ExitStatus { AllPassed = 0, SomeFailed = 1, BadArguments = 2 };

    // Checks every recording under the folders named in arguments (the program's name
    // first), prints the table to out and what went wrong otherwise to errors.
    static int run(const QStringList &arguments, QTextStream &out, QTextStream &errors);
};
