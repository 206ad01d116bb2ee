#pragma once
// The import of one order file.
#include "core/clock.h"
#include "import/import_state.h"
#include "import/report.h"

#include <QString>
#include <QStringList>
#include <stdexcept>

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

// A file that cannot be imported: the message names the file and, where it applies, the line.
class ImportError : public std::runtime_error {
public:
    explicit ImportError(const QString& message, bool connectionLost = false)
        : std::runtime_error(message.toStdString()), message_(message), connectionLost_(connectionLost) {}
    QString message() const { return message_; }
    // The database connection broke: no later file can be imported either.
    bool connectionLost() const { return connectionLost_; }

private:
    QString message_;
    bool connectionLost_;
};

class IBookingObserver;

// What the batch leaves at their defaults: the check of an order file rolls the booking back and
// observes its statements.
struct ImportOptions {
    bool rollBack = false;                   // end the transaction with a rollback instead of the commit
    IBookingObserver* observer = nullptr;    // told the values every statement carries
};

// Books the order file at filePath in one database transaction: begun before the duplicate
// check, committed at the end, rolled back on any failure (then ImportError is thrown, carrying
// the file name and the failure; nothing of the order stays in the database). When the
// connection is already in a transaction (the batch's group), the order is booked inside it
// under a savepoint instead: released at the end, rolled back to on failure; the commit is the
// caller's.
ImportResult IMPORTA_ZELTO(const QString& filePath, ImportState& state, const IClock& clock,
                           IImportReport& report, const ImportOptions& options = {});
