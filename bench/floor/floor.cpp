// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// rx47-floor: the least a Qt Widgets program can do with the counter, the yardstick of bench/perf.
// One window with one label; the port is ports/COM1 in the program's own folder, opened with the
// counter's line settings; "show" is written once; every read shows the last whole line received.
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QSerialPort>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel label;
    label.setWindowTitle(QStringLiteral("rx47-floor"));
    label.setMinimumSize(240, 60);
    label.setAlignment(Qt::AlignCenter);

    QSerialPort port;
    const QString link = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("ports/COM1"));
    port.setPortName(QFileInfo(link).canonicalFilePath());
    port.setBaudRate(QSerialPort::Baud9600);
    port.setParity(QSerialPort::NoParity);
    port.setDataBits(QSerialPort::Data8);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);

    QByteArray pending;
    QObject::connect(&port, &QSerialPort::readyRead, &label, [&] {
        pending += port.readAll();
        const qsizetype end = pending.lastIndexOf('\n');
        if (end < 0) return;
        const qsizetype start = pending.lastIndexOf('\n', end - 1) + 1;
        label.setText(QString::fromLatin1(pending.mid(start, end - start).trimmed()));
        pending.remove(0, end + 1);
    });
    if (port.open(QIODevice::ReadWrite)) port.write("show\r\n");
    label.show();
    return app.exec();
}
