#include "core/ftp_ini.h"

#include "core/failure.h"
#include "core/ini.h"
#include "core/paths.h"
#include "core/text_codec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <utility>

QString ftpIniPath(const QString& applicationFolder)
{
    return paths::findFileIgnoringCase(applicationFolder, QStringLiteral("ftp.ini"));
}

FtpSettings readFtpIni(const QString& applicationFolder)
{
    const QString file = ftpIniPath(applicationFolder);
    FtpSettings s;
    const QString geral = QStringLiteral("Geral");
    s.server = LE_INI(geral, QStringLiteral("FTP"), file);
    s.user = LE_INI(geral, QStringLiteral("USUARIO"), file);
    s.password = LE_INI(geral, QStringLiteral("SENHA"), file);
    s.remoteFolder = LE_INI(geral, QStringLiteral("PASTAS"), file);
    if (QFileInfo(file).isFile())
        s.sellerCode = LE_INI(geral, QStringLiteral("COD_VENDEDOR"), file);
    return s;
}

void writeFtpIni(const QString& applicationFolder, const FtpSettings& settings)
{
    const QString file = ftpIniPath(applicationFolder);
    // A line break inside a value would end its line and start another key (a folder name
    // answered by a server could add "FTP=..." of its own): refuse instead of writing it.
    const std::pair<const char*, QString> values[] = {
        {"FTP", settings.server}, {"USUARIO", settings.user}, {"SENHA", settings.password},
        {"PASTAS", settings.remoteFolder}, {"COD_VENDEDOR", settings.sellerCode.value_or(QString())}};
    for (const auto& [key, value] : values) {
        if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')))
            throw Failure(Failure::About::Settings,
                          QStringLiteral("Não foi possível gravar %1: o valor de %2 contém uma quebra de linha")
                              .arg(file, QLatin1String(key)));
    }
    const QString crlf = QStringLiteral("\r\n");
    const QString content = QStringLiteral("[Geral]") + crlf
        + QStringLiteral("FTP=") + settings.server + crlf
        + QStringLiteral("USUARIO=") + settings.user + crlf
        + QStringLiteral("SENHA=") + settings.password + crlf
        + QStringLiteral("PASTAS=") + settings.remoteFolder + crlf
        + QStringLiteral("COD_VENDEDOR=") + settings.sellerCode.value_or(QString()) + crlf;
    const QByteArray bytes = text::fitsCp1252(content) ? text::toCp1252(content) : content.toUtf8();

    // QSaveFile keeps the permissions of the file it replaces; a new one would get the umask's
    // (readable by all) while it holds a password: it is made for its owner alone before
    // anything is written into it.
    const bool created = !QFileInfo::exists(file);
    QSaveFile out(file);
    // commit() only knows of failures of write() itself; one met while the buffer is flushed
    // (disk full, file size limit) would still replace the file with a cut copy. Flush first.
    bool failed = true;
    QString problem;
    if (!out.open(QIODevice::WriteOnly)
        || (created && !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))) {
        problem = out.errorString();
        out.cancelWriting();
    } else if (out.write(bytes) != bytes.size() || !out.flush()) {
        problem = out.errorString();
        out.cancelWriting();
    } else if (!out.commit()) {
        problem = out.errorString();
    } else {
        failed = false;
    }
    if (failed)
        throw Failure(Failure::About::Settings, QStringLiteral("Não foi possível gravar %1: %2").arg(file, problem));
}
