#pragma once

#include "encode/H264Settings.h"

// How fast this machine encoded frames of one size and format with some settings.
struct MeasuredSpeed
{
    H264Settings settings;
    // Frames a second; 0 where the settings could not be measured.
    double fps = 0;
};
