#include "ftp/curl/ftp_commands.h"

#include "ftp/listing.h"
#include "ftp/remote_paths.h"

#include <QFile>
#include <QFileInfo>

namespace {

CommandOutcome failure(const QString& info) { return commandFailure(info); }
CommandOutcome success(const QString& answer = {}) { return commandSuccess(answer); }

// Everything that makes a logged-in connection unusable for another command when it changes,
// and the connect it belongs to: a new connect may try a login the server refused before.
QString loginKey(const ServerSettings& s)
{
    return s.address.trimmed() + QLatin1Char('\n') + s.user + QLatin1Char('\n') + s.password + QLatin1Char('\n')
        + s.caFile + QLatin1Char('\n') + s.knownHostsFile + QLatin1Char('\n')
        + QString::number(s.connectNumber);
}

// The FTP command that carries out delete, mkdir and rmdir.
QByteArray ftpWord(Verb verb)
{
    switch (verb) {
    case Verb::Delete:
        return "DELE";
    case Verb::Mkdir:
        return "MKD";
    default:
        return "RMD";
    }
}

} // namespace

CommandOutcome commandFailure(const QString& info)
{
    CommandOutcome out;
    out.info = info;
    return out;
}

CommandOutcome commandSuccess(const QString& answer)
{
    CommandOutcome out;
    out.ok = true;
    out.answer = answer;
    return out;
}

const ProtocolWays FtpCommands::kFtpWays{true, true, &FtpCommands::ftpChangeFolder, &FtpCommands::ftpFileCommand};
const ProtocolWays FtpCommands::kSftpWays{false, false, &FtpCommands::sftpChangeFolder, &FtpCommands::sftpFileCommand};

std::optional<CommandOutcome> FtpCommands::unsuccessful(const RequestResult& r, const RequestTarget& target)
{
    if (r.cancelled)
        return failure(QStringLiteral("Operação cancelada"));
    if (!r.ok())
        return failure(describeFailure(r, target.address));
    return std::nullopt;
}

Verb parseVerb(const QString& word)
{
    static const struct {
        QLatin1String word;
        Verb verb;
    } verbs[] = {
        {QLatin1String("dir"), Verb::Dir},       {QLatin1String("pwd"), Verb::Pwd},
        {QLatin1String("cd"), Verb::Cd},         {QLatin1String("recv"), Verb::Recv},
        {QLatin1String("send"), Verb::Send},     {QLatin1String("delete"), Verb::Delete},
        {QLatin1String("mkdir"), Verb::Mkdir},   {QLatin1String("rmdir"), Verb::Rmdir},
        {QLatin1String("quit"), Verb::Quit},
    };
    const QString w = word.trimmed().toLower();
    for (const auto& v : verbs) {
        if (w == v.word)
            return v.verb;
    }
    return Verb::Unknown;
}

CommandOutcome FtpCommands::run(const FtpCommand& command, const ServerSettings& settings, const RequestHooks& hooks)
{
    serverLost_ = false;
    const Verb verb = parseVerb(command.verb);
    const QStringList& args = command.args;
    for (const QString& a : args) {
        if (a.contains(QLatin1Char('\r')) || a.contains(QLatin1Char('\n')) || a.contains(QChar(0)))
            return failure(QStringLiteral("Nome inválido no comando \"%1\"").arg(command.verb));
    }
    if (verb == Verb::Quit) {
        hooks.notify(FtpState::Disconnecting);
        logOut();
        hooks.notify(FtpState::Disconnected);
        return success();
    }
    const auto address = parseFtpServerAddress(settings.address);
    if (!address)
        return failure(QStringLiteral("Endereço do servidor FTP inválido: \"%1\"").arg(settings.address));
    const QString key = loginKey(settings);
    if (key != session_.loginKey()) {
        connection_.close();
        session_.change(SessionChange::NewLogin, key);
    }
    if (verb == Verb::Unknown)
        return failure(QStringLiteral("Comando FTP desconhecido: \"%1\"").arg(command.verb));
    // One refused login is enough: hosts block addresses that keep trying. A server whose key or
    // certificate was refused is not asked again either.
    if (session_.refusal() != Refusal::None)
        return failure(session_.refusalReport());

    const RequestTarget target{settings, *address, hooks};
    ways_ = address->sftp ? &kSftpWays : &kFtpWays;
    if (!session_.loggedIn()) {
        if (auto refused = logIn(target))
            return *refused;
    }
    const QString oneArg = args.join(QLatin1Char(' '));
    switch (verb) {
    case Verb::Pwd:
        return success(session_.folder());
    case Verb::Dir:
        return listFolder(target);
    case Verb::Cd:
        return changeFolder(target, oneArg);
    case Verb::Recv:
        if (args.size() != 2)
            return failure(QStringLiteral("Uso: recv <arquivo remoto> <arquivo local>"));
        return download(target, args[0], args[1]);
    case Verb::Send:
        if (args.size() != 2)
            return failure(QStringLiteral("Uso: send <arquivo local> <arquivo remoto>"));
        return upload(target, args[0], args[1]);
    case Verb::Delete:
        if (oneArg.isEmpty() || oneArg.endsWith(QLatin1Char('/')))
            return failure(QStringLiteral("Não é um arquivo: \"%1\"").arg(oneArg));
        return fileCommand(target, verb, oneArg);
    case Verb::Mkdir:
    case Verb::Rmdir:
        if (oneArg.isEmpty())
            return failure(QStringLiteral("Informe o nome da pasta"));
        return fileCommand(target, verb, oneArg);
    case Verb::Quit:
    case Verb::Unknown:
        break; // answered before logging in
    }
    return failure(QStringLiteral("Comando FTP desconhecido: \"%1\"").arg(command.verb));
}

void FtpCommands::logOut()
{
    connection_.close();
    session_.change(SessionChange::LoggedOut);
}

// Every request of a command goes through here, so the session always knows whether a
// logged-in connection is cached.
RequestResult FtpCommands::request(const RequestTarget& target, const RequestSpec& req)
{
    RequestResult r = connection_.perform(target, req, session_.connectionCached());
    serverLost_ = !r.cancelled && serverUnreachable(r);
    session_.change(r.connectionKept ? SessionChange::ConnectionKept : SessionChange::ConnectionLost);
    if (r.loginRefused)
        session_.change(SessionChange::LoginRefused, describeFailure(r, target.address));
    if (!r.trustRefusal.isEmpty())
        session_.change(SessionChange::ServerNotTrusted, r.trustRefusal);
    return r;
}

QByteArray FtpCommands::folderUrl(const RequestTarget& target, const QString& absFolder) const
{
    return remoteFolderUrl(target.address.baseUrl(), absFolder, names());
}

QByteArray FtpCommands::fileUrl(const RequestTarget& target, const QString& absPath) const
{
    return remoteFileUrl(target.address.baseUrl(), absPath, names());
}

namespace {
// FEAT's answer lists UTF8 (" UTF8" on a line of its own).
bool offersUtf8(const QList<QByteArray>& featLines)
{
    for (const QByteArray& line : featLines) {
        if (line.trimmed().compare("UTF8", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
} // namespace

// Logs in and takes the login folder as the current folder; the failure, if it fails. A server
// whose FEAT answer offers UTF8 is asked for UTF-8 names ("OPTS UTF8 ON"), as some send names
// in a local code page until asked; a server that refuses either keeps its way.
std::optional<CommandOutcome> FtpCommands::logIn(const RequestTarget& target)
{
    RequestSpec req;
    req.url = target.address.baseUrl() + '/';
    req.noBody = true;
    if (ways_->asksFeatures) {
        req.preQuote = {QByteArrayLiteral("*FEAT")};
        req.quotedWord = "FEAT";
    }
    const RequestResult r = request(target, req);
    if (auto failed = unsuccessful(r, target))
        return *failed;
    if (ways_->asksFeatures && offersUtf8(r.quoteReplyLines)) {
        RequestSpec utf8;
        utf8.url = req.url;
        utf8.noBody = true;
        utf8.preQuote = {QByteArrayLiteral("*OPTS UTF8 ON")};
        const RequestResult u = request(target, utf8);
        if (auto failed = unsuccessful(u, target))
            return *failed;
    }
    const QString path = decodeServerText(r.entryPath);
    const QString folder = path.startsWith(QLatin1Char('/')) ? resolveRemotePath(QStringLiteral("/"), path)
                                                             : QStringLiteral("/");
    session_.change(SessionChange::LoggedIn, folder);
    return std::nullopt;
}

// MLSD, or LIST once the server turned MLSD down.
CommandOutcome FtpCommands::listFolder(const RequestTarget& target)
{
    QByteArray data;
    RequestSpec req;
    req.url = folderUrl(target, session_.folder());
    req.restart = [&data] { data.clear(); };
    req.sink = [&data](const char* p, size_t n) {
        data.append(p, qsizetype(n));
        return true;
    };
    bool mlsd = ways_->listsWithMlsd && session_.listing() == ListingCommand::Mlsd;
    if (mlsd)
        req.listCommand = "MLSD";
    RequestResult r = request(target, req);
    // Any permanent refusal of MLSD ("500 Unknown command", "550 Unable to handle command" from
    // a server whose administrator denies it) is tried as LIST; once LIST lists the folder,
    // LIST it is for the rest of the session.
    if (mlsd && !r.ok() && !r.cancelled && r.lastReplyCode() >= 500 && r.lastReplyCode() <= 599) {
        mlsd = false;
        req.listCommand.clear();
        r = request(target, req);
        if (r.ok())
            session_.change(SessionChange::MlsdMissing);
    }
    if (auto failed = unsuccessful(r, target))
        return *failed;
    const QList<FtpListEntry> entries = parseListing(data, mlsd);
    RemoteListing listing;
    listing.listedAt = std::chrono::steady_clock::now();
    ForeignNames foreign;
    for (const FtpListEntry& e : entries) {
        if (!e.folder)
            listing.sizes.insert(e.name, e.size);
        if (e.cp1252)
            foreign.insert(e.name, cp1252NameBytes(e.name));
    }
    session_.change(SessionChange::FolderListed, session_.folder(), listing.sizes, foreign);
    CommandOutcome out = success(composeDirAnswer(entries));
    out.listing = std::move(listing);
    return out;
}

// A folder relative to the current one or absolute; one that does not exist fails and leaves
// the current folder as it was.
CommandOutcome FtpCommands::changeFolder(const RequestTarget& target, const QString& folder)
{
    const QString current = session_.folder();
    return (this->*ways_->changeFolder)(target, folder.isEmpty() ? current : resolveRemotePath(current, folder));
}

// Moves to the folder and asks PWD there: the server's own name for it becomes the current
// folder.
CommandOutcome FtpCommands::ftpChangeFolder(const RequestTarget& target, const QString& wanted)
{
    RequestSpec req;
    req.url = folderUrl(target, wanted);
    req.noBody = true;
    req.preQuote = {QByteArrayLiteral("PWD")};
    const RequestResult r = request(target, req);
    if (auto failed = unsuccessful(r, target))
        return *failed;
    const QString server = parsePwdReply(r.pwdReply);
    const QString now = server.startsWith(QLatin1Char('/')) ? resolveRemotePath(QStringLiteral("/"), server) : wanted;
    session_.change(SessionChange::FolderChanged, now);
    return success();
}

// delete, mkdir or rmdir of `name`, relative to the current folder or absolute.
CommandOutcome FtpCommands::fileCommand(const RequestTarget& target, Verb verb, const QString& name)
{
    const QString abs = resolveRemotePath(session_.folder(), name);
    if (remoteLeaf(abs).isEmpty())
        return failure(QStringLiteral("Nome inválido: \"%1\"").arg(name));
    return (this->*ways_->fileCommand)(target, verb, abs);
}

// DELE, MKD or RMD, sent before the (empty) request on the folder; "*" keeps the connection
// when it fails.
CommandOutcome FtpCommands::ftpFileCommand(const RequestTarget& target, Verb verb, const QString& abs)
{
    const QByteArray word = ftpWord(verb);
    RequestSpec req;
    req.url = folderUrl(target, remoteParent(abs));
    req.noBody = true;
    req.preQuote = {'*' + word + ' ' + session_.nameBytes(abs)};
    req.quotedWord = word + ' ';
    const RequestResult r = request(target, req);
    if (auto failed = unsuccessful(r, target))
        return *failed;
    const int code = r.quoteReply.left(3).toInt();
    if (code < 200 || code >= 400)
        return failure(describeRefusal(r.quoteReply.isEmpty() ? r.lastReply : r.quoteReply, target.address));
    return success();
}

// Into "<local>.part", renamed to `local` once complete, or straight into `local` when that is a
// ".part" name already; a failure leaves nothing behind. Complete means: as many bytes as the
// last listing of the folder gave the file (then libcurl does not ask SIZE: one round trip less
// per file), or as the server's SIZE answer when the listing gave none. A ".part" target whose
// size the listing gave is left for the caller to compare: a file that grew on the server since
// the listing is not a failed download, it is one not to take yet.
CommandOutcome FtpCommands::download(const RequestTarget& target, const QString& remote, const QString& local)
{
    if (remote.isEmpty() || remote.endsWith(QLatin1Char('/')))
        return failure(QStringLiteral("Não é um arquivo: \"%1\"").arg(remote));
    if (local.isEmpty())
        return failure(QStringLiteral("Informe o arquivo local"));
    const bool inPlace = local.endsWith(QLatin1String(".part"));
    if (!inPlace && QFileInfo::exists(local))
        return failure(QStringLiteral("O arquivo local já existe: %1").arg(local));
    const QString abs = resolveRemotePath(session_.folder(), remote);
    const QString partPath = inPlace ? local : local + QStringLiteral(".part");
    QFile part(partPath);
    if (!part.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return failure(QStringLiteral("Não foi possível criar o arquivo local %1: %2").arg(partPath, part.errorString()));
    const qint64 listed = session_.listedSize(abs);
    bool writeFailed = false;
    RequestSpec req;
    req.url = fileUrl(target, abs);
    req.ignoreContentLength = listed >= 0;
    req.restart = [&] {
        part.resize(0);
        part.seek(0);
    };
    req.sink = [&](const char* p, size_t n) {
        if (part.write(p, qint64(n)) != qint64(n)) {
            writeFailed = true;
            return false;
        }
        return true;
    };
    const RequestResult r = request(target, req);
    const bool flushed = part.flush();
    const QString writeError = part.errorString();
    part.close();
    auto fail = [&](const QString& info) {
        QFile::remove(partPath);
        return failure(info);
    };
    if (r.cancelled)
        return fail(unsuccessful(r, target)->info);
    if (writeFailed || !flushed)
        return fail(QStringLiteral("Erro ao gravar o arquivo local %1: %2").arg(partPath, writeError));
    if (auto failed = unsuccessful(r, target))
        return fail(failed->info);
    const qint64 size = QFileInfo(partPath).size();
    if (listed >= 0 && !inPlace && size != listed) {
        return fail(QStringLiteral("Arquivo %1: %2 bytes recebidos, %3 na listagem (mudou no servidor ou veio incompleto)")
                        .arg(remote).arg(size).arg(listed));
    }
    if (listed < 0 && r.announcedSize >= 0 && size != r.announcedSize)
        return fail(QStringLiteral("Arquivo %1 incompleto: %2 de %3 bytes recebidos").arg(remote).arg(size).arg(r.announcedSize));
    if (inPlace)
        return success();
    // QFile::rename never replaces an existing file.
    if (!QFile::rename(partPath, local))
        return fail(QStringLiteral("Não foi possível gravar %1 (o arquivo já existe?)").arg(local));
    return success();
}

CommandOutcome FtpCommands::upload(const RequestTarget& target, const QString& local, const QString& remote)
{
    QFile src(local);
    if (!QFileInfo(local).isFile() || !src.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("Não foi possível ler o arquivo local %1").arg(local));
    const QString abs = resolveRemotePath(session_.folder(), remote);
    if (remote.isEmpty() || remote.endsWith(QLatin1Char('/')) || remoteLeaf(abs).isEmpty())
        return failure(QStringLiteral("Não é um arquivo: \"%1\"").arg(remote));
    const qint64 size = src.size();
    bool readFailed = false;
    RequestSpec req;
    req.url = fileUrl(target, abs);
    req.uploadSize = size;
    req.restart = [&] { src.seek(0); };
    req.source = [&](char* p, size_t n) {
        const qint64 got = src.read(p, qint64(n));
        if (got < 0)
            readFailed = true;
        return got;
    };
    const RequestResult r = request(target, req);
    session_.change(SessionChange::FileUploaded, abs);
    if (readFailed && !r.cancelled)
        return failure(QStringLiteral("Erro ao ler o arquivo local %1").arg(local));
    if (auto failed = unsuccessful(r, target))
        return *failed;
    if (r.uploadedBytes != size)
        return failure(QStringLiteral("Envio de %1 incompleto: %2 de %3 bytes").arg(local).arg(r.uploadedBytes).arg(size));
    return success();
}
