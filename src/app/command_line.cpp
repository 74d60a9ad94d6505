#include "app/command_line.h"

#include <QCommandLineParser>
#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "storage/program_folder.h"
#include "ui/startup.h"

namespace rx47 {

namespace fs = std::filesystem;

namespace {

fs::path executableFolder() {
    return fs::path(QCoreApplication::applicationDirPath().toStdString());
}

}  // namespace

bool asksForHelpOrVersion(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        for (const char* option : {"-h", "--help", "--help-all", "-?", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0) return true;
    return false;
}

fs::path readCommandLine(const QCoreApplication& app) {
    QCoreApplication::setApplicationName(QStringLiteral("rx47-monitor"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersionText));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Watches an RX47 radiation counter on a serial port.\n\n"
                       "The program folder holds the settings (RX47.dat), the alarm sound (RX47.wav), the records\n"
                       "(record/) and the port table (ports/). Without --folder it is the program's own folder for a\n"
                       "copy the user can write to (as in the build), else %1.")
            .arg(QString::fromStdString(userDataFolder().string())));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption folderOption(
        {QStringLiteral("f"), QStringLiteral("folder")},
        QStringLiteral("Keep settings, sound, records and ports/ in <folder> (made when missing); one folder "
                       "per counter watches two counters at once."),
        QStringLiteral("folder"));
    parser.addOption(folderOption);
    parser.process(app);  // --help, --version and mistakes end the program here
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "rx47-monitor: unexpected argument %s\n\n%s", qPrintable(parser.positionalArguments()[0]),
                     qPrintable(parser.helpText()));
        std::exit(2);
    }
    if (parser.isSet(folderOption)) {
        const QString folder = parser.value(folderOption);
        if (folder.isEmpty()) {
            std::fprintf(stderr, "rx47-monitor: --folder needs a folder\n");
            std::exit(2);
        }
        return fs::path(QDir(folder).absolutePath().toStdString()).lexically_normal();
    }
    return defaultProgramFolder(executableFolder());
}

void prepareProgramFolder(const fs::path& programFolder, FailureLog& log) {
    const SeedReport report = seedProgramFolder(programFolder, suppliedFilesFolder(executableFolder()));
    for (const auto& file : report.copied)
        log.info(LogCategory::Program, "put the supplied " + file.string() + " in place");
    for (const auto& failure : report.failures) log.warn(LogCategory::Program, failure);
}

}  // namespace rx47
