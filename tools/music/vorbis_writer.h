// Encodes stereo float audio into an Ogg Vorbis file with libvorbisenc.
#pragma once

#include <string>
#include <vector>

namespace music {

// Writes interleaved stereo samples at 44.1 kHz to `path` as Ogg Vorbis with
// a nominal bitrate of `nominalBitrate` bits per second (quality-based VBR
// aimed at that rate). The file is written beside `path` and renamed into
// place, so a failed run leaves no half-written track. False with a message
// on failure.
bool writeVorbis(const std::vector<float>& samples, long nominalBitrate, const std::string& path,
                 std::string& error);

} // namespace music
