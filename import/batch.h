#pragma once
// The import batch: rewrites ftp.ini, opens the database session and books every ".txt" order
// file of the local folder, archiving each handled file into "importados".
#include "core/clock.h"
#include "import/db/database.h"
#include "import/import_state.h"
#include "import/report.h"

#include <QString>
#include <QStringList>
#include <functional>

// The local file list as the batch sees it (the window's folder and file lists).
struct FileListView {
    std::function<QString()> folderPath;    // folder-list form: "C:\PEDIDOS", "/srv/pedidos", "/"
    std::function<int()> count;
    std::function<QString(int)> entry;
    std::function<void()> refresh;
};

struct BatchSummary {
    bool sessionOpened = false;     // false: ftp.ini or the database stopped the batch before any file
    int booked = 0;                 // booked whole
    int bookedWithMissing = 0;      // booked, some products not found
    int alreadyBooked = 0;          // skipped: the order number was booked before
    int notBooked = 0;              // the customer could not be settled: nothing booked
    int failed = 0;                 // import failed (rolled back, file left in place) or archiving failed
    int waiting = 0;                // the database connection was lost: order files left for the next run
    QStringList failedFiles;
    QStringList otherFiles;         // names left in the file list that are not order files (the
                                    // program's own files in its application folder left out)

    bool success() const
    {
        return sessionOpened && failed == 0 && notBooked == 0 && bookedWithMissing == 0 && waiting == 0;
    }
    // "Pedidos: 3 importados, 1 com produtos faltando, 0 já importados, 0 com falha"
    QString summaryLine() const;
};

// True for the names the batch imports: ending in ".txt", exactly (PED2.TXT and NOTA.csv stay).
bool isOrderFileName(const QString& name);

// The archive of a local folder: <folder>/importados.
QString archiveFolderOf(const QString& folder);

// Archives one handled order file: moves it into <folder>/importados (created when missing)
// under a free name (an archived file is never overwritten: "PED1 (2).txt"), so that a name
// there always holds a whole file, whenever the program is stopped. When the archive already
// holds the same bytes under that name (or one of its numbered names), the source is only
// deleted. Returns the archived path. Throws a Failure naming the file on failure;
// the source then stays in place.
QString COPIA_ARQUIVO(const QString& folder, const QString& name);

// The batch. `rewriteFtpIni` writes ftp.ini from the window's values (throws on failure).
// Every file failure is reported once through `report.critical`, its order rolled back, the file
// left in the folder, and the batch goes on with the next file. Over Firebird the orders are
// booked in groups, one transaction committed about every second; a file is archived (and its
// order logged) only once the commit holding its order returned. A lost database connection
// stops the batch: what was committed stays, the other files stay for the next run, and one
// report.critical names the database and how many orders wait.
BatchSummary BOTAO_IMPORTA(const std::function<void()>& rewriteFtpIni, ImportState& state,
                           const QString& executableFolder, const FileListView& files, const IClock& clock,
                           IImportReport& report, const ConnectionOpener& opener = openConnection);
