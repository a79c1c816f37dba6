// The seam for encoded formats: carried out through an encoder, every kind's
// description hands over exactly the sound its WAV holds, in pieces of at
// most the copy buffer, with the format facts and loop marks of the WAV, and
// stops on a cut source where the WAV's writer stops.
#include "wave/encoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/little_endian.h"
#include "container/analyze.h"
#include "wave/wav_body.h"
#include "test_support.h"

namespace {

// An encoder that keeps what it is handed.
struct Collected {
  WavLayout begun{};
  bool ended = false;
  Bytes sound;
  uint32_t largest_piece = 0;
};

Encoder collector(Collected* c) {
  return Encoder{
      c,
      [](void* s, const TrackInfo*, const WavLayout& l) {
        static_cast<Collected*>(s)->begun = l;
        return 0;
      },
      [](void* s, const uint8_t* bytes, uint32_t n) {
        auto* c = static_cast<Collected*>(s);
        c->sound.insert(c->sound.end(), bytes, bytes + n);
        if (n > c->largest_piece) c->largest_piece = n;
        return 0;
      },
      [](void* s) {
        static_cast<Collected*>(s)->ended = true;
        return 0;
      },
  };
}

struct Described {
  const char* what;
  WavLayout layout;
};

// Every kind's descriptions of the track in `source`, for `settings`.
std::vector<Described> descriptions(const TrackInfo& t, const Settings& s, KeptPlan* kept, KeptPlan* apart) {
  std::vector<Described> all = {{"unrolled", describe_unrolled(&t, &s)},
                                {"marked", describe_marked(&t, &s, LoopEnd::kLastFrame)}};
  CaptureStdout quiet;
  plan_kept_loop(&t, false, LoopEnd::kLastFrame, kept);
  plan_kept_loop(&t, true, LoopEnd::kLastFrame, apart);
  all.push_back({"kept", describe_kept(&t, kept, &kept->pieces.at(0))});
  for (const WavPiece& p : apart->pieces) all.push_back({p.role, describe_kept(&t, apart, &p)});
  return all;
}

TEST(Encoder, EveryKindHandsOverTheSoundItsWavHoldsInPiecesOfTheBuffer) {
  // 400 data bytes, the loop section the last 280, heard 3 times.
  ZqBuilder b;
  b.header(8 + 36 + 400 + 24).trk(TrkFields{1, 0, 36, 100}).data(400).slp(1, 30);
  for (const int32_t buffer : {7, 48, 512}) {
    TempStream src(b.bytes());
    TrackInfo t{};
    Settings s;
    s.loop_count = 3;
    s.buffer_size = buffer;
    {
      CaptureStdout quiet;
      ASSERT_EQ(analyze(src.get(), &t, &s), 0);
    }
    KeptPlan kept{}, apart{};
    for (const Described& d : descriptions(t, s, &kept, &apart)) {
      SCOPED_TRACE(std::string(d.what) + ", buffer " + std::to_string(buffer));
      TempStream wav;
      ASSERT_EQ(write_layout(src.get(), wav.get(), &t, d.layout, &s), 0);
      const Bytes written = wav.contents();
      const uint32_t data = load_le32(written.data() + 40);
      Collected c;
      ASSERT_EQ(encode_layout(src.get(), &t, d.layout, &s, collector(&c)), 0);
      EXPECT_TRUE(c.ended);
      EXPECT_EQ(c.sound, Bytes(written.begin() + 44, written.begin() + 44 + data));
      EXPECT_LE(c.largest_piece, static_cast<uint32_t>(buffer));
      // The format and the marks the encoder is given are the WAV's.
      EXPECT_EQ(c.begun.header.block_align, load_le16(written.data() + 32));
      const bool smpl = written.size() >= 44 + data + 68 && load_le32(written.data() + written.size() - 68) ==
                        load_le32(reinterpret_cast<const uint8_t*>("smpl"));
      EXPECT_EQ(c.begun.marks.marked, smpl);
      if (smpl) {
        const uint8_t* chunk = written.data() + written.size() - 68;
        EXPECT_EQ(c.begun.marks.start_frame, load_le32(chunk + 52));
        EXPECT_EQ(c.begun.marks.end_frame, load_le32(chunk + 56) + 1u) << "RIFF's end is the loop's last frame";
      }
    }
  }
}

TEST(Encoder, ACutSourceStopsTheEncoderWhereItStopsTheWriter) {
  ZqBuilder b;
  b.header(8 + 36 + 400 + 24).trk(TrkFields{1, 0, 36, 100}).data(400).slp(1, 30);
  Bytes cut = b.bytes();
  cut.resize(8 + 36 + 200);
  TempStream src(cut);
  TrackInfo t{};
  Settings s;
  s.buffer_size = 48;
  {
    CaptureStdout quiet;
    analyze(src.get(), &t, &s);
  }
  KeptPlan kept{}, apart{};
  for (const Described& d : descriptions(t, s, &kept, &apart)) {
    SCOPED_TRACE(d.what);
    TempStream wav;
    std::string written_line, encoded_line;
    int written = 0, encoded = 0;
    {
      CaptureStdout cap;
      written = write_layout(src.get(), wav.get(), &t, d.layout, &s);
      written_line = cap.text();
    }
    Collected c;
    {
      CaptureStdout cap;
      encoded = encode_layout(src.get(), &t, d.layout, &s, collector(&c));
      encoded_line = cap.text();
    }
    EXPECT_EQ(encoded, written);
    EXPECT_EQ(encoded, -51);
    EXPECT_EQ(encoded_line, written_line);
    EXPECT_FALSE(c.ended);
  }
}

}  // namespace
