#include "gui/transfers.h"

#include "core/paths.h"
#include "ftp/remote_paths.h"
#include "gui/local_lists.h"
#include "gui/remote_widgets.h"
#include "session/download_walk.h"
#include "session/ftp_session.h"

#include <QPushButton>

Transfers::Transfers(const RemoteWidgets& widgets, FtpSession& session, LocalLists& local, QObject* parent)
    : QObject(parent), session_(session), local_(local)
{
    connect(widgets.cmdRecebe, &QPushButton::clicked, this, [this] { cmdRecebe_Click(); });
    connect(widgets.cmdEnvia, &QPushButton::clicked, this, [this] { cmdEnvia_Click(); });
    connect(widgets.cmdDelete, &QPushButton::clicked, this, [this] { cmdDelete_Click(); });
    connect(widgets.cmdMkDir, &QPushButton::clicked, this, [this] { cmdMkDir_Click(); });
}

void Transfers::cmdRecebe_Click()
{
    DownloadWalk(session_, local_.folder()).BAIXA_TUDO();
}

void Transfers::cmdEnvia_Click()
{
    const int count = local_.fileCount();
    for (int i = 0; i < count; ++i) {
        if (!local_.fileSelected(i))
            continue;
        const QString name = local_.fileAt(i);
        const QString target = joinRemotePath(session_.remote().path(), name);
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
    const RemoteFolder& remote = session_.remote();
    const int count = remote.count();
    for (int i = 0; i < count; ++i) {
        if (!remote.isSelected(i))
            continue;
        const QString name = remote.at(i);
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
