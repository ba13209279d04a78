// show_driver.h: one show, the same on every platform: its pictures, its
// frame buffer and its music, loaded, started, drawn frame by frame at the
// times its owner's clock gives, and stopped. The desktop show, the browser,
// the video capture and quillmere-frames all run the show through it; each
// brings only its clock, a presenter (if any) and a sound device (if any).
// Owns: the timeline, the frame and the music player. Touches: the data
// files, the music code's one output.
// Thread: main thread only.
//
// Errors: show_load returns a ShowStatus and fills a ShowFailure (the file,
// the reason, and the sentence the show prints); show_open_sound says why
// no sound plays, and the show goes on silent.
//
//   Show show;
//   show_open_sound(show, device, MIXER_THREAD, &why); // optional: silent without
//   if (show_load(show, {data_dir, true}, &failure) != SHOW_OK) ...
//   show_start(show);                                  // the show's time 0 is now
//   for (;;) { FrameCues cues = show_step(show, t); if (!cues.show_goes_on) break; present(show.frame.pixels); }
//   show_stop(show);
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/music_player.h"
#include "app/timeline.h"
#include "gfx/image.h"
#include "runtime/audio_device.h"

// The statuses the show ends with.
constexpr int STATUS_DONE = 0;         // the end of the show, Esc or a close request
constexpr int STATUS_NO_DISPLAY = 1;   // the display could not be opened
constexpr int STATUS_LOAD_FAILED = -1; // a picture or the music did not load (255 to the parent)

// The show's music file, in the data folder beside the pictures.
constexpr const char* MUSIC_FILE = "typing.xm";

// What show_load found.
enum ShowStatus {
  SHOW_OK = 0,
  SHOW_PICTURE_FAILED, // a picture did not load: the message is the image loader's own
  SHOW_MUSIC_FAILED,   // typing.xm did not load: "PATH: reason"
};

// Why show_load failed.
struct ShowFailure {
  std::string path;    // the file that did not load, as opened
  std::string reason;  // why, in a few words ("file will not open", "header incomplete: ...")
  std::string message; // the sentence the show prints: the image loader's own, or "PATH: REASON"
};

struct ShowData {
  std::string dir;    // folder of the ten data files; empty: the working directory
  bool music = true;  // load typing.xm (false: the pictures alone, a muted show)
};

struct Show {
  Timeline timeline;  // the show's pictures and scene cache
  Image frame;        // the 512 x 384 frame buffer, sized by show_load
  MusicPlayer music;  // plays typing.xm until the 4096 ms cue
};

// The path of a data file in folder dir (empty: the working directory):
// the folder, a '/' where it lacks one, then the name.
std::string show_data_path(const std::string& dir, const char* name);
// The paths of the ten files the show reads from dir: the nine pictures,
// then the music.
std::vector<std::string> show_data_files(const std::string& dir);

// Opens the show's sound output on device (refilled by drive). False, with
// the device's reason in *why (may be null), when none opens; the show then
// plays silent. The device must outlive the show.
bool show_open_sound(Show& show, const qm::AudioDevice* device, qm::MixerDrive drive, std::string* why);
// Loads the nine pictures in the show's order, sizes the frame, then loads
// the music (unless data.music is false). Stops at the first file that does
// not load and says why in *failure (may be null).
ShowStatus show_load(Show& show, const ShowData& data, ShowFailure* failure);
// The repairs the loader made to the music as it loaded ("sample 0 of
// instrument 4 holds 5,015 of 25,089 frames"), one text each; none when it
// loaded as written or is not loaded. The show plays what loaded; its
// owner says so.
std::vector<std::string> show_music_warnings(const Show& show);
// Starts the music from its first frame (nothing when muted or without a
// sound output): the show's time 0 is now.
void show_start(Show& show);
// The frame at t milliseconds of show time: composed into show.frame, and
// the music stopped on its cue. The caller presents the frame while the
// cues say the show goes on.
FrameCues show_step(Show& show, int32_t t);
// Stops the music if it still plays (the device goes on looping the ring
// until the show is destroyed).
void show_stop(Show& show);
