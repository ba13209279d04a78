// xmrender: renders an XM module to a 16-bit stereo WAV file offline, through
// the same block fill that plays the show's music; can also trace the row
// ticks or describe the module.
//   xmrender song.xm -o song.wav [--rate N] [--seconds N] [--trace]
//   xmrender song.xm --info
// Owns: the output file and the command line. Thread: main only.
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <algorithm>

#include "music/module.h"
#include "quillmere/music.h"
#include "tools/xmrender/info.h"

namespace {

constexpr int EXIT_USAGE = 2;
constexpr uint64_t RENDER_MAX_SECONDS = 3600;  // the cap of a one-pass render
constexpr uint32_t WAV_HEADER_BYTES = 44;
constexpr size_t WRITE_BUFFER_BYTES = size_t{1} << 20;  // output file buffer
// An hour at the highest rate (192,000 Hz) stays below this.
constexpr uint64_t WAV_MAX_DATA_BYTES = 0xFFFFFFFFull - WAV_HEADER_BYTES;

const char* const USAGE =
    "usage: xmrender SONG.xm -o OUT.wav [--rate HZ] [--seconds N] [--trace]\n"
    "       xmrender SONG.xm --info\n"
    "  -o FILE      write 16-bit stereo PCM WAV (may be left out with --trace)\n"
    "  --rate HZ    output rate, 8000 to 192000, default 44100\n"
    "  --seconds N  render N seconds instead of one pass of the song (at most 3600)\n"
    "  --trace      print one line per row tick: frame order row speed bpm\n"
    "  --info       print the module's header, patterns, instruments and samples\n";

struct Args {
  const char* input = nullptr;
  const char* output = nullptr;
  int32_t rate = 44100;
  double seconds = 0.0;  // 0: one pass
  bool trace = false;
  bool info = false;
};

bool parse_number(const char* text, double* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text, &end);
  return errno == 0 && end != text && *end == '\0';
}

// Fills args; prints one line and returns false on a bad command line.
bool parse_args(int argc, char** argv, Args* args) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool has_value = i + 1 < argc;
    double number = 0.0;
    if (a == "-h" || a == "--help") {
      std::fputs(USAGE, stdout);
      std::exit(0);
    } else if (a == "-o" && has_value) {
      args->output = argv[++i];
    } else if (a == "--rate" && has_value) {
      if (!parse_number(argv[++i], &number) || number != static_cast<int32_t>(number) || number < 8000 ||
          number > 192000) {
        std::fprintf(stderr, "xmrender: --rate wants a whole number of Hz from 8000 to 192000\n");
        return false;
      }
      args->rate = static_cast<int32_t>(number);
    } else if (a == "--seconds" && has_value) {
      if (!parse_number(argv[++i], &number) || !(number > 0.0) || number > RENDER_MAX_SECONDS) {
        std::fprintf(stderr, "xmrender: --seconds wants a number above 0 and at most 3600\n");
        return false;
      }
      args->seconds = number;
    } else if (a == "--trace") {
      args->trace = true;
    } else if (a == "--info") {
      args->info = true;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "xmrender: unknown or incomplete option '%s' (see --help)\n", a.c_str());
      return false;
    } else if (args->input == nullptr) {
      args->input = argv[i];
    } else {
      std::fprintf(stderr, "xmrender: more than one input file ('%s')\n", argv[i]);
      return false;
    }
  }
  if (args->input == nullptr) {
    std::fputs(USAGE, stderr);
    return false;
  }
  if (!args->info && !args->trace && args->output == nullptr) {
    std::fprintf(stderr, "xmrender: no output file given (-o OUT.wav)\n");
    return false;
  }
  return true;
}

void put_le(unsigned char* p, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

// A canonical 44-byte PCM WAV header for 16-bit stereo.
bool write_wav_header(FILE* f, int32_t rate, uint32_t data_bytes) {
  unsigned char h[WAV_HEADER_BYTES];
  std::memcpy(h, "RIFF", 4);
  put_le(h + 4, data_bytes + WAV_HEADER_BYTES - 8, 4);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put_le(h + 16, 16, 4);                               // fmt chunk size
  put_le(h + 20, 1, 2);                                // PCM
  put_le(h + 22, 2, 2);                                // channels
  put_le(h + 24, static_cast<uint32_t>(rate), 4);      // frames per second
  put_le(h + 28, static_cast<uint32_t>(rate) * 4, 4);  // bytes per second
  put_le(h + 32, 4, 2);                                // bytes per frame
  put_le(h + 34, 16, 2);                               // bits per sample
  std::memcpy(h + 36, "data", 4);
  put_le(h + 40, data_bytes, 4);
  return std::fwrite(h, 1, sizeof h, f) == sizeof h;
}

struct Output {
  FILE* wav = nullptr;
  std::unique_ptr<char[]> buffer;  // the file's write buffer, WRITE_BUFFER_BYTES
  bool progress = false;   // draw a progress bar on stderr
  bool trace = false;      // print the row ticks
  uint64_t total = 0;      // frames expected, 0 when unknown (one pass)
  uint64_t limit = 0;      // frames rendered at most
  int32_t rate = 0;
  std::chrono::steady_clock::time_point last_drawn{};  // the bar is redrawn 10 times a second
};

bool write_pcm(const int16_t* samples, int32_t frames, FILE* f) {
  size_t count = static_cast<size_t>(frames) * 2;
  static_assert(sizeof(int16_t) == 2);
  if constexpr (std::endian::native == std::endian::little) {
    return std::fwrite(samples, 2, count, f) == count;  // already in file order
  }
  unsigned char bytes[2 * 2 * 4096];
  for (size_t done = 0; done < count;) {
    size_t n = count - done < 2 * 4096 ? count - done : 2 * 4096;
    for (size_t i = 0; i < n; ++i) put_le(bytes + 2 * i, static_cast<uint16_t>(samples[done + i]), 2);
    if (std::fwrite(bytes, 2, n, f) != n) return false;
    done += n;
  }
  return true;
}

// Row ticks past the frames rendered are mixed ahead but never heard.
void print_row_tick(void* user, const qm_row_event* e) {
  if (e->frame >= static_cast<Output*>(user)->limit) return;
  std::printf("%llu %d %d %d %d\n", static_cast<unsigned long long>(e->frame), e->order, e->row, e->speed, e->bpm);
}

void draw_progress(Output& out, const qm_player* player) {
  auto now = std::chrono::steady_clock::now();
  if (now - out.last_drawn < std::chrono::milliseconds(100)) return;
  out.last_drawn = now;
  qm_position at{};
  qm_player_get_position(player, &at);
  double seconds = static_cast<double>(at.frame) / out.rate;
  if (out.total > 0) {
    constexpr int WIDTH = 40;
    int filled = static_cast<int>(WIDTH * at.frame / out.total);
    std::fprintf(stderr, "\r[%-*.*s] %5.1f%% %7.1f s", WIDTH, filled,
                 "########################################", 100.0 * at.frame / out.total, seconds);
  } else {
    std::fprintf(stderr, "\r%7.1f s  order %3d row %3d", seconds, at.order, at.row);
  }
  std::fflush(stderr);
}

// Renders the song through a player into out.wav (when open), a chunk at a
// time; false when a write fails.
bool render_frames(Output& out, qm_player* player) {
  constexpr int32_t CHUNK_FRAMES = 4096;
  int16_t chunk[2 * CHUNK_FRAMES];
  uint64_t done = 0;
  while (done < out.limit) {
    int32_t ask = static_cast<int32_t>(std::min<uint64_t>(CHUNK_FRAMES, out.limit - done));
    int32_t got = qm_player_render_s16(player, chunk, ask);
    if (out.wav != nullptr && got > 0 && !write_pcm(chunk, got, out.wav)) return false;
    done += static_cast<uint64_t>(got);
    if (out.progress) draw_progress(out, player);
    if (got < ask) break;
  }
  return true;
}

int render(const Args& args, const qm_song* song) {
  Output out;
  out.rate = args.rate;
  out.progress = isatty(STDERR_FILENO) != 0;
  if (args.output != nullptr) {
    out.wav = std::fopen(args.output, "wb");
    // Large writes: a song is tens of megabytes, written a block at a time.
    // The buffer is ours (glibc would ignore the size without one) and lives
    // until the file is closed.
    if (out.wav != nullptr) {
      out.buffer = std::make_unique<char[]>(WRITE_BUFFER_BYTES);
      std::setvbuf(out.wav, out.buffer.get(), _IOFBF, WRITE_BUFFER_BYTES);
    }
    if (out.wav == nullptr || !write_wav_header(out.wav, args.rate, 0)) {
      std::fprintf(stderr, "xmrender: cannot write '%s': %s\n", args.output, std::strerror(errno));
      if (out.wav != nullptr) std::fclose(out.wav);
      return 1;
    }
  }
  qm_player* player = nullptr;
  if (qm_player_create(song, args.rate, &player) != QM_OK) {
    std::fprintf(stderr, "xmrender: cannot render at %d Hz\n", args.rate);
    if (out.wav != nullptr) std::fclose(out.wav);
    return 1;
  }
  uint64_t frames = static_cast<uint64_t>(args.seconds * args.rate + 0.5);
  if (args.seconds > 0.0 && frames == 0) frames = 1;
  out.total = frames;
  out.limit = args.seconds > 0.0 ? frames : RENDER_MAX_SECONDS * static_cast<uint64_t>(args.rate);
  if (args.seconds > 0.0) qm_player_set_repeat_count(player, -1);
  out.trace = args.trace;
  if (args.trace) qm_player_set_row_callback(player, print_row_tick, &out);
  bool ok = render_frames(out, player);
  if (out.progress) std::fputs("\r\033[K", stderr);
  qm_position end{};
  qm_player_get_position(player, &end);
  qm_player_free(player);

  if (out.wav != nullptr) {
    uint64_t data_bytes = end.frame * 4;
    ok = ok && data_bytes <= WAV_MAX_DATA_BYTES && std::fseek(out.wav, 0, SEEK_SET) == 0 &&
         write_wav_header(out.wav, args.rate, static_cast<uint32_t>(data_bytes));
    ok = (std::fclose(out.wav) == 0) && ok;
    if (!ok) {
      std::fprintf(stderr, "xmrender: cannot write '%s': %s\n", args.output, std::strerror(errno));
      return 1;
    }
  }
  double seconds = static_cast<double>(end.frame) / args.rate;
  if (end.ended && end.end_order >= 0) {
    std::fprintf(stderr, "xmrender: %.3f s (%llu frames), one pass; the song goes on at order %d row %d\n",
                 seconds, static_cast<unsigned long long>(end.frame), end.end_order, end.end_row);
  } else {
    std::fprintf(stderr, "xmrender: %.3f s (%llu frames)%s\n", seconds, static_cast<unsigned long long>(end.frame),
                 args.seconds > 0.0 ? "" : ", stopped at the one-hour cap");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  if (!parse_args(argc, argv, &args)) return EXIT_USAGE;
  qm_song* song = nullptr;
  qm_load_error error{};
  if (qm_song_load_file_ex(args.input, &song, &error) != QM_OK) {
    std::fprintf(stderr, "xmrender: %s: %s%s%s\n", args.input, qm_status_text(error.status),
                 error.detail[0] != '\0' ? ": " : "", error.detail);
    return 1;
  }
  for (int32_t i = 0; i < qm_song_warning_count(song); ++i) {
    std::fprintf(stderr, "xmrender: %s: warning: %s\n", args.input, qm_song_warning_text(song, i));
  }
  int status = 0;
  if (args.info) {
    print_module_info(stdout, args.input, reinterpret_cast<const Module*>(song));
  } else {
    status = render(args, song);
  }
  qm_song_free(song);
  return status;
}
