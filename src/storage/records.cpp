// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/records.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#include "base/failure.h"
#include "storage/durable.h"

namespace rx47 {

namespace {

const char* const kLineEnd = "\r\n";

std::string headerLines() {
    return toCodePage932(std::string(kRecordHeader1) + kLineEnd + kRecordHeader2 + kLineEnd);
}

/// Whether a record file is new: missing, or still empty (a first append that failed on a full disk
/// is taken back to nothing, and the file must still get its headers).
bool isNewFile(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return errno == ENOENT;
    return S_ISREG(st.st_mode) && st.st_size == 0;
}

void appendRecord(const std::filesystem::path& programFolder, const std::filesystem::path& file,
                  const RecordLine& line) {
    // A new file's headers and its first line go in as one whole append: a file is never left with
    // headers only, nor with data lines under no headers.
    std::string bytes = toCodePage932(recordLineText(line) + kLineEnd);
    if (isNewFile(file)) bytes = headerLines() + bytes;
    if (appendWhole(file, bytes)) {
        // The file's first lines: its name is synced too, and the month folder's in the record
        // folder, so a power cut keeps the file with its lines.
        const std::filesystem::path recordFolder = programFolder / kRecordFolder;
        for (std::filesystem::path folder = file.parent_path(); folder.has_relative_path();
             folder = folder.parent_path()) {
            syncFolder(folder);
            if (folder == recordFolder) break;
        }
    }
}

/// The system's words for a failed open; a link where a record file belongs says so.
std::string openFailure(int error) {
    return error == ELOOP ? "it is a link, and records are not written through links" : std::strerror(error);
}

}  // namespace

std::string dateText(const LocalDateTime& t) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.year, t.month, t.day);
    return buffer;
}

std::string recordTimeText(const LocalDateTime& t) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buffer;
}

std::string monthFolderName(const LocalDateTime& t) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d_%02d", t.year, t.month);
    return buffer;
}

void createRecordFolders(const std::filesystem::path& programFolder, const std::string& monthFolder) {
    // Each new folder's name is synced in its parent, so the files made in it later are not lost
    // with it in a power cut.
    for (const auto& folder : {programFolder / kRecordFolder, programFolder / kRecordFolder / monthFolder})
        createFolder(folder);
}

std::string toCodePage932(std::string_view utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw FileError("no CP932 conversion");
    std::string out(utf8.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1)) throw FileError("text not in code page 932");
    out.resize(out.size() - outLeft);
    return out;
}

bool appendWhole(const std::filesystem::path& file, std::string_view bytes) {
    // Never through a link: a record file is the program's own, made where it stands.
    const int fd = ::open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) throw FileError("cannot open " + file.string() + ": " + openFailure(errno));
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    // A power cut can leave the last line torn (on a file system that does not keep data in order
    // with sizes). It is ended first, in the same write, so that the new line stands on its own.
    std::string mended;
    if (sized && before.st_size > 0) {
        char last[2] = {};
        const off_t at = before.st_size >= 2 ? before.st_size - 2 : 0;
        const ssize_t got = ::pread(fd, last, sizeof last, at);
        const std::string_view end(last, got > 0 ? static_cast<std::size_t>(got) : 0);
        if (!end.empty() && end.back() != '\n') {
            mended = end.back() == '\r' ? "\n" : kLineEnd;
            mended += bytes;
            bytes = mended;
        }
    }
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    const bool whole = written == static_cast<ssize_t>(bytes.size());
    // A write cut short sets no errno (what errno holds is an earlier call's): the disk filled up.
    const int error = written < 0 ? errno : ENOSPC;
    if (!whole && sized) {
        // Take a partial line back so that the file ends as it did.
        [[maybe_unused]] const int ignored = ::ftruncate(fd, before.st_size);
    }
    const bool synced = whole && ::fsync(fd) == 0;
    const int syncError = errno;
    ::close(fd);
    if (!whole) throw FileError("cannot append to " + file.string() + ": " + std::strerror(error));
    if (!synced) throw FileError("cannot sync " + file.string() + ": " + std::strerror(syncError));
    return sized && before.st_size == 0;
}

std::string recordLineText(const RecordLine& line) {
    std::string text = dateText(line.time) + "," + recordTimeText(line.time);
    for (const std::string& figure : line.figures) text += "," + figure;
    return text;
}

void appendRecordLine(const std::filesystem::path& programFolder, const std::string& monthFolder,
                      const RecordLine& line, RecordFiles files) {
    const std::filesystem::path records = programFolder / kRecordFolder;
    if (files.master) appendRecord(programFolder, records / kMasterRecordFile, line);
    if (files.daily) appendRecord(programFolder, records / monthFolder / (dateText(line.time) + ".csv"), line);
}

}  // namespace rx47
