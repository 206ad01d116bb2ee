// The import batch as the unattended run runs it: ftp.ini and Zelto.ini in the application
// folder, the local folder on the order folder, BOTAO_IMPORTA booking and archiving every order
// file.
#include "bench/bench.h"

#include "core/clock.h"
#include "core/paths.h"
#include "ftp/curl/curl_transfer_control.h"
#include "session/ftp_session.h"
#include "session/local_folder.h"
#include "session/unattended_run.h"

#include <QDir>
#include <QFile>

namespace bench {

namespace {
// Item lines waiting in the order folder.
int itemLines(const QString& folder)
{
    int lines = 0;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            lines += int(f.readAll().count("\nProdutoVendido"));
    }
    return lines;
}
} // namespace

int runImport(const Args& args)
{
    const QString orders = args.value(QStringLiteral("orders"));
    Dialogs dialogs;
    SystemClock clock;
    std::unique_ptr<ITransferControl> control = makeCurlTransferControl();
    const QString appFolder = paths::applicationFolder(args.value(QStringLiteral("app-folder")));
    const FtpSettings settings = readFtpIni(appFolder);
    FtpSession session(*control, dialogs);
    loadIntoSession(session, settings);
    LocalFolder local(dialogs);
    local.setPath(localFolderForm(orders));
    UnattendedRun run(session, local, clock, appFolder, settings);
    const int files = local.count();
    const int lines = itemLines(orders);

    const double start = nowSeconds();
    const BatchSummary s = run.BOTAO_IMPORTA();
    const double seconds = nowSeconds() - start;

    std::printf("files=%d\nitem_lines=%d\nbooked=%d\nbooked_with_missing=%d\nalready=%d\nnot_booked=%d\nfailed=%d\n",
                files, lines, s.booked, s.bookedWithMissing, s.alreadyBooked, s.notBooked, s.failed);
    std::printf("seconds=%.4f\nlines_per_second=%.0f\n", seconds, seconds > 0 ? lines / seconds : 0.0);
    return s.success() && s.booked == files ? 0 : 1;
}

} // namespace bench
