// Background music through the media player with its null audio output: length and end of a
// piece, the runtime's own looping on a fake clock, the volume cache, and files that cannot play.
// Waits on the player poll with generous time-outs; the runtime clock is a fake.
#include "runtime/sound/music.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "runtime/core/clock.h"
#include "runtime/core/globals.h"
#include "runtime/platform/media.h"
#include "runtime/sound/music_service.h"
#include "support/test_media.h"
#include "support/test_support.h"
#include "support/x11_support.h"

namespace {

using rt_test::eventually;

struct FakeClock {
    static inline int64_t now_ns = 0;
    static int64_t now() { return now_ns; }
    static void sleep(int64_t ns) { now_ns += ns; }
    // Sets the runtime clock to ms (the clock's first reading is its zero).
    static void at_ms(double ms) { now_ns = 1'000'000'000 + static_cast<int64_t>(ms * 1'000'000); }
};

class Music : public ::testing::Test {
protected:
    static void SetUpTestSuite() { rt::platform_media_audio_output_set("null"); }

    void SetUp() override {
        FakeClock::now_ns = 1'000'000'000;
        rt::clock_source_set(rt::ClockSource{FakeClock::now, FakeClock::sleep});
        ASSERT_EQ(clock_now(), 0);
        rt::globals.music = std::make_unique<rt::MusicService>();
        rt_test::write_file(tone_, rt_test::wav_tone(200));
        rt_test::write_file(long_tone_, rt_test::wav_tone(3000));
    }
    void TearDown() override {
        rt::globals.music.reset();
        rt::clock_source_set(rt::ClockSource{});
    }

    rt::MusicService& music() { return *rt::globals.music; }
    rt::MusicPlayer* player() { return music().player(); }

    rt_test::TempDir tmp_;
    std::string tone_ = tmp_.file("tone.wav");
    std::string long_tone_ = tmp_.file("long.wav");
};

TEST_F(Music, APiecePlaysToItsEndAndStopsOnRequest) {
    music_play(RtString(tone_.c_str()), false);
    ASSERT_NE(player(), nullptr);
    EXPECT_NEAR(player()->length_ms(), 200, 5);
    EXPECT_EQ(music().loop_restart_at(), 0);
    EXPECT_TRUE(eventually([&] { return player()->starts_seen() > 0; })) << "playback never started";
    // Ends by itself and keeps its player, which then reports the end.
    EXPECT_TRUE(eventually([] { return music_is_playing() == 0; }));
    EXPECT_NE(player(), nullptr);

    music_play(RtString(long_tone_.c_str()), false);
    ASSERT_NE(player(), nullptr);
    EXPECT_NEAR(player()->length_ms(), 3000, 5);
    EXPECT_EQ(music_is_playing(), 1);
    music_stop();
    EXPECT_EQ(player(), nullptr);
    EXPECT_EQ(music_is_playing(), 0);
    music_stop();  // without music: nothing
}

TEST_F(Music, AShortLoopRestartsEvery500MsOfTheRuntimeClock) {
    FakeClock::at_ms(1000);
    music_play(RtString(tone_.c_str()), true);
    ASSERT_NE(player(), nullptr);
    EXPECT_EQ(music().loop_restart_at(), 1500);
    EXPECT_EQ(music_is_playing(), 1);
    // The device finishes the 200 ms piece; looping music still counts as playing.
    ASSERT_TRUE(eventually([&] { return player()->ended(); }));
    EXPECT_EQ(music_is_playing(), 1);
    int64_t starts = player()->starts_seen();

    FakeClock::at_ms(1499);
    music().service_loop();
    EXPECT_EQ(music().loop_restart_at(), 1500);
    EXPECT_TRUE(player()->ended());

    FakeClock::at_ms(1500);
    music().service_loop();
    EXPECT_EQ(music().loop_restart_at(), 2000);
    EXPECT_TRUE(eventually([&] { return player()->starts_seen() > starts; })) << "the piece did not restart";
    EXPECT_TRUE(eventually([&] { return player()->ended(); }));

    // Late presentation: the next restart counts from when it happened.
    FakeClock::at_ms(2750);
    music().service_loop();
    EXPECT_EQ(music().loop_restart_at(), 3250);

    music_stop();
    EXPECT_EQ(music().loop_restart_at(), 0);
    EXPECT_EQ(music_is_playing(), 0);
    music().service_loop();
}

TEST_F(Music, VolumeIsCachedAndEveryNewPieceStartsAtFullVolume) {
    music_set_volume(0.3);  // no music: cached only
    EXPECT_EQ(music().volume_sends(), 0);
    music_play(RtString(long_tone_.c_str()), true);
    ASSERT_NE(player(), nullptr);
    EXPECT_EQ(player()->volume(), 100);
    EXPECT_EQ(music().volume_sends(), 1);

    music_set_volume(0.5);
    music_set_volume(0.5);
    EXPECT_EQ(music().volume_sends(), 2);
    EXPECT_EQ(player()->volume(), 50);
    music_set_volume(0.1234);  // 123 of 1000 steps
    EXPECT_NEAR(player()->volume(), 12.3, 0.001);

    music_play(RtString(tone_.c_str()), false);
    ASSERT_NE(player(), nullptr);
    EXPECT_EQ(player()->volume(), 100);
    int64_t sends = music().volume_sends();
    music_set_volume(1);  // already full
    EXPECT_EQ(music().volume_sends(), sends);
}

TEST_F(Music, FilesThatCannotPlayLeaveNoMusic) {
    rt_test::write_file(tmp_.file("empty.wav"), "");
    rt_test::write_file(tmp_.file("junk.ogg"), std::string(4096, '\x5a'));
    rt_test::write_file(tmp_.file("cut.wav"), rt_test::wav_tone(200).substr(0, 30));
    for (const std::string& name : {tmp_.file("missing.wav"), tmp_.file("empty.wav"), tmp_.file("junk.ogg"),
                                    tmp_.file("cut.wav"), std::string("av://lavfi:sine")}) {
        SCOPED_TRACE(name);
        music_play(RtString(long_tone_.c_str()), true);
        ASSERT_NE(player(), nullptr);
        music_play(RtString(name.c_str()), true);  // the earlier piece is stopped first
        EXPECT_EQ(player(), nullptr);
        EXPECT_EQ(music_is_playing(), 0);
        EXPECT_EQ(music().loop_restart_at(), 0);
        music_set_volume(0.5);
        music().service_loop();
    }
}

TEST_F(Music, CommandsWithoutTheServiceDoNothing) {
    rt::globals.music.reset();
    music_play(RtString(tone_.c_str()), true);
    music_set_volume(0.5);
    music_stop();
    EXPECT_EQ(music_is_playing(), 0);
}

}  // namespace
