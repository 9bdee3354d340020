// Build-time tool: renders the score into the soundtrack and encodes it.
//
//   shadestrip-music SCORE OUT.ogg [--wav OUT.wav]
//
// --wav also writes the mastered track as 16-bit PCM, for listening to it or
// looking at it without a decoder.
#include "loudness.h"
#include "score.h"
#include "synth.h"
#include "vorbis_writer.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr long nominalBitrate = 112000;

bool readFile(const char* path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return true;
}

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool writeWav(const std::vector<float>& samples, const char* path) {
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::string out = "RIFF";
    putLittleEndian(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    putLittleEndian(out, 16, 4);
    putLittleEndian(out, 1, 2);         // PCM
    putLittleEndian(out, 2, 2);         // channels
    putLittleEndian(out, 44100, 4);     // rate
    putLittleEndian(out, 44100 * 4, 4); // bytes per second
    putLittleEndian(out, 4, 2);         // bytes per frame
    putLittleEndian(out, 16, 2);        // bits
    out += "data";
    putLittleEndian(out, dataBytes, 4);
    for (float sample : samples) {
        double scaled = sample * 32767.0;
        scaled = scaled > 32767.0 ? 32767.0 : (scaled < -32768.0 ? -32768.0 : scaled);
        const long value = static_cast<long>(scaled < 0.0 ? scaled - 0.5 : scaled + 0.5);
        putLittleEndian(out, static_cast<std::uint32_t>(value) & 0xFFFF, 2);
    }
    std::ofstream file(path, std::ios::binary);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 5 && std::string(argv[3]) == "--wav")) {
        std::fprintf(stderr, "usage: %s SCORE OUT.ogg [--wav OUT.wav]\n", argv[0]);
        return 2;
    }
    std::string text;
    if (!readFile(argv[1], text)) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    music::Score score;
    std::string error;
    if (!music::parseScore(text, score, error)) {
        std::fprintf(stderr, "%s:%s\n", argv[1], error.c_str());
        return 1;
    }

    const auto renderStart = std::chrono::steady_clock::now();
    const std::vector<float> mix = music::renderMix(score);
    const double mixPeak = music::samplePeak(mix.data(), 0, mix.size() / 2);
    const double renderSeconds = secondsSince(renderStart);

    // Lossy coding lets peaks overshoot what it was given. The decoded track
    // may pass the ceiling by at most 0.7 dB; if it does by more, master
    // again under a lower ceiling.
    const auto encodeStart = std::chrono::steady_clock::now();
    const double allowedPeakDb = score.ceiling + 0.7;
    music::Score mastering = score;
    std::vector<float> samples;
    double gain = 0.0, encodedPeakDb = 0.0;
    for (int attempt = 0;; ++attempt) {
        samples = mix;
        gain = music::masterMix(mastering, samples);
        double encodedPeak = 0.0;
        if (!music::writeVorbis(samples, nominalBitrate, argv[2], error) ||
            !music::readVorbisPeak(argv[2], encodedPeak)) {
            std::fprintf(stderr, "%s: %s\n", argv[0],
                         error.empty() ? "cannot read the encoded track back" : error.c_str());
            std::remove(argv[2]);
            return 1;
        }
        encodedPeakDb = music::gainToDb(encodedPeak);
        const double over = encodedPeakDb - allowedPeakDb;
        if (over <= 0.0)
            break;
        if (attempt == 3) {
            std::fprintf(stderr, "%s: the encoded track still peaks at %.2f dBFS\n", argv[0],
                         encodedPeakDb);
            std::remove(argv[2]);
            return 1;
        }
        mastering.ceiling -= over + 0.2;
    }
    const double encodeSeconds = secondsSince(encodeStart);

    if (argc == 5 && !writeWav(samples, argv[4])) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[4]);
        return 1;
    }
    const std::size_t frames = samples.size() / 2;
    std::printf("music: %zu frames (%.3f s), %zu notes, mix peak %.1f dBFS, gain %+.1f dB, "
                "%.1f LUFS, ceiling %.1f dBFS, encoded peak %.2f dBFS; render %.1f s, "
                "master and encode %.1f s\n",
                frames, frames / music::sampleRate, score.notes.size(), music::gainToDb(mixPeak),
                gain, music::integratedLoudness(samples), mastering.ceiling, encodedPeakDb,
                renderSeconds, encodeSeconds);
    return 0;
}
