#pragma once
// Checking order files without booking them: the import of each file runs exactly as the batch
// runs it, inside its transaction, and is rolled back at the end; what its statements would
// write is collected from the booking steps themselves and printed.
#include "core/clock.h"
#include "import/booking_observer.h"
#include "import/db/database.h"
#include "import/import_state.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <variant>

struct OrderCheck {
    enum class Verdict {
        WouldBook,              // header and every item would be booked
        WouldBookWithMissing,   // booked without the products the ERP lacks
        AlreadyBooked,          // the order number is already in saida.fkftp: nothing would be written
        CustomerNotSettled,     // the customer could not be settled: nothing would be kept
        Failed,                 // the import would fail and be undone (`failure` says why)
        NotFound,               // no such file
        NotAnOrderFile,         // a folder, or a name the batch does not import (not ending in ".txt")
        NotChecked,             // the database session could not be opened
    };

    QString path;                                   // as given
    Verdict verdict = Verdict::NotChecked;
    std::optional<qint32> orderNumber;              // known once the import returned
    std::optional<CustomerValues> customer;
    std::optional<HeaderValues> header;
    QList<std::variant<ItemValues, MissingProductValues>> items;   // in file order
    QString failure;                                // the import's failure message
    QStringList logLines;                           // what the batch would write to its log

    bool clean() const { return verdict == Verdict::WouldBook; }
};

// Checks one file in the open session `state` (ABRE_BANCO done): the whole import of the file,
// rolled back. Files that do not exist or that the batch would not take are not imported.
OrderCheck checkOrderFile(const QString& path, ImportState& state, const IClock& clock);

// The check as the user reads it, in Portuguese: one block of lines per file, ended by a line
// break.
QString describeOrderCheck(const OrderCheck& check);

// The program's check mode: opens the session as the batch does (Zelto.ini and the seller code
// of ftp.ini in `executableFolder`, with ABRE_BANCO's checks) once a file needs it, checks every
// file and writes their blocks and a summary line to `out`; failures of the session go to `err`.
// Returns the exit status: 0 when every file would be booked cleanly, 1 otherwise.
int checkOrderFiles(const QStringList& paths, const QString& executableFolder, const IClock& clock,
                    const std::function<void(const QString&)>& out, const std::function<void(const QString&)>& err,
                    const ConnectionOpener& opener = openConnection);
