#pragma once
// One run at a time: an exclusive lock on a file in the application folder. The kernel releases
// it when the process ends, also when it crashes or is killed.
#include <QString>

class RunLock {
public:
    RunLock() = default;
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock on <applicationFolder>/pedidosftp.lock without waiting. Throws a Failure
    // naming the file when another run holds it or the file cannot be opened or locked.
    void acquire(const QString& applicationFolder);

private:
    int fd_ = -1;
};
