// show_run.cpp: the pieces of the show that the frame loop on screen and
// the offline capture share (see show_run.h).
#include "app/show_run.h"

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

bool load_show_pictures(Timeline& timeline, const std::string& dir) {
  const TimelineLoad loaded = timeline_load(timeline, show_data_path(dir, "").c_str());
  if (loaded.result == TGA_OK) return true;
  log_tga_failure(loaded.path.c_str(), loaded.result);
  return false;
}
