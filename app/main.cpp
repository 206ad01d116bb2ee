// pedidosftp: with a server named in ftp.ini it fetches the order files, deletes them on the
// server, books them and ends; otherwise it shows its window, a plain FTP client. Its options
// (help, version, the check of order files) need no display and build no GUI application.
#include "app/application.h"
#include "core/command_line.h"
#include "import/order_check.h"
#include "core/headless_dialogs.h"
#include "gui/qt_dialogs.h"
#include "gui/app_window.h"
#include "core/clock.h"
#include "core/paths.h"
#include "ftp/curl/curl_transfer_control.h"

#include <QCoreApplication>
#include <cstdio>
#include <memory>

namespace {

void write(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

int runCheck(int& argc, char** argv, const QStringList& files)
{
    QCoreApplication app(argc, argv);   // the executable's folder; no display needed
    SystemClock clock;
    return runGuarded(
        [&] {
            return checkOrderFiles(files, QCoreApplication::applicationDirPath(), clock,
                                   [](const QString& text) { write(stdout, text); },
                                   [](const QString& line) { write(stderr, line + QLatin1Char('\n')); });
        },
        true);
}

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

    // known_hosts and ftp-ca.pem live beside ftp.ini.
    CurlControlOptions options;
    options.trustFolder = paths::applicationFolder(QCoreApplication::applicationDirPath());
    std::unique_ptr<ITransferControl> control = makeCurlTransferControl(options);
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
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine command = parseCommandLine(arguments);
    switch (command.mode) {
    case CommandLine::Mode::Help:
        write(stdout, helpText());
        return 0;
    case CommandLine::Mode::Version:
        write(stdout, versionText());
        return 0;
    case CommandLine::Mode::Invalid:
        write(stderr, QStringLiteral("pedidosftp: %1\n%2\n").arg(command.error, helpHint()));
        return 2;
    case CommandLine::Mode::Check:
        return runCheck(argc, argv, command.files);
    case CommandLine::Mode::Start:
        break;
    }

    // Without a reachable display Qt would abort; the offscreen platform is the fallback, and
    // how the program knows it runs headless.
    prepareToolkit();
    PedidosApplication app(argc, argv);
    installQtTranslation();
    return runGuarded([&] { return run(app); }, app.headless());
}
