#include "app/application.h"

#include "core/dialogs.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <exception>

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

PedidosApplication::PedidosApplication(int& argc, char** argv)
    : QApplication(argc, argv)
    , headless_(QGuiApplication::platformName() == QLatin1String("offscreen"))
{
    setApplicationName(QString::fromLatin1(kApplicationTitle));
}

bool PedidosApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        endWithUncaughtFailure(describeCurrentException(), !headless_);
    }
}
