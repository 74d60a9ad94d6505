// One copy of the program per program folder. A second copy started in the same folder would fight
// the first over the serial port, the settings file and the record files: it asks the first copy
// to bring its window forward and ends.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <filesystem>
#include <memory>

namespace rx47 {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const std::filesystem::path& programFolder, QObject* parent = nullptr);
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    /// Claims the program folder. Returns false when another copy holds it; that copy has then
    /// been asked to come forward.
    bool claim();

signals:
    /// Another copy started in this folder and wants this one's window brought forward.
    void activationRequested();

private:
    QString serverName_;
    QLockFile lock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace rx47
