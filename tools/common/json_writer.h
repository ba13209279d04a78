// json_writer.h: a small writer of compact JSON text: objects, arrays,
// strings (escaped; bytes that are not UTF-8 become U+FFFD), whole and
// real numbers and booleans. Commas are placed by the writer.
// Owns: its text. Thread: the caller's.
//
//   JsonWriter j;
//   json_begin_object(&j);
//   json_key(&j, "name");  json_string(&j, "typing");
//   json_end_object(&j);   // j.text == {"name":"typing"}
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct JsonWriter {
  std::string text;          // the JSON written so far
  std::vector<bool> empty;   // per open object or array: nothing in it yet
  bool after_key = false;    // a key was written; its value comes next
};

void json_begin_object(JsonWriter* j);
void json_end_object(JsonWriter* j);
void json_begin_array(JsonWriter* j);
void json_end_array(JsonWriter* j);
// A key of the open object; the next call writes its value.
void json_key(JsonWriter* j, const char* key);
void json_string(JsonWriter* j, const std::string& value);
void json_int(JsonWriter* j, int64_t value);
// A real number with `decimals` digits after the point.
void json_real(JsonWriter* j, double value, int decimals);
void json_bool(JsonWriter* j, bool value);
// A key and its value.
void json_string_field(JsonWriter* j, const char* key, const std::string& value);
void json_int_field(JsonWriter* j, const char* key, int64_t value);
void json_real_field(JsonWriter* j, const char* key, double value, int decimals);
void json_bool_field(JsonWriter* j, const char* key, bool value);

// value as the body of a JSON string (no quotes): escaped, invalid UTF-8
// replaced by U+FFFD.
std::string json_escape(const std::string& value);
