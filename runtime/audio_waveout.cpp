// audio_waveout.cpp: the sound device on Windows' wave-out (see
// audio_waveout.h).
// Owns: the devices it creates: the wave-out handle, the ring's looping
// header, the pull buffers and their feeder thread. The only file of the
// show's sound that calls winmm.
// Thread: control calls on the owner's thread; the feeder thread runs the
// pull function; only atomics (and the device's event) cross between them.
// frames_played may be called from any thread.
#include "runtime/audio_waveout.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstring>
#include <new>
#include <thread>
#include <vector>

namespace qm {

namespace {

constexpr int FRAME_BYTES = 4;                  // 16-bit stereo
constexpr WORD BITS_PER_SAMPLE = 16;
constexpr DWORD ENDLESS_LOOPS = 0xFFFFFFFF;     // the ring's loop count: play it without end
// Buffers queued for a pull source: with the player's 1,024 frames each,
// about 190 ms of sound, which rides out a busy machine's late wake-ups.
constexpr int PULL_BUFFERS = 8;
constexpr int32_t DEFAULT_PULL_FRAMES = 1024;   // frames per pull buffer when the owner has no preference
constexpr DWORD FEEDER_WAIT_MS = 100;           // the feeder's longest wait for a finished buffer
constexpr DWORD DRAIN_POLL_MS = 5;              // close: how often the queued buffers are looked at
constexpr DWORD DRAIN_SLACK_MS = 200;           // close: the longest wait beyond the queue's own length

struct PullBuffer {
  WAVEHDR header{};
  std::vector<int16_t> samples;  // pull_frames x 2
};

struct WaveOut {
  AudioDevice device{};                 // self points at this record
  HWAVEOUT handle = nullptr;            // null while closed
  WAVEFORMATEX format{};                // the open stream's format
  bool notifies = false;                // opened with an event for finished buffers (pull)
  HANDLE done_event = nullptr;          // signalled by the device when a buffer is finished
  WAVEHDR ring_header{};                // the ring, looping in place
  bool ring_queued = false;             // ring_header is prepared and written
  AudioSource source{};                 // the pull source; the feeder's while it runs
  int32_t pull_frames = DEFAULT_PULL_FRAMES;
  PullBuffer buffers[PULL_BUFFERS];
  std::thread feeder;                   // joinable while a pull source plays
  std::atomic<bool> feeder_stop{false}; // owner -> feeder: end
  std::atomic<bool> paused{false};      // owner -> feeder: pull nothing
  std::atomic<bool> in_pull{false};     // feeder -> owner: the pull function runs
  std::atomic<uint64_t> position{0};    // bytes played since start, never wrapping
};

WaveOut* state(void* self) { return static_cast<WaveOut*>(self); }

// Opens the default device with the stream's format; with notify, finished
// buffers signal done_event.
MMRESULT open_stream(WaveOut* w, bool notify) {
  const DWORD_PTR callback = notify ? reinterpret_cast<DWORD_PTR>(w->done_event) : 0;
  const MMRESULT result =
      waveOutOpen(&w->handle, WAVE_MAPPER, &w->format, callback, 0, notify ? CALLBACK_EVENT : CALLBACK_NULL);
  if (result != MMSYSERR_NOERROR) w->handle = nullptr;
  w->notifies = notify && w->handle != nullptr;
  return result;
}

std::string device_error(MMRESULT result) {
  char text[MAXERRORLENGTH] = {};
  if (waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR || text[0] == '\0')
    return "the wave-out device refuses (error " + std::to_string(result) + ")";
  return text;
}

// The ring in place: one header over all of it, looping without end.
void start_ring(WaveOut* w, const AudioSource& source) {
  WAVEHDR& h = w->ring_header;
  h = WAVEHDR{};
  h.lpData = reinterpret_cast<LPSTR>(const_cast<int16_t*>(source.ring));  // the device only reads it
  h.dwBufferLength = static_cast<DWORD>(source.ring_frames) * FRAME_BYTES;
  h.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
  h.dwLoops = ENDLESS_LOOPS;
  waveOutPrepareHeader(w->handle, &h, sizeof h);
  waveOutWrite(w->handle, &h, sizeof h);
  w->ring_queued = true;
}

// Fills one pull buffer (silence while paused or past the source's end)
// and hands it to the device.
void feed(WaveOut* w, PullBuffer& b) {
  int32_t written = 0;
  w->in_pull.store(true);
  if (!w->paused.load()) written = w->source.pull(w->source.user, b.samples.data(), w->pull_frames);
  w->in_pull.store(false);
  if (written < 0) written = 0;
  std::memset(b.samples.data() + static_cast<size_t>(written) * AUDIO_SAMPLES_PER_FRAME, 0,
              static_cast<size_t>(w->pull_frames - written) * FRAME_BYTES);
  b.header.dwFlags &= ~WHDR_DONE;
  waveOutWrite(w->handle, &b.header, sizeof b.header);
}

// The feeder thread: every buffer the device hands back is filled again,
// in the order the device plays them (it finishes them in the order they
// were written), so the stream's frames stay in order across the wrap.
// It is the stream's real-time thread, raised as the show's mixer is.
void feeder_main(WaveOut* w) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  for (PullBuffer& b : w->buffers) feed(w, b);
  int next = 0;  // the buffer the device hands back next
  while (!w->feeder_stop.load()) {
    WaitForSingleObject(w->done_event, FEEDER_WAIT_MS);
    while (!w->feeder_stop.load() && (w->buffers[next].header.dwFlags & WHDR_DONE)) {
      feed(w, w->buffers[next]);
      next = (next + 1) % PULL_BUFFERS;
    }
  }
}

void start_pull(WaveOut* w, const AudioSource& source) {
  w->source = source;
  for (PullBuffer& b : w->buffers) {
    b.samples.assign(static_cast<size_t>(w->pull_frames) * AUDIO_SAMPLES_PER_FRAME, 0);
    b.header = WAVEHDR{};
    b.header.lpData = reinterpret_cast<LPSTR>(b.samples.data());
    b.header.dwBufferLength = static_cast<DWORD>(w->pull_frames) * FRAME_BYTES;
    waveOutPrepareHeader(w->handle, &b.header, sizeof b.header);
  }
  w->feeder_stop.store(false);
  w->feeder = std::thread(feeder_main, w);
}

AudioStatus waveout_open(void* self, int32_t rate, int32_t buffer_frames, std::string* why) {
  WaveOut* w = state(self);
  if (w->handle != nullptr) return AUDIO_OK;
  if (rate <= 0 || buffer_frames < 0) {
    if (why != nullptr) *why = "invalid device settings";
    return AUDIO_BAD_ARGUMENT;
  }
  w->format = WAVEFORMATEX{};
  w->format.wFormatTag = WAVE_FORMAT_PCM;
  w->format.nChannels = AUDIO_SAMPLES_PER_FRAME;
  w->format.nSamplesPerSec = static_cast<DWORD>(rate);
  w->format.nAvgBytesPerSec = static_cast<DWORD>(rate) * FRAME_BYTES;
  w->format.nBlockAlign = FRAME_BYTES;
  w->format.wBitsPerSample = BITS_PER_SAMPLE;
  w->format.cbSize = 0;
  w->pull_frames = buffer_frames > 0 ? buffer_frames : DEFAULT_PULL_FRAMES;
  const MMRESULT result = open_stream(w, false);
  if (result == MMSYSERR_NOERROR) return AUDIO_OK;
  if (why != nullptr) *why = device_error(result);
  return AUDIO_NO_DEVICE;
}

// Stops the device and takes back every buffer: the feeder ends first, so
// nothing is written to the device afterwards.
void waveout_reset(void* self) {
  WaveOut* w = state(self);
  if (w->feeder.joinable()) {
    w->feeder_stop.store(true);
    SetEvent(w->done_event);
    w->feeder.join();
  }
  if (w->handle == nullptr) return;
  waveOutReset(w->handle);
  if (w->ring_queued) waveOutUnprepareHeader(w->handle, &w->ring_header, sizeof w->ring_header);
  w->ring_queued = false;
  for (PullBuffer& b : w->buffers) {
    if (b.header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(w->handle, &b.header, sizeof b.header);
  }
  w->source = AudioSource{};
  w->position.store(0);
}

void waveout_start(void* self, const AudioSource& source) {
  WaveOut* w = state(self);
  if (w->handle == nullptr || source.pull == nullptr) return;
  waveout_reset(w);
  w->paused.store(false);
  if (source.ring != nullptr && source.ring_frames > 0) {
    start_ring(w, source);
    return;
  }
  // A pull source needs to hear of finished buffers: reopen with the event.
  if (!w->notifies) {
    waveOutClose(w->handle);
    if (open_stream(w, true) != MMSYSERR_NOERROR) return;
  }
  start_pull(w, source);
}

// A pull stream keeps running while paused, fed silence: stopping the
// device instead would hold back buffers it already took, and some drivers
// drop them when it starts again. The ring, which nothing refills, is
// stopped in place.
void waveout_pause(void* self, bool paused) {
  WaveOut* w = state(self);
  if (w->handle == nullptr) return;
  w->paused.store(paused);
  if (w->ring_queued) {
    if (paused) waveOutPause(w->handle);
    else waveOutRestart(w->handle);
    return;
  }
  if (paused) {
    while (w->in_pull.load()) std::this_thread::yield();
  }
}

uint64_t waveout_frames_played(void* self) {
  WaveOut* w = state(self);
  MMTIME time{};
  time.wType = TIME_BYTES;
  uint64_t last = w->position.load();
  if (w->handle == nullptr || waveOutGetPosition(w->handle, &time, sizeof time) != MMSYSERR_NOERROR ||
      time.wType != TIME_BYTES)
    return last / FRAME_BYTES;
  // Several threads may read at once: the count only moves forward.
  uint64_t next = extend_byte_position(last, time.u.cb);
  while (next > last && !w->position.compare_exchange_weak(last, next)) next = extend_byte_position(last, time.u.cb);
  return (next > last ? next : last) / FRAME_BYTES;
}

// Ends the feeder and lets the device play out the pull buffers already
// queued (the end of a song), for at most their length and some slack.
void drain_pull(WaveOut* w) {
  if (!w->feeder.joinable()) return;
  w->feeder_stop.store(true);
  SetEvent(w->done_event);
  w->feeder.join();
  const DWORD queue_ms = static_cast<DWORD>(
      static_cast<uint64_t>(PULL_BUFFERS) * static_cast<uint64_t>(w->pull_frames) * 1000 / w->format.nSamplesPerSec);
  const DWORD give_up = GetTickCount() + queue_ms + DRAIN_SLACK_MS;
  auto queued = [w] {
    for (const PullBuffer& b : w->buffers)
      if ((b.header.dwFlags & WHDR_PREPARED) && !(b.header.dwFlags & WHDR_DONE)) return true;
    return false;
  };
  while (queued() && static_cast<LONG>(give_up - GetTickCount()) > 0) Sleep(DRAIN_POLL_MS);
}

// A pull stream is heard to its end; the ring, endless, stops at once.
void waveout_close(void* self) {
  WaveOut* w = state(self);
  if (w->handle == nullptr) return;
  drain_pull(w);
  waveout_reset(w);
  waveOutClose(w->handle);
  w->handle = nullptr;
  w->notifies = false;
}

bool waveout_raise_mixer_priority(void*) {
  return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
}

}  // namespace

uint64_t extend_byte_position(uint64_t last, uint32_t position) {
  constexpr uint64_t WRAP = uint64_t{1} << 32;
  uint64_t next = (last & ~(WRAP - 1)) | position;
  if (next < last && last - next > WRAP / 2) next += WRAP;  // the 32-bit count wrapped since last
  return next;
}

AudioDevice* waveout_audio_device_create() {
  auto* w = new (std::nothrow) WaveOut;
  if (w == nullptr) return nullptr;
  w->done_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (w->done_event == nullptr) {
    delete w;
    return nullptr;
  }
  w->device = AudioDevice{w,          waveout_open,  waveout_start, waveout_pause, waveout_frames_played,
                          waveout_reset, waveout_close, waveout_raise_mixer_priority};
  return &w->device;
}

void waveout_audio_device_destroy(AudioDevice* device) {
  if (device == nullptr) return;
  WaveOut* w = state(device->self);
  waveout_close(w);
  CloseHandle(w->done_event);
  delete w;
}

}  // namespace qm
