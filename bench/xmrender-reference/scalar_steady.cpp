// scalar_steady.cpp: the steady-stretch mixer of xmrender_reference. It takes
// the place of the optimised ones at link time and runs the plain scalar loops,
// so the block fill mixes every voice exactly as mix_voices_reference does,
// also the voices no one can hear any more (the optimised build stops them).
#include "music/mixer.h"
#include "music/mixer_fast.h"

namespace qm {

SteadyMixer fastest_steady_mixer() { return mix_steady_reference; }

RampMixer fastest_ramp_mixer() { return nullptr; }

bool stops_unheard_voices() { return false; }

}  // namespace qm
