// The ALSA beeper against ALSA configurations written for the test: a device that does not exist (a
// machine without sound) and the null device, which takes samples without a sound card.
#include "Beeper.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class AlsaBeeperTest : public ::testing::Test {
  protected:
    void UseConfig(const std::string& text) {
        m_conf = fs::temp_directory_path() / ("kavo-alsa-" + std::to_string(::getpid()) + ".conf");
        std::ofstream(m_conf) << text;
        ::setenv("ALSA_CONFIG_PATH", m_conf.c_str(), 1);
        snd_config_update_free_global(); // ALSA keeps the configuration it read first
    }
    void TearDown() override {
        ::unsetenv("ALSA_CONFIG_PATH");
        fs::remove(m_conf);
    }
    fs::path m_conf;
};

TEST_F(AlsaBeeperTest, NoSoundDeviceIsReportedNotPlayed) {
    UseConfig("pcm.!default { type hw card 97 }\n");
    AlsaBeeper beeper;
    EXPECT_FALSE(beeper.beep(1000, 1000, std::stop_token()));
}

TEST_F(AlsaBeeperTest, PlaysOnADeviceAndReturnsSoonOnStop) {
    UseConfig("pcm.!default { type null }\n");
    AlsaBeeper beeper;
    EXPECT_TRUE(beeper.beep(1000, 50, std::stop_token()));

    // A tone of an hour ends when stop is requested; only a hang breaks the bound.
    std::stop_source stop;
    std::jthread stopper([&stop] {
        std::this_thread::sleep_for(100ms);
        stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(beeper.beep(1000, 3600 * 1000, stop.get_token()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
}

} // namespace
