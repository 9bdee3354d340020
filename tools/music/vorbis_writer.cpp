// Ogg Vorbis encoding of the finished track.
#include "vorbis_writer.h"

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>

namespace music {

namespace {

bool writePage(std::FILE* file, const ogg_page& page) {
    return std::fwrite(page.header, 1, static_cast<std::size_t>(page.header_len), file) ==
               static_cast<std::size_t>(page.header_len) &&
           std::fwrite(page.body, 1, static_cast<std::size_t>(page.body_len), file) ==
               static_cast<std::size_t>(page.body_len);
}

// The encoder between its setup and the last page: the analysis, the Ogg
// stream and the file the pages go to. Frees all but the setup on the way out.
class PageWriter {
  public:
    PageWriter(vorbis_info& info, std::FILE* out) : file(out) {
        vorbis_comment_init(&comment);
        vorbis_comment_add_tag(&comment, "TITLE", "Shade Strip");
        vorbis_analysis_init(&dsp, &info);
        vorbis_block_init(&dsp, &block);
        // A fixed serial number keeps the file identical from build to build.
        ogg_stream_init(&stream, 0x53537472);
    }
    ~PageWriter() {
        ogg_stream_clear(&stream);
        vorbis_block_clear(&block);
        vorbis_dsp_clear(&dsp);
        vorbis_comment_clear(&comment);
    }
    PageWriter(const PageWriter&) = delete;
    PageWriter& operator=(const PageWriter&) = delete;

    // The three header packets, on pages of their own.
    bool writeHeaders() {
        ogg_packet header, headerComment, headerCode;
        vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
        ogg_stream_packetin(&stream, &header);
        ogg_stream_packetin(&stream, &headerComment);
        ogg_stream_packetin(&stream, &headerCode);
        return flush();
    }

    // Every frame, 4096 at a time, then the end of the stream.
    bool writeSamples(const std::vector<float>& samples) {
        const std::size_t frames = samples.size() / 2;
        const std::size_t chunk = 4096;
        bool ok = true;
        bool ended = false;
        for (std::size_t done = 0; ok && !ended;) {
            const std::size_t count = frames - done < chunk ? frames - done : chunk;
            if (count == 0) {
                vorbis_analysis_wrote(&dsp, 0);
            } else {
                float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(count));
                for (std::size_t i = 0; i < count; ++i) {
                    buffer[0][i] = samples[2 * (done + i)];
                    buffer[1][i] = samples[2 * (done + i) + 1];
                }
                vorbis_analysis_wrote(&dsp, static_cast<int>(count));
                done += count;
            }
            ok = writeReadyPages(ended);
            if (count == 0)
                ended = true;
        }
        return ok && flush();
    }

  private:
    // Encodes the blocks the analysis has ready and writes every full page;
    // `ended` once the last page is out.
    bool writeReadyPages(bool& ended) {
        bool ok = true;
        while (ok && vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (ok && vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
                ogg_stream_packetin(&stream, &packet);
                while (ok && ogg_stream_pageout(&stream, &page) != 0) {
                    ok = writePage(file, page);
                    if (ogg_page_eos(&page))
                        ended = true;
                }
            }
        }
        return ok;
    }

    // Whatever the stream holds, as pages.
    bool flush() {
        bool ok = true;
        while (ok && ogg_stream_flush(&stream, &page) != 0)
            ok = writePage(file, page);
        return ok;
    }

    std::FILE* file;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
    ogg_page page;
};

} // namespace

bool writeVorbis(const std::vector<float>& samples, long nominalBitrate, const std::string& path,
                 std::string& error) {
    vorbis_info info;
    vorbis_info_init(&info);
    // A managed setup at the nominal rate with the rate manager switched off:
    // quality-based VBR whose header still states the nominal bitrate.
    if (vorbis_encode_setup_managed(&info, 2, 44100, -1, nominalBitrate, -1) != 0 ||
        vorbis_encode_ctl(&info, OV_ECTL_RATEMANAGE2_SET, nullptr) != 0 ||
        vorbis_encode_setup_init(&info) != 0) {
        vorbis_info_clear(&info);
        error = "the Vorbis encoder rejects this bitrate";
        return false;
    }
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        vorbis_info_clear(&info);
        error = "cannot write " + temporary;
        return false;
    }
    bool ok;
    {
        PageWriter writer(info, file);
        ok = writer.writeHeaders() && writer.writeSamples(samples);
    }
    vorbis_info_clear(&info);
    if (std::fclose(file) != 0)
        ok = false;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool readVorbisPeak(const std::string& path, double& peak) {
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0)
        return false;
    peak = 0.0;
    bool ok = true;
    for (;;) {
        float** channels = nullptr;
        int section = 0;
        const long frames = ov_read_float(&file, &channels, 4096, &section);
        if (frames == 0)
            break;
        if (frames < 0) {
            ok = false;
            break;
        }
        const int count = ov_info(&file, -1)->channels;
        for (int c = 0; c < count; ++c)
            for (long i = 0; i < frames; ++i)
                peak = std::fmax(peak, std::fabs(static_cast<double>(channels[c][i])));
    }
    ov_clear(&file);
    return ok;
}

} // namespace music
