// music_player.h: the demo's small wrapper around the music code.
// Owns: the loaded Module and the reason no sound device opened. Touches:
// the music code's process-wide state through music/music.h.
// Thread: main thread only.
#pragma once
#include <cstdint>
#include <string>

namespace qm {
struct AudioBackend;
struct Module;
}  // namespace qm

// Whether the player may open a sound device.
enum MusicOutput {
  MUSIC_DEVICE, // open the default sound device (the show runs silent without one)
  MUSIC_MUTED,  // open nothing; the player is never asked to play
};

class MusicPlayer {
 public:
  // Installs the stdio file operations as the music code's file callbacks,
  // then, unless muted, opens the audio output at 44,100 Hz. A device that
  // does not open leaves the show silent and its reason in device_failure.
  explicit MusicPlayer(MusicOutput output = MUSIC_DEVICE);
  // The same on a device its owner provides (one on a virtual clock, for
  // an offline capture); the device must outlive the player.
  explicit MusicPlayer(const qm::AudioBackend* device);
  // Frees the module (stopping playback first) and closes the output.
  ~MusicPlayer();
  MusicPlayer(const MusicPlayer&) = delete;
  MusicPlayer& operator=(const MusicPlayer&) = delete;

  // Loads and starts path. False, with nothing loaded, when it does not load;
  // true also when there is no device to play it on.
  bool load_and_play(const char* path);
  // Why the last load_and_play failed: the loader's status and detail, as
  // "header incomplete: ..." ; empty after a success.
  std::string load_failure;
  // Stops playback and joins the mixer thread if it is playing; otherwise
  // does nothing.
  void stop();

  qm::Module* module = nullptr;         // owned
  qm::AudioBackend* backend = nullptr;  // owned: the SDL sound output; null when muted or given a device
  uint8_t playing = 0;                  // 1 from the successful load until stop
  std::string device_failure; // why no sound device opened; empty when one did or when muted
};
