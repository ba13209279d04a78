// music_player.cpp: the demo's wrapper around the music code: installs the
// file operations, opens the sound output, plays and stops "typing.xm".
// Owns: the loaded Module. Touches: the music code's process-wide state.
// Thread: main thread only.
#include "app/music_player.h"

#include "display/platform.h"
#include "gfx/file_ops.h"
#include "music/audio_sdl.h"
#include "music/music.h"

constexpr int32_t SHOW_MIX_RATE = 44100;

MusicPlayer::MusicPlayer(MusicOutput output) {
  // The output refuses to open until the callback table is complete.
  qm::set_file_callbacks(stdio_open, stdio_close, stdio_read, stdio_seek, stdio_tell);
  if (output == MUSIC_MUTED) return;
  backend = qm::sdl_audio_backend_create();
  qm::set_audio_backend(backend);
  if (!qm::open_output(SHOW_MIX_RATE, 0)) {
    const char* reason = platform_last_error();
    device_failure = *reason ? reason : "no reason given";
  }
}

MusicPlayer::MusicPlayer(const qm::AudioBackend* device) {
  qm::set_file_callbacks(stdio_open, stdio_close, stdio_read, stdio_seek, stdio_tell);
  qm::set_audio_backend(device);
  if (!qm::open_output(SHOW_MIX_RATE, 0)) device_failure = "the device did not open";
}

MusicPlayer::~MusicPlayer() {
  if (module != nullptr) {
    qm::free_module(module); // stops playback first
    module = nullptr;
  }
  playing = 0;
  qm::close_output();
  qm::set_audio_backend(nullptr);
  qm::sdl_audio_backend_destroy(backend);
}

bool MusicPlayer::load_and_play(const char* path) {
  qm_load_error error{};
  module = qm::load_module(path, &error);
  if (module == nullptr) {
    load_failure = qm_status_text(error.status);
    if (error.detail[0] != '\0') load_failure += std::string(": ") + error.detail;
    return false;
  }
  load_failure.clear();
  qm::play_module(module); // refuses when no device opened: the show goes on silent
  playing = 1;
  return true;
}

void MusicPlayer::stop() {
  if (playing == 0) return;
  qm::stop_module(module);
  playing = 0;
}
