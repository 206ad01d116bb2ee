#include "app/application.h"

#include "core/dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder only this user can enter, as Qt wants its runtime folder: made when missing, its
// permissions set right when it is ours; empty when it cannot be had.
QByteArray privateFolder(const QByteArray& path)
{
    ::mkdir(path.constData(), 0700);
    struct stat st{};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return {};
    if ((st.st_mode & 07777) != 0700 && ::chmod(path.constData(), 0700) != 0)
        return {};
    return path;
}

} // namespace

bool displayNamed()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        return platform != "offscreen" && platform != "minimal";
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void quietQtLogging()
{
    QLoggingCategory::setFilterRules(QStringLiteral("qt.*=false"));
}

QString executableFolder()
{
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
}

void prepareToolkit()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
        qputenv("QT_QPA_PLATFORM", display ? "xcb;offscreen" : "offscreen");
    }
    quietQtLogging();
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        QByteArray folder = privateFolder(QFile::encodeName(QDir::tempPath()) + "/pedidosftp-runtime-"
                                          + QByteArray::number(::getuid()));
        if (folder.isEmpty()) { // someone else's folder of that name: one of our own beside it
            QByteArray unique = QFile::encodeName(QDir::tempPath()) + "/pedidosftp-runtime-XXXXXX";
            if (::mkdtemp(unique.data()))
                folder = unique;
        }
        if (!folder.isEmpty())
            qputenv("XDG_RUNTIME_DIR", folder);
    }
}

void endWithUncaughtFailure(const QString& what, bool showBox)
{
    const QString text = QStringLiteral("Erro não tratado, o programa será encerrado: %1").arg(what);
    const QByteArray line = (QStringLiteral("pedidosftp: ") + text).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
    if (showBox) {
        try {
            QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok);
            box.exec();
        } catch (...) {
            // already on standard error
        }
    }
    // No destructors, no event loop: the state that failed is not trusted any further.
    std::_Exit(1);
}

QString describeCurrentException()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("falha desconhecida");
    }
}

PedidosApplication::PedidosApplication(int& argc, char** argv) : GuardedApplication<QApplication>(argc, argv)
{
    showsBoxes_ = QGuiApplication::platformName() != QLatin1String("offscreen");
    setApplicationName(QString::fromLatin1(kApplicationTitle));
}
