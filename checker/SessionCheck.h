#pragma once

#include "checker/SessionTrials.h"

#include <QString>

class QTextStream;

// The checker's look at a whole session: the picture of its trials aligned on the CS beside
// its table, and the share of conditioned responses per block of ten trials.
class SessionCheck
{
public:
    // 0 when the picture was written, 1 when the table cannot be read, no trial has a trace or
    // the picture cannot be written.
    static int run(const QString &tableFileName, const QString &align, const SessionTrials::Us &us,
                   QTextStream &out, QTextStream &errors);
};
