// Encodes stereo float audio into an Ogg Vorbis file with libvorbisenc, and
// reads the peak of an encoded file back.
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

// The largest absolute sample value of the decoded file, both channels.
// Lossy coding can overshoot the peaks it was given. False if unreadable.
bool readVorbisPeak(const std::string& path, double& peak);

} // namespace music
