#pragma once

#include "checker/SessionTrials.h"

#include <QString>
#include <QVector>

// The rule by which a trial shows a conditioned response, on the fraction of eyelid closure
// (FEC): the closure scaled so that the session's resting eye is 0 and the closure the US
// brings about is 1. A trial whose baseline, the 200 ms before the CS, already reaches 0.05 is
// left out (a blink under way); the others show a response when the FEC reaches 0.1 in the
// 100 ms before the US.
class ConditionedResponses
{
public:
    static constexpr double baselineMs = 200;
    static constexpr double baselineLimit = 0.05;
    static constexpr double windowMs = 100;
    static constexpr double responseLevel = 0.1;
    // After the US, the window in which the session's full closure is found.
    static constexpr double fullClosureMs = 100;
    static constexpr int blockTrials = 10;

    enum class Outcome { Response, NoResponse, LeftOut, NoData };

    // FEC = (closure - open) / (full - open).
    struct Scale
    {
        double open = 0;
        double full = 1;
        double fec(double closure) const { return (closure - open) / (full - open); }
    };

    // open: the median of the trials' mean closures over their baselines; full: the highest
    // closure in the 100 ms after a US, over all trials. Where there is no US, or it closes
    // the eye no further than its rest, the raw closure is used (0 open, 1 closed).
    static Scale scaleOf(const QVector<SessionTrials::Trial> &trials);
    static Outcome outcome(const SessionTrials::Trial &trial, const Scale &scale);
    // Per block of ten trials: how many showed a response, how many did not, how many were
    // left out and how many had no trace or no US, and the share of responses among the
    // trials counted; one line each, with a header.
    static QString blockTable(const QVector<SessionTrials::Trial> &trials,
                              const QVector<Outcome> &outcomes);
};
