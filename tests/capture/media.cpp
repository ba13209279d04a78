// media.cpp: reading video, sound and pictures back for the capture tests
// (see media.h), and the show's sound worked out from a plain render.
#include "tests/capture/media.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "quillmere/music.h"

namespace {

constexpr int32_t SHOW_RATE = 44100;
constexpr int64_t BLOCK_FRAMES = 884;  // 20 ms at 44,100 Hz, raised to a multiple of 4 frames
constexpr int64_t RING_FRAMES = 100 * BLOCK_FRAMES;

struct Demuxer {
  AVFormatContext* format = nullptr;
  ~Demuxer() { avformat_close_input(&format); }
};
struct Decoder {
  AVCodecContext* codec = nullptr;
  ~Decoder() { avcodec_free_context(&codec); }
};
struct Frame {
  AVFrame* frame = av_frame_alloc();
  ~Frame() { av_frame_free(&frame); }
};
struct Packet {
  AVPacket* packet = av_packet_alloc();
  ~Packet() { av_packet_free(&packet); }
};

std::string av_error(const char* what, int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return std::string(what) + ": " + text;
}

bool open_decoder(AVStream* stream, Decoder& d) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (codec == nullptr) return false;
  d.codec = avcodec_alloc_context3(codec);
  return d.codec != nullptr && avcodec_parameters_to_context(d.codec, stream->codecpar) >= 0 &&
         avcodec_open2(d.codec, codec, nullptr) >= 0;
}

// A decoded video frame as 0x00RRGGBB, converted with the matrix and range
// the frame is tagged with.
Picture to_picture(const AVFrame* f) {
  Picture p;
  p.width = f->width;
  p.height = f->height;
  p.pixels.resize(static_cast<size_t>(f->width) * f->height);
  SwsContext* sws = sws_getContext(f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width, f->height,
                                   AV_PIX_FMT_BGR0, SWS_POINT, nullptr, nullptr, nullptr);
  if (sws == nullptr) return Picture{};
  const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
  if (format != nullptr && !(format->flags & AV_PIX_FMT_FLAG_RGB)) {
    const bool full_range = f->color_range == AVCOL_RANGE_JPEG;
    const int* matrix = sws_getCoefficients(f->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
    sws_setColorspaceDetails(sws, matrix, full_range ? 1 : 0, matrix, 1, 0, 1 << 16, 1 << 16);
  }
  uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(p.pixels.data())};
  const int strides[1] = {f->width * 4};
  sws_scale(sws, f->data, f->linesize, 0, f->height, planes, strides);
  sws_freeContext(sws);
  for (uint32_t& px : p.pixels) px &= 0xFFFFFF;  // the padding byte carries no colour
  return p;
}

void keep_sound(const AVFrame* f, MediaFile& m) {
  m.sound_frames += f->nb_samples;
  if (f->format == AV_SAMPLE_FMT_FLTP && f->ch_layout.nb_channels == 2) {
    const auto* l = reinterpret_cast<const float*>(f->data[0]);
    const auto* r = reinterpret_cast<const float*>(f->data[1]);
    m.left.insert(m.left.end(), l, l + f->nb_samples);
    m.right.insert(m.right.end(), r, r + f->nb_samples);
  }
  if (f->format != AV_SAMPLE_FMT_S16) return;
  const auto* samples = reinterpret_cast<const int16_t*>(f->data[0]);
  m.sound.insert(m.sound.end(), samples, samples + static_cast<ptrdiff_t>(f->nb_samples) * 2);
}

// Sends packet (null: the end) and takes every frame that comes out.
bool decode(Decoder& d, const AVPacket* packet, bool video, const std::vector<int64_t>& wanted, MediaFile& m) {
  int r = avcodec_send_packet(d.codec, packet);
  if (r < 0) {
    m.error = av_error("decoding", r);
    return false;
  }
  Frame f;
  while ((r = avcodec_receive_frame(d.codec, f.frame)) >= 0) {
    if (video) {
      const int64_t index = m.frames_decoded++;
      if (std::find(wanted.begin(), wanted.end(), index) != wanted.end()) m.frames[index] = to_picture(f.frame);
    } else {
      keep_sound(f.frame, m);
    }
  }
  if (r != AVERROR(EAGAIN) && r != AVERROR_EOF) {
    m.error = av_error("decoding", r);
    return false;
  }
  return true;
}

void describe(const AVStream* s, const Decoder& d, StreamInfo& info) {
  const AVCodecParameters* p = s->codecpar;
  info.codec = avcodec_get_name(p->codec_id);
  if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
    const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(p->format));
    info.pixel_format = name ? name : "";
    info.width = p->width;
    info.height = p->height;
    info.rate_num = s->r_frame_rate.num;
    info.rate_den = s->r_frame_rate.den;
  } else {
    info.sample_rate = p->sample_rate;
    info.channels = d.codec ? d.codec->ch_layout.nb_channels : 0;
  }
  if (s->duration != AV_NOPTS_VALUE) info.duration = static_cast<double>(s->duration) * av_q2d(s->time_base);
}

// Decodes one picture file (a PNG) into 0x00RRGGBB.
Picture read_picture(const std::string& path) {
  MediaFile m = read_media(path, {0}, false);
  auto it = m.frames.find(0);
  return m.error.empty() && it != m.frames.end() ? it->second : Picture{};
}

}  // namespace

MediaFile read_media(const std::string& path, const std::vector<int64_t>& wanted, bool lossless) {
  MediaFile m;
  Demuxer in;
  int r = avformat_open_input(&in.format, path.c_str(), nullptr, nullptr);
  if (r < 0 || (r = avformat_find_stream_info(in.format, nullptr)) < 0) {
    m.error = av_error("opening", r);
    return m;
  }
  m.format = in.format->iformat->name;
  m.duration = in.format->duration != AV_NOPTS_VALUE ? static_cast<double>(in.format->duration) / AV_TIME_BASE : 0;
  const int v = av_find_best_stream(in.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const int a = av_find_best_stream(in.format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  Decoder video, audio;
  if ((v >= 0 && !open_decoder(in.format->streams[v], video)) || (a >= 0 && !open_decoder(in.format->streams[a], audio))) {
    m.error = "no decoder";
    return m;
  }
  if (v >= 0) describe(in.format->streams[v], video, m.video);
  if (a >= 0) describe(in.format->streams[a], audio, m.audio);
  Packet p;
  int64_t video_index = 0;
  while ((r = av_read_frame(in.format, p.packet)) >= 0) {
    bool ok = true;
    if (p.packet->stream_index == v) {
      ++m.video.packets;
      const bool needed = std::find(wanted.begin(), wanted.end(), video_index) != wanted.end();
      if (lossless) m.frames_decoded = video_index;  // each frame stands alone: decode only those wanted
      if (!lossless || needed) ok = decode(video, p.packet, true, wanted, m);
      ++video_index;
    } else if (p.packet->stream_index == a) {
      ++m.audio.packets;
      ok = decode(audio, p.packet, false, wanted, m);
    }
    av_packet_unref(p.packet);
    if (!ok) return m;
  }
  if (r != AVERROR_EOF) {
    m.error = av_error("reading", r);
    return m;
  }
  if (v >= 0 && !lossless && !decode(video, nullptr, true, wanted, m)) return m;
  if (a >= 0) decode(audio, nullptr, false, wanted, m);
  if (lossless) m.frames_decoded = video_index;
  return m;
}

Picture read_png(const std::string& path) { return read_picture(path); }

std::vector<int16_t> read_wav(const std::string& path) { return read_media(path, {}, false).sound; }

Picture shrink(const Picture& big, int32_t k, bool* uniform) {
  Picture small;
  small.width = big.width / k;
  small.height = big.height / k;
  small.pixels.resize(static_cast<size_t>(small.width) * small.height);
  *uniform = big.width == small.width * k && big.height == small.height * k;
  for (int32_t y = 0; y < big.height; ++y) {
    for (int32_t x = 0; x < big.width; ++x) {
      const uint32_t px = big.pixels[static_cast<size_t>(y) * big.width + x];
      uint32_t& cell = small.pixels[static_cast<size_t>(y / k) * small.width + x / k];
      if (x % k == 0 && y % k == 0) {
        cell = px;
      } else if (cell != px) {
        *uniform = false;
      }
    }
  }
  return small;
}

double mean_abs_error(const Picture& big, const Picture& small, int32_t k) {
  if (big.width != small.width * k || big.height != small.height * k) return 255.0;
  uint64_t sum = 0;
  for (int32_t y = 0; y < big.height; ++y) {
    for (int32_t x = 0; x < big.width; ++x) {
      const uint32_t a = big.pixels[static_cast<size_t>(y) * big.width + x];
      const uint32_t b = small.pixels[static_cast<size_t>(y / k) * small.width + x / k];
      for (int shift = 0; shift < 24; shift += 8) {
        sum += static_cast<uint64_t>(std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)));
      }
    }
  }
  return static_cast<double>(sum) / (3.0 * big.width * big.height);
}

std::vector<int16_t> show_sound(const std::string& xm_path, int64_t stop_frame, int64_t first, int64_t end) {
  // The device is in block stop_frame / BLOCK_FRAMES at the stop; every
  // block before it was refilled, so the ring holds the song up to 100
  // blocks past it, and the device loops over that.
  const int64_t song_end = (stop_frame / BLOCK_FRAMES + 100) * BLOCK_FRAMES;
  const int64_t rendered = std::min(end, song_end);
  std::vector<int16_t> song(static_cast<size_t>(rendered) * 2);
  qm_song* s = nullptr;
  qm_player* player = nullptr;
  if (qm_song_load_file(xm_path.c_str(), &s) != QM_OK || qm_player_create(s, SHOW_RATE, &player) != QM_OK) {
    qm_song_free(s);
    return {};
  }
  qm_player_set_repeat_count(player, -1);  // the show's music loops with the song
  const int32_t got = qm_player_render_s16(player, song.data(), static_cast<int32_t>(rendered));
  qm_player_free(player);
  qm_song_free(s);
  if (got != rendered) return {};
  std::vector<int16_t> heard;
  heard.reserve(static_cast<size_t>(end - first) * 2);
  for (int64_t f = first; f < end; ++f) {
    const int64_t from = f < song_end ? f : song_end - RING_FRAMES + (f - song_end) % RING_FRAMES;
    heard.push_back(song[static_cast<size_t>(from) * 2]);
    heard.push_back(song[static_cast<size_t>(from) * 2 + 1]);
  }
  return heard;
}

int run(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TempFolder::TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qm-capture.XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) != nullptr) path = buffer.data();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path.empty()) std::filesystem::remove_all(path, ignored);
}
