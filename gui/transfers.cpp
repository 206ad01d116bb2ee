#include "gui/transfers.h"

#include "core/paths.h"
#include "gui/local_lists.h"
#include "gui/ftp_session.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

QString remoteEntryProblem(const QString& entry)
{
    if (entry.endsWith(QLatin1Char('/'))) {
        const QString folder = entry.chopped(1);
        if (folder.isEmpty() || folder == QLatin1String(".") || folder == QLatin1String("..")
            || folder.contains(QLatin1Char('/')) || folder.contains(QLatin1Char('\\')))
            return QStringLiteral("nome inválido");
        return QStringLiteral("pasta");
    }
    // The name becomes part of a local path: it must stay a plain name inside the local folder.
    if (entry.isEmpty() || entry == QLatin1String(".") || entry == QLatin1String("..")
        || entry.contains(QLatin1Char('/')) || entry.contains(QLatin1Char('\\')) || entry.contains(QChar(0)))
        return QStringLiteral("nome inválido");
    return QString();
}

Transfers::Transfers(FtpSession& session, LocalLists& local, QObject* parent)
    : QObject(parent), session_(session), local_(local)
{
    const RemoteWidgets& w = session_.widgets();
    connect(w.cmdRecebe, &QPushButton::clicked, this, [this] { cmdRecebe_Click(); });
    connect(w.cmdEnvia, &QPushButton::clicked, this, [this] { cmdEnvia_Click(); });
    connect(w.cmdDelete, &QPushButton::clicked, this, [this] { cmdDelete_Click(); });
    connect(w.cmdMkDir, &QPushButton::clicked, this, [this] { cmdMkDir_Click(); });
}

void Transfers::log(const QString& line)
{
    session_.appendLog(line);
}

DownloadSummary Transfers::BAIXA_TUDO()
{
    QListWidget* remote = session_.widgets().lstRemote;
    DownloadSummary summary;
    const int count = remote->count();
    // Position 0 is the parent entry "../" of the listing and is never visited.
    for (int i = 1; i < count; ++i) {
        // The list may have been re-read by a click handled while a command ran.
        QListWidgetItem* item = remote->item(i);
        if (!item) {
            log(QStringLiteral("A lista remota mudou durante o download; os demais arquivos ficam no servidor"));
            break;
        }
        const QString name = item->text();
        const QString problem = remoteEntryProblem(name);
        if (!problem.isEmpty()) {
            item->setSelected(false);
            ++summary.skipped;
            log(QStringLiteral("Ignorado: ") + name + QStringLiteral(" (") + problem + QLatin1Char(')'));
            continue;
        }

        // Never overwrite a local file: an order not booked yet, or a sender reusing names.
        const QString folder = local_.path();
        const QString localName = paths::freeFileName(folder, name);
        const QString target = paths::joinName(folder, localName);
        const bool received = session_.EXECUTA_COMANDO(FtpCommand{QStringLiteral("recv"), {name, target}}, false);
        if (QListWidgetItem* visited = remote->item(i))
            visited->setSelected(false);

        // The server's copy goes only once the local one is complete.
        if (!received || !QFileInfo(target).isFile()) {
            ++summary.failed;
            log(QStringLiteral("Falha ao baixar ") + name + QStringLiteral("; o arquivo fica no servidor"));
            continue;
        }
        ++summary.fetched;
        log(QStringLiteral("Baixado: ") + name + QStringLiteral(" -> ") + target
            + (localName != name ? QStringLiteral(" (já havia ") + name + QStringLiteral(" na pasta local)") : QString()));
        if (!session_.EXECUTA_COMANDO(FtpCommand{QStringLiteral("delete"), {name}}, false)) {
            ++summary.notDeleted;
            log(QStringLiteral("Falha ao apagar ") + name + QStringLiteral(" no servidor"));
        }
    }
    if (count > 1) {
        log(QStringLiteral("Download: %1 baixado(s), %2 falha(s), %3 ignorado(s)")
                .arg(summary.fetched)
                .arg(summary.failed)
                .arg(summary.skipped));
    }
    local_.refreshFiles();
    return summary;
}

void Transfers::cmdRecebe_Click()
{
    BAIXA_TUDO();
}

void Transfers::cmdEnvia_Click()
{
    const int count = local_.fileCount();
    for (int i = 0; i < count; ++i) {
        if (!local_.fileSelected(i))
            continue;
        const QString name = local_.fileAt(i);
        const QString target = session_.widgets().lblRemoteDirectory->text() + QLatin1Char('/') + name;
        const QString source = paths::joinName(local_.path(), name);
        session_.EXECUTA_COMANDO(FtpCommand{QStringLiteral("send"), {source, target}}, false);
    }
    refreshListing();
    local_.refreshFiles();
}

void Transfers::cmdDelete_Click()
{
    IDialogs& dialogs = session_.dialogs();
    if (!dialogs.confirm(QStringLiteral("Confirma a operação ?"), QStringLiteral("Delete")))
        return;
    QListWidget* remote = session_.widgets().lstRemote;
    const int count = remote->count();
    for (int i = 0; i < count; ++i) {
        const QListWidgetItem* item = remote->item(i);
        if (!item || !item->isSelected())
            continue;
        const QString name = item->text();
        if (name.endsWith(QLatin1Char('/')))
            session_.EXECUTA_COMANDO(FtpCommand{QStringLiteral("rmdir"), {name.chopped(1)}}, false);
        else
            session_.EXECUTA_COMANDO(FtpCommand{QStringLiteral("delete"), {name}}, false);
    }
    refreshListing();
}

void Transfers::cmdMkDir_Click()
{
    const std::optional<QString> answer =
        session_.dialogs().input(QStringLiteral("Informe o nome da pasta"), QStringLiteral("Cria Diretório"));
    if (!answer || answer->isEmpty())
        return;
    session_.EXECUTA_COMANDO(FtpCommand{QStringLiteral("mkdir"), {*answer}}, true);
}

void Transfers::refreshListing()
{
    try {
        session_.ATUALIZA_LISTA();
        session_.AGUARDA();
    } catch (...) {
        session_.reportCommandFailure();
    }
}
