// VideoEncoder on libavformat and libavcodec.
//
// - Codec table: extension -> muxer, encoders and their settings.
// - Set-up: streams, encoders, converters, the temporary file.
// - Frames: RGB to the encoder's pixel format, sound through a FIFO in the
//   audio encoder's frame size.
// - End: flush, trailer, rename; abandon on any failure.
#include "video_encoder.h"

#include "output_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// --- Codec table ---

struct Kind {
    const char* extension;
    const char* muxer;
    const char* videoEncoder;
    AVPixelFormat pixelFormat;
    const char* audioEncoder;
    int sampleRate;
    AVSampleFormat sampleFormat;
    std::int64_t audioBitRate;
};

const Kind kinds[] = {
    {"mp4", "mp4", "libx264", AV_PIX_FMT_YUV420P, "aac", 44100, AV_SAMPLE_FMT_FLTP, 192000},
    {"webm", "webm", "libvpx-vp9", AV_PIX_FMT_YUV420P, "libopus", 48000, AV_SAMPLE_FMT_S16, 128000},
    // Lossless both ways: RGB and 16-bit samples, for checking frames and samples.
    {"mkv", "matroska", "ffv1", AV_PIX_FMT_BGR0, "flac", 44100, AV_SAMPLE_FMT_S16, 0},
};

const Kind* findKind(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return nullptr;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const Kind& kind : kinds)
        if (extension == kind.extension)
            return &kind;
    return nullptr;
}

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

struct VideoEncoderState {
    const Kind* kind = nullptr;
    std::string target, writing;
    AVFormatContext* format = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    SwsContext* scaler = nullptr;
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

    ~VideoEncoderState() {
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        sws_freeContext(scaler);
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

std::string VideoEncoder::kindOf(const std::string& path) {
    const Kind* kind = findKind(path);
    return kind ? kind->extension : "";
}

namespace {

const AVCodec* findEncoder(const char* name, const Kind& kind, std::string& error) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec)
        error = std::string("the installed libavcodec has no ") + name + " encoder (needed for ." +
                kind.extension + " files)";
    return codec;
}

} // namespace

bool VideoEncoder::open(const std::string& path, int fps, int width, int height,
                        std::int64_t frames, const std::int16_t* audio, std::int64_t audioFrames,
                        std::string& error) {
    abandon();
    const Kind* kind = findKind(path);
    if (!kind) {
        error = "--video " + path + ": the name must end in .mp4, .webm or .mkv";
        return false;
    }
    av_log_set_level(AV_LOG_ERROR);
    state = new VideoEncoderState;
    VideoEncoderState& s = *state;
    s.kind = kind;
    s.target = path;
    s.width = width;
    s.height = height;
    s.frames = frames;
    s.samples = audio;
    s.sampleCount = audioFrames;

    const AVCodec* videoCodec = findEncoder(kind->videoEncoder, *kind, error);
    const AVCodec* audioCodec =
        videoCodec ? findEncoder(kind->audioEncoder, *kind, error) : nullptr;
    if (!audioCodec) {
        abandon();
        return false;
    }
    s.writing = OutputFile::temporaryNameFor(path);
    int result = avformat_alloc_output_context2(&s.format, nullptr, kind->muxer, s.writing.c_str());
    s.video = avcodec_alloc_context3(videoCodec);
    s.audio = avcodec_alloc_context3(audioCodec);
    s.picture = av_frame_alloc();
    s.sound = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (result < 0 || !s.format || !s.video || !s.audio || !s.picture || !s.sound || !s.packet) {
        error = "cannot set up the " + std::string(kind->muxer) + " writer";
        abandon();
        return false;
    }
    const bool globalHeader = s.format->oformat->flags & AVFMT_GLOBALHEADER;

    // Video: one key frame a second, so a player can step and seek anywhere.
    AVCodecContext* v = s.video;
    v->width = width;
    v->height = height;
    v->time_base = AVRational{1, fps};
    v->framerate = AVRational{fps, 1};
    v->pix_fmt = kind->pixelFormat;
    v->gop_size = fps;
    v->sample_aspect_ratio = AVRational{1, 1};
    if (kind->pixelFormat != AV_PIX_FMT_BGR0) {
        v->color_range = AVCOL_RANGE_MPEG;
        v->colorspace = AVCOL_SPC_BT709;
        v->color_primaries = AVCOL_PRI_BT709;
        v->color_trc = AVCOL_TRC_BT709;
    }
    if (globalHeader)
        v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* videoOptions = nullptr;
    if (std::strcmp(kind->videoEncoder, "libx264") == 0) {
        av_dict_set(&videoOptions, "preset", "veryfast", 0);
        av_dict_set(&videoOptions, "crf", "18", 0);
    } else if (std::strcmp(kind->videoEncoder, "libvpx-vp9") == 0) {
        v->bit_rate = 0;
        av_dict_set(&videoOptions, "crf", "32", 0);
        av_dict_set(&videoOptions, "deadline", "realtime", 0);
        av_dict_set(&videoOptions, "cpu-used", "8", 0);
        av_dict_set(&videoOptions, "row-mt", "1", 0);
    } else {
        v->gop_size = 1;
        av_dict_set(&videoOptions, "level", "3", 0);
        av_dict_set(&videoOptions, "slicecrc", "1", 0);
    }
    result = avcodec_open2(v, videoCodec, &videoOptions);
    av_dict_free(&videoOptions);
    if (result < 0) {
        error =
            std::string("cannot start the ") + kind->videoEncoder + " encoder: " + avError(result);
        abandon();
        return false;
    }

    AVCodecContext* a = s.audio;
    a->sample_rate = kind->sampleRate;
    a->sample_fmt = kind->sampleFormat;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&a->ch_layout, &stereo);
    a->time_base = AVRational{1, kind->sampleRate};
    if (kind->audioBitRate)
        a->bit_rate = kind->audioBitRate;
    if (globalHeader)
        a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    result = avcodec_open2(a, audioCodec, nullptr);
    if (result < 0) {
        error =
            std::string("cannot start the ") + kind->audioEncoder + " encoder: " + avError(result);
        abandon();
        return false;
    }

    s.videoStream = avformat_new_stream(s.format, nullptr);
    s.audioStream = avformat_new_stream(s.format, nullptr);
    if (!s.videoStream || !s.audioStream ||
        avcodec_parameters_from_context(s.videoStream->codecpar, v) < 0 ||
        avcodec_parameters_from_context(s.audioStream->codecpar, a) < 0) {
        error = "cannot set up the streams";
        abandon();
        return false;
    }
    s.videoStream->time_base = v->time_base;
    s.videoStream->avg_frame_rate = v->framerate;
    s.audioStream->time_base = a->time_base;

    // Frames and converters.
    s.picture->format = v->pix_fmt;
    s.picture->width = width;
    s.picture->height = height;
    s.sound->format = a->sample_fmt;
    s.sound->sample_rate = a->sample_rate;
    av_channel_layout_copy(&s.sound->ch_layout, &stereo);
    s.sound->nb_samples = a->frame_size > 0 ? a->frame_size : 4096;
    if (av_frame_get_buffer(s.picture, 0) < 0 || av_frame_get_buffer(s.sound, 0) < 0) {
        error = "out of memory for the frames";
        abandon();
        return false;
    }
    if (kind->pixelFormat != AV_PIX_FMT_BGR0) {
        s.scaler = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, v->pix_fmt,
                                  SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
        if (!s.scaler) {
            error = "cannot set up the colour conversion";
            abandon();
            return false;
        }
        // Full-range RGB to limited-range BT.709, as the streams are tagged.
        sws_setColorspaceDetails(s.scaler, sws_getCoefficients(SWS_CS_ITU709), 1,
                                 sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    }
    if (swr_alloc_set_opts2(&s.resampler, &stereo, a->sample_fmt, a->sample_rate, &stereo,
                            AV_SAMPLE_FMT_S16, 44100, 0, nullptr) < 0 ||
        swr_init(s.resampler) < 0 ||
        !(s.fifo = av_audio_fifo_alloc(a->sample_fmt, 2, s.sound->nb_samples))) {
        error = "cannot set up the sound conversion";
        abandon();
        return false;
    }

    // The file, by the "file:" protocol so that no name is read as a URL.
    result = avio_open(&s.format->pb, ("file:" + s.writing).c_str(), AVIO_FLAG_WRITE);
    if (result < 0) {
        error = s.cannotWrite(result);
        abandon();
        return false;
    }
    s.fileOpen = true;
    // The Opus encoder's priming samples come before 0 (the file says how many
    // to skip); the other streams are not moved later to make room for them.
    s.format->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
    AVDictionary* muxerOptions = nullptr;
    if (std::strcmp(kind->muxer, "mp4") == 0)
        av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
    result = avformat_write_header(s.format, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (result < 0) {
        error = s.cannotWrite(result);
        abandon();
        return false;
    }
    s.headerWritten = true;
    return true;
}

// --- Frames ---

bool VideoEncoder::addFrame(const std::uint8_t* rgb, std::string& error) {
    if (!state) {
        error = "the video file is not open";
        return false;
    }
    VideoEncoderState& s = *state;
    if (av_frame_make_writable(s.picture) < 0) {
        error = "out of memory for the frames";
        return false;
    }
    if (s.scaler) {
        const std::uint8_t* source[1] = {rgb};
        const int stride[1] = {s.width * 3};
        sws_scale(s.scaler, source, stride, 0, s.height, s.picture->data, s.picture->linesize);
    } else {
        // Blue, green, red and a spare byte keep every value.
        for (int y = 0; y < s.height; ++y) {
            const std::uint8_t* p = rgb + static_cast<std::size_t>(y) * s.width * 3;
            std::uint8_t* out =
                s.picture->data[0] + static_cast<std::ptrdiff_t>(y) * s.picture->linesize[0];
            for (int x = 0; x < s.width; ++x, p += 3, out += 4) {
                out[0] = p[2];
                out[1] = p[1];
                out[2] = p[0];
                out[3] = 0;
            }
        }
    }
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
