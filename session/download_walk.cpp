#include "session/download_walk.h"

#include "core/failure.h"
#include "core/file_moves.h"
#include "core/paths.h"
#include "import/batch.h"
#include "session/ftp_session.h"
#include "session/local_folder.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

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

void DownloadWalk::log(const QString& line)
{
    session_.appendLog(line);
}

bool DownloadWalk::run(const FtpCommand& command)
{
    if (!lost_.isEmpty())
        return false;
    ITransferControl& control = session_.control();
    session_.setReportLostServer(false);
    bool ok = session_.EXECUTA_COMANDO(command, false);
    if (!ok && control.ServerLost() && !session_.stopRequested()) {
        log(QStringLiteral("Sem resposta do servidor; nova tentativa com nova conexão"));
        ok = session_.EXECUTA_COMANDO(command, false);
        if (!ok && control.ServerLost())
            lost_ = session_.lastRefusal();
    }
    session_.setReportLostServer(true);
    return ok;
}

DownloadSummary DownloadWalk::BAIXA_TUDO()
{
    RemoteFolder& remote = session_.remote();
    DownloadSummary summary;
    lost_.clear();
    int files = 0; // listed files the walk is for
    const RemoteListing listed = session_.control().LastListing();
    const QString folder = local_.path();
    QList<Fetched> fetched;
    QStringList notFetched;
    const int count = remote.count();
    const quint64 generation = remote.generation();
    // First pass: every file into its ".part"; nothing is deleted yet. Position 0 is the parent
    // entry "../" of the listing and is never visited.
    for (int i = 1; i < count; ++i) {
        if (remoteEntryProblem(remote.at(i)).isEmpty())
            ++files;
    }
    for (int i = 1; i < count && !session_.stopRequested() && lost_.isEmpty(); ++i) {
        // The folder may have been listed anew by a click handled while a command ran: the
        // positions then point at other entries.
        if (remote.generation() != generation) {
            log(QStringLiteral("A lista remota mudou durante o download; os demais arquivos ficam no servidor"));
            break;
        }
        const QString name = remote.at(i);
        const QString problem = remoteEntryProblem(name);
        if (!problem.isEmpty()) {
            remote.setSelected(i, false);
            ++summary.skipped;
            log(QStringLiteral("Ignorado: ") + name + QStringLiteral(" (") + problem + QLatin1Char(')'));
            continue;
        }

        // A ".part" is never imported; one left by a stopped run is replaced here.
        const QString part = paths::joinName(folder, name + QStringLiteral(".part"));
        const bool received = run(FtpCommand{QStringLiteral("recv"), {name, part}});
        if (remote.generation() == generation)
            remote.setSelected(i, false);
        if (received && QFileInfo(part).isFile())
            fetched << Fetched{name, part};
        else if (!session_.stopRequested() && lost_.isEmpty())
            notFetched << name;
    }
    if (!lost_.isEmpty()) {
        // Without the second listing nothing fetched can be checked: all of it stays on the
        // server, and no second time-out is spent asking a server that is gone.
        for (const Fetched& f : fetched)
            QFile::remove(f.part);
        summary.failed += int(fetched.size() + notFetched.size());
    } else if (!fetched.isEmpty() || !notFetched.isEmpty()) {
        keepUnchanged(listed, fetched, notFetched, folder, summary);
    }
    if (session_.stopRequested())
        log(QStringLiteral("Download interrompido: a janela foi fechada; o que não foi baixado fica no servidor"));
    if (!lost_.isEmpty()) {
        summary.serverLost = lost_;
        summary.leftOnServer = files - summary.fetched - summary.received + summary.notDeleted;
        const QString text = QStringLiteral("O servidor %1 deixou de responder durante o download (%2): %3 arquivo(s) "
                                            "ficam no servidor para a próxima execução")
                                 .arg(session_.address(), lost_)
                                 .arg(summary.leftOnServer);
        log(text);
        session_.dialogs().alert(text);
    }
    if (count > 1) {
        log(QStringLiteral("Download: %1 baixado(s), %2 já recebido(s) antes, %3 em gravação no servidor, %4 falha(s), "
                           "%5 ignorado(s)")
                .arg(summary.fetched)
                .arg(summary.received)
                .arg(summary.changed)
                .arg(summary.failed)
                .arg(summary.skipped));
    }
    local_.refresh();
    return summary;
}

namespace {

enum class Verdict { Take, Changed, Short };

// A file is taken when the listing the walk worked from, the bytes received and the listing made
// a second later agree: an order still being written on the server grows in between. A server
// that lists no sizes leaves only the control's own check of the download (SIZE).
Verdict judge(const RemoteListing& first, const RemoteListing& second, const QString& name, qint64 received)
{
    if (!first.has(name) || !second.has(name) || first.size(name) != second.size(name))
        return Verdict::Changed;
    if (first.size(name) < 0 || first.size(name) == received)
        return Verdict::Take;
    return Verdict::Short;
}

} // namespace

void DownloadWalk::keepUnchanged(const RemoteListing& first, const QList<Fetched>& fetched,
                                 const QStringList& notFetched, const QString& folder, DownloadSummary& summary)
{
    const auto dropAll = [&fetched] {
        for (const Fetched& f : fetched)
            QFile::remove(f.part);
    };
    if (!waitUntil(first.listedAt + std::chrono::seconds(1)) || !run(FtpCommand{QStringLiteral("dir"), {}})) {
        dropAll();
        if (!session_.stopRequested()) {
            summary.failed += int(fetched.size() + notFetched.size());
            if (lost_.isEmpty())
                log(QStringLiteral("Não foi possível listar a pasta remota de novo para conferir os arquivos: "
                                   "todos ficam no servidor"));
        }
        return;
    }
    const RemoteListing second = session_.control().LastListing();
    const QString changed = QStringLiteral("%1 mudou no servidor durante o download (ainda em gravação?): "
                                           "fica no servidor para a próxima execução");

    QStringList toDelete;
    for (const Fetched& f : fetched) {
        // Renames and comparisons of thousands of files: clicks and repaints between them.
        session_.handleEvents();
        const Verdict verdict = judge(first, second, f.name, QFileInfo(f.part).size());
        if (verdict != Verdict::Take) {
            QFile::remove(f.part);
            if (verdict == Verdict::Changed) {
                ++summary.changed;
                log(changed.arg(f.name));
            } else {
                ++summary.failed;
                log(QStringLiteral("Falha ao baixar ") + f.name + QStringLiteral(" (veio incompleto); o arquivo fica no servidor"));
            }
            continue;
        }
        // The same order received before (a run stopped before the server's delete, or a delete
        // that failed): its server copy goes, no second local copy is kept.
        QString same = files::sameContentUnderName(folder, f.name, f.part);
        if (same.isEmpty())
            same = files::sameContentUnderName(archiveFolderOf(folder), f.name, f.part);
        if (!same.isEmpty()) {
            QFile::remove(f.part);
            ++summary.received;
            toDelete << f.name;
            log(QStringLiteral("Já recebido: ") + f.name + QStringLiteral(" (igual a ") + same + QLatin1Char(')'));
            continue;
        }
        try {
            const QString target = files::moveToFreeName(f.part, folder, f.name);
            ++summary.fetched;
            toDelete << f.name;
            log(QStringLiteral("Baixado: ") + f.name + QStringLiteral(" -> ") + target
                + (QFileInfo(target).fileName() != f.name
                       ? QStringLiteral(" (já havia ") + f.name + QStringLiteral(" na pasta local)")
                       : QString()));
        } catch (...) {
            const Failure e = Failure::current(Failure::About::File);
            QFile::remove(f.part);
            ++summary.failed;
            log(e.message() + QStringLiteral("; o arquivo fica no servidor"));
        }
    }
    for (const QString& name : notFetched) {
        if (judge(first, second, name, -1) != Verdict::Changed) {
            ++summary.failed;
            log(QStringLiteral("Falha ao baixar ") + name + QStringLiteral("; o arquivo fica no servidor"));
        } else {
            ++summary.changed;
            log(changed.arg(name));
        }
    }

    // The files kept must survive a power cut before their server copies go.
    if (!toDelete.isEmpty() && !syncLocalFolder(folder))
        log(QStringLiteral("Aviso: não foi possível confirmar a gravação em disco de ") + folder);
    for (const QString& name : toDelete) {
        if (session_.stopRequested())
            break;
        if (!lost_.isEmpty()) { // stays on the server; the next run finds it received already
            ++summary.notDeleted;
            continue;
        }
        if (!run(FtpCommand{QStringLiteral("delete"), {name}})) {
            ++summary.notDeleted;
            log(QStringLiteral("Falha ao apagar ") + name + QStringLiteral(" no servidor"));
        }
    }
}

bool DownloadWalk::waitUntil(std::chrono::steady_clock::time_point when)
{
    using namespace std::chrono;
    while (!session_.stopRequested()) {
        const auto left = duration_cast<milliseconds>(when - steady_clock::now()).count();
        if (left <= 0)
            return true;
        session_.handleEvents();
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, FtpSession::kWaitSliceMs)));
    }
    return false;
}

bool DownloadWalk::syncLocalFolder(const QString& folder)
{
    std::atomic<bool> done{false};
    bool ok = false;
    std::thread sync([&] {
        ok = files::syncFileSystem(folder);
        done = true;
    });
    while (!done) {
        session_.handleEvents();
        QThread::msleep(2);
    }
    sync.join();
    return ok;
}
