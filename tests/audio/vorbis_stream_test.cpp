// VorbisStream: decoding from memory, sample-exact seeks, the end of the track,
// refused input, and the byte/second conversions of the 44100 Hz stereo format.
#include "audio/test_ogg.h"
#include "audio/vorbis_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

constexpr std::uint64_t trackFrames = 3 * 44100;

const std::vector<std::uint8_t>& track() {
    static const std::vector<std::uint8_t> bytes = makeTestOgg(3.0);
    return bytes;
}

// The whole track read front to back in odd-sized pieces.
const std::vector<std::int16_t>& reference() {
    static const std::vector<std::int16_t> samples = [] {
        VorbisStream stream;
        if (!stream.open(track().data(), static_cast<std::uint32_t>(track().size())))
            std::abort();
        std::vector<std::int16_t> out;
        std::vector<std::int16_t> piece(2 * 1000);
        for (;;) {
            const std::uint32_t got = stream.read(piece.data(), 1000);
            out.insert(out.end(), piece.begin(), piece.begin() + 2 * got);
            if (got < 1000)
                break;
        }
        return out;
    }();
    return samples;
}

bool openTrack(VorbisStream& stream) {
    return stream.open(track().data(), static_cast<std::uint32_t>(track().size()));
}

} // namespace

TEST(VorbisStream, DecodesTheWholeTrackInOrderAndOnTheRightChannels) {
    VorbisStream stream;
    ASSERT_TRUE(openTrack(stream));
    EXPECT_EQ(stream.lengthFrames(), trackFrames);
    ASSERT_EQ(reference().size(), 2 * trackFrames);

    // Lossy, but close to what was encoded; a swap of the channels (one rides
    // on +0.35, the other on -0.35) or a shift in time would not be.
    double error[2] = {0, 0};
    for (std::uint64_t i = 0; i < trackFrames; ++i)
        for (int c = 0; c < 2; ++c)
            error[c] += std::fabs(reference()[2 * i + static_cast<std::uint64_t>(c)] / 32768.0 -
                                  testSignal(i, c));
    EXPECT_LT(error[0] / trackFrames, 0.08);
    EXPECT_LT(error[1] / trackFrames, 0.08);
}

TEST(VorbisStream, SeeksAreSampleExact) {
    VorbisStream stream;
    ASSERT_TRUE(openTrack(stream));
    std::vector<std::int16_t> piece(2 * 3000);
    for (std::uint64_t target :
         {std::uint64_t{70000}, std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{1023},
          std::uint64_t{1024}, std::uint64_t{44101}, std::uint64_t{100003}, trackFrames - 1}) {
        SCOPED_TRACE(target);
        stream.seek(target);
        EXPECT_EQ(stream.position(), target);
        const std::uint32_t got = stream.read(piece.data(), 3000);
        const std::uint64_t expected = std::min<std::uint64_t>(3000, trackFrames - target);
        ASSERT_EQ(got, expected);
        EXPECT_EQ(stream.position(), target + got);
        for (std::uint64_t i = 0; i < 2 * got; ++i)
            ASSERT_EQ(piece[i], reference()[2 * target + i]) << "sample " << i;
    }
}

TEST(VorbisStream, TheEndOfTheTrackIsSilenceAndStays) {
    VorbisStream stream;
    ASSERT_TRUE(openTrack(stream));
    stream.seek(trackFrames - 100);
    std::vector<std::int16_t> piece(2 * 1024, 7);
    EXPECT_EQ(stream.read(piece.data(), 1024), 100u);
    EXPECT_TRUE(stream.ended());
    EXPECT_EQ(stream.position(), trackFrames);
    for (std::size_t i = 0; i < 200; ++i)
        ASSERT_EQ(piece[i], reference()[2 * (trackFrames - 100) + i]);
    for (std::size_t i = 200; i < piece.size(); ++i)
        ASSERT_EQ(piece[i], 0);

    piece.assign(piece.size(), 7);
    EXPECT_EQ(stream.read(piece.data(), 1024), 0u);
    EXPECT_EQ(stream.position(), trackFrames);
    EXPECT_EQ(piece[0], 0);

    // Past the end stands at the end; a seek back plays again.
    stream.seek(trackFrames + 5000);
    EXPECT_EQ(stream.position(), trackFrames);
    EXPECT_TRUE(stream.ended());
    stream.seek(10);
    EXPECT_FALSE(stream.ended());
    EXPECT_EQ(stream.read(piece.data(), 4), 4u);
    EXPECT_EQ(piece[0], reference()[20]);
}

TEST(VorbisStream, MonoPlaysOnBothChannels) {
    const std::vector<std::uint8_t> mono = makeTestOgg(0.5, 44100, 1);
    VorbisStream stream;
    ASSERT_TRUE(stream.open(mono.data(), static_cast<std::uint32_t>(mono.size())));
    std::vector<std::int16_t> piece(2 * 4096);
    ASSERT_EQ(stream.read(piece.data(), 4096), 4096u);
    double sum = 0;
    for (std::size_t i = 0; i < 4096; ++i) {
        ASSERT_EQ(piece[2 * i], piece[2 * i + 1]);
        sum += piece[2 * i];
    }
    EXPECT_GT(sum / 4096, 0.2 * 32768); // the left signal's offset, not silence
}

TEST(VorbisStream, RefusesWhatIsNotAPlayableTrack) {
    VorbisStream stream;
    EXPECT_FALSE(stream.open(nullptr, 100));
    EXPECT_FALSE(stream.open(track().data(), 0));

    // The placeholder the resource list carries until the music exists.
    const std::uint8_t placeholder[16] = {'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(stream.open(placeholder, sizeof placeholder));

    std::vector<std::uint8_t> noise(20000);
    std::uint32_t x = 12345;
    for (auto& b : noise) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    EXPECT_FALSE(stream.open(noise.data(), static_cast<std::uint32_t>(noise.size())));

    // Cut inside the headers.
    EXPECT_FALSE(stream.open(track().data(), 200));

    // No resampler: only 44100 Hz is played.
    const std::vector<std::uint8_t> other = makeTestOgg(0.5, 48000);
    EXPECT_FALSE(stream.open(other.data(), static_cast<std::uint32_t>(other.size())));

    EXPECT_FALSE(stream.isOpen());
    EXPECT_EQ(stream.position(), 0u);
    std::vector<std::int16_t> piece(2 * 64, 7);
    EXPECT_EQ(stream.read(piece.data(), 64), 0u);
    EXPECT_EQ(piece[0], 0);
    stream.seek(100);
    EXPECT_EQ(stream.position(), 0u);
}

TEST(VorbisStream, DamagedAudioPagesNeverReadPastTheTrack) {
    // Headers intact, audio pages overwritten: whatever the decoder makes of
    // them, it must not crash, hang or hand out more than the track's length.
    std::vector<std::uint8_t> damaged = track();
    std::uint32_t x = 99;
    for (std::size_t i = damaged.size() / 3; i < damaged.size(); i += 97) {
        x = x * 1103515245u + 12345u;
        damaged[i] = static_cast<std::uint8_t>(x >> 16);
    }
    VorbisStream stream;
    if (!stream.open(damaged.data(), static_cast<std::uint32_t>(damaged.size())))
        return; // refusing it is just as good
    std::vector<std::int16_t> piece(2 * 4096);
    std::uint64_t total = 0;
    for (int i = 0; i < 200 && !stream.ended(); ++i)
        total += stream.read(piece.data(), 4096);
    EXPECT_LE(total, stream.lengthFrames());
    for (std::uint64_t target : {std::uint64_t{1000}, trackFrames / 2, trackFrames - 10}) {
        stream.seek(target);
        stream.read(piece.data(), 4096);
        EXPECT_LE(stream.position(), stream.lengthFrames());
    }
}

TEST(VorbisStream, ConvertsBytesOfTheStereoFormatToSecondsAndBack) {
    EXPECT_EQ(VorbisStream::bytesToSeconds(176400), 1.0);
    EXPECT_EQ(VorbisStream::bytesToSeconds(176403), 1.0); // a partial frame is not heard yet
    EXPECT_EQ(VorbisStream::bytesToSeconds(4), 1.0 / 44100.0);
    EXPECT_EQ(VorbisStream::secondsToBytes(1.0f), 176400u);
    EXPECT_EQ(VorbisStream::secondsToBytes(0.5f), 88200u);
    EXPECT_EQ(VorbisStream::secondsToBytes(141.5f), 6240150u * 4u);
    EXPECT_EQ(VorbisStream::secondsToBytes(0.0f) % 4, 0u);
    // Before the start (drag scrubbing), and nonsense, play from the start.
    EXPECT_EQ(VorbisStream::secondsToBytes(-3.25f), 0u);
    EXPECT_EQ(VorbisStream::secondsToBytes(std::numeric_limits<float>::quiet_NaN()), 0u);
    // Far past any track saturates instead of wrapping.
    EXPECT_EQ(VorbisStream::secondsToBytes(1e30f), 0xFFFFFFFEull * 4u);
    EXPECT_EQ(VorbisStream::secondsToBytes(std::numeric_limits<float>::infinity()),
              0xFFFFFFFEull * 4u);
}
