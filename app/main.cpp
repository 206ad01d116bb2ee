// pedidosftp: with a server named in ftp.ini it fetches the order files, deletes them on the
// server, books them and ends; otherwise it shows its window, a plain FTP client.
#include "app/application.h"
#include "core/headless_dialogs.h"
#include "gui/qt_dialogs.h"
#include "gui/app_window.h"
#include "core/clock.h"
#include "ftp/curl/curl_transfer_control.h"

#include <cstdio>
#include <memory>

namespace {

int run(PedidosApplication& app)
{
    std::unique_ptr<IDialogs> dialogs;
    QtDialogs* qtDialogs = nullptr;
    if (app.headless()) {
        dialogs = std::make_unique<HeadlessDialogs>();
    } else {
        auto qt = std::make_unique<QtDialogs>();
        qtDialogs = qt.get();
        dialogs = std::move(qt);
    }

    std::unique_ptr<ITransferControl> control = makeCurlTransferControl();
    SystemClock clock;
    AppWindow appWindow(*control, *dialogs, clock);
    if (qtDialogs)
        qtDialogs->setParent(&appWindow.window());

    const StartMode mode = appWindow.Form_Load();
    if (mode == StartMode::Unattended) {
        // The window is never shown in this mode; only the boxes of the steps appear.
        const bool ok = appWindow.runUnattended();
        return ok && !dialogs->failureReported() ? 0 : 1;
    }
    if (app.headless()) {
        const QString text = QStringLiteral(
            "pedidosftp: sem tela e sem servidor em ftp.ini: nada a fazer. Para a importação automática, "
            "informe o endereço do servidor na chave \"FTP\" da seção [Geral] de ftp.ini, em %1\n")
                                 .arg(appWindow.applicationFolder());
        std::fputs(text.toUtf8().constData(), stderr);
        return 1;
    }
    appWindow.window().show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    // Without a reachable display Qt would abort; the offscreen platform is the fallback, and
    // how the program knows it runs headless.
    prepareToolkit();
    PedidosApplication app(argc, argv);
    installQtTranslation();
    return runGuarded([&] { return run(app); }, app.headless());
}
