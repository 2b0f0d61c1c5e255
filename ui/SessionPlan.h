#pragma once

#include "ui/OpenEyeGate.h"
#include "ui/TrialInterval.h"

#include <optional>

// What a press of "New record" begins: one run, or a session of trials, each a run of its
// own, separated by intervals and, where asked, each held until the eye is open.
struct SessionPlan
{
    // 0: no session, each press begins one run.
    int trials = 0;
    TrialInterval interval;
    std::optional<OpenEyeGate> openEye;
};
