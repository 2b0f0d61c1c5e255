#pragma once

#include "checker/ConditionedResponses.h"
#include "checker/SessionTrials.h"

#include <QImage>
#include <QString>
#include <QVector>

// A session's picture: every trial's eyelid closure aligned on its CS, one row per trial as a
// heat map from open (dark) to closed (bright), the mean of the trials counted drawn above it,
// the CS and the US as dashed lines across both; trials left out are marked at the left.
class SessionPlot
{
public:
    static constexpr int width = 1200;
    // Before the CS, the baseline and a little more.
    static constexpr double beforeMs = 500;
    // After the last US, or after the CS where no US is known.
    static constexpr double afterMs = 500;

    static QImage draw(const QVector<SessionTrials::Trial> &trials,
                       const QVector<ConditionedResponses::Outcome> &outcomes,
                       const ConditionedResponses::Scale &scale, const QString &title);
    // "session_DDMMYYYY_HHMMSS_traces.png" beside the table.
    static QString fileNameFor(const QString &tableFileName);
    // The FEC's colour in the heat map.
    static QColor colourOf(double fec);
};
