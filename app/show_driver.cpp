// show_driver.cpp: one show on any platform (see show_driver.h).
#include "app/show_driver.h"

#include "gfx/tga.h"

std::string show_data_path(const std::string& dir, const char* name) {
  std::string path = dir;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name;
}

std::vector<std::string> show_data_files(const std::string& dir) {
  std::vector<std::string> files;
  for (int32_t i = 0; i < TIMELINE_PICTURE_COUNT; ++i) files.push_back(show_data_path(dir, timeline_picture_name(i)));
  files.push_back(show_data_path(dir, MUSIC_FILE));
  return files;
}

bool show_open_sound(Show& show, const qm::AudioDevice* device, qm::MixerDrive drive, std::string* why) {
  return show.music.open(device, drive, why);
}

ShowStatus show_load(Show& show, const ShowData& data, ShowFailure* failure) {
  const TimelineLoad loaded = timeline_load(show.timeline, show_data_path(data.dir, "").c_str());
  if (loaded.result != TGA_OK) {
    if (failure != nullptr)
      *failure = ShowFailure{loaded.path, tga_result_text(loaded.result), tga_failure_text(loaded.path.c_str(), loaded.result)};
    return SHOW_PICTURE_FAILED;
  }
  resize(show.frame, FRAME_WIDTH, FRAME_HEIGHT);
  if (!data.music) return SHOW_OK;
  const std::string path = show_data_path(data.dir, MUSIC_FILE);
  std::string why;
  if (!show.music.load(path.c_str(), &why)) {
    if (failure != nullptr) *failure = ShowFailure{path, why, path + ": " + why};
    return SHOW_MUSIC_FAILED;
  }
  return SHOW_OK;
}

std::vector<std::string> show_music_warnings(const Show& show) {
  std::vector<std::string> texts;
  if (show.music.module == nullptr) return texts;
  const int32_t count = qm_song_warning_count(show.music.module);
  for (int32_t i = 0; i < count; ++i) texts.emplace_back(qm_song_warning_text(show.music.module, i));
  return texts;
}

void show_start(Show& show) { show.music.play(); }

FrameCues show_step(Show& show, int32_t t) {
  const FrameCues cues = show_frame(show.timeline, show.frame, t);
  if (cues.show_goes_on && cues.stop_music) show.music.stop();
  return cues;
}

void show_stop(Show& show) { show.music.stop(); }
