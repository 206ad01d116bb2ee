#pragma once
// How a started program ended, for the tests that run the real executable.
#include <QProcess>
#include <QString>

struct ProcessResult {
    bool finished = false;               // false: it did not end in time and was killed
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;
    QString err;
};

// Waits for `p` to end (killing it after `timeoutMs`) and collects its status and output.
ProcessResult finishProcess(QProcess& p, int timeoutMs);
