// music_player.cpp: the show's wrapper around its music code (see
// music_player.h).
// Owns: the loaded song. Touches: the music code's one output.
// Thread: main thread only.
#include "app/music_player.h"

#include "gfx/file_ops.h"
#include "runtime/show_music.h"

MusicPlayer::MusicPlayer() {
  // The output refuses to open until the callback table is complete.
  qm::set_file_callbacks(stdio_open, stdio_close, stdio_read, stdio_seek, stdio_tell);
}

MusicPlayer::~MusicPlayer() {
  if (module != nullptr) {
    qm::free_module(module); // stops playback first
    module = nullptr;
  }
  playing = 0;
  qm::close_output();
  qm::set_audio_device(nullptr);
}

bool MusicPlayer::open(const qm::AudioDevice* device, qm::MixerDrive drive, std::string* why) {
  qm::set_audio_device(device);
  qm::set_mixer_drive(drive);
  if (qm::open_output(qm::SHOW_MIX_RATE, 0)) return true;
  if (why != nullptr) *why = qm::last_open_failure();
  return false;
}

bool MusicPlayer::load(const char* path, std::string* why) {
  qm_load_error error{};
  module = qm::load_module(path, &error);
  if (module != nullptr) return true;
  if (why != nullptr) {
    *why = qm_status_text(error.status);
    if (error.detail[0] != '\0') *why += std::string(": ") + error.detail;
  }
  return false;
}

bool MusicPlayer::play() {
  if (module == nullptr) return false;
  qm::play_module(module); // refuses when no device opened: the show goes on silent
  playing = 1;
  return true;
}

bool MusicPlayer::load_and_play(const char* path, std::string* why) { return load(path, why) && play(); }

void MusicPlayer::stop() {
  if (playing == 0) return;
  qm::stop_module(module);
  playing = 0;
}
