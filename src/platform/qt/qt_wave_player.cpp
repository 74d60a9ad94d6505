// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/qt/qt_wave_player.h"

#include <QAudioDevice>
#include <QLoggingCategory>
#include <QMediaDevices>
#include <QMetaObject>
#include <QSoundEffect>
#include <QUrl>
#include <array>
#include <exception>
#include <fstream>
#include <string>

#include "base/failure.h"

namespace rx47 {

namespace {

// The program's category for the sound (platform/qt/qt_log_sink.cpp names it too).
Q_LOGGING_CATEGORY(soundLog, "rx47.sound", QtInfoMsg)

std::uint32_t le32(const std::array<char, 8>& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

std::uint16_t le16(const std::array<char, 16>& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t le32(const std::array<char, 16>& b, std::size_t at) {
    return static_cast<std::uint32_t>(le16(b, at)) | static_cast<std::uint32_t>(le16(b, at + 2)) << 16;
}

}  // namespace

std::chrono::milliseconds waveFileLength(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw FileError("cannot open " + file.string());
    const auto notWave = [&] { return FileError("not a wave file: " + file.string()); };

    std::array<char, 8> chunk{};
    std::array<char, 4> form{};
    if (!in.read(chunk.data(), 8) || std::string(chunk.data(), 4) != "RIFF") throw notWave();
    if (!in.read(form.data(), 4) || std::string(form.data(), 4) != "WAVE") throw notWave();

    std::uint32_t byteRate = 0;
    // Chunks follow one another, each padded to an even size; "fmt " comes before "data".
    while (in.read(chunk.data(), 8)) {
        const std::string id(chunk.data(), 4);
        const std::uint32_t size = le32(chunk, 4);
        if (id == "fmt ") {
            std::array<char, 16> fmt{};
            if (size < 16 || !in.read(fmt.data(), 16)) throw notWave();
            const std::uint16_t format = le16(fmt, 0);
            const std::uint16_t channels = le16(fmt, 2);
            byteRate = le32(fmt, 8);
            // 1: integer PCM, 3: float PCM, 0xFFFE: either, with more format fields.
            if ((format != 1 && format != 3 && format != 0xFFFE) || channels == 0 || byteRate == 0) throw notWave();
            in.seekg(static_cast<std::streamoff>(size - 16 + (size & 1)), std::ios::cur);
        } else if (id == "data") {
            if (byteRate == 0) throw notWave();
            return std::chrono::milliseconds(static_cast<std::int64_t>(size) * 1000 / byteRate);
        } else {
            in.seekg(static_cast<std::streamoff>(size + (size & 1)), std::ios::cur);
        }
        if (!in) throw notWave();
    }
    throw notWave();
}

QtWavePlayer::QtWavePlayer(QObject* parent) : QObject(parent) {}

QtWavePlayer::~QtWavePlayer() {
    close();
}

void QtWavePlayer::setCompletionHandler(std::function<void()> handler) {
    handler_ = std::move(handler);
}

void QtWavePlayer::open(const std::filesystem::path& file) {
    close();
    // Without an output QSoundEffect "plays" without ever finishing.
    if (QMediaDevices::audioOutputs().isEmpty()) throw FileError("no audio output");
    length_ = waveFileLength(file);

    const std::uint64_t playback = ++playback_;
    effect_ = new QSoundEffect(QMediaDevices::defaultAudioOutput(), this);
    QSoundEffect* effect = effect_;
    connect(effect, &QSoundEffect::playingChanged, this, [this, effect, playback] {
        if (!effect->isPlaying()) playbackEnded(playback);
    });
    // A file that fails to load never starts playing: its status is the only news of it.
    connect(effect, &QSoundEffect::statusChanged, this, [this, effect, playback] {
        if (effect->status() == QSoundEffect::Error) playbackEnded(playback);
    });
    effect->setSource(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    if (effect->status() == QSoundEffect::Error) {
        close();
        throw FileError("cannot load " + file.string());
    }
}

void QtWavePlayer::play() {
    if (!effect_) throw FileError("no sound open");
    if (effect_->status() == QSoundEffect::Error) throw FileError("the sound failed to load");
    playing_ = true;
    // Before the file has loaded this only queues the playback; it starts once loaded.
    effect_->play();
}

void QtWavePlayer::stop() {
    playing_ = false;
    if (effect_) effect_->stop();
}

void QtWavePlayer::rewind() {}

void QtWavePlayer::close() {
    playing_ = false;
    ++playback_;
    length_ = std::chrono::milliseconds::zero();
    if (!effect_) return;
    QSoundEffect* effect = effect_;
    effect_ = nullptr;
    disconnect(effect, nullptr, this, nullptr);
    effect->stop();
    // Not deleted here: close() may run while the effect is still emitting a signal.
    effect->deleteLater();
}

void QtWavePlayer::playbackEnded(std::uint64_t playback) {
    if (playback != playback_ || !playing_) return;
    playing_ = false;
    // Reported from the event loop, as a player's completion event is, so the handler can close the
    // player without pulling the effect from under a signal being emitted.
    QMetaObject::invokeMethod(
        this,
        [this, playback] {
            if (playback != playback_) return;
            // Nothing may escape into the event loop. The player lives in a module of its own, without
            // the program's log: the line goes to the same logging category.
            try {
                if (handler_) handler_();
            } catch (const std::exception& e) {
                qCWarning(soundLog).noquote() << "the sound's completion handler failed:" << e.what();
            } catch (...) {
                qCWarning(soundLog) << "the sound's completion handler failed with an unknown error";
            }
        },
        Qt::QueuedConnection);
}

}  // namespace rx47
