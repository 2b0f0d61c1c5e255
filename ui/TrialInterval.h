#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// The wait between two trials of a session, from one trial's result to the next trial's
// press: drawn anew for each trial, uniformly between its shortest and longest.
struct TrialInterval
{
    qint64 minMs = 0;
    qint64 maxMs = 0;

    // The longest interval accepted, a day: longer ones are surely a slip of the unit.
    static constexpr qint64 longestMs = 24 * 3600 * 1000;

    // "MIN-MAX" in seconds, decimals allowed ("10-20", "0.2-0.5"), or one number for a fixed
    // wait; nothing, and why, for anything else or MIN above MAX.
    static std::optional<TrialInterval> parse(const QString &text, QString &reason);
    // The interval for uniform, a number from 0 (the shortest) up to 1 (the longest).
    qint64 draw(double uniform) const;
    // "MIN-MAX s", as the option gives it.
    QString text() const;
};
