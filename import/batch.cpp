#include "import/batch.h"

#include "core/file_moves.h"
#include "core/paths.h"
#include "import/import_order.h"
#include "import/erp_session.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace {

QString describe(const std::exception& e) { return QString::fromStdString(e.what()); }

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
        .arg(failed + notBooked);
}

QString archiveFolderOf(const QString& folder) { return paths::joinName(folder, QStringLiteral("importados")); }

QString COPIA_ARQUIVO(const QString& folder, const QString& name)
{
    const QString source = paths::joinName(folder, name);
    const QString archive = archiveFolderOf(folder);
    std::error_code ec;
    fs::create_directories(toPath(archive), ec);
    if (ec || !QFileInfo(archive).isDir()) {
        throw std::runtime_error(QStringLiteral("Não foi possível criar a pasta %1: %2")
                                     .arg(archive, QString::fromStdString(ec.message())).toStdString());
    }
    if (!QFileInfo(source).isFile())
        throw std::runtime_error(QStringLiteral("Não foi possível ler %1: o arquivo não está lá").arg(source).toStdString());

    // The same order archived before (a run stopped between archiving and removing the source,
    // or a file fetched once more because its delete on the server failed): one copy is enough.
    const QString archived = files::sameContentUnderName(archive, name, source);
    if (!archived.isEmpty()) {
        if (!QFile::remove(source)) {
            throw std::runtime_error(
                QStringLiteral("%1 já está arquivado em %2, mas não pôde ser apagado").arg(source, archived).toStdString());
        }
        return archived;
    }
    return files::moveToFreeName(source, archive, name);
}

BatchSummary BOTAO_IMPORTA(const std::function<void()>& rewriteFtpIni, ImportState& state,
                           const QString& executableFolder, const FileListView& files, const IClock& clock,
                           IImportReport& report, const ConnectionOpener& opener)
{
    BatchSummary summary;

    try {
        rewriteFtpIni();
    } catch (const std::exception& e) {
        report.critical(describe(e));
        return summary;
    }

    if (!openImportSession(state, executableFolder, report, opener))
        return summary; // its message was shown
    summary.sessionOpened = true;

    // The progress counts the order files: the others are not imported.
    const int total = files.count();
    int orders = 0;
    for (int fileIndex = 0; fileIndex < total; ++fileIndex)
        orders += isOrderFileName(files.entry(fileIndex)) ? 1 : 0;
    int orderNumber = 0;
    for (int fileIndex = 0; fileIndex < total; ++fileIndex) {
        const QString fileName = files.entry(fileIndex);
        if (!isOrderFileName(fileName))
            continue;
        const QString folder = files.folderPath();
        const QString filePath = paths::joinName(folder, fileName);
        report.progress(QStringLiteral("Importando %1 (%2 de %3)").arg(fileName).arg(++orderNumber).arg(orders));

        ImportResult result;
        try {
            result = IMPORTA_ZELTO(filePath, state, clock, report);
        } catch (const ImportError& e) {
            ++summary.failed;
            summary.failedFiles << fileName;
            report.critical(e.message());
            continue; // the file stays in the folder for the next run
        } catch (const std::exception& e) {
            ++summary.failed;
            summary.failedFiles << fileName;
            report.critical(QStringLiteral("%1: %2").arg(fileName, describe(e)));
            continue;
        }

        switch (result.outcome) {
        case ImportOutcome::Booked:
            ++summary.booked;
            report.log(QStringLiteral("%1: pedido %2 importado").arg(fileName).arg(result.orderNumber));
            break;
        case ImportOutcome::BookedWithMissingProducts:
            ++summary.bookedWithMissing;
            report.warning(QStringLiteral("%1: pedido %2 importado SEM os produtos: %3")
                               .arg(fileName)
                               .arg(result.orderNumber)
                               .arg(result.missingProducts.join(QStringLiteral("; "))));
            break;
        case ImportOutcome::AlreadyBooked:
            ++summary.alreadyBooked;
            report.log(QStringLiteral("%1: pedido %2 já importado antes").arg(fileName).arg(result.orderNumber));
            break;
        case ImportOutcome::NotBooked:
            // Nothing of the order was kept: the file stays for the next run instead of being archived.
            ++summary.notBooked;
            summary.failedFiles << fileName;
            report.critical(QStringLiteral("%1: pedido %2 não importado (cliente não localizado nem cadastrado); "
                                           "o arquivo foi mantido na pasta")
                                .arg(fileName)
                                .arg(result.orderNumber));
            continue;
        }

        try {
            COPIA_ARQUIVO(folder, fileName);
        } catch (const std::exception& e) {
            ++summary.failed;
            summary.failedFiles << fileName;
            report.critical(describe(e));
        }
    }

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
