// info.cpp: gathers what the library tells of a song once, then writes it
// as text or as JSON, so both always say the same.
// Owns: nothing. Thread: the caller's.
#include "tools/xmrender/info.h"

#include <string>
#include <vector>

#include "tools/common/json_writer.h"
#include "tools/common/text.h"

namespace {

constexpr int32_t VERSION_MINOR_BITS = 8;
constexpr int32_t VERSION_MINOR_MASK = 0xFF;

struct Instrument {
  qm_instrument_info info{};
  std::vector<qm_sample_info> samples;
};

struct Facts {
  qm_song_info song{};
  uint64_t frames = 0;  // one pass from order 0, at most the cap
  bool ends = false;    // the pass ends (comes back to a row it played) within the cap
  int32_t rate = 0;
  std::vector<int32_t> orders;                  // pattern at each order position
  std::vector<int32_t> pattern_rows;            // rows of each pattern
  std::vector<std::vector<int32_t>> pattern_at; // order positions that play each pattern
  std::vector<Instrument> instruments;
  std::vector<std::string> warnings;
};

Facts gather(const qm_song* song, int32_t rate) {
  Facts f;
  f.rate = rate;
  qm_song_get_info(song, &f.song);
  int32_t ended = 0;
  const uint64_t cap = INFO_MEASURE_CAP_SECONDS * static_cast<uint64_t>(rate);
  if (qm_song_measure(song, rate, 0, 0, cap, &f.frames, &ended) == QM_OK) f.ends = ended != 0;
  for (int32_t p = 0; p < f.song.patterns; ++p) f.pattern_rows.push_back(qm_song_pattern_rows(song, p));
  f.pattern_at.resize(f.pattern_rows.size());
  for (int32_t i = 0; i < f.song.length; ++i) {
    const int32_t pattern = qm_song_order(song, i);
    f.orders.push_back(pattern);
    if (pattern >= 0 && pattern < f.song.patterns) f.pattern_at[static_cast<size_t>(pattern)].push_back(i);
  }
  for (int32_t i = 0; i < f.song.instruments; ++i) {
    Instrument in;
    qm_song_get_instrument(song, i, &in.info);
    for (int32_t s = 0; s < in.info.samples; ++s) {
      qm_sample_info sample{};
      qm_song_get_sample(song, i, s, &sample);
      in.samples.push_back(sample);
    }
    f.instruments.push_back(in);
  }
  for (int32_t i = 0; i < qm_song_warning_count(song); ++i) f.warnings.emplace_back(qm_song_warning_text(song, i));
  return f;
}

std::string version_text(int32_t version) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%02x", version >> VERSION_MINOR_BITS, version & VERSION_MINOR_MASK);
  return text;
}

const char* loop_name(int32_t loop_type) {
  switch (loop_type) {
    case 1: return "forward";
    case 2: return "ping-pong";
    default: return "none";
  }
}

double seconds_of(const Facts& f) { return static_cast<double>(f.frames) / f.rate; }

// ---- Text -------------------------------------------------------------------

void print_text(FILE* out, const char* path, const Facts& f) {
  std::fprintf(out, "file:         %s\n", printable(path).c_str());
  std::fprintf(out, "song name:    %s\n", song_text(f.song.name).c_str());
  std::fprintf(out, "tracker:      %s\n", song_text(f.song.tracker).c_str());
  std::fprintf(out, "format:       XM %s, %s periods\n", version_text(f.song.version).c_str(),
               f.song.linear_periods ? "linear" : "Amiga");
  std::fprintf(out, "channels:     %d\n", f.song.channels);
  std::fprintf(out, "speed, bpm:   %d, %d\n", f.song.speed, f.song.bpm);
  std::fprintf(out, "duration:     %s%.3f s, one pass (%llu frames at %d Hz)\n", f.ends ? "" : "more than ",
               seconds_of(f), static_cast<unsigned long long>(f.frames), f.rate);
  std::fprintf(out, "orders:       %d, restart at %d:", f.song.length, f.song.restart);
  for (int32_t pattern : f.orders) std::fprintf(out, " %d", pattern);
  std::fprintf(out, "\npatterns:     %d\n", f.song.patterns);
  for (size_t p = 0; p < f.pattern_rows.size(); ++p) {
    std::fprintf(out, "  %3zu: %3d rows, ", p, f.pattern_rows[p]);
    if (f.pattern_at[p].empty()) std::fputs("unused", out);
    else std::fputs("at orders", out);
    for (int32_t order : f.pattern_at[p]) std::fprintf(out, " %d", order);
    std::fputc('\n', out);
  }
  std::fprintf(out, "instruments:  %d\n", f.song.instruments);
  for (size_t i = 0; i < f.instruments.size(); ++i) {
    const Instrument& in = f.instruments[i];
    std::fprintf(out, "  %3zu: \"%s\", %d sample%s\n", i + 1, song_text(in.info.name).c_str(), in.info.samples,
                 in.info.samples == 1 ? "" : "s");
    for (size_t s = 0; s < in.samples.size(); ++s) {
      const qm_sample_info& sm = in.samples[s];
      std::fprintf(out,
                   "       sample %2zu: \"%s\", %u frames, loop %s %u+%u, volume %d, finetune %d, panning %d, "
                   "relative note %d\n",
                   s, song_text(sm.name).c_str(), sm.length, loop_name(sm.loop_type), sm.loop_start, sm.loop_length, sm.volume,
                   sm.finetune, sm.panning, sm.relative_note);
    }
  }
}

// ---- JSON -------------------------------------------------------------------

void json_ints(JsonWriter* j, const char* key, const std::vector<int32_t>& values) {
  json_key(j, key);
  json_begin_array(j);
  for (int32_t v : values) json_int(j, v);
  json_end_array(j);
}

void json_sample(JsonWriter* j, size_t index, const qm_sample_info& s) {
  json_begin_object(j);
  json_int_field(j, "index", static_cast<int64_t>(index));
  json_string_field(j, "name", song_utf8(s.name));
  json_int_field(j, "frames", s.length);
  json_string_field(j, "loop", loop_name(s.loop_type));
  json_int_field(j, "loop_start", s.loop_start);
  json_int_field(j, "loop_length", s.loop_length);
  json_int_field(j, "volume", s.volume);
  json_int_field(j, "finetune", s.finetune);
  json_int_field(j, "panning", s.panning);
  json_int_field(j, "relative_note", s.relative_note);
  json_end_object(j);
}

void json_lists(JsonWriter* j, const Facts& f) {
  json_key(j, "patterns");
  json_begin_array(j);
  for (size_t p = 0; p < f.pattern_rows.size(); ++p) {
    json_begin_object(j);
    json_int_field(j, "index", static_cast<int64_t>(p));
    json_int_field(j, "rows", f.pattern_rows[p]);
    json_ints(j, "orders", f.pattern_at[p]);
    json_end_object(j);
  }
  json_end_array(j);
  json_key(j, "instruments");
  json_begin_array(j);
  for (size_t i = 0; i < f.instruments.size(); ++i) {
    json_begin_object(j);
    json_int_field(j, "index", static_cast<int64_t>(i + 1));
    json_string_field(j, "name", song_utf8(f.instruments[i].info.name));
    json_key(j, "samples");
    json_begin_array(j);
    for (size_t s = 0; s < f.instruments[i].samples.size(); ++s) json_sample(j, s, f.instruments[i].samples[s]);
    json_end_array(j);
    json_end_object(j);
  }
  json_end_array(j);
  json_key(j, "warnings");
  json_begin_array(j);
  for (const std::string& w : f.warnings) json_string(j, w);
  json_end_array(j);
}

void print_json(FILE* out, const char* path, const Facts& f) {
  JsonWriter j;
  json_begin_object(&j);
  json_string_field(&j, "file", path);
  json_string_field(&j, "song_name", song_utf8(f.song.name));
  json_string_field(&j, "tracker", song_utf8(f.song.tracker));
  json_string_field(&j, "version", version_text(f.song.version));
  json_bool_field(&j, "linear_periods", f.song.linear_periods != 0);
  json_int_field(&j, "channels", f.song.channels);
  json_int_field(&j, "speed", f.song.speed);
  json_int_field(&j, "bpm", f.song.bpm);
  json_key(&j, "duration");
  json_begin_object(&j);
  json_real_field(&j, "seconds", seconds_of(f), 3);
  json_int_field(&j, "frames", static_cast<int64_t>(f.frames));
  json_int_field(&j, "rate", f.rate);
  json_bool_field(&j, "ends", f.ends);
  json_end_object(&j);
  json_int_field(&j, "restart", f.song.restart);
  json_ints(&j, "orders", f.orders);
  json_lists(&j, f);
  json_end_object(&j);
  std::fprintf(out, "%s\n", j.text.c_str());
}

}  // namespace

void print_refusal_json(FILE* out, const char* path, const std::string& why) {
  JsonWriter j;
  json_begin_object(&j);
  json_string_field(&j, "file", path);
  json_string_field(&j, "error", why);
  json_end_object(&j);
  std::fprintf(out, "%s\n", j.text.c_str());
}

void print_song_info(FILE* out, const char* path, const qm_song* song, int32_t rate, bool json) {
  const Facts facts = gather(song, rate);
  if (json) print_json(out, path, facts);
  else print_text(out, path, facts);
}
