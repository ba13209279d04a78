// encoder.cpp: the capture's video file through libavformat, libavcodec and
// libswscale (see encoder.h), with their send/receive encoding API.
#include "tools/capture/encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <chrono>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t AAC_BIT_RATE = 192000;        // bits per second: transparent for this music
constexpr int32_t FALLBACK_AUDIO_FRAMES = 4096; // sound frames per packet for a codec that takes any
constexpr int32_t FFV1_VERSION = 3;             // the version with slices, coded in parallel
constexpr int32_t FFV1_SLICES = 4;              // slices per frame: one per thread and some to spare
constexpr const char* X264_PRESET = "veryfast"; // fast enough to capture faster than the show runs
// Frames in flight bound the encoder's memory (each is up to 9 MB at scale
// 4): no B-frames, a short look-ahead, no look-ahead thread of its own.
constexpr const char* X264_PARAMS = "bframes=0:rc-lookahead=3:sync-lookahead=0";
// A fixed number of threads: x264's output depends on it, and each thread
// holds frames of its own; the same file then comes out on every machine.
constexpr int32_t ENCODER_THREADS = 2;
constexpr int32_t SAMPLES_PER_FRAME = 2;        // 16-bit stereo
constexpr float S16_FULL_SCALE = 32768.0f;

struct StreamCoder {
  AVCodecContext* codec = nullptr; // the encoder
  AVStream* stream = nullptr;      // its stream in the container
  AVFrame* frame = nullptr;        // the frame handed to the encoder, reused
  int64_t next_pts = 0;            // in the encoder's time base (frames or sound frames)
};

}  // namespace

struct Encoder {
  EncoderSettings settings;          // as opened
  AVFormatContext* format = nullptr; // the container being written
  bool file_open = false;            // format->pb is open
  StreamCoder video;                 // frames: H.264 or FFV1
  StreamCoder audio;                 // sound: AAC or FLAC
  SwsContext* scaler = nullptr;      // composed frame -> encoder's size and pixel format
  AVPacket* packet = nullptr;        // receives each encoded packet
  int32_t audio_frame_size = 0;      // sound frames per encoder frame
  std::vector<int16_t> pending;      // interleaved sound not yet a whole encoder frame
  // The show holds still for long stretches. A frame equal to the one
  // before it is not scaled again; in the lossless file, where every frame
  // is coded on its own, it is not even encoded again: its packet is the
  // last one, with the next time stamp.
  std::vector<uint32_t> last_frame;  // the last composed frame, empty before the first
  AVPacket* last_packet = nullptr;   // lossless: the last frame's packet, in the encoder's time base
  bool last_packet_valid = false;    // last_packet holds the last frame's packet
  EncoderTimes times;                // where the main thread's time went
};

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool failed(std::string& why, const std::string& what, int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  why = what + ": " + text;
  return false;
}

bool failed(std::string& why, const std::string& what) {
  why = what;
  return false;
}

// Writes one packet (time stamps in the encoder's time base) into the
// container, which takes it over.
bool write_packet(Encoder* e, StreamCoder& s, AVPacket* packet, std::string& why) {
  av_packet_rescale_ts(packet, s.codec->time_base, s.stream->time_base);
  packet->stream_index = s.stream->index;
  const int r = av_interleaved_write_frame(e->format, packet);
  return r >= 0 || failed(why, "writing", r);
}

// Writes the last lossless packet again as the frame at pts.
bool repeat_packet(Encoder* e, int64_t pts, std::string& why) {
  const int r = av_packet_ref(e->packet, e->last_packet);
  if (r < 0) return failed(why, "keeping a packet", r);
  e->packet->pts = pts;
  e->packet->dts = pts;
  return write_packet(e, e->video, e->packet, why);
}

// Writes every packet the encoder has ready into the container.
bool drain(Encoder* e, StreamCoder& s, std::string& why) {
  for (;;) {
    int r = avcodec_receive_packet(s.codec, e->packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return failed(why, "encoding", r);
    if (&s == &e->video && e->settings.lossless) {
      av_packet_unref(e->last_packet);
      r = av_packet_ref(e->last_packet, e->packet);
      if (r < 0) return failed(why, "keeping a packet", r);
      e->last_packet_valid = true;
    }
    if (!write_packet(e, s, e->packet, why)) return false;
  }
}

// Hands frame (null: the end of the stream) to the encoder and writes what comes out.
bool send(Encoder* e, StreamCoder& s, AVFrame* frame, std::string& why) {
  const int r = avcodec_send_frame(s.codec, frame);
  if (r < 0) return failed(why, "encoding", r);
  return drain(e, s, why);
}

// Settings of the video encoder the container asks for.
void configure_video(AVCodecContext* c, const EncoderSettings& s) {
  c->width = s.width * s.scale;
  c->height = s.height * s.scale;
  c->time_base = AVRational{1, s.fps};
  c->framerate = AVRational{s.fps, 1};
  c->sample_aspect_ratio = AVRational{1, 1};
  if (s.lossless) {
    c->pix_fmt = AV_PIX_FMT_BGR0;
    c->level = FFV1_VERSION;
    c->gop_size = 1;
    c->thread_type = FF_THREAD_SLICE;
    av_opt_set_int(c->priv_data, "slices", FFV1_SLICES, 0);
  } else {
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;
    av_opt_set(c->priv_data, "preset", X264_PRESET, 0);
    av_opt_set_int(c->priv_data, "crf", s.crf, 0);
    av_opt_set(c->priv_data, "x264-params", X264_PARAMS, 0);
  }
  c->thread_count = ENCODER_THREADS;
}

void configure_audio(AVCodecContext* c, const EncoderSettings& s) {
  c->sample_fmt = s.lossless ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLTP;
  c->sample_rate = s.sample_rate;
  c->time_base = AVRational{1, s.sample_rate};
  av_channel_layout_default(&c->ch_layout, SAMPLES_PER_FRAME);
  if (!s.lossless) c->bit_rate = AAC_BIT_RATE;
}

// Creates, opens and attaches one encoder and its reusable frame.
bool open_stream(Encoder* e, StreamCoder& s, const char* name, bool video, std::string& why) {
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (codec == nullptr) return failed(why, std::string("this FFmpeg has no ") + name + " encoder");
  s.codec = avcodec_alloc_context3(codec);
  s.frame = av_frame_alloc();
  s.stream = avformat_new_stream(e->format, nullptr);
  if (s.codec == nullptr || s.frame == nullptr || s.stream == nullptr) return failed(why, "out of memory");
  if (video) {
    configure_video(s.codec, e->settings);
  } else {
    configure_audio(s.codec, e->settings);
  }
  if (e->format->oformat->flags & AVFMT_GLOBALHEADER) s.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  s.codec->flags |= AV_CODEC_FLAG_BITEXACT;  // no version strings: the same bytes from every build
  int r = avcodec_open2(s.codec, codec, nullptr);
  if (r < 0) return failed(why, std::string("opening the ") + name + " encoder", r);
  r = avcodec_parameters_from_context(s.stream->codecpar, s.codec);
  if (r < 0) return failed(why, "setting up the stream", r);
  s.stream->time_base = s.codec->time_base;
  if (video) {
    s.stream->avg_frame_rate = s.codec->framerate;
    s.frame->format = s.codec->pix_fmt;
    s.frame->width = s.codec->width;
    s.frame->height = s.codec->height;
  } else {
    e->audio_frame_size = s.codec->frame_size > 0 ? s.codec->frame_size : FALLBACK_AUDIO_FRAMES;
    s.frame->format = s.codec->sample_fmt;
    s.frame->nb_samples = e->audio_frame_size;
    av_channel_layout_copy(&s.frame->ch_layout, &s.codec->ch_layout);
    s.frame->sample_rate = s.codec->sample_rate;
  }
  r = av_frame_get_buffer(s.frame, 0);
  return r >= 0 || failed(why, "allocating a frame", r);
}

// The scaler from composed frames (bgr0) to the video encoder's frames:
// nearest neighbour, and for H.264 the BT.709 matrix at video range, as
// the stream is tagged.
bool open_scaler(Encoder* e, std::string& why) {
  const AVCodecContext* c = e->video.codec;
  e->scaler = sws_getContext(e->settings.width, e->settings.height, AV_PIX_FMT_BGR0, c->width, c->height,
                             c->pix_fmt, SWS_POINT, nullptr, nullptr, nullptr);
  if (e->scaler == nullptr) return failed(why, "cannot scale the frames to the video's format");
  if (!e->settings.lossless) {
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    constexpr int UNIT = 1 << 16;  // brightness 0, contrast and saturation 1 in 16.16
    sws_setColorspaceDetails(e->scaler, bt709, 1, bt709, 0, 0, UNIT, UNIT);
  }
  return true;
}

// Encodes frames of the pending sound as the next encoder frame.
bool encode_audio_frame(Encoder* e, int32_t frames, std::string& why) {
  StreamCoder& s = e->audio;
  int r = av_frame_make_writable(s.frame);
  if (r < 0) return failed(why, "allocating a frame", r);
  s.frame->nb_samples = frames;
  const int16_t* in = e->pending.data();
  if (s.codec->sample_fmt == AV_SAMPLE_FMT_S16) {
    std::memcpy(s.frame->data[0], in, static_cast<size_t>(frames) * SAMPLES_PER_FRAME * sizeof(int16_t));
  } else {
    auto* left = reinterpret_cast<float*>(s.frame->data[0]);
    auto* right = reinterpret_cast<float*>(s.frame->data[1]);
    for (int32_t i = 0; i < frames; ++i) {
      left[i] = static_cast<float>(in[2 * i]) / S16_FULL_SCALE;
      right[i] = static_cast<float>(in[2 * i + 1]) / S16_FULL_SCALE;
    }
  }
  s.frame->pts = s.next_pts;
  s.next_pts += frames;
  e->pending.erase(e->pending.begin(), e->pending.begin() + static_cast<ptrdiff_t>(frames) * SAMPLES_PER_FRAME);
  return send(e, s, s.frame, why);
}

}  // namespace

Encoder* encoder_open(const char* path, const EncoderSettings& settings, std::string& why) {
  av_log_set_level(AV_LOG_ERROR);
  auto* e = new Encoder;
  e->settings = settings;
  const char* container = settings.matroska ? "matroska" : "mp4";
  int r = avformat_alloc_output_context2(&e->format, nullptr, container, path);
  bool ok = r >= 0 || failed(why, "setting up the container", r);
  // No creation time, random identifier or version string: the same bytes on every run.
  if (ok) e->format->flags |= AVFMT_FLAG_BITEXACT;
  e->packet = av_packet_alloc();
  e->last_packet = av_packet_alloc();
  ok = ok && ((e->packet != nullptr && e->last_packet != nullptr) || failed(why, "out of memory"));
  ok = ok && open_stream(e, e->video, settings.lossless ? "ffv1" : "libx264", true, why);
  ok = ok && open_stream(e, e->audio, settings.lossless ? "flac" : "aac", false, why);
  ok = ok && open_scaler(e, why);
  if (ok) {
    r = avio_open(&e->format->pb, path, AVIO_FLAG_WRITE);
    e->file_open = r >= 0;
    ok = e->file_open || failed(why, "opening", r);
  }
  if (ok) {
    AVDictionary* options = nullptr;
    if (!settings.matroska) av_dict_set(&options, "movflags", "+faststart", 0);
    r = avformat_write_header(e->format, &options);
    av_dict_free(&options);
    ok = r >= 0 || failed(why, "writing the header", r);
  }
  if (ok) return e;
  encoder_free(e);
  return nullptr;
}

bool encoder_video(Encoder* e, const Image& frame, std::string& why) {
  StreamCoder& s = e->video;
  auto start = Clock::now();
  const bool repeated = !e->last_frame.empty() &&
                        std::memcmp(e->last_frame.data(), frame.pixels, frame.count * sizeof(uint32_t)) == 0;
  // make_writable keeps the content: a repeated frame is already scaled.
  int r = av_frame_make_writable(s.frame);
  if (r < 0) return failed(why, "allocating a frame", r);
  if (!repeated) {
    const uint8_t* planes[1] = {reinterpret_cast<const uint8_t*>(frame.pixels)};
    const int strides[1] = {static_cast<int>(frame.width) * static_cast<int>(sizeof(uint32_t))};
    sws_scale(e->scaler, planes, strides, 0, frame.height, s.frame->data, s.frame->linesize);
    e->last_frame.assign(frame.pixels, frame.pixels + frame.count);
  }
  const int64_t pts = s.next_pts++;
  e->times.scale_seconds += seconds_since(start);
  start = Clock::now();
  bool ok;
  if (repeated && e->last_packet_valid) {
    ok = repeat_packet(e, pts, why);
  } else {
    s.frame->pts = pts;
    e->last_packet_valid = false;  // until the encoder hands out this frame's packet
    ok = send(e, s, s.frame, why);
  }
  e->times.video_seconds += seconds_since(start);
  return ok;
}

bool encoder_audio(Encoder* e, const int16_t* samples, int32_t frames, std::string& why) {
  const auto start = Clock::now();
  e->pending.insert(e->pending.end(), samples, samples + static_cast<ptrdiff_t>(frames) * SAMPLES_PER_FRAME);
  bool ok = true;
  while (ok && static_cast<int64_t>(e->pending.size()) >= int64_t{e->audio_frame_size} * SAMPLES_PER_FRAME) {
    ok = encode_audio_frame(e, e->audio_frame_size, why);
  }
  e->times.audio_seconds += seconds_since(start);
  return ok;
}

bool encoder_finish(Encoder* e, std::string& why) {
  const auto left = static_cast<int32_t>(e->pending.size() / SAMPLES_PER_FRAME);
  if (left > 0 && !encode_audio_frame(e, left, why)) return false;
  if (!send(e, e->audio, nullptr, why)) return false;
  const auto start = Clock::now();
  if (!send(e, e->video, nullptr, why)) return false;
  e->times.video_seconds += seconds_since(start);
  int r = av_write_trailer(e->format);
  if (r < 0) return failed(why, "completing the file", r);
  r = avio_closep(&e->format->pb);
  e->file_open = false;
  return r >= 0 || failed(why, "closing", r);
}

EncoderTimes encoder_times(const Encoder* e) { return e->times; }

void encoder_free(Encoder* e) {
  if (e == nullptr) return;
  if (e->file_open) avio_closep(&e->format->pb);
  for (StreamCoder* s : {&e->video, &e->audio}) {
    avcodec_free_context(&s->codec);
    av_frame_free(&s->frame);
  }
  sws_freeContext(e->scaler);
  av_packet_free(&e->packet);
  av_packet_free(&e->last_packet);
  avformat_free_context(e->format);
  delete e;
}
