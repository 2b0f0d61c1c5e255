#pragma once

#include <set>

// How many of a file's frames, from the first on, went to the muxer. An encoder that reorders
// frames hands them over out of their order; a frame counts once it and every frame before it
// went, so that the count is always a run from the first frame.
class MuxedFrames
{
public:
    void note(long long frameIndex);
    int count() const { return inOrder; }

private:
    int inOrder = 0;
    // Frames muxed ahead of one still missing.
    std::set<long long> ahead;
};
