#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Holds a trial back until the eye has been open and still for a while: until the eyelid's
// closure has stayed below a level for a time, on the camera's clock. Fed the closures measured
// while the camera is watched between trials. Only closures seen count: a gap between two
// longer than a blink could hide one, so the time starts again after it.
class OpenEyeGate
{
public:
    // Longer than a blink's closing and opening together.
    static constexpr double unseenGapMs = 250;
    // The wait gives up after the longer of these.
    static constexpr qint64 shortestGiveUpMs = 60000;
    static constexpr int giveUpHolds = 10;

    OpenEyeGate(double level, qint64 holdMs);

    // "CLOSURE:MS", such as "0.25:200": the level from 0 to 1 and the time in whole
    // milliseconds; nothing, and why, for anything else.
    static std::optional<OpenEyeGate> parse(const QString &text, QString &reason);

    double level() const { return closureLevel; }
    qint64 holdMs() const { return hold; }
    // How long a trial waits for the eye before it starts all the same.
    qint64 giveUpMs() const;
    QString text() const;

    // Forgets the closures fed so far, for a new wait.
    void reset();
    // One closure, ms on the camera's clock. True once the closures have stayed below the level
    // for the hold time, counted from the first of them.
    bool feed(double ms, double closure);

private:
    double closureLevel;
    qint64 hold;
    std::optional<double> openSince;
    std::optional<double> lastMs;
};
