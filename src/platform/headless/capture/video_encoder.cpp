// VideoEncoder on libavformat and libavcodec.
//
// - Codec settings: what each encoder of the format table is given, the H.264
//   level and peak rate for a frame size.
// - Set-up: streams, encoders, converters, the temporary file.
// - Frames: RGB to the encoder's pixel format, sound through a FIFO in the
//   audio encoder's frame size.
// - End: flush, trailer, rename; abandon on any failure.
#include "video_encoder.h"

#include "output_file.h"
#include "video_convert.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// --- Codec settings ---

// What each encoder of the format table takes.
struct AudioSettings {
    int sampleRate;
    AVSampleFormat sampleFormat;
    std::int64_t bitRate; // 0 for a lossless encoder
};

AudioSettings audioSettingsFor(const VideoFormat& format) {
    const std::string name = format.audioEncoder;
    if (name == "aac")
        return {44100, AV_SAMPLE_FMT_FLTP, 192000};
    if (name == "libopus")
        return {48000, AV_SAMPLE_FMT_S16, 128000};
    return {44100, AV_SAMPLE_FMT_S16, 0}; // FLAC keeps the track's own 16-bit samples
}

// H.264 levels (ITU-T H.264 table A-1): macroblocks a second and a frame, and
// the largest rate in kbit/s for the High profile (1.25 x the base limit).
struct H264Level {
    const char* name;
    std::int64_t macroblocksPerSecond, macroblocksPerFrame, highBitRate;
};
const H264Level h264Levels[] = {
    {"3.1", 108000, 3600, 17500},       {"3.2", 216000, 5120, 25000},
    {"4.0", 245760, 8192, 25000},       {"4.1", 245760, 8192, 62500},
    {"4.2", 522240, 8704, 62500},       {"5.0", 589824, 22080, 168750},
    {"5.1", 983040, 36864, 300000},     {"5.2", 2073600, 36864, 300000},
    {"6.0", 4177920, 139264, 300000},   {"6.1", 8355840, 139264, 600000},
    {"6.2", 16711680, 139264, 1000000},
};

// The lowest level that takes the frame size and rate (the highest for more).
const H264Level& h264LevelFor(int width, int height, int fps) {
    const std::int64_t frame = static_cast<std::int64_t>((width + 15) / 16) * ((height + 15) / 16);
    for (const H264Level& level : h264Levels)
        if (frame <= level.macroblocksPerFrame && frame * fps <= level.macroblocksPerSecond)
            return level;
    return h264Levels[sizeof h264Levels / sizeof h264Levels[0] - 1];
}

// The peak rate an .mp4 is held to, in bit/s: the most the level allows (one
// second of it buffered), so that hardware decoders and upload limits take the
// file. Nothing less would do for the show's busiest stretch, the dithered
// rotozoom near 90 s, whose every frame is new detail: it needs about 100
// Mbit/s at 2x for 38 dB PSNR; capped at a fifth of a bit a pixel a frame
// (28 Mbit/s) it fell to 23 dB.
std::int64_t h264PeakRate(const H264Level& level) {
    return level.highBitRate * 1000;
}

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

struct VideoEncoderState {
    const VideoFormat* kind = nullptr;
    bool lossless = false;
    int pipe = -1; // the descriptor of a pipe written in place
    std::string target, writing;
    AVFormatContext* format = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    PictureConverter converter;
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* picture = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    bool fileOpen = false;
    bool headerWritten = false;

    int width = 0, height = 0;
    std::int64_t frames = 0, frameIndex = 0;
    const std::int16_t* samples = nullptr;
    std::int64_t sampleCount = 0, samplesIn = 0, samplesOut = 0;

    bool openVideo(const AVCodec* codec, const VideoStreamSettings& settings, std::string& error);
    bool openAudio(const AVCodec* codec, std::string& error);
    bool openStreams(const VideoStreamSettings& settings, std::string& error);
    bool openFile(std::string& error);

    // The next frame's pixels into the encoder's picture.
    bool convert(const std::uint8_t* rgb, std::string& error) {
        if (av_frame_make_writable(picture) < 0) {
            error = "out of memory for the frames";
            return false;
        }
        converter.convert(rgb, picture);
        return true;
    }

    ~VideoEncoderState() {
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        swr_free(&resampler);
        if (fifo)
            av_audio_fifo_free(fifo);
        av_frame_free(&picture);
        av_frame_free(&sound);
        av_packet_free(&packet);
        if (format) {
            if (fileOpen)
                avio_closep(&format->pb);
            avformat_free_context(format);
        }
#ifndef _WIN32
        if (pipe >= 0)
            close(pipe);
#endif
        OutputFile::removeTemporary(writing, target);
    }

    std::string cannotWrite(int code) const {
        return "cannot write " + target + ": " + avError(code);
    }

    // Moves every packet the encoder has ready into the file.
    bool drain(AVCodecContext* codec, AVStream* stream, std::string& error) {
        for (;;) {
            int result = avcodec_receive_packet(codec, packet);
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return true;
            if (result < 0) {
                error = std::string("the ") + codec->codec->name +
                        " encoder failed: " + avError(result);
                return false;
            }
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            result = av_interleaved_write_frame(format, packet);
            if (result < 0) {
                error = cannotWrite(result);
                return false;
            }
        }
    }

    bool send(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string& error) {
        const int result = avcodec_send_frame(codec, frame);
        if (result < 0) {
            error =
                std::string("the ") + codec->codec->name + " encoder failed: " + avError(result);
            return false;
        }
        return drain(codec, stream, error);
    }

    // Resamples input frames up to `end` into the FIFO (all that is left, and
    // the resampler's tail, when `flush`), then encodes every whole audio frame.
    bool feedAudio(std::int64_t end, bool flush, std::string& error) {
        std::uint8_t* converted[AV_NUM_DATA_POINTERS] = {};
        while (samplesIn < end || flush) {
            const int chunk = static_cast<int>(std::min<std::int64_t>(end - samplesIn, 4096));
            const std::uint8_t* input[1] = {
                reinterpret_cast<const std::uint8_t*>(samples + samplesIn * 2)};
            const int room = swr_get_out_samples(resampler, chunk);
            if (room < 0 || av_samples_alloc(converted, nullptr, 2, room > 0 ? room : 1,
                                             audio->sample_fmt, 0) < 0) {
                error = "out of memory for the sound";
                return false;
            }
            const int got =
                swr_convert(resampler, converted, room, chunk > 0 ? input : nullptr, chunk);
            const bool stored =
                got >= 0 &&
                (got == 0 ||
                 av_audio_fifo_write(fifo, reinterpret_cast<void**>(converted), got) == got);
            av_freep(&converted[0]);
            if (!stored) {
                error = "the sound could not be resampled";
                return false;
            }
            samplesIn += chunk;
            if (flush && chunk == 0 && got == 0)
                break;
        }
        const int size = audio->frame_size > 0 ? audio->frame_size : 4096;
        while (av_audio_fifo_size(fifo) >= size || (flush && av_audio_fifo_size(fifo) > 0)) {
            int count = std::min(size, av_audio_fifo_size(fifo));
            if (av_frame_make_writable(sound) < 0) {
                error = "out of memory for the sound";
                return false;
            }
            av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), count);
            if (count < size && !(audio->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) &&
                !(audio->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) {
                // Padded with silence where the encoder takes only whole frames.
                av_samples_set_silence(sound->data, count, size - count, 2, audio->sample_fmt);
                count = size;
            }
            sound->nb_samples = count;
            sound->pts = samplesOut;
            samplesOut += count;
            if (!send(audio, audioStream, sound, error))
                return false;
        }
        return true;
    }
};

// --- Set-up ---

namespace {

const AVCodec* findEncoder(const char* name, const VideoFormat& format, std::string& error) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec)
        error = std::string("the installed libavcodec has no ") + name + " encoder (needed for ." +
                format.extension + " files)";
    return codec;
}

// x264 for pictures of flat colour and hard edges that often stand still,
// each pixel a 2 x 2 block. The ultrafast preset with CABAC turned back on:
// on the dithered rotozoom near 90 s, whose every frame is new detail, the
// finer motion search, deblocking and adaptive B-frames of superfast cost 40 %
// more CPU time for a larger file at a lower PSNR (CRF 15: 66.4 MB at 35.4 dB
// on predicted frames against ultrafast's 65.5 MB at 36.4 dB), and CABAC saves
// a third of the size of the plain variable-length codes for a fifth more time.
// The animation tuning adds two B-frames. qcomp 0.8 (0.6 by default) spends
// more of the bits on the frames with the most detail: it lifts the rotozoom
// from 36.4 to 40.2 dB while the calm scenes keep their size and PSNR
// (44 dB and up). The peak rate stays inside the level chosen for the size.
void setUpX264(AVCodecContext* v, AVDictionary** options) {
    const H264Level& level = h264LevelFor(v->width, v->height, v->time_base.den);
    const std::int64_t peak = h264PeakRate(level);
    v->rc_max_rate = peak;
    v->rc_buffer_size = static_cast<int>(peak < INT32_MAX ? peak : INT32_MAX); // one second
    av_dict_set(options, "preset", "ultrafast", 0);
    av_dict_set(options, "tune", "animation", 0);
    av_dict_set(options, "crf", "15", 0);
    av_dict_set(options, "profile", "high", 0);
    av_dict_set(options, "level", level.name, 0);
    av_dict_set(options, "x264-params", "cabac=1:qcomp=0.8", 0);
}

// VP9 in its real-time mode (the "good" mode was over five times slower here
// for a few per cent), tuned for screen content: flat colour and hard edges,
// which is what the show is. On the rotozoom near 90 s, the hardest stretch,
// the screen tuning at CRF 26 made half the file of the default tuning
// (52.4 MB against 95.3) at a higher PSNR on predicted frames (37.5 dB against
// 35.9); CRF 22 reaches 39.6 dB in 57.8 MB where the .mp4 needs 76 to 81 MB
// for 39 to 40 dB. Speed 8, the fastest real-time speed, in tiles and rows so
// that every core works.
void setUpVp9(AVCodecContext* v, AVDictionary** options) {
    v->bit_rate = 0;
    av_dict_set(options, "crf", "22", 0);
    av_dict_set(options, "deadline", "realtime", 0);
    av_dict_set(options, "cpu-used", "8", 0);
    av_dict_set(options, "tune-content", "screen", 0);
    av_dict_set(options, "row-mt", "1", 0);
    av_dict_set(options, "tile-columns", "2", 0);
}

} // namespace

bool VideoEncoderState::openVideo(const AVCodec* codec, const VideoStreamSettings& settings,
                                  std::string& error) {
    // One key frame a second, so a player can step and seek anywhere.
    AVCodecContext* v = video;
    v->width = settings.picture.frameWidth;
    v->height = settings.picture.frameHeight;
    v->time_base = AVRational{1, settings.fps};
    v->framerate = AVRational{settings.fps, 1};
    v->pix_fmt = lossless ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_YUV420P;
    v->gop_size = settings.fps;
    v->sample_aspect_ratio = AVRational{1, 1};
    // libavcodec leaves x264 on one thread unless asked; 0 is one a core.
    v->thread_count = 0;
    if (!lossless) {
        v->color_range = AVCOL_RANGE_MPEG;
        v->colorspace = AVCOL_SPC_BT709;
        v->color_primaries = AVCOL_PRI_BT709;
        v->color_trc = AVCOL_TRC_BT709;
    }
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    const std::string name = kind->videoEncoder;
    if (name == "libx264") {
        setUpX264(v, &options);
    } else if (name == "libvpx-vp9") {
        setUpVp9(v, &options);
    } else {
        v->gop_size = 1;
        av_dict_set(&options, "level", "3", 0);
        av_dict_set(&options, "slicecrc", "1", 0);
    }
    const int result = avcodec_open2(v, codec, &options);
    av_dict_free(&options);
    if (result < 0) {
        error = "cannot start the " + name + " encoder: " + avError(result);
        return false;
    }
    return true;
}

bool VideoEncoderState::openAudio(const AVCodec* codec, std::string& error) {
    const AudioSettings settings = audioSettingsFor(*kind);
    AVCodecContext* a = audio;
    a->sample_rate = settings.sampleRate;
    a->sample_fmt = settings.sampleFormat;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&a->ch_layout, &stereo);
    a->time_base = AVRational{1, settings.sampleRate};
    if (settings.bitRate)
        a->bit_rate = settings.bitRate;
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int result = avcodec_open2(a, codec, nullptr);
    if (result < 0) {
        error =
            std::string("cannot start the ") + kind->audioEncoder + " encoder: " + avError(result);
        return false;
    }
    return true;
}

bool VideoEncoderState::openStreams(const VideoStreamSettings& settings, std::string& error) {
    videoStream = avformat_new_stream(format, nullptr);
    audioStream = avformat_new_stream(format, nullptr);
    if (!videoStream || !audioStream ||
        avcodec_parameters_from_context(videoStream->codecpar, video) < 0 ||
        avcodec_parameters_from_context(audioStream->codecpar, audio) < 0) {
        error = "cannot set up the streams";
        return false;
    }
    videoStream->time_base = video->time_base;
    videoStream->avg_frame_rate = video->framerate;
    audioStream->time_base = audio->time_base;

    picture->format = video->pix_fmt;
    picture->width = width;
    picture->height = height;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    sound->format = audio->sample_fmt;
    sound->sample_rate = audio->sample_rate;
    av_channel_layout_copy(&sound->ch_layout, &stereo);
    sound->nb_samples = audio->frame_size > 0 ? audio->frame_size : 4096;
    if (av_frame_get_buffer(picture, 0) < 0 || av_frame_get_buffer(sound, 0) < 0) {
        error = "out of memory for the frames";
        return false;
    }
    if (!converter.open(settings.picture, settings.sourceWidth, settings.sourceHeight,
                        video->pix_fmt, error))
        return false;
    if (swr_alloc_set_opts2(&resampler, &stereo, audio->sample_fmt, audio->sample_rate, &stereo,
                            AV_SAMPLE_FMT_S16, 44100, 0, nullptr) < 0 ||
        swr_init(resampler) < 0 ||
        !(fifo = av_audio_fifo_alloc(audio->sample_fmt, 2, sound->nb_samples))) {
        error = "cannot set up the sound conversion";
        return false;
    }
    return true;
}

bool VideoEncoderState::openFile(std::string& error) {
    // The file, by the "file:" protocol so that no name is read as a URL; a
    // pipe through its descriptor once a reader is there.
    std::string url = "file:" + writing;
#ifndef _WIN32
    struct stat status = {};
    if (writing == target && stat(target.c_str(), &status) == 0 && S_ISFIFO(status.st_mode)) {
        pipe = OutputFile::openPipe(target, error);
        if (pipe < 0)
            return false;
        url = "pipe:" + std::to_string(pipe);
    }
#endif
    int result = avio_open(&format->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) {
        error = cannotWrite(result);
        return false;
    }
    fileOpen = true;
    // The Opus encoder's priming samples come before 0 (the file says how many
    // to skip); the other streams are not moved later to make room for them.
    format->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
    AVDictionary* muxerOptions = nullptr;
    if (std::strcmp(kind->muxer, "mp4") == 0)
        av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
    result = avformat_write_header(format, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (result < 0) {
        error = cannotWrite(result);
        return false;
    }
    headerWritten = true;
    return true;
}

bool VideoEncoder::open(const std::string& path, const VideoFormat& kind,
                        const VideoStreamSettings& settings, const std::int16_t* audio,
                        std::int64_t audioFrames, std::string& error) {
    abandon();
    av_log_set_level(AV_LOG_ERROR);
    state = new VideoEncoderState;
    VideoEncoderState& s = *state;
    s.kind = &kind;
    s.lossless = isLossless(kind);
    s.target = path;
    s.width = settings.picture.frameWidth;
    s.height = settings.picture.frameHeight;
    s.frames = settings.frames;
    s.samples = audio;
    s.sampleCount = audioFrames;

    const AVCodec* videoCodec = findEncoder(kind.videoEncoder, kind, error);
    const AVCodec* audioCodec = videoCodec ? findEncoder(kind.audioEncoder, kind, error) : nullptr;
    if (!audioCodec) {
        abandon();
        return false;
    }
    s.writing = OutputFile::temporaryNameFor(path);
    const int result =
        avformat_alloc_output_context2(&s.format, nullptr, kind.muxer, s.writing.c_str());
    s.video = avcodec_alloc_context3(videoCodec);
    s.audio = avcodec_alloc_context3(audioCodec);
    s.picture = av_frame_alloc();
    s.sound = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (result < 0 || !s.format || !s.video || !s.audio || !s.picture || !s.sound || !s.packet) {
        error = "cannot set up the " + std::string(kind.muxer) + " writer";
        abandon();
        return false;
    }
    if (!s.openVideo(videoCodec, settings, error) || !s.openAudio(audioCodec, error) ||
        !s.openStreams(settings, error) || !s.openFile(error)) {
        abandon();
        return false;
    }
    return true;
}

// --- Frames ---

bool VideoEncoder::addFrame(const std::uint8_t* rgb, std::string& error) {
    if (!state) {
        error = "the video file is not open";
        return false;
    }
    VideoEncoderState& s = *state;
    // A repeated frame is sent again as it is: no conversion, no copy.
    if (rgb && !s.convert(rgb, error))
        return false;
    s.picture->pts = s.frameIndex++;
    if (!s.send(s.video, s.videoStream, s.picture, error))
        return false;
    // The sound that plays while this frame is shown.
    const std::int64_t end =
        s.frameIndex >= s.frames ? s.sampleCount : s.sampleCount * s.frameIndex / s.frames;
    return s.feedAudio(end, false, error);
}

// --- End ---

bool VideoEncoder::finish(std::string& error) {
    if (!state) {
        error = "the video file is not open";
        return false;
    }
    VideoEncoderState& s = *state;
    bool ok = s.feedAudio(s.sampleCount, true, error) &&
              s.send(s.video, s.videoStream, nullptr, error) &&
              s.send(s.audio, s.audioStream, nullptr, error);
    if (ok) {
        const int result = av_write_trailer(s.format);
        if (result < 0 || s.format->pb->error < 0) {
            error = s.cannotWrite(result < 0 ? result : s.format->pb->error);
            ok = false;
        }
    }
    if (ok) {
        // The close writes what is still buffered: a full disk can show up only here.
        s.fileOpen = false;
        const int result = avio_closep(&s.format->pb);
        if (result < 0) {
            error = s.cannotWrite(result);
            ok = false;
        }
    }
    if (ok)
        ok = OutputFile::moveInPlace(s.writing, s.target, error);
    if (ok)
        s.writing.clear();
    abandon();
    return ok;
}

void VideoEncoder::abandon() {
    delete state;
    state = nullptr;
}

std::string VideoEncoder::videoCodec() const {
    return state && state->video ? avcodec_get_name(state->video->codec_id) : "";
}

std::string VideoEncoder::audioCodec() const {
    return state && state->audio ? avcodec_get_name(state->audio->codec_id) : "";
}
