// The download walk's commands straight on the real libcurl control, without the session, the
// log or the local folder's rules: "cd" into the order folder, "dir", "recv" of every file into
// its ".part", "dir" again, then the renames and the deletes. What the transfers alone cost,
// beside the real program's run in scripts/bench-download.
#include "bench/bench.h"

#include "ftp/curl/curl_transfer_control.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace bench {

// "recv" into each ".part", "dir", then the names and the deletes, waited for as the session
// waits, with nothing logged or shown.
int runDownload(const Args& args)
{
    CurlControlOptions options;
    options.runOnCallerThread = true;   // as the unattended run has it
    std::unique_ptr<ITransferControl> control = makeCurlTransferControl(options);
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

} // namespace bench
