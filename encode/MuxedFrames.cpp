#include "encode/MuxedFrames.h"

void MuxedFrames::note(long long frameIndex)
{
    ahead.insert(frameIndex);
    while (!ahead.empty() && *ahead.begin() == inOrder) {
        ahead.erase(ahead.begin());
        ++inOrder;
    }
}
