#pragma once

#include "checker/RecordingVerdict.h"

#include <QString>
#include <QVector>

// The checker's table: a header, then one row per recording with its figures and verdict.
class CheckTable
{
public:
    static QString text(const QVector<RecordingVerdict> &verdicts);
    // "ok", or "FAIL: " and the problems.
    static QString verdictText(const RecordingVerdict &verdict);
};
