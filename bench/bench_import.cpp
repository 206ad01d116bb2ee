// The import batch as the window runs it: ftp.ini and Zelto.ini in the application folder, the
// local folder list on the order folder, BOTAO_IMPORTA booking and archiving every order file.
#include "bench/bench.h"

#include "gui/app_window.h"
#include "core/clock.h"
#include "ftp/curl/curl_transfer_control.h"
#include "gui/local_lists.h"

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
    AppWindow app(*control, dialogs, clock, args.value(QStringLiteral("app-folder")));
    app.Form_Load();
    if (!app.localLists().setPath(orders))
        return 2;
    const int files = app.localLists().fileCount();
    const int lines = itemLines(orders);

    const double start = nowSeconds();
    const BatchSummary s = app.BOTAO_IMPORTA();
    const double seconds = nowSeconds() - start;

    std::printf("files=%d\nitem_lines=%d\nbooked=%d\nbooked_with_missing=%d\nalready=%d\nnot_booked=%d\nfailed=%d\n",
                files, lines, s.booked, s.bookedWithMissing, s.alreadyBooked, s.notBooked, s.failed);
    std::printf("seconds=%.4f\nlines_per_second=%.0f\n", seconds, seconds > 0 ? lines / seconds : 0.0);
    return s.success() && s.booked == files ? 0 : 1;
}

} // namespace bench
