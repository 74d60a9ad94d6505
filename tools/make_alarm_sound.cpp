// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The alarm-sound maker: writes the supplied "RX47.wav", a 1.5 second two-tone alarm (three
// high-low pairs, 16-bit mono PCM at 22050 Hz), to the path given.
//
//   rx47-make-alarm-sound <output.wav>
//   rx47-make-alarm-sound --help
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kSampleRate = 22050;
constexpr double kHighHz = 960;
constexpr double kLowHz = 770;
constexpr double kToneSeconds = 0.25;
constexpr int kTones = 6;               // high, low, high, low, high, low
constexpr double kFadeSeconds = 0.008;  // no clicks where the tones meet
constexpr double kLevel = 0.6;          // of full scale, with room for the overtone

std::vector<std::int16_t> alarmSamples() {
    const int perTone = static_cast<int>(kToneSeconds * kSampleRate);
    const int fade = static_cast<int>(kFadeSeconds * kSampleRate);
    std::vector<std::int16_t> samples;
    samples.reserve(static_cast<std::size_t>(perTone) * kTones);
    for (int tone = 0; tone < kTones; ++tone) {
        const double hz = tone % 2 == 0 ? kHighHz : kLowHz;
        for (int i = 0; i < perTone; ++i) {
            const double t = static_cast<double>(i) / kSampleRate;
            const double phase = 2 * std::numbers::pi * hz * t;
            // A third harmonic makes the tone harder and easier to hear across a room.
            double v = std::sin(phase) + 0.3 * std::sin(3 * phase);
            const int edge = std::min(i, perTone - 1 - i);
            if (edge < fade) v *= static_cast<double>(edge) / fade;
            samples.push_back(static_cast<std::int16_t>(std::lround(v / 1.3 * kLevel * 32767)));
        }
    }
    return samples;
}

void put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void put32(std::string& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}

/// A canonical 44-byte header and the samples, little-endian whatever the machine.
std::string waveFile(const std::vector<std::int16_t>& samples) {
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::string out = "RIFF";
    put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 1);  // mono
    put32(out, kSampleRate);
    put32(out, kSampleRate * 2);  // bytes per second
    put16(out, 2);                // bytes per frame
    put16(out, 16);               // bits per sample
    out += "data";
    put32(out, dataBytes);
    for (std::int16_t s : samples) put16(out, static_cast<std::uint16_t>(s));
    return out;
}

}  // namespace

int main(int argc, char* argv[]) {
    constexpr const char* kUsage = "usage: rx47-make-alarm-sound <output.wav>\n";
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // One output path; an argument starting with '-' is a mistyped option, never a file name.
    if (argc != 2 || argv[1][0] == '-' || argv[1][0] == '\0') {
        if (argc >= 2 && argv[1][0] == '-') std::fprintf(stderr, "rx47-make-alarm-sound: unknown option %s\n", argv[1]);
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string bytes = waveFile(alarmSamples());
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "rx47-make-alarm-sound: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
