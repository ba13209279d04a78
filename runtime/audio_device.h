// audio_device.h: the one interface every sound output implements (SDL, Web
// Audio, the virtual device of the captures and tests, wave-out on Windows),
// and the one loop that reads the show's ring out of it.
//
// A device plays a source of 16-bit stereo frames at the rate it was opened
// with and counts the frames it has played. A source is either pulled (the
// device calls a function for every buffer it needs: a player rendering on
// demand) or a ring (a block of frames the device plays as an endless loop
// from its first frame, while the show's mixer refills what lies behind the
// device). A device whose platform loops a buffer in place plays the ring
// itself; every other device plays it through the source's pull function,
// which is ring_pull over a RingReader, so the loop over the ring exists once.
// Owns: nothing; a device is a table of functions over its own state.
// Thread: open/start/pause/reset/close on the owner's thread; pull runs on the
// device's thread (or the owner's, for a device on a virtual clock);
// frames_played may be read from any thread.
//
//   AudioDevice* d = sdl_audio_device_create();
//   std::string why;
//   if (d->open(d->self, 44100, 1024, &why) != AUDIO_OK) report(why);
//   d->start(d->self, pull_source(render, &state)); // render is called for each buffer
//   d->pause(d->self, false);
//   ... d->close(d->self); sdl_audio_device_destroy(d);
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

namespace qm {

// How the sound layer reports a failure: a status and, where one is asked
// for, one sentence naming the reason (a device's own words where it has them).
enum AudioStatus {
  AUDIO_OK = 0,
  AUDIO_NO_DEVICE,      // no sound output opens (no driver, no device, rate refused)
  AUDIO_NOT_READY,      // the call needs something not yet in place (an open output, file operations)
  AUDIO_BAD_ARGUMENT,   // a null pointer or a value out of range
  AUDIO_OUT_OF_MEMORY,
  AUDIO_NO_THREAD,      // the mixer thread could not be started
};

constexpr int32_t AUDIO_SAMPLES_PER_FRAME = 2;  // stereo, left first

// Fills up to count stereo frames (2 x count values, left first) and returns
// how many it wrote; the device plays silence for the rest. Called on the
// device's thread, never twice at a time; it must not block.
using PullFunction = int32_t (*)(void* user, int16_t* frames, int32_t count);

// What a device plays. pull is always set; ring is set for the show's ring.
struct AudioSource {
  PullFunction pull = nullptr;  // called for every device buffer
  void* user = nullptr;         // handed to pull
  const int16_t* ring = nullptr; // the ring to loop in place, or null
  int32_t ring_frames = 0;      // frames in the ring
};

struct AudioDevice {
  void* self;  // the device's own state, handed to each function
  // Opens the default output at rate frames per second, 16-bit stereo;
  // AUDIO_OK, or AUDIO_NO_DEVICE with the reason in *why (may be null).
  // buffer_frames asks for frames per device buffer (0: the device's choice).
  AudioStatus (*open)(void* self, int32_t rate, int32_t buffer_frames, std::string* why);
  // Plays source from now on: its ring from frame 0, or its pull function.
  // The frame count starts again from 0. Only while open.
  void (*start)(void* self, const AudioSource& source);
  // Paused, the device plays silence and does not call pull; once pause
  // returns with true, pull is not running.
  void (*pause)(void* self, bool paused);
  // Frames played since the last start, monotonic (across passes of a ring).
  uint64_t (*frames_played)(void* self);
  // Stops playing and forgets the source; the device stays open.
  void (*reset)(void* self);
  // Releases the device; nothing is called back afterwards.
  void (*close)(void* self);
  // Called on the show's mixer thread as it starts: raises its scheduling
  // priority as the platform allows. True when raised. May be null.
  bool (*raise_mixer_priority)(void* self);
};

// A source that calls pull(user, ...) for every device buffer.
AudioSource pull_source(PullFunction pull, void* user);

// The read side of a ring played through pull: where the device stands in
// it. The ring's writer publishes each block it fills by a release increment
// of *published; ring_pull acquires it before copying, so every frame the
// device plays was completely written. Every field is an atomic, since the
// owner points the reader at a ring while a device's thread may read it;
// ring is stored last (release) and loaded first (acquire).
struct RingReader {
  std::atomic<const int16_t*> ring{nullptr};      // ring_frames x 2 samples; null: silence
  std::atomic<int32_t> ring_frames{0};            // frames in the ring
  std::atomic<int32_t> read_frame{0};             // next frame to play, 0..ring_frames - 1
  std::atomic<const std::atomic<uint32_t>*> published{nullptr}; // the writer's count of filled blocks, may be null
};

// Points reader at ring (frames long) from its first frame.
void ring_reader_start(RingReader& reader, const int16_t* ring, int32_t frames, const std::atomic<uint32_t>* published);
// The pull function of a ring: copies the next count frames of the ring
// (user: a RingReader), wrapping at its end; silence without a ring.
int32_t ring_pull(void* user, int16_t* frames, int32_t count);
// A source that plays reader's ring: in place on a device that loops
// buffers, through ring_pull on any other.
AudioSource ring_source(RingReader& reader);

}  // namespace qm
