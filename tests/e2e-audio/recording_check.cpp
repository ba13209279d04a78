// recording_check: compares what the show sent to SDL's disk audio driver
// with the offline render of the same song.
//   recording_check RECORDING.raw REFERENCE.wav [--slow]
// The recording is raw 16-bit stereo at 44,100 Hz: the silence the paused
// device wrote, then the ring from its first frame, the song's first
// seconds as the mixer thread kept them coming, and after the stop the ring
// looping unchanged until the output was closed.
// The disk driver plays at real-time pace when its thread is scheduled on
// time; --slow (sanitizer builds) lets it fall behind, so that the stop at
// 4.1 s of real time finds the device earlier in the song.
// Prints what it found; status 0 when it all holds, 1 when something does
// not, 2 when a file cannot be read. Thread: main only.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int64_t RATE = 44100;
constexpr int64_t RING_FRAMES = 88400;       // 100 blocks of 884 frames
constexpr int64_t EXACT_FRAMES = 4 * RATE;   // the opening that must match exactly
// The device keeps looping the ring to the end of the show; the disk driver
// runs somewhat behind real time on a busy machine, so ask for less than 30 s.
constexpr int64_t LOOPING_FRAMES = 20 * RATE;
constexpr int64_t MAX_TAIL_FRAMES = RATE;    // silence after the device is reset at the end
// The music stops on the first frame at or after 4.096 s; the ring then holds
// the 2 s mixed after the device's position, so the song is heard up to
// about 6.1 s and the ring repeats from there. A song that itself repeats
// with the ring's period blurs where the loop begins, so the checks are: the
// song is heard at least this far, and the loop has begun by the latest.
constexpr int64_t SONG_HEARD_MIN = 6 * RATE;
// With --slow: the mixer thread refilled at least half a second.
constexpr int64_t SLOW_SONG_HEARD_MIN = RING_FRAMES + RATE / 2;
constexpr int64_t LOOP_BEGUN_MAX = 7 * RATE;

struct Frame {
  int16_t left, right;
  bool operator==(const Frame&) const = default;
  bool silent() const { return left == 0 && right == 0; }
};

bool read_file(const char* path, std::vector<uint8_t>* bytes) {
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes->insert(bytes->end(), buffer, buffer + n);
  std::fclose(f);
  return true;
}

std::vector<Frame> frames_of(const uint8_t* data, size_t size) {
  std::vector<Frame> frames(size / sizeof(Frame));
  if (!frames.empty()) std::memcpy(frames.data(), data, frames.size() * sizeof(Frame));
  return frames;
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// The samples of a RIFF WAV file's data chunk; false when there is none.
bool wav_frames(const std::vector<uint8_t>& bytes, std::vector<Frame>* frames) {
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(&bytes[8], "WAVE", 4) != 0)
    return false;
  size_t at = 12;
  while (at + 8 <= bytes.size()) {
    uint32_t size = le32(&bytes[at + 4]);
    if (std::memcmp(&bytes[at], "data", 4) == 0) {
      size_t available = bytes.size() - at - 8;
      *frames = frames_of(&bytes[at + 8], size < available ? size : available);
      return true;
    }
    at += 8 + size + (size & 1);
  }
  return false;
}

int64_t first_sound(const std::vector<Frame>& frames) {
  for (size_t i = 0; i < frames.size(); ++i)
    if (!frames[i].silent()) return static_cast<int64_t>(i);
  return -1;
}

double seconds(int64_t frames) { return static_cast<double>(frames) / RATE; }

}  // namespace

int main(int argc, char** argv) {
  bool slow = argc == 4 && std::strcmp(argv[3], "--slow") == 0;
  if (argc != 3 && !slow) {
    std::fprintf(stderr, "usage: recording_check RECORDING.raw REFERENCE.wav [--slow]\n");
    return 2;
  }
  std::vector<uint8_t> recording_bytes, reference_bytes;
  std::vector<Frame> reference;
  if (!read_file(argv[1], &recording_bytes) || !read_file(argv[2], &reference_bytes) ||
      !wav_frames(reference_bytes, &reference)) {
    std::fprintf(stderr, "recording_check: cannot read '%s' or '%s'\n", argv[1], argv[2]);
    return 2;
  }
  std::vector<Frame> recording = frames_of(recording_bytes.data(), recording_bytes.size());
  bool ok = true;
  auto fail = [&](const std::string& what) {
    std::printf("FAIL: %s\n", what.c_str());
    ok = false;
  };

  // Line the recording up with the render by their first sound.
  int64_t song_sound = first_sound(reference);
  int64_t heard_sound = first_sound(recording);
  if (song_sound < 0 || heard_sound < 0) {
    fail("no sound in the render or in the recording");
    return 1;
  }
  int64_t start = heard_sound - song_sound; // recording frame of the ring's frame 0
  if (start < 0) {
    fail("the recording sounds before the song does");
    return 1;
  }
  std::printf("leading silence: %.3f s\n", seconds(start));
  const Frame* heard = recording.data() + start;
  int64_t heard_frames = static_cast<int64_t>(recording.size()) - start;

  // Where the recording stops following the song.
  int64_t limit = heard_frames < static_cast<int64_t>(reference.size()) ? heard_frames
                                                                      : static_cast<int64_t>(reference.size());
  int64_t same = 0;
  while (same < limit && heard[same] == reference[static_cast<size_t>(same)]) ++same;
  std::printf("recording equals the render for the first %.3f s (%lld frames)\n", seconds(same),
              static_cast<long long>(same));
  if (!slow && same < EXACT_FRAMES) fail("the first 4 seconds differ from the render");
  if (same == limit) fail("the render ends before the recording leaves it: render more seconds");
  if (same < (slow ? SLOW_SONG_HEARD_MIN : SONG_HEARD_MIN))
    fail("the mixer stopped refilling before the 4.1 s cue");

  // After the stop the ring repeats: from some frame on, every frame equals
  // the one a ring earlier, up to the silence the closed device left at the
  // very end. That frame must lie inside what matched the song.
  int64_t end = heard_frames;
  while (end > same && heard[end - 1].silent()) --end;
  std::printf("recording: %.3f s after the leading silence, %.3f s of it trailing silence\n",
              seconds(heard_frames), seconds(heard_frames - end));
  if (heard_frames - end > MAX_TAIL_FRAMES) fail("the device fell silent long before the end");
  if (end < LOOPING_FRAMES) fail("the recording is too short to show the ring looping");
  int64_t loop = end;
  while (loop > RING_FRAMES && heard[loop - 1] == heard[loop - 1 - RING_FRAMES]) --loop;
  std::printf("the ring repeats from %.3f s to %.3f s\n", seconds(loop), seconds(end));
  if (loop > same) fail("between the song and the repeating ring the recording has other sound");
  if (loop > LOOP_BEGUN_MAX) fail("the ring did not start repeating after the 4.1 s cue");
  std::printf("%s\n", ok ? "OK" : "FAILED");
  return ok ? 0 : 1;
}
