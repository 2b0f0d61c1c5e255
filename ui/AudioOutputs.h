#pragma once

// The platform's audio outputs. The two toolkit versions ask for them through different
// classes; this is the one place that knows both.
namespace AudioOutputs {

// True when sounds have somewhere to go: the platform names a default audio output.
bool exists();

} // namespace AudioOutputs
