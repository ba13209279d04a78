// score.cpp: the patterns and order table of "typing.xm".
// Owns: nothing global. Thread: any.
// Every pattern is one bar of 16 rows; the rows alternate 13 and 12 ticks
// (set by effect F on the bell channel), so a bar is 200 ticks. At 249 BPM a
// tick is 442 frames at 44,100 Hz and a bar exactly 88,400 frames: the
// length of the show's output ring. The groove bar (pattern 1) plays three
// times after the intro; every note it starts is started again in the next
// bar, every effect memory it relies on is set again, and each looping voice
// is started an even number of times per bar, so the mixer's voice slots are
// the same at every bar line and consecutive groove bars render identically.
#include "tune.h"

namespace {

constexpr int ROWS = 16;
enum ChannelRole {
  KEYS_A, KEYS_B, SPACE, RATCHET, BELL, BASS, PAD1, PAD2, PAD3, LEAD, CHANNELS
};
constexpr int TEMPO = 249;
constexpr int LONG_ROW = 13;  // ticks of even rows
constexpr int SHORT_ROW = 12; // ticks of odd rows

// Effect numbers (base 36) and extended sub-effects (high nibble of E's parameter).
constexpr int FX_ARPEGGIO = 0x00, FX_PORTA_UP = 0x01, FX_TONE_PORTA = 0x03, FX_VIBRATO = 0x04;
constexpr int FX_TREMOLO = 0x07, FX_PAN = 0x08, FX_OFFSET = 0x09, FX_VOLUME_SLIDE = 0x0A;
constexpr int FX_EXTENDED = 0x0E, FX_SPEED = 0x0F;
constexpr int FX_GLOBAL_VOLUME = 0x10, FX_GLOBAL_SLIDE = 0x11, FX_KEY_OFF = 0x14;
constexpr int FX_PAN_SLIDE = 0x19, FX_RETRIG = 0x1B, FX_TREMOR = 0x1D;
constexpr int EX_PATTERN_LOOP = 0x60, EX_RETRIGGER = 0x90, EX_NOTE_CUT = 0xC0;
constexpr int EX_NOTE_DELAY = 0xD0, EX_PATTERN_DELAY = 0xE0;
// Volume-column commands (low nibble: the value).
constexpr int VC_SLIDE_DOWN = 0x60, VC_SLIDE_UP = 0x70, VC_FINE_UP = 0x90;
constexpr int VC_VIBRATO_SPEED = 0xA0, VC_VIBRATO_DEPTH = 0xB0, VC_PAN = 0xC0;
constexpr int VC_PAN_LEFT = 0xE0, VC_PORTA = 0xF0;

constexpr int V(int volume) { return 0x10 + volume; } // volume column: set volume 0..64

// The mix: every volume a channel's cells set is scaled by its fader, in
// percent, and held at 64. Keys sit forward, the sustained parts behind them.
constexpr int FADER[CHANNELS] = {
    /*KEYS_A*/ 150, /*KEYS_B*/ 150, /*SPACE*/ 125, /*RATCHET*/ 150, /*BELL*/ 110,
    /*BASS*/ 105,   /*PAD1*/ 125,   /*PAD2*/ 125,  /*PAD3*/ 125,    /*LEAD*/ 130,
};
constexpr int VC_SET_VOLUME = 0x10, VC_SET_VOLUME_LAST = 0x50;

uint8_t mixed_volume(int channel, int volume_byte) {
  if (volume_byte < VC_SET_VOLUME || volume_byte > VC_SET_VOLUME_LAST) {
    return static_cast<uint8_t>(volume_byte);
  }
  int v = (volume_byte - VC_SET_VOLUME) * FADER[channel] / 100;
  return static_cast<uint8_t>(VC_SET_VOLUME + (v > 64 ? 64 : v));
}

struct Event {
  int row;
  int channel;
  const char* note; // "C-4", "C#4", "==" key-off, nullptr none
  int instrument;
  int volume;       // volume-column byte
  int effect;
  int param;
};

uint8_t note_byte(const char* name) {
  if (!name) return 0;
  if (name[0] == '=') return XM_KEY_OFF;
  static const char letters[] = "C-C#D-D#E-F-F#G-G#A-A#B-";
  for (int i = 0; i < 12; ++i) {
    if (letters[2 * i] == name[0] && letters[2 * i + 1] == name[1]) {
      return static_cast<uint8_t>(1 + 12 * (name[2] - '0') + i);
    }
  }
  return 0;
}

// One bar: the speed alternation on the bell channel, then the events (an
// event with an effect replaces the cell's effect).
XmPattern bar(const std::vector<Event>& events) {
  XmPattern p = make_pattern(ROWS, CHANNELS);
  for (int row = 0; row < ROWS; ++row) {
    XmCell& c = p.cells[static_cast<size_t>(row * CHANNELS + BELL)];
    c.effect = FX_SPEED;
    c.param = row % 2 == 0 ? LONG_ROW : SHORT_ROW;
  }
  for (const Event& e : events) {
    XmCell& c = p.cells[static_cast<size_t>(e.row * CHANNELS + e.channel)];
    c.note = note_byte(e.note);
    c.instrument = static_cast<uint8_t>(e.instrument);
    c.volume = mixed_volume(e.channel, e.volume);
    if (e.effect || e.param) {
      c.effect = static_cast<uint8_t>(e.effect);
      c.param = static_cast<uint8_t>(e.param);
    }
  }
  return p;
}

std::vector<Event> groove_events();

// Bar 1: paper rolled in, a bell, a C chord swelling in, the first hesitant
// keys; from row 7 the bell, bass and pads play the groove's second half, so
// that every voice reaches the first groove bar line as it reaches the next.
XmPattern intro() {
  std::vector<Event> events = {
      {0, KEYS_A, nullptr, 0, 0, FX_GLOBAL_VOLUME, 0x40},
      {0, KEYS_B, nullptr, 0, 0, FX_SPEED, TEMPO},
      {0, SPACE, "A-3", INS_SPACE, V(40), 0, 0},
      {0, RATCHET, "C-4", INS_RATCHET, V(24), FX_RETRIG, 0x04},
      {0, BELL, "E-6", INS_BELL, V(30), 0, 0},
      {0, BASS, "C-2", INS_BASS, V(40), 0, 0},
      {0, PAD1, "G-3", INS_PAD, V(0), FX_VOLUME_SLIDE, 0x10},
      {0, PAD2, "C-4", INS_PAD, V(0), FX_VOLUME_SLIDE, 0x10},
      {0, PAD3, "E-4", INS_PAD, V(0), FX_VOLUME_SLIDE, 0x10},
      {1, RATCHET, nullptr, 0, 0, FX_RETRIG, 0},
      {1, PAD1, nullptr, 0, 0, FX_VOLUME_SLIDE, 0}, {1, PAD2, nullptr, 0, 0, FX_VOLUME_SLIDE, 0},
      {1, PAD3, nullptr, 0, 0, FX_VOLUME_SLIDE, 0},
      {2, RATCHET, "D-4", INS_RATCHET, V(20), FX_RETRIG, 0x04},
      {2, PAD1, nullptr, 0, 0, FX_VOLUME_SLIDE, 0}, {2, PAD2, nullptr, 0, 0, FX_VOLUME_SLIDE, 0},
      {2, PAD3, nullptr, 0, 0, FX_VOLUME_SLIDE, 0},
      {3, RATCHET, nullptr, 0, 0, FX_RETRIG, 0},
      {4, SPACE, "C-4", INS_SPACE, V(28), 0, 0},
      {6, KEYS_A, "C-4", INS_KEY, V(30), FX_PAN, 0x60},
      {8, KEYS_B, "D-4", INS_KEY, VC_PAN | 0xA, FX_EXTENDED, EX_NOTE_DELAY | 3},
      {9, KEYS_A, "E-4", 0, V(36), 0, 0},
      {11, KEYS_B, "C#4", 0, V(34), FX_EXTENDED, EX_RETRIGGER | 6},
      {12, LEAD, "C-6", INS_LEAD, V(26), FX_ARPEGGIO, 0x47},
      {13, KEYS_A, "D-4", 0, V(38), 0, 0},
      {14, KEYS_B, "E-4", 0, V(40), 0, 0},
      {14, LEAD, "D-6", INS_LEAD, V(24), FX_VIBRATO, 0x36},
      {15, KEYS_A, "F-4", 0, V(42), FX_EXTENDED, EX_NOTE_DELAY | 6},
      {15, LEAD, nullptr, 0, 0, FX_VOLUME_SLIDE, 0x08}, // silent at the bar line, as in the groove
  };
  for (const Event& e : groove_events()) {
    bool shared = e.channel == BELL || e.channel == BASS || (e.channel >= PAD1 && e.channel <= PAD3);
    if (shared && e.row >= 7) events.push_back(e);
  }
  return bar(events);
}

// Bars 2 to 4 and the home of the song: Fmaj7 then G6 under steady typing;
// at the end of the line the bell rings and the carriage ratchets back.
std::vector<Event> groove_events() {
  return {
      {0, KEYS_B, nullptr, 0, 0, FX_SPEED, TEMPO},
      {0, SPACE, "A-3", INS_SPACE, V(52), 0, 0},
      {0, RATCHET, nullptr, 0, 0, FX_GLOBAL_VOLUME, 0x40},
      {0, BASS, "F-2", INS_BASS, V(48), 0, 0},
      {0, PAD1, "A-3", INS_PAD, V(34), FX_PAN, 0x60},
      {0, PAD2, "C-4", INS_PAD, V(30), 0, 0},
      {0, PAD3, "E-4", INS_PAD, V(30), FX_PAN, 0xA0},
      {1, KEYS_A, "D-4", INS_KEY, V(44), FX_PAN, 0x60},
      {2, KEYS_B, "E-4", INS_KEY, V(40), FX_PAN, 0xA0},
      {2, LEAD, "E-5", INS_LEAD, V(36), 0, 0},
      {3, KEYS_A, "C-4", 0, V(34), 0, 0},
      {4, SPACE, "C-4", INS_SPACE, V(34), 0, 0},
      {5, KEYS_B, "D#4", 0, V(42), 0, 0},
      {5, LEAD, "G-5", INS_LEAD, V(30), 0, 0},
      {6, KEYS_A, "E-4", 0, V(46), 0, 0},
      {6, BASS, "C-3", INS_BASS, V(36), 0, 0},
      {7, KEYS_B, "C-5", 0, V(38), FX_EXTENDED, EX_RETRIGGER | 6},
      {7, PAD1, nullptr, 0, 0, FX_KEY_OFF, 0},
      {7, PAD2, "==", 0, 0, 0, 0},
      {7, PAD3, "==", 0, 0, 0, 0},
      {8, SPACE, "C-4", INS_SPACE, V(30), FX_OFFSET, 0x03},
      {8, BASS, "G-2", INS_BASS, V(46), 0, 0},
      {8, PAD1, "B-3", INS_PAD, V(34), FX_PAN, 0x60},
      {8, PAD2, "D-4", INS_PAD, V(30), 0, 0},
      {8, PAD3, "E-4", INS_PAD, V(26), FX_PAN, 0xA0},
      {9, KEYS_A, "C#4", 0, V(40), 0, 0},
      {9, BASS, nullptr, 0, VC_VIBRATO_SPEED | 6, 0, 0},
      {10, KEYS_B, "D-4", 0, V(46), 0, 0},
      {10, BASS, nullptr, 0, VC_VIBRATO_DEPTH | 3, 0, 0},
      {10, LEAD, "D-5", INS_LEAD, V(34), 0, 0},
      {11, KEYS_A, "D-4", 0, V(38), FX_EXTENDED, EX_NOTE_DELAY | 4},
      {11, BASS, "D-3", INS_BASS, V(38), 0, 0},
      {11, LEAD, nullptr, 0, 0, FX_VIBRATO, 0x46},
      {12, BELL, "E-6", INS_BELL, V(40), 0, 0},
      {12, LEAD, "E-6", INS_LEAD, V(28), FX_ARPEGGIO, 0x37},
      {13, RATCHET, "C-5", INS_RATCHET, V(12), FX_RETRIG, 0xB2},
      {13, LEAD, nullptr, 0, 0, FX_VOLUME_SLIDE, 0x04},
      {14, RATCHET, "D-5", INS_RATCHET, V(24), FX_RETRIG, 0xB2},
      {14, BASS, "E-3", 0, 0, FX_TONE_PORTA, 0x04},
      {14, LEAD, nullptr, 0, 0, FX_PAN_SLIDE, 0x40},
      {15, RATCHET, "E-5", INS_RATCHET, V(36), FX_RETRIG, 0xB2},
  };
}

// Development, first line: Dm9 then Em7; a stutter of two rows played three
// times by a pattern loop, a trembling pad, a gated key and a gliding lead.
XmPattern verse() {
  return bar({
      {0, KEYS_B, nullptr, 0, 0, FX_SPEED, TEMPO},
      {0, RATCHET, nullptr, 0, 0, FX_GLOBAL_VOLUME, 0x40},
      {0, SPACE, "A-3", INS_SPACE, V(48), 0, 0},
      {0, BASS, "D-2", INS_BASS, V(46), 0, 0},
      {0, PAD1, "C-4", INS_PAD, V(32), FX_PAN, 0x60},
      {0, PAD2, "E-4", INS_PAD, V(28), 0, 0},
      {0, PAD3, "F-4", INS_PAD, V(28), FX_PAN, 0xA0},
      {0, LEAD, "A-5", INS_LEAD, V(34), 0, 0},
      {1, KEYS_A, "D-4", INS_KEY, V(40), FX_PAN, 0x60},
      {2, KEYS_B, "F-4", INS_KEY, V(38), FX_PAN, 0xA0},
      {2, LEAD, nullptr, 0, 0, FX_VIBRATO, 0x35},
      {3, KEYS_A, "E-4", 0, V(36), 0, 0},
      {3, LEAD, nullptr, 0, 0, FX_VIBRATO, 0},
      {4, SPACE, "C-4", INS_SPACE, V(34), 0, 0},
      {4, PAD1, nullptr, 0, 0, FX_TREMOLO, 0x43},
      {4, PAD3, nullptr, 0, 0, FX_TREMOLO, 0x43},
      {4, LEAD, "G-5", INS_LEAD, V(30), 0, 0},
      {5, KEYS_B, "D-4", 0, V(40), FX_TREMOR, 0x21},
      {5, PAD1, nullptr, 0, 0, FX_TREMOLO, 0},
      {5, PAD3, nullptr, 0, 0, FX_TREMOLO, 0},
      {6, KEYS_A, "C-4", 0, V(44), 0, 0},
      {6, BASS, "A-2", INS_BASS, V(38), 0, 0},
      {6, LEAD, "F-5", INS_LEAD, V(30), 0, 0},
      {7, KEYS_B, "C-5", 0, V(36), 0, 0},
      {7, PAD1, nullptr, 0, 0, FX_KEY_OFF, 0},
      {7, PAD2, "==", 0, 0, 0, 0},
      {7, PAD3, "==", 0, 0, 0, 0},
      {8, SPACE, "C-4", INS_SPACE, V(30), FX_OFFSET, 0x02},
      {8, BASS, "E-2", INS_BASS, V(46), 0, 0},
      {8, PAD1, "B-3", INS_PAD, V(32), FX_PAN, 0x60},
      {8, PAD2, "D-4", INS_PAD, V(28), 0, 0},
      {8, PAD3, "G-4", INS_PAD, V(26), FX_PAN, 0xA0},
      {8, LEAD, "E-5", INS_LEAD, V(34), 0, 0},
      {9, KEYS_A, "D-4", 0, V(40), 0, 0},
      {9, LEAD, "G-5", 0, 0, FX_TONE_PORTA, 0x08},
      {10, KEYS_B, "E-4", 0, V(44), 0, 0},
      {10, BASS, "B-2", INS_BASS, V(36), 0, 0},
      {11, KEYS_A, "F-4", 0, V(38), FX_EXTENDED, EX_NOTE_DELAY | 3},
      {12, KEYS_A, "C-4", 0, V(36), FX_EXTENDED, EX_PATTERN_LOOP | 0},
      {12, KEYS_B, "D-4", 0, V(30), FX_EXTENDED, EX_NOTE_CUT | 6},
      {12, BASS, "D-3", INS_BASS, V(38), 0, 0},
      {12, LEAD, "B-5", INS_LEAD, V(26), FX_ARPEGGIO, 0x35},
      {13, KEYS_A, "E-4", 0, V(40), FX_EXTENDED, EX_PATTERN_LOOP | 2},
      {14, RATCHET, "C-5", INS_RATCHET, V(16), FX_RETRIG, 0xB2},
      {15, RATCHET, "D-5", INS_RATCHET, V(28), FX_RETRIG, 0xB2},
      {15, BASS, "E-3", 0, VC_PORTA | 4, 0, 0},
  });
}

// Development, second line: a quieter walk Fmaj7, Em7, Dm7, G with an
// arpeggiated music box, slowing at the end of the line.
XmPattern bridge() {
  return bar({
      {0, KEYS_B, nullptr, 0, 0, FX_SPEED, TEMPO},
      {0, RATCHET, nullptr, 0, 0, FX_GLOBAL_VOLUME, 0x40},
      {0, SPACE, "A-3", INS_SPACE, V(40), 0, 0},
      {0, BASS, "F-2", INS_BASS, V(44), 0, 0},
      {0, PAD1, "A-3", INS_PAD, V(30), FX_PAN, 0x60},
      {0, PAD2, "C-4", INS_PAD, V(30), 0, 0},
      {0, PAD3, "E-4", INS_PAD, V(30), FX_PAN, 0xA0},
      {0, LEAD, "C-6", INS_LEAD, V(30), FX_ARPEGGIO, 0x47},
      {2, LEAD, "A-5", INS_LEAD, V(26), FX_ARPEGGIO, 0x37},
      {4, BASS, "E-2", INS_BASS, V(42), 0, 0},
      {4, PAD1, "G-3", INS_PAD, V(30), FX_PAN, 0x60},
      {4, PAD2, "B-3", INS_PAD, V(30), 0, 0},
      {4, PAD3, "D-4", INS_PAD, V(28), FX_PAN, 0xA0},
      {4, LEAD, "B-5", INS_LEAD, V(28), FX_ARPEGGIO, 0x35},
      {5, KEYS_A, "E-4", INS_KEY, V(30), FX_PAN, 0x60},
      {6, LEAD, "G-5", INS_LEAD, V(24), FX_VIBRATO, 0x24},
      {8, SPACE, "C-4", INS_SPACE, V(30), 0, 0},
      {8, BASS, "D-2", INS_BASS, V(44), 0, 0},
      {8, PAD1, "F-3", INS_PAD, V(30), FX_PAN, 0x60},
      {8, PAD2, "A-3", INS_PAD, V(30), 0, 0},
      {8, PAD3, "C-4", INS_PAD, V(28), FX_PAN, 0xA0},
      {8, LEAD, "A-5", INS_LEAD, V(28), FX_ARPEGGIO, 0x37},
      {9, KEYS_B, "D-4", INS_KEY, V(32), FX_PAN, 0xA0},
      {10, LEAD, "F-5", INS_LEAD, V(24), FX_PORTA_UP, 0x02},
      {12, BELL, "E-6", INS_BELL, V(36), 0, 0},
      {12, BASS, "G-2", INS_BASS, V(44), 0, 0},
      {12, PAD1, "G-3", INS_PAD, V(30), FX_PAN, 0x60},
      {12, PAD2, "B-3", INS_PAD, V(30), 0, 0},
      {12, PAD3, "D-4", INS_PAD, V(28), FX_PAN, 0xA0},
      {12, LEAD, "D-6", INS_LEAD, V(28), 0, 0},
      {13, KEYS_A, "F-4", 0, V(36), 0, 0},
      {13, LEAD, nullptr, 0, VC_SLIDE_DOWN | 2, 0, 0},
      {14, KEYS_B, nullptr, 0, 0, FX_SPEED, 240},
      {14, PAD2, nullptr, 0, VC_PAN_LEFT | 4, 0, 0},
      {15, KEYS_A, "E-4", 0, V(40), FX_EXTENDED, EX_PATTERN_DELAY | 1},
      {15, RATCHET, "C-5", INS_RATCHET, V(28), FX_RETRIG, 0xB2},
  });
}

// The groove once more with a second, softer bell and the whole mix sinking
// by a global volume slide at the end of the line; the next bar (the groove
// again, through the restart position) sets the global volume back.
XmPattern turnaround() {
  std::vector<Event> events = groove_events();
  const std::vector<Event> extra = {
      {3, LEAD, nullptr, 0, VC_SLIDE_UP | 2, 0, 0},
      {9, KEYS_A, "C#4", 0, VC_FINE_UP | 4, 0, 0},
      {13, KEYS_B, nullptr, 0, 0, FX_GLOBAL_SLIDE, 0x01},
      {14, BELL, "E-6", INS_BELL, V(22), 0, 0},
      {14, KEYS_B, nullptr, 0, 0, FX_GLOBAL_SLIDE, 0},
      {15, KEYS_B, nullptr, 0, 0, FX_GLOBAL_SLIDE, 0},
  };
  events.insert(events.end(), extra.begin(), extra.end());
  return bar(events);
}

} // namespace

void compose(XmSong& song) {
  enum PatternNumber { P_INTRO, P_GROOVE, P_VERSE, P_BRIDGE, P_TURNAROUND };
  song.channels = CHANNELS;
  song.default_speed = LONG_ROW;
  song.default_bpm = TEMPO;
  song.patterns = {intro(), bar(groove_events()), verse(), bridge(), turnaround()};
  song.orders = {P_INTRO, P_GROOVE, P_GROOVE, P_GROOVE, P_VERSE,
                 P_BRIDGE, P_VERSE, P_TURNAROUND};
  song.restart_position = 1; // back to the groove after the turnaround
}
