// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The notices of the main window: the failures a user must act on, shown on a line of their own at
// the foot of the window (the specified captions and layout stay as they are). A port the user may
// not open says which group to join or who must grant access, a port another program holds through
// its lock file says whose it is; records that cannot be written say where and why; a counter that
// answers but sends no readings says so; an alarm sound that cannot play says why.
#pragma once

#include <string>

namespace rx47 {

struct NoticeContext;

enum class Notice { PortPermission, Records, NoReadings, Sound };

/// Shows a notice, or takes it away with "". The line shows every notice in force.
void setNotice(NoticeContext ctx, Notice notice, std::string text);

/// Records could not be written: logged once until they can again. A failure of the files (not of
/// the settings that switch them) is shown with the record folder and the system's words.
void recordsFailed(NoticeContext ctx, const std::string& why, bool ofTheFiles);
/// Records were written (or are switched off): a failure told of before is over.
void recordsWritten(NoticeContext ctx);

/// The counter answers but has sent no reading for minutes while data is received: logged once and
/// shown until a reading comes.
void readingsMissing(NoticeContext ctx);
/// A reading came: a counter told of as sending none sends again.
void readingsArrive(NoticeContext ctx);
/// The window no longer tells of missing readings (the data link is stopped, or the counter is not
/// heard at all and the search tells of it); the log's line stays until a reading comes.
void readingsNoticeOff(NoticeContext ctx);

/// The alarm sound could not play (the file is missing, or the player failed with `why`): logged and
/// shown once until a sound plays again.
void soundFailed(NoticeContext ctx, const std::string& why, bool fileMissing);
/// A sound plays: a failure told of before is over.
void soundPlays(NoticeContext ctx);

}  // namespace rx47
