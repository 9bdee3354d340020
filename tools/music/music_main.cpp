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
    std::vector<float> samples = music::renderMix(score);
    const double mixPeak = music::samplePeak(samples.data(), 0, samples.size() / 2);
    const double gain = music::masterMix(score, samples);
    const double renderSeconds = secondsSince(renderStart);

    if (argc == 5 && !writeWav(samples, argv[4])) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[4]);
        return 1;
    }
    const auto encodeStart = std::chrono::steady_clock::now();
    if (!music::writeVorbis(samples, nominalBitrate, argv[2], error)) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.c_str());
        return 1;
    }
    const double encodeSeconds = secondsSince(encodeStart);

    const std::size_t frames = samples.size() / 2;
    std::printf("music: %zu frames (%.3f s), %zu notes, mix peak %.1f dBFS, gain %+.1f dB, "
                "%.1f LUFS, peak %.2f dBFS; render %.1f s, encode %.1f s\n",
                frames, frames / music::sampleRate, score.notes.size(), music::gainToDb(mixPeak),
                gain, music::integratedLoudness(samples),
                music::gainToDb(music::samplePeak(samples.data(), 0, frames)), renderSeconds,
                encodeSeconds);
    return 0;
}
