#pragma once

#include <string>

// How the H.264 encoder trades speed for quality. zerolatency keeps every frame from waiting
// inside the encoder for later ones.
struct H264Settings
{
    std::string preset = "veryfast";
    std::string tune = "zerolatency";
    int crf = 23;
    int threads = 1; // 0: as many as the encoder likes
};
