// pedidosftp: with a server named in ftp.ini it fetches the order files, deletes them on the
// server, books them and ends; otherwise it shows its window, a plain FTP client. The options
// (help, version, the check of order files) and an unattended run without a display need no
// GUI application: no platform plugin, no fonts, no widget.
#include "app/application.h"
#include "core/clock.h"
#include "core/command_line.h"
#include "core/headless_dialogs.h"
#include "core/paths.h"
#include "ftp/curl/curl_transfer_control.h"
#include "gui/app_window.h"
#include "gui/qt_dialogs.h"
#include "import/order_check.h"
#include "session/unattended_run.h"

#include <QDir>
#include <cstdio>
#include <memory>

namespace {

void write(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// The folder of ftp.ini, Zelto.ini, known_hosts, ftp-ca.pem and the run lock: the one named by
// --pasta, or else the executable's (the application folder).
QString settingsFolderOf(const CommandLine& command)
{
    return paths::applicationFolder(command.settingsFolder.isEmpty() ? executableFolder() : command.settingsFolder);
}

int runCheck(int& argc, char** argv, const CommandLine& command)
{
    QCoreApplication app(argc, argv);   // no display needed
    SystemClock clock;
    return runGuarded(
        [&] {
            return checkOrderFiles(command.files, settingsFolderOf(command), clock,
                                   [](const QString& text) { write(stdout, text); },
                                   [](const QString& line) { write(stderr, line + QLatin1Char('\n')); });
        },
        true);
}

constexpr int kUnattendedRequestTimeoutMs = 30000;

// known_hosts and ftp-ca.pem live beside ftp.ini. The unattended run waits for every command
// it gives, so its commands run on its own thread; the window's run on the control's worker
// thread while the window goes on answering.
std::unique_ptr<ITransferControl> makeControl(const QString& applicationFolder, bool unattended)
{
    CurlControlOptions options;
    options.trustFolder = applicationFolder;
    options.runOnCallerThread = unattended;
    // A scheduled run must end by itself: a server that stops answering costs it this long,
    // twice at most (the command, then one new login), before the run books what it has.
    if (unattended)
        options.requestTimeoutMs = kUnattendedRequestTimeoutMs;
    return makeCurlTransferControl(options);
}

// The unattended run; the local folder is the working folder.
int runUnattendedWith(IDialogs& dialogs, const QString& applicationFolder, const FtpSettings& settings)
{
    std::unique_ptr<ITransferControl> control = makeControl(applicationFolder, true);
    SystemClock clock;
    return runUnattended(*control, dialogs, clock, applicationFolder, settings, QDir::currentPath()).exitStatus();
}

int nothingToDo(const QString& applicationFolder)
{
    write(stderr, QStringLiteral("pedidosftp: sem tela e sem servidor em ftp.ini: nada a fazer. Para a importação "
                                 "automática, informe o endereço do servidor na chave \"FTP\" da seção [Geral] de "
                                 "ftp.ini, em %1\n")
                      .arg(applicationFolder));
    return 1;
}

// With a display (or one named that turns out dead): the window, or the unattended run with
// Qt's boxes and no window.
int runWithToolkit(int& argc, char** argv, const QString& applicationFolder, const FtpSettings& settings)
{
    prepareToolkit();
    PedidosApplication app(argc, argv);
    installQtTranslation();
    return runGuarded(
        [&] {
            const bool unattended = startModeOf(settings) == StartMode::Unattended;
            if (unattended && app.headless()) {
                HeadlessDialogs dialogs;
                return runUnattendedWith(dialogs, applicationFolder, settings);
            }
            if (unattended) {
                // No window: the boxes of the steps appear; the log and the alerts are written
                // as without a display, so a run started by a scheduler still tells what it did.
                HeadlessDialogs text;
                QtDialogs dialogs;
                dialogs.setTextOutput(&text);
                return runUnattendedWith(dialogs, applicationFolder, settings);
            }
            if (app.headless())
                return nothingToDo(applicationFolder);
            QtDialogs dialogs;
            std::unique_ptr<ITransferControl> control = makeControl(applicationFolder, false);
            AppWindow window(*control, dialogs, applicationFolder);
            dialogs.setParent(&window.window());
            window.Form_Load(settings);
            window.window().show();
            return app.exec();
        },
        app.headless());
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
        return runCheck(argc, argv, command);
    case CommandLine::Mode::Start:
        break;
    }

    const QString applicationFolder = settingsFolderOf(command);
    const FtpSettings settings = readFtpIni(applicationFolder);
    if (displayNamed())
        return runWithToolkit(argc, argv, applicationFolder, settings);

    // No display: the scheduled job. Nothing of the window toolkit is loaded.
    if (startModeOf(settings) == StartMode::Interactive)
        return nothingToDo(applicationFolder);
    quietQtLogging();
    PedidosCoreApplication app(argc, argv);
    return runGuarded(
        [&] {
            HeadlessDialogs dialogs;
            return runUnattendedWith(dialogs, applicationFolder, settings);
        },
        true);
}
