#include "core/run_lock.h"

#include "core/failure.h"
#include "core/paths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

RunLock::~RunLock()
{
    if (fd_ >= 0)
        ::close(fd_); // closing the descriptor releases the lock
}

void RunLock::acquire(const QString& applicationFolder)
{
    const auto fail = [](const QString& text) { throw Failure(Failure::About::File, text); };
    const QString file = paths::joinName(paths::folderListForm(applicationFolder), QStringLiteral("pedidosftp.lock"));
    const int fd = ::open(file.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        fail(QStringLiteral("Não foi possível abrir %1: %2").arg(file, QString::fromLocal8Bit(std::strerror(errno))));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        fail(err == EWOULDBLOCK
                 ? QStringLiteral("Outra execução do pedidosftp está em andamento (%1); esta execução foi encerrada sem alterar nada.").arg(file)
                 : QStringLiteral("Não foi possível travar %1: %2").arg(file, QString::fromLocal8Bit(std::strerror(err))));
    }
    fd_ = fd;
}
