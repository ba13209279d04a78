// music_player.h: the demo's small wrapper around the music code.
// Owns: the loaded Module. Touches: the music code's process-wide state
// through music/music.h. Thread: main thread only.
#pragma once
#include <cstdint>

struct AudioBackend;
struct Module;

class MusicPlayer {
 public:
  // Installs the stdio file operations as the music code's file callbacks,
  // then opens the audio output at 44,100 Hz (a failure leaves the show silent).
  MusicPlayer();
  // Frees the module (stopping playback first) and closes the output.
  ~MusicPlayer();
  MusicPlayer(const MusicPlayer&) = delete;
  MusicPlayer& operator=(const MusicPlayer&) = delete;

  // Loads and starts path; ends the process with status -1 if it does not load.
  void load_and_play(const char* path);
  // Stops playback if it is playing; otherwise does nothing.
  void stop();

  Module* module = nullptr;          // owned
  AudioBackend* backend = nullptr;   // owned: the SDL sound output
  uint8_t playing = 0;      // 1 from the successful load until stop
};
