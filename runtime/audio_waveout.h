// audio_waveout.h: the sound device on Windows' wave-out (winmm) behind the
// AudioDevice interface: the default output, 16-bit stereo PCM.
//
// The show's ring is played in place: one buffer header over the whole
// ring, flagged begin-loop and end-loop with an endless loop count, so the
// device reads the ring again and again while the mixer refills what lies
// behind it; the play position is the device's count of bytes played, which
// goes on growing across passes. A pull source (the player) is played
// through a few short buffers that a feeder thread (at time-critical
// priority) refills from the pull function whenever the device hands one
// back; close lets the buffers already queued play out, so a song's last
// frames are heard.
// Owns: nothing declared here. Thread: create/destroy and the control calls
// on the owner's thread; the pull on the feeder thread; frames_played on any.
//
//   AudioDevice* d = waveout_audio_device_create();
//   ... d->open(d->self, 44100, 0, &why) ... d->start(d->self, source) ...
//   waveout_audio_device_destroy(d);  // closes it first
#pragma once
#include "runtime/audio_device.h"

namespace qm {

// Creates the device, closed; null without memory.
AudioDevice* waveout_audio_device_create();
// Closes and releases a device from waveout_audio_device_create; null does nothing.
void waveout_audio_device_destroy(AudioDevice* device);

// The wave-out play position in bytes (32 bits, wrapping) carried on into a
// count that never wraps: last is the count read before, position the
// device's newest reading. The wrap at 4 GiB comes after about 6.8 hours at
// 44,100 Hz; positions are read far more often than that.
uint64_t extend_byte_position(uint64_t last, uint32_t position);

}  // namespace qm
