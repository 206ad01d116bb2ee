// Running the import of order files with a rollback at the end, collecting what the booking
// steps put into their statements.
#include "import/order_check.h"

#include "core/ftp_ini.h"
#include "core/headless_dialogs.h"
#include "core/paths.h"
#include "import/batch.h"
#include "import/erp_session.h"
#include "import/import_order.h"
#include "import/report.h"

#include <QFileInfo>
#include <exception>

namespace {

// Hears the booking steps of one file and keeps what they tell.
class CheckCollector final : public IBookingObserver, public IImportReport {
public:
    explicit CheckCollector(OrderCheck& check) : check_(check) {}

    void customerSettled(const CustomerValues& values) override { check_.customer = values; }
    void headerInserted(const HeaderValues& values) override { check_.header = values; }
    void itemInserted(const ItemValues& values) override { check_.items << values; }
    void productMissing(const MissingProductValues& values) override { check_.items << values; }

    void critical(const QString& text) override { check_.failure = text; }
    void log(const QString& line) override { check_.logLines << line; }
    void progress(const QString&) override {}

private:
    OrderCheck& check_;
};

// Files the batch would not import at all; nothing else is looked at for them.
std::optional<OrderCheck::Verdict> unreadableVerdict(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return OrderCheck::Verdict::NotFound;
    if (!info.isFile() || !isOrderFileName(info.fileName()))
        return OrderCheck::Verdict::NotAnOrderFile;
    return std::nullopt;
}

// Writes the database session's reports as lines of the error output.
class ErrorOutputReport final : public IImportReport {
public:
    explicit ErrorOutputReport(const std::function<void(const QString&)>& err) : err_(err) {}
    // One line, as a headless run writes a box.
    void critical(const QString& text) override { err_(HeadlessDialogs::boxLine(QStringLiteral("ERRO"), text, QString())); }
    void log(const QString& line) override { err_(line); }
    void progress(const QString&) override {}

private:
    const std::function<void(const QString&)>& err_;
};

} // namespace

OrderCheck checkOrderFile(const QString& path, ImportState& state, const IClock& clock)
{
    OrderCheck check;
    check.path = path;
    if (const auto verdict = unreadableVerdict(path)) {
        check.verdict = *verdict;
        return check;
    }

    CheckCollector collector(check);
    ImportOptions options;
    options.rollBack = true;
    options.observer = &collector;
    try {
        const ImportResult result = IMPORTA_ZELTO(path, state, clock, collector, options);
        check.orderNumber = result.orderNumber;
        switch (result.outcome) {
        case ImportOutcome::Booked:
            check.verdict = OrderCheck::Verdict::WouldBook;
            break;
        case ImportOutcome::BookedWithMissingProducts:
            check.verdict = OrderCheck::Verdict::WouldBookWithMissing;
            break;
        case ImportOutcome::AlreadyBooked:
            check.verdict = OrderCheck::Verdict::AlreadyBooked;
            break;
        case ImportOutcome::NotBooked:
            check.verdict = OrderCheck::Verdict::CustomerNotSettled;
            break;
        }
    } catch (...) {
        check.verdict = OrderCheck::Verdict::Failed;
        check.failure = currentOrderFailure(QFileInfo(path).fileName()).message();
    }
    return check;
}

int checkOrderFiles(const QStringList& paths, const QString& executableFolder, const IClock& clock,
                    const std::function<void(const QString&)>& out, const std::function<void(const QString&)>& err,
                    const ConnectionOpener& opener)
{
    const QString folder = paths::applicationFolder(executableFolder);
    ErrorOutputReport report(err);
    ImportState state;
    std::optional<bool> sessionOpen;   // unset until a file needs the database

    int clean = 0, withMissing = 0, alreadyBooked = 0, other = 0;
    for (const QString& path : paths) {
        OrderCheck check;
        check.path = path;
        if (const auto verdict = unreadableVerdict(path)) {
            check.verdict = *verdict;
        } else {
            if (!sessionOpen) {
                // The seller code comes from ftp.ini as in a normal run; nothing is written there.
                state.sellerCode = readFtpIni(folder).sellerCode;
                sessionOpen = openImportSession(state, folder, report, opener);
            }
            if (*sessionOpen)
                check = checkOrderFile(path, state, clock);
        }
        out(describeOrderCheck(check));
        switch (check.verdict) {
        case OrderCheck::Verdict::WouldBook:
            ++clean;
            break;
        case OrderCheck::Verdict::WouldBookWithMissing:
            ++withMissing;
            break;
        case OrderCheck::Verdict::AlreadyBooked:
            ++alreadyBooked;
            break;
        default:
            ++other;
            break;
        }
    }
    state.query.reset();
    state.connection.reset();

    out(QStringLiteral("Conferência: %1 arquivo(s); %2 sem problemas; %3 com produtos não cadastrados; "
                       "%4 já importado(s); %5 com falha ou não conferido(s)\n")
            .arg(paths.size())
            .arg(clean)
            .arg(withMissing)
            .arg(alreadyBooked)
            .arg(other));
    return clean == paths.size() ? 0 : 1;
}
