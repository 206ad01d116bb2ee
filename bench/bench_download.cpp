// The download walk as the window runs it: connect (one login), "cd" into the order folder with
// its listing, then BAIXA_TUDO fetching every file, checking the folder again and deleting, on
// the real libcurl control, with the window shown (offscreen). --control-only 1: the same
// commands straight on the control, without the window (what the transfers alone cost).
#include "bench/bench.h"

#include "gui/app_window.h"
#include "core/clock.h"
#include "ftp/curl/curl_transfer_control.h"
#include "gui/local_lists.h"
#include "gui/ftp_session.h"
#include "gui/transfers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

namespace bench {

namespace {

// "recv" into each ".part", "dir", then the names and the deletes, waited for as the window
// waits, with nothing logged or shown.
int runOnControlOnly(const Args& args)
{
    std::unique_ptr<ITransferControl> control = makeCurlTransferControl();
    control->setAddress(args.value(QStringLiteral("address")));
    control->setUserName(args.value(QStringLiteral("user")));
    control->setPassword(args.value(QStringLiteral("password")));
    const QString local = args.value(QStringLiteral("local"));
    const auto run = [&](const QString& verb, const QStringList& arguments) {
        control->Execute(FtpCommand{verb, arguments});
        while (control->StillExecuting()) {
            QCoreApplication::processEvents();
            control->waitForProgress(20);
        }
        QCoreApplication::processEvents();
        return control->LastSucceeded();
    };
    const double start = nowSeconds();
    bool ok = run(QStringLiteral("cd"), {args.value(QStringLiteral("folder"))}) && run(QStringLiteral("dir"), {});
    const QStringList names = control->LastListing().sizes.keys();
    const double listed = nowSeconds();
    for (const QString& name : names)
        ok = run(QStringLiteral("recv"), {name, QDir(local).filePath(name + QStringLiteral(".part"))}) && ok;
    ok = run(QStringLiteral("dir"), {}) && ok;
    for (const QString& name : names) {
        ok = QFile::rename(QDir(local).filePath(name + QStringLiteral(".part")), QDir(local).filePath(name)) && ok;
        ok = run(QStringLiteral("delete"), {name}) && ok;
    }
    const double end = nowSeconds();
    std::printf("entries=%d\nseconds_login_list=%.4f\nseconds_walk=%.4f\nseconds_total=%.4f\n", int(names.size()),
                listed - start, end - listed, end - start);
    return ok ? 0 : 1;
}

} // namespace

int runDownload(const Args& args)
{
    if (args.value(QStringLiteral("control-only")) == QLatin1String("1"))
        return runOnControlOnly(args);

    QTemporaryDir appFolder;
    Dialogs dialogs;
    SystemClock clock;
    std::unique_ptr<ITransferControl> control = makeCurlTransferControl();
    AppWindow app(*control, dialogs, clock, appFolder.path());
    frmFTP& w = app.window();
    // --hidden: the same walk with the window not shown (tells the cost of painting it).
    if (args.value(QStringLiteral("hidden")) != QLatin1String("1"))
        w.show();
    w.txtAddress->setText(args.value(QStringLiteral("address")));
    w.txtUsername->setText(args.value(QStringLiteral("user")));
    w.txtPassword->setText(args.value(QStringLiteral("password")));
    if (!app.localLists().setPath(args.value(QStringLiteral("local"))))
        return 2;

    FtpSession& session = app.session();
    const double start = nowSeconds();
    const bool connected = session.CONECTA();
    const bool inFolder =
        session.EXECUTA_COMANDO(FtpCommand{QStringLiteral("cd"), {args.value(QStringLiteral("folder"))}}, true);
    const double listed = nowSeconds();
    const DownloadSummary s = (connected && inFolder) ? app.transfers().BAIXA_TUDO() : DownloadSummary{};
    const double end = nowSeconds();
    session.DESCONECTA();

    std::printf("entries=%d\nfetched=%d\nchanged=%d\nfailed=%d\nnot_deleted=%d\nboxes=%d\n", w.lstRemote->count(),
                s.fetched, s.changed, s.failed, s.notDeleted, dialogs.messages);
    std::printf("seconds_login_list=%.4f\nseconds_walk=%.4f\nseconds_total=%.4f\n", listed - start, end - listed,
                end - start);
    return connected && inFolder && s.failed == 0 && s.notDeleted == 0 && s.changed == 0 ? 0 : 1;
}

} // namespace bench
