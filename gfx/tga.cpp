// tga.cpp: the 24-bit TGA loader: uncompressed (type 2) and run-length
// encoded (type 10) true-colour files.
// Owns: the image being decoded and a one-row read buffer, both released
// before it returns. Touches: the target Image (only on success), the file it
// opens (always closed by decode_tga), the console log (log_tga_failure).
// Thread: main thread.
//
// Rows are taken as stored bottom row first, whatever the descriptor says, so
// the pixels are written into the image upside down as they are decoded. The
// header's width and height are checked against the size of the file before
// anything is allocated: a type 10 file must hold at least 4 bytes (one run
// packet) per 128 pixels; a type 2 file may be cut short (its missing pixels
// stay black) but must hold at least half of its 3 bytes per pixel. Anything
// that promises more is refused as too large.
#include "gfx/tga.h"

#include <cstdint>
#include <new>
#include <utility>

#include "gfx/console_log.h"
#include "gfx/file_ops.h"

namespace {

constexpr int TGA_HEADER_SIZE = 18;         // bytes before the image ID
constexpr int TGA_TYPE_TRUE_COLOUR = 2;     // uncompressed
constexpr int TGA_TYPE_RLE_TRUE_COLOUR = 10; // run-length encoded
constexpr int TGA_DEPTH = 24;               // the only pixel depth read
constexpr int TGA_BYTES_PER_PIXEL = 3;      // blue, green, red
constexpr int RLE_RUN_FLAG = 0x80;          // packet header bit: a run, not raw pixels
constexpr int RLE_PACKET_MAX = 128;         // pixels in the longest packet
constexpr int RLE_RUN_BYTES = 1 + TGA_BYTES_PER_PIXEL; // smallest packet that yields 128 pixels
constexpr int LOG_LEVEL_ERROR = 255;        // level of the loader's messages
constexpr int SEEK_FROM_START = 0, SEEK_FROM_END = 2;

// The header fields the loader uses.
struct TgaHeader {
  int id_length;       // bytes of image ID after the header, 0..255
  int image_type;      // 2 or 10 accepted
  int map_length;      // colour map entries to skip, 0..65535
  int map_entry_bits;  // bits per colour map entry, 0..255
  int width;           // pixels per row, 0..65535
  int height;          // rows, 0..65535
  int depth;           // bits per pixel, must be 24
};

int le16(const uint8_t* p) { return p[0] | (p[1] << 8); }

uint32_t bgr_pixel(int blue, int green, int red) {
  return static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue);
}

// Stores decoded pixels, in file order, into the image bottom row first.
struct RowFlipWriter {
  uint32_t* pixels;  // the image's block
  uint32_t width;    // pixels per row, > 0 while pixels are left
  uint32_t row_at;   // element where the row being filled starts
  uint32_t column;   // next column of that row
  uint32_t left;     // pixels still to store

  explicit RowFlipWriter(Image& image)
      : pixels(image.pixels), width(image.width),
        row_at(image.count ? image.count - image.width : 0), column(0), left(image.count) {}

  void put(uint32_t pixel) {
    pixels[row_at + column] = pixel;
    --left;
    if (++column == width) {
      column = 0;
      row_at -= width;  // wraps once past the top row; never used then
    }
  }
};

// Reads the fixed header; the checks follow the order of the fields.
TgaResult read_header(void* file, TgaHeader& h) {
  uint8_t b[TGA_HEADER_SIZE];
  const int32_t got = stdio_read(b, TGA_HEADER_SIZE, file);
  if (got < 3) return TGA_TRUNCATED;
  h.id_length = b[0];
  h.image_type = b[2];
  if (h.image_type != TGA_TYPE_TRUE_COLOUR && h.image_type != TGA_TYPE_RLE_TRUE_COLOUR) return TGA_UNKNOWN_MODE;
  if (got < 17) return TGA_TRUNCATED;
  h.map_length = le16(b + 5);
  h.map_entry_bits = b[7];
  h.width = le16(b + 12);
  h.height = le16(b + 14);
  h.depth = b[16];
  return h.depth == TGA_DEPTH ? TGA_OK : TGA_NOT_24_BIT;
}

// Bytes from data_start to the end of the file, leaving the file positioned
// at data_start. A file larger than a 32-bit position counts as 2 GiB; a file
// whose end cannot be found (not seekable) counts as holding nothing.
int64_t bytes_from(void* file, int32_t data_start) {
  if (stdio_seek(file, 0, SEEK_FROM_END) != 0) return 0;
  const int32_t end = stdio_tell(file);
  const int64_t size = end < 0 ? INT32_MAX : end;
  if (stdio_seek(file, data_start, SEEK_FROM_START) != 0) return 0;
  return size > data_start ? size - data_start : 0;
}

// Whether the pixel data the file holds can back width x height pixels.
bool size_plausible(const TgaHeader& h, int64_t data_bytes) {
  const int64_t count = static_cast<int64_t>(h.width) * h.height;
  if (h.image_type == TGA_TYPE_RLE_TRUE_COLOUR) return count <= data_bytes / RLE_RUN_BYTES * RLE_PACKET_MAX;
  return count * TGA_BYTES_PER_PIXEL <= 2 * data_bytes;
}

// Type 2: one row of bytes per read. Pixels past the end of a short file are
// stored black.
TgaResult decode_raw(void* file, RowFlipWriter& out) {
  const int32_t row_bytes = static_cast<int32_t>(out.width) * TGA_BYTES_PER_PIXEL;
  uint8_t* row = new (std::nothrow) uint8_t[row_bytes];
  if (!row) return TGA_NO_MEMORY;
  while (out.left) {
    const int32_t got = stdio_read(row, row_bytes, file);
    for (int32_t i = 0; i + TGA_BYTES_PER_PIXEL <= got; i += TGA_BYTES_PER_PIXEL) {
      out.put(bgr_pixel(row[i], row[i + 1], row[i + 2]));
    }
    if (got < row_bytes) break;
  }
  while (out.left) out.put(0);
  delete[] row;
  return TGA_OK;
}

// Reads one blue, green, red triple; false at the end of the file.
bool read_pixel(void* file, uint32_t& pixel) {
  const int blue = stdio_getc(file);
  const int green = stdio_getc(file);
  const int red = stdio_getc(file);
  if (blue < 0 || green < 0 || red < 0) return false;
  pixel = bgr_pixel(blue, green, red);
  return true;
}

// Type 10: packets of a header byte n and pixels. n >= 128 repeats one pixel
// n - 127 times; n < 128 is followed by n + 1 pixels. Packets may cross row
// ends; decoding stops at the last pixel, even inside a packet, and a file
// that ends before it fails.
TgaResult decode_rle(void* file, RowFlipWriter& out) {
  while (out.left) {
    const int n = stdio_getc(file);
    if (n < 0) return TGA_TRUNCATED;
    uint32_t pixel;
    if (n & RLE_RUN_FLAG) {
      if (!read_pixel(file, pixel)) return TGA_TRUNCATED;
      for (int k = n - (RLE_RUN_FLAG - 1); k > 0 && out.left; --k) out.put(pixel);
    } else {
      for (int k = n + 1; k > 0 && out.left; --k) {
        if (!read_pixel(file, pixel)) return TGA_TRUNCATED;
        out.put(pixel);
      }
    }
  }
  return TGA_OK;
}

// Everything after a successful open; the caller closes the file.
TgaResult decode_open_file(Image& image, void* file) {
  TgaHeader h;
  const TgaResult header = read_header(file, h);
  if (header != TGA_OK) return header;

  // Past the header come the image ID and the colour map, both skipped.
  const int32_t data_start = TGA_HEADER_SIZE + h.id_length + (h.map_entry_bits >> 3) * h.map_length;
  if (!size_plausible(h, bytes_from(file, data_start))) return TGA_TOO_LARGE;

  Image decoded;
  resize(decoded, h.width, h.height);
  if (decoded.count != static_cast<uint32_t>(h.width) * static_cast<uint32_t>(h.height)) return TGA_NO_MEMORY;
  RowFlipWriter out(decoded);
  const TgaResult result = h.image_type == TGA_TYPE_RLE_TRUE_COLOUR ? decode_rle(file, out) : decode_raw(file, out);
  if (result != TGA_OK) return result;

  // The decoded image takes the target's place; the old block goes with it.
  std::swap(image.width, decoded.width);
  std::swap(image.height, decoded.height);
  std::swap(image.pixels, decoded.pixels);
  std::swap(image.count, decoded.count);
  return TGA_OK;
}

}  // namespace

TgaResult decode_tga(Image& image, const char* path) {
  void* file = stdio_open(path);
  if (!file) return TGA_WILL_NOT_OPEN;
  const TgaResult result = decode_open_file(image, file);
  stdio_close(file);
  return result;
}

const char* tga_result_text(TgaResult result) {
  switch (result) {
    case TGA_OK: return "loaded";
    case TGA_WILL_NOT_OPEN: return "file will not open";
    case TGA_UNKNOWN_MODE: return "file is of unknown mode";
    case TGA_NOT_24_BIT: return "image is not 24 bit";
    case TGA_TRUNCATED: return "file is truncated";
    case TGA_TOO_LARGE: return "file is too short for its width and height";
    case TGA_NO_MEMORY: return "not enough memory";
  }
  return "unknown result";
}

// The depth failure reads as a sentence of its own ("Could not load image
// P.  Image is not 24 bit."); every other reason follows the path after a comma.
std::string tga_failure_text(const char* path, TgaResult result) {
  const std::string shown = path ? path : "";
  if (result == TGA_NOT_24_BIT) return "Could not load image " + shown + ".  Image is not 24 bit.";
  return "Could not load image " + shown + ", " + tga_result_text(result) + ".";
}

void log_tga_failure(const char* path, TgaResult result) {
  console_log.log(LOG_LEVEL_ERROR, "%s\n", tga_failure_text(path, result).c_str());
}
