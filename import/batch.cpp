#include "import/batch.h"

#include "core/failure.h"
#include "core/file_moves.h"
#include "core/paths.h"
#include "import/import_order.h"
#include "import/erp_session.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The settings (ftp.ini, Zelto.ini, the trusted servers), the run's lock file and the executable
// itself.
bool isProgramFile(const QString& name)
{
    for (const char* own : {"ftp.ini", "Zelto.ini", "known_hosts", "ftp-ca.pem", "pedidosftp.lock"}) {
        if (name.compare(QLatin1String(own), Qt::CaseInsensitive) == 0)
            return true;
    }
    return QCoreApplication::instance() && name == QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

fs::path toPath(const QString& p) { return fs::path(p.toStdString()); }

} // namespace

bool isOrderFileName(const QString& name)
{
    // Exact, case-sensitive test of the last four characters: PED2.TXT and NOTA.csv stay.
    return name.endsWith(QLatin1String(".txt"), Qt::CaseSensitive);
}

QString BatchSummary::summaryLine() const
{
    return QStringLiteral("Pedidos: %1 importados, %2 com produtos faltando, %3 já importados, %4 com falha")
               .arg(booked)
               .arg(bookedWithMissing)
               .arg(alreadyBooked)
               .arg(failed + notBooked)
        + (waiting > 0 ? QStringLiteral(", %1 aguardando a próxima execução").arg(waiting) : QString());
}

QString archiveFolderOf(const QString& folder) { return paths::joinName(folder, QStringLiteral("importados")); }

QString COPIA_ARQUIVO(const QString& folder, const QString& name)
{
    const QString source = paths::joinName(folder, name);
    const QString archive = archiveFolderOf(folder);
    std::error_code ec;
    fs::create_directories(toPath(archive), ec);
    if (ec || !QFileInfo(archive).isDir()) {
        throw Failure(Failure::About::File, QStringLiteral("Não foi possível criar a pasta %1: %2")
                                                .arg(archive, QString::fromStdString(ec.message())));
    }
    if (!QFileInfo(source).isFile())
        throw Failure(Failure::About::File, QStringLiteral("Não foi possível ler %1: o arquivo não está lá").arg(source));

    // The same order archived before (a run stopped between archiving and removing the source,
    // or a file fetched once more because its delete on the server failed): one copy is enough.
    const QString archived = files::sameContentUnderName(archive, name, source);
    if (!archived.isEmpty()) {
        if (!QFile::remove(source)) {
            throw Failure(Failure::About::File,
                          QStringLiteral("%1 já está arquivado em %2, mas não pôde ser apagado").arg(source, archived));
        }
        return archived;
    }
    return files::moveToFreeName(source, archive, name);
}

namespace {

// The orders of one group are committed together: at most this many, or those booked within
// about a second, so that rows the import holds do not keep the ERP's users waiting.
constexpr int kGroupOrders = 250;
constexpr qint64 kGroupMilliseconds = 1000;

// The walk over the order files: books each one and archives it once its order is committed.
// Over Firebird the orders are booked in groups, one transaction with a savepoint per order;
// elsewhere each order is committed on its own.
class Walk {
public:
    Walk(ImportState& state, const QString& executableFolder, const IClock& clock, IImportReport& report,
         BatchSummary& summary)
        : state_(state), executableFolder_(executableFolder), clock_(clock), report_(report), summary_(summary)
    {
    }

    // Imports one order file; false when the database connection was lost.
    bool import(const QString& folder, const QString& fileName)
    {
        IConnection& db = *state_.connection;
        const bool grouping = db.hasSavepoints();
        ImportResult result;
        try {
            if (grouping && !db.inTransaction()) {
                db.begin();
                age_.start();
            }
            result = IMPORTA_ZELTO(paths::joinName(folder, fileName), state_, clock_, report_);
        } catch (...) {
            const Failure e = currentOrderFailure(fileName);
            if (e.connectionLost())
                return lost(e.message(), 1);
            fail(fileName, e.message());
            return true;
        }
        if (result.outcome == ImportOutcome::NotBooked) {
            // Nothing of the order was kept: the file stays for the next run instead of being archived.
            ++summary_.notBooked;
            summary_.failedFiles << fileName;
            report_.critical(QStringLiteral("%1: pedido %2 não importado (cliente não localizado nem cadastrado); "
                                            "o arquivo foi mantido na pasta")
                                 .arg(fileName)
                                 .arg(result.orderNumber));
        } else if (!grouping) {
            finish({folder, fileName, result});
            return true;
        } else {
            group_ << Booked{folder, fileName, result};
        }
        return !grouping || (group_.size() < kGroupOrders && age_.elapsed() < kGroupMilliseconds) || commit();
    }

    // Commits the group and archives its files; false when the database connection was lost.
    bool commit()
    {
        IConnection& db = *state_.connection;
        if (!db.inTransaction())
            return true;
        if (group_.isEmpty()) {
            db.rollback();   // only undone orders: nothing to keep
            return true;
        }
        try {
            db.commit();
        } catch (const Failure& e) {
            if (e.connectionLost())
                return lost(e.message(), 0);
            dropGroup(QStringLiteral("A confirmação das gravações no banco de dados %1 falhou: %2")
                          .arg(zeltoDatabaseName(executableFolder_), e.message()));
            return true;
        }
        for (const Booked& b : std::exchange(group_, {}))
            finish(b);
        return true;
    }

    // Reports the lost connection once, with the order files that wait (`notReached` besides
    // those of the walk's own).
    void stop(int notReached)
    {
        summary_.waiting = waiting_ + notReached;
        report_.log(reason_);   // the database's own words, for the log
        report_.critical(QStringLiteral("A conexão com o banco de dados %1 (de Zelto.ini) foi perdida: a importação "
                                        "parou, e %2 pedido(s) ficaram na pasta local para a próxima execução")
                             .arg(zeltoDatabaseName(executableFolder_))
                             .arg(summary_.waiting));
    }

private:
    struct Booked {
        QString folder;
        QString fileName;
        ImportResult result;
    };

    // `inHand`: the file being imported when the connection broke (not in the group).
    bool lost(const QString& reason, int inHand)
    {
        reason_ = reason;
        waiting_ = int(group_.size()) + inHand;
        group_.clear();
        state_.connection->rollback();
        return false;
    }

    void fail(const QString& fileName, const QString& message)
    {
        ++summary_.failed;
        summary_.failedFiles << fileName;
        report_.critical(message);
        // An order undone whose savepoint could not be rolled back to takes the group with it.
        if (!group_.isEmpty() && !state_.connection->inTransaction())
            dropGroup(QStringLiteral("O banco de dados %1 desfez as gravações em andamento")
                          .arg(zeltoDatabaseName(executableFolder_)));
    }

    // The group's orders were not committed: their files stay for the next run.
    void dropGroup(const QString& why)
    {
        QStringList names;
        for (const Booked& b : std::exchange(group_, {}))
            names << b.fileName;
        state_.connection->rollback();
        summary_.failed += int(names.size());
        summary_.failedFiles << names;
        report_.critical(QStringLiteral("%1; estes pedidos não foram importados e ficaram na pasta: %2")
                             .arg(why, names.join(QStringLiteral(", "))));
    }

    void finish(const Booked& b)
    {
        switch (b.result.outcome) {
        case ImportOutcome::Booked:
            ++summary_.booked;
            report_.log(QStringLiteral("%1: pedido %2 importado").arg(b.fileName).arg(b.result.orderNumber));
            break;
        case ImportOutcome::BookedWithMissingProducts:
            ++summary_.bookedWithMissing;
            report_.warning(QStringLiteral("%1: pedido %2 importado SEM os produtos: %3")
                                .arg(b.fileName)
                                .arg(b.result.orderNumber)
                                .arg(b.result.missingProducts.join(QStringLiteral("; "))));
            break;
        case ImportOutcome::AlreadyBooked:
            ++summary_.alreadyBooked;
            report_.log(QStringLiteral("%1: pedido %2 já importado antes").arg(b.fileName).arg(b.result.orderNumber));
            break;
        case ImportOutcome::NotBooked:
            return;
        }
        try {
            COPIA_ARQUIVO(b.folder, b.fileName);
        } catch (...) {
            ++summary_.failed;
            summary_.failedFiles << b.fileName;
            report_.critical(Failure::current(Failure::About::File).message());
        }
    }

    ImportState& state_;
    const QString& executableFolder_;
    const IClock& clock_;
    IImportReport& report_;
    BatchSummary& summary_;
    QList<Booked> group_;     // booked in the open transaction, not yet committed
    QElapsedTimer age_;       // since the group's transaction began
    QString reason_;          // what the database said when the connection was lost
    int waiting_ = 0;
};

} // namespace

BatchSummary BOTAO_IMPORTA(const std::function<void()>& rewriteFtpIni, ImportState& state,
                           const QString& executableFolder, const FileListView& files, const IClock& clock,
                           IImportReport& report, const ConnectionOpener& opener)
{
    BatchSummary summary;

    try {
        rewriteFtpIni();
    } catch (...) {
        report.critical(Failure::current(Failure::About::Settings).message());
        return summary;
    }

    if (!openImportSession(state, executableFolder, report, opener))
        return summary; // its message was shown
    summary.sessionOpened = true;

    Walk walk(state, executableFolder, clock, report, summary);
    // The progress counts the order files: the others are not imported.
    const int total = files.count();
    int orders = 0;
    for (int fileIndex = 0; fileIndex < total; ++fileIndex)
        orders += isOrderFileName(files.entry(fileIndex)) ? 1 : 0;
    int orderNumber = 0;
    bool connected = true;
    for (int fileIndex = 0; fileIndex < total && connected; ++fileIndex) {
        const QString fileName = files.entry(fileIndex);
        if (!isOrderFileName(fileName))
            continue;
        report.progress(QStringLiteral("Importando %1 (%2 de %3)").arg(fileName).arg(++orderNumber).arg(orders));
        connected = walk.import(files.folderPath(), fileName);
        if (!connected) {
            int notReached = 0;
            for (int i = fileIndex + 1; i < total; ++i)
                notReached += isOrderFileName(files.entry(i)) ? 1 : 0;
            walk.stop(notReached);
        }
    }
    if (connected && !walk.commit())
        walk.stop(0);

    files.refresh();

    // What stays in the refreshed list that is no order file, leaving out the program's own
    // files when the local folder is the application folder.
    const bool applicationFolder =
        QDir(files.folderPath()).canonicalPath() == QDir(executableFolder).canonicalPath();
    const int left = files.count();
    for (int i = 0; i < left; ++i) {
        const QString name = files.entry(i);
        // A ".part" is a download a stopped run left: its order is still on the server.
        if (!isOrderFileName(name) && !name.endsWith(QLatin1String(".part")) && !(applicationFolder && isProgramFile(name)))
            summary.otherFiles << name;
    }
    return summary;
}
