// The test streams: libvorbisenc's usual encode loop over the test signal.
#include "audio/test_ogg.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdlib>

namespace {

constexpr double pi = 3.14159265358979323846;

// A small hash of the frame index: the same "noise" wherever the signal is
// evaluated, with no state.
float noise(std::uint64_t frame, int channel) {
    std::uint64_t x = frame * 2u + static_cast<std::uint64_t>(channel) + 0x9E3779B97F4A7C15u;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9u;
    x ^= x >> 27;
    return static_cast<float>(x >> 40) / static_cast<float>(1u << 24) - 0.5f;
}

void appendPage(std::vector<std::uint8_t>& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

} // namespace

float testSignal(std::uint64_t frame, int channel, int rate) {
    const double t = static_cast<double>(frame) / rate;
    if (channel == 0) {
        const double chirp = std::sin(2.0 * pi * (220.0 * t + 40.0 * t * t));
        return static_cast<float>(0.35 + 0.25 * chirp + 0.1 * noise(frame, 0));
    }
    const double tone = std::sin(2.0 * pi * 330.0 * t) * std::sin(2.0 * pi * 0.7 * t);
    return static_cast<float>(-0.35 + 0.25 * tone + 0.1 * noise(frame, 1));
}

std::vector<std::uint8_t> makeTestOgg(double seconds, int rate, int channels) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, 0.1f) != 0)
        std::abort();
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1);

    std::vector<std::uint8_t> out;
    ogg_packet header, commentHeader, codeHeader;
    vorbis_analysis_headerout(&dsp, &comment, &header, &commentHeader, &codeHeader);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &commentHeader);
    ogg_stream_packetin(&stream, &codeHeader);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0)
        appendPage(out, page);

    const auto total = static_cast<std::uint64_t>(std::llround(seconds * rate));
    constexpr int chunk = 4096;
    std::uint64_t done = 0;
    bool finished = false;
    while (!finished) {
        if (done < total) {
            const int frames = static_cast<int>(total - done < chunk ? total - done : chunk);
            float** buffer = vorbis_analysis_buffer(&dsp, frames);
            for (int c = 0; c < channels; ++c)
                for (int i = 0; i < frames; ++i)
                    buffer[c][i] = testSignal(done + static_cast<std::uint64_t>(i),
                                              channels == 1 ? 0 : c, rate);
            vorbis_analysis_wrote(&dsp, frames);
            done += static_cast<std::uint64_t>(frames);
        } else {
            // Tells the encoder the track is over.
            vorbis_analysis_wrote(&dsp, 0);
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) {
                    appendPage(out, page);
                    if (ogg_page_eos(&page))
                        finished = true;
                }
            }
        }
    }

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}
