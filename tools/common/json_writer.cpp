// json_writer.cpp: the JSON writer.
// Owns: nothing beyond the writer it is given. Thread: the caller's.
#include "tools/common/json_writer.h"

#include <cstdio>

namespace {

constexpr const char* REPLACEMENT = "\\ufffd";

// Before a key or a value: the comma between members, none after a key.
void separate(JsonWriter* j) {
  if (j->after_key) {
    j->after_key = false;
    return;
  }
  if (j->empty.empty()) return;
  if (!j->empty.back()) j->text += ',';
  j->empty.back() = false;
}

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not one
// (overlong forms, surrogates and code points above U+10FFFF are not).
size_t utf8_sequence(const std::string& s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b = byte(i);
  if (b < 0xC2 || b > 0xF4) return 0;  // not a lead byte, or one only overlong forms use
  const size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
  uint32_t code = b & (0x7Fu >> length);
  if (i + length > s.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  const uint32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < lowest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

}  // namespace

std::string json_escape(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size();) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c >= 0x80) {
      const size_t length = utf8_sequence(value, i);
      if (length == 0) {
        out += REPLACEMENT;
        ++i;
      } else {
        out.append(value, i, length);
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char code[8];
          std::snprintf(code, sizeof code, "\\u%04x", c);
          out += code;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out;
}

void json_begin_object(JsonWriter* j) {
  separate(j);
  j->text += '{';
  j->empty.push_back(true);
}

void json_end_object(JsonWriter* j) {
  j->text += '}';
  j->empty.pop_back();
}

void json_begin_array(JsonWriter* j) {
  separate(j);
  j->text += '[';
  j->empty.push_back(true);
}

void json_end_array(JsonWriter* j) {
  j->text += ']';
  j->empty.pop_back();
}

void json_key(JsonWriter* j, const char* key) {
  separate(j);
  j->text += '"' + json_escape(key) + "\":";
  j->after_key = true;
}

void json_string(JsonWriter* j, const std::string& value) {
  separate(j);
  j->text += '"' + json_escape(value) + '"';
}

void json_int(JsonWriter* j, int64_t value) {
  separate(j);
  j->text += std::to_string(value);
}

void json_real(JsonWriter* j, double value, int decimals) {
  separate(j);
  char number[64];
  std::snprintf(number, sizeof number, "%.*f", decimals, value);
  j->text += number;
}

void json_bool(JsonWriter* j, bool value) {
  separate(j);
  j->text += value ? "true" : "false";
}

void json_string_field(JsonWriter* j, const char* key, const std::string& value) {
  json_key(j, key);
  json_string(j, value);
}

void json_int_field(JsonWriter* j, const char* key, int64_t value) {
  json_key(j, key);
  json_int(j, value);
}

void json_real_field(JsonWriter* j, const char* key, double value, int decimals) {
  json_key(j, key);
  json_real(j, value, decimals);
}

void json_bool_field(JsonWriter* j, const char* key, bool value) {
  json_key(j, key);
  json_bool(j, value);
}
