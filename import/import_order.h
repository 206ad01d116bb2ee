#pragma once
// The import of one order file.
#include "core/clock.h"
#include "core/failure.h"
#include "import/import_state.h"
#include "import/report.h"

#include <QString>
#include <QStringList>

enum class ImportOutcome {
    Booked,                    // header and every item booked
    BookedWithMissingProducts, // header booked, some products not found (noted on the order)
    AlreadyBooked,             // the order number is already in saida.fkftp: nothing written
    NotBooked,                 // the customer could not be settled: nothing kept
};

struct ImportResult {
    ImportOutcome outcome = ImportOutcome::NotBooked;
    qint32 orderNumber = 0;
    QStringList missingProducts;   // "barcode | name"
};


class IBookingObserver;

// What the batch leaves at their defaults: the check of an order file rolls the booking back and
// observes its statements.
struct ImportOptions {
    bool rollBack = false;                   // end the transaction with a rollback instead of the commit
    IBookingObserver* observer = nullptr;    // told the values every statement carries
};

// Only inside a catch block: the failure being handled as the failure of the order file
// `fileName`. An order file's own failure already names the file (and its line); any other is
// told after the name ("PED1.txt: ...").
Failure currentOrderFailure(const QString& fileName);

// Books the order file at filePath in one database transaction: begun before the duplicate
// check, committed at the end, rolled back on any failure (then a Failure about the Order is
// thrown, carrying the file name and the failure; nothing of the order stays in the database). When the
// connection is already in a transaction (the batch's group), the order is booked inside it
// under a savepoint instead: released at the end, rolled back to on failure; the commit is the
// caller's.
ImportResult IMPORTA_ZELTO(const QString& filePath, ImportState& state, const IClock& clock,
                           IImportReport& report, const ImportOptions& options = {});
