// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The sound module "rx47-sound.so": the Qt Multimedia wave player, loaded by OnDemandWavePlayer when
// the program first plays a sound.
#include "platform/qt/qt_wave_player.h"

extern "C" __attribute__((visibility("default"))) rx47::WavePlayer* rx47_make_wave_player() {
    return new rx47::QtWavePlayer;
}
