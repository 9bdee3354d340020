// The built soundtrack decoded back to samples, for the tests that check what
// the build made.
#pragma once

#include <string>
#include <vector>

struct DecodedTrack {
    int channels = 0;
    int sampleRate = 0;
    long nominalBitrate = 0;    // from the stream's identification header
    std::vector<float> samples; // interleaved
    std::size_t frames() const { return channels ? samples.size() / channels : 0; }
};

// Decodes an Ogg Vorbis file. False if it cannot be read or decoded.
bool decodeTrack(const std::string& path, DecodedTrack& track);
