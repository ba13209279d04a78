// text.cpp: escaping control characters and reading names as code page 437
// (see text.h).
#include "tools/common/text.h"

#include <cstdint>
#include <cstdio>

namespace {

constexpr unsigned char FIRST_PRINTABLE = 0x20;
constexpr unsigned char DELETE = 0x7F;
constexpr unsigned char FIRST_HIGH = 0x80;  // the first byte code page 437 and ASCII disagree on

// Code page 437's characters for bytes 0x80 to 0xFF, in UTF-8.
constexpr const char* CP437_HIGH[128] = {
    "Ç", "ü", "é", "â", "ä", "à", "å", "ç", "ê", "ë", "è", "ï", "î", "ì", "Ä", "Å",  // 0x80
    "É", "æ", "Æ", "ô", "ö", "ò", "û", "ù", "ÿ", "Ö", "Ü", "¢", "£", "¥", "₧", "ƒ",  // 0x90
    "á", "í", "ó", "ú", "ñ", "Ñ", "ª", "º", "¿", "⌐", "¬", "½", "¼", "¡", "«", "»",  // 0xA0
    "░", "▒", "▓", "│", "┤", "╡", "╢", "╖", "╕", "╣", "║", "╗", "╝", "╜", "╛", "┐",  // 0xB0
    "└", "┴", "┬", "├", "─", "┼", "╞", "╟", "╚", "╔", "╩", "╦", "╠", "═", "╬", "╧",  // 0xC0
    "╨", "╤", "╥", "╙", "╘", "╒", "╓", "╫", "╪", "┘", "┌", "█", "▄", "▌", "▐", "▀",  // 0xD0
    "α", "ß", "Γ", "π", "Σ", "σ", "µ", "τ", "Φ", "Θ", "Ω", "δ", "∞", "φ", "ε", "∩",  // 0xE0
    "≡", "±", "≥", "≤", "⌠", "⌡", "÷", "≈", "°", "∙", "·", "√", "ⁿ", "²", "■", "\u00A0",  // 0xF0
};

// The length of the UTF-8 sequence that starts at text[i] when it is well
// formed, else 0.
size_t sequence_length(const std::string& text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < FIRST_HIGH) return 1;
  size_t length = 0;
  uint32_t code = 0, least = 0;
  if ((lead & 0xE0) == 0xC0) length = 2, code = lead & 0x1F, least = 0x80;
  else if ((lead & 0xF0) == 0xE0) length = 3, code = lead & 0x0F, least = 0x800;
  else if ((lead & 0xF8) == 0xF0) length = 4, code = lead & 0x07, least = 0x10000;
  else return 0;
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return code < least || surrogate || code > 0x10FFFF ? 0 : length;
}

}  // namespace

std::string printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= FIRST_PRINTABLE && byte != DELETE) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      out += escape;
    }
  }
  return out;
}

bool is_utf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = sequence_length(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string song_utf8(const std::string& stored) {
  if (is_utf8(stored)) return stored;
  std::string utf8;
  for (const char c : stored) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < FIRST_HIGH) utf8 += c;
    else utf8 += CP437_HIGH[byte - FIRST_HIGH];
  }
  return utf8;
}

std::string song_text(const std::string& stored) { return printable(song_utf8(stored)); }
