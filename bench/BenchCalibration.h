#pragma once

#include "bench/BenchTable.h"
#include "encode/EncoderChoice.h"
#include "encode/EncoderSpeeds.h"

#include <memory>

// The encoder settings a camera's recordings get on this machine: its frames' speeds measured
// here as the program measures them between recordings, the settings chosen from them, and
// the speeds of the chosen settings and of the fastest ones in every core.
struct BenchCalibration
{
    std::shared_ptr<EncoderSpeeds> speeds = std::make_shared<EncoderSpeeds>();
    EncoderChoice choice;
    double chosenFps = 0;
    double fastestFps = 0;

    static BenchCalibration of(cv::Size frameSize, double cameraFps, bool gray);
    // chosen=ultrafast/2 chosenFps=412.3 fastestFps=412.3
    BenchTable::Values values() const;
};
