// The import of one order file: duplicate check, header pass, customer, order header, items,
// all in one database transaction, or under a savepoint of the transaction the batch holds open.
#include "import/import_order.h"

#include "import/booking.h"
#include "import/order_file.h"
#include "import/erp_session.h"
#include "import/sql_text.h"

#include <QFileInfo>
#include <QSet>

namespace {

// True when saida already holds an order with this number (imported by an earlier run).
bool alreadyBooked(ImportState& state, qint32 orderNumber)
{
    FECHA_CONSULTA(state);
    state.query = state.connection->open(QStringLiteral("select sacod from saida where fkftp=? "),
                                         {QString::number(orderNumber)});
    const bool found = !state.query->eof();
    FECHA_CONSULTA(state);
    return found;
}

// Runs the steps after the duplicate check. Returns the outcome; ctx carries what was booked.
ImportOutcome bookOrder(const QStringList& lines, qint32 orderNumber, ImportState& state, OrderContext& ctx,
                        IImportReport& report)
{
    OrderRecord order = orderfile::readOrderHeader(lines);
    order.orderNumber = orderNumber;

    resolveCustomer(state, order, ctx);
    FECHA_CONSULTA(state);
    if (sql::isNumeric(ctx.customerCode))
        bookHeader(state, order, ctx);
    if (!sql::isNumeric(ctx.orderCode))
        return ImportOutcome::NotBooked;

    // The item pass: item lines in file order; line 1 and key lines are skipped.
    for (qsizetype n = 1; n < lines.size(); ++n) {
        if (!orderfile::isItemLine(lines[n]))
            continue;
        const int lineNumber = static_cast<int>(n + 1);
        const OrderItem item = orderfile::splitItemLine(lines[n], lineNumber, ctx.fileName);
        try {
            bookItem(state, item, ctx, report);
        } catch (...) {
            const Failure e = Failure::current(Failure::About::Order);
            throw e.as(Failure::About::Order, orderfile::lineMessage(ctx.fileName, lineNumber, e.message()));
        }
    }
    return ctx.missingProducts.isEmpty() ? ImportOutcome::Booked : ImportOutcome::BookedWithMissingProducts;
}

} // namespace

Failure currentOrderFailure(const QString& fileName)
{
    const Failure e = Failure::current(Failure::About::Order);
    if (e.about() == Failure::About::Order)
        return e;
    return e.as(Failure::About::Order, QStringLiteral("%1: %2").arg(fileName, e.message()));
}

ImportResult IMPORTA_ZELTO(const QString& filePath, ImportState& state, const IClock& clock,
                           IImportReport& report, const ImportOptions& options)
{
    const QString fileName = QFileInfo(filePath).fileName();
    // The file is read once; both passes run over its lines.
    const QStringList lines = orderfile::readOrderFile(filePath);
    ImportResult result;
    result.orderNumber = orderfile::readOrderNumber(lines, fileName);

    IConnection& db = *state.connection;
    // A character the database's character set lacks is written as "?": the log says so once per
    // file (the name of a new customer is in two statements). The handler lives as long as this
    // import.
    QSet<QString> warned;
    db.setWarningHandler([&report, &fileName, &warned](const QString& warning) {
        if (!warned.contains(warning)) {
            warned.insert(warning);
            report.log(QStringLiteral("%1: %2").arg(fileName, warning));
        }
    });
    struct WarningHandlerReset {
        IConnection& connection;
        ~WarningHandlerReset() { connection.setWarningHandler({}); }
    } warningHandlerReset{db};
    OrderContext ctx;
    ctx.fileName = fileName;
    ctx.now = clock.now();
    ctx.observer = options.observer;
    // Inside an open transaction (the batch's group of orders) the order gets a savepoint of its
    // own: undone alone on failure, committed with the group by whoever opened it.
    const bool inGroup = db.inTransaction();
    // On any failure nothing of the order stays: the next run imports the whole file again. When
    // even that fails, the group's transaction is gone (the caller sees it closed).
    const auto abandon = [&] {
        FECHA_CONSULTA(state);
        if (!inGroup) {
            db.rollback();
            return;
        }
        try {
            db.rollbackToSavepoint();
        } catch (const Failure&) {
        }
    };
    try {
        if (inGroup)
            db.savepoint();
        else
            db.begin();
    } catch (...) {
        // Nothing begun, nothing to undo (and a transaction of someone else is left alone).
        throw currentOrderFailure(fileName);
    }
    try {
        if (alreadyBooked(state, result.orderNumber)) {
            abandon();   // nothing was written
            result.outcome = ImportOutcome::AlreadyBooked;
            return result;
        }
        result.outcome = bookOrder(lines, result.orderNumber, state, ctx, report);
        if (result.outcome == ImportOutcome::NotBooked) {
            // A customer without its order is not kept: the next import of the file starts clean
            // and does not create the customer a second time.
            abandon();
            return result;
        }
        FECHA_CONSULTA(state);
        if (options.rollBack)
            abandon();
        else if (inGroup)
            db.releaseSavepoint();
        else
            db.commit();
    } catch (...) {
        const Failure e = currentOrderFailure(fileName);
        abandon();
        throw e;
    }
    result.missingProducts = ctx.missingProducts;
    return result;
}
