// VideoEncoder: RGB frames and 16-bit stereo 44100 Hz samples into one video
// file, with FFmpeg's libraries (libavformat, libavcodec, libswscale,
// libswresample). The container and codecs follow the file's extension. The
// file is written under a temporary name beside the target and renamed at the
// end, so a failure never leaves part of a video under the requested name.
// Only the capture tool links it; the show itself has no such dependency.
#pragma once

#include "capture_formats.h"
#include "imaging/non_copyable.h"
#include "video_picture.h"

#include <cstdint>
#include <string>

struct VideoEncoderState;

struct VideoStreamSettings {
    int fps = 60;
    std::int64_t frames = 0;
    int sourceWidth = 0, sourceHeight = 0; // of each capture
    VideoPicture picture;                  // the frame and the capture's place in it
};

class VideoEncoder : NonCopyable {
  public:
    VideoEncoder() = default;
    ~VideoEncoder() { abandon(); }

    // Opens the file and both encoders of `format`: the frames `video` says, and
    // the `audioFrames` stereo frames at `audio` (44100 Hz, left and right
    // interleaved), which must stay valid until finish. False with one line in
    // `error`: an encoder missing from the installed libraries, a file that
    // cannot be created.
    bool open(const std::string& path, const VideoFormat& format, const VideoStreamSettings& video,
              const std::int16_t* audio, std::int64_t audioFrames, std::string& error);
    // Encodes the next frame (a capture, sourceWidth x sourceHeight x 3 bytes,
    // RGB; null repeats the
    // frame before) and the stretch of sound that goes with it. False with one
    // line in `error` once anything fails.
    bool addFrame(const std::uint8_t* rgb, std::string& error);
    // Drains the encoders, ends the file and puts it in place under its name.
    bool finish(std::string& error);
    // Drops everything and removes the temporary file.
    void abandon();

    // Codec names of the open file, "h264" and "aac" for instance.
    std::string videoCodec() const;
    std::string audioCodec() const;

  private:
    VideoEncoderState* state = nullptr;
};
