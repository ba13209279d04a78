// show_run.h: what every way of running the show shares, on screen or
// captured to a file: its exit statuses, its data files and their failure
// messages (the frame step itself is show_frame in timeline.h).
// Owns: nothing. Touches: the console log (a picture that does not load),
// the timeline it is given.
// Thread: main thread only.
//
//   Timeline timeline;
//   if (!load_show_pictures(timeline, dir)) return STATUS_LOAD_FAILED;
//   ... music.load_and_play(show_data_path(dir, MUSIC_FILE).c_str()) ...
//   for (;;) { FrameCues cues = show_frame(timeline, frame, clock()); if (cues.stop_music) music.stop(); ... }
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/timeline.h"


// The statuses the show ends with.
constexpr int STATUS_DONE = 0;         // the end of the show, Esc or a close request
constexpr int STATUS_NO_DISPLAY = 1;   // the display could not be opened
constexpr int STATUS_LOAD_FAILED = -1; // a picture or the music did not load (255 to the parent)

// The show's music file, in the data folder beside the pictures.
constexpr const char* MUSIC_FILE = "typing.xm";

// The path of a data file in folder dir (empty: the working directory):
// the folder, a '/' where it lacks one, then the name.
std::string show_data_path(const std::string& dir, const char* name);

// The paths of the ten files the show reads from dir: the nine pictures,
// then the music.
std::vector<std::string> show_data_files(const std::string& dir);

// Loads the nine pictures from dir, in the show's order. When one does not
// load, the image loader's message naming it goes to the console log and
// the result is false.
bool load_show_pictures(Timeline& timeline, const std::string& dir);
