// Makes the test engine import the probe library by name: the loader has to find the probe
// before the engine can start, exactly like the engine's own run-time library.
extern "C" __declspec(dllimport) int OrvanProbeTouch();

namespace {
const int probeTouched = OrvanProbeTouch();
}  // namespace
