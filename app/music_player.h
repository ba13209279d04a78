// music_player.h: the show's small wrapper around its music code: the file
// operations, the sound output, and "typing.xm" loaded, played and stopped.
// Owns: the loaded song. Touches: the music code's one output
// (runtime/show_music.h). Thread: main thread only.
//
// Errors: open and load answer true or false, with the reason in an
// optional string, as the layers below them do.
#pragma once
#include <cstdint>
#include <string>

#include "quillmere/music.h"
#include "runtime/audio_device.h"
#include "runtime/show_output.h"

class MusicPlayer {
 public:
  // Installs the stdio file operations as the music code's file callbacks;
  // opens nothing yet.
  MusicPlayer();
  // Frees the module (stopping playback first) and closes the output.
  ~MusicPlayer();
  MusicPlayer(const MusicPlayer&) = delete;
  MusicPlayer& operator=(const MusicPlayer&) = delete;

  // Opens the sound output on device at the show's rate, refilled by drive.
  // False, with the device's reason in *why (may be null), when it does not
  // open; the show then goes on silent. The device must outlive the player.
  bool open(const qm::AudioDevice* device, qm::MixerDrive drive, std::string* why);
  // Loads path. False, with nothing loaded and the loader's status and
  // detail in *why ("header incomplete: ..."; may be null), when it does
  // not load.
  bool load(const char* path, std::string* why);
  // Starts the loaded module from its first frame (nothing without an open
  // output: the show goes on silent). False when nothing is loaded.
  bool play();
  // load, then play.
  bool load_and_play(const char* path, std::string* why);
  // Stops playback and joins the mixer thread if it is playing; otherwise
  // does nothing.
  void stop();

  qm_song* module = nullptr;  // owned
  uint8_t playing = 0;        // 1 from play until stop
};
