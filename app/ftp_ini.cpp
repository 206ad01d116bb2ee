#include "app/ftp_ini.h"

#include "app/ini.h"
#include "app/paths.h"
#include "app/text_codec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <stdexcept>

QString ftpIniPath(const QString& applicationFolder)
{
    return paths::findFileIgnoringCase(applicationFolder, QStringLiteral("ftp.ini"));
}

FtpSettings readFtpIni(const QString& applicationFolder)
{
    const QString file = ftpIniPath(applicationFolder);
    FtpSettings s;
    const QString geral = QStringLiteral("Geral");
    s.ftp = LE_INI(geral, QStringLiteral("FTP"), file);
    s.usuario = LE_INI(geral, QStringLiteral("USUARIO"), file);
    s.senha = LE_INI(geral, QStringLiteral("SENHA"), file);
    s.pastas = LE_INI(geral, QStringLiteral("PASTAS"), file);
    if (QFileInfo::exists(file))
        s.codVendedor = LE_INI(geral, QStringLiteral("COD_VENDEDOR"), file);
    return s;
}

void writeFtpIni(const QString& applicationFolder, const FtpSettings& settings)
{
    const QString file = ftpIniPath(applicationFolder);
    const QString crlf = QStringLiteral("\r\n");
    const QString content = QStringLiteral("[Geral]") + crlf
        + QStringLiteral("FTP=") + settings.ftp + crlf
        + QStringLiteral("USUARIO=") + settings.usuario + crlf
        + QStringLiteral("SENHA=") + settings.senha + crlf
        + QStringLiteral("PASTAS=") + settings.pastas + crlf
        + QStringLiteral("COD_VENDEDOR=") + settings.codVendedor.value_or(QString()) + crlf;
    const QByteArray bytes = text::fitsCp1252(content) ? text::toCp1252(content) : content.toUtf8();

    const QFile::Permissions oldPermissions = QFileInfo::exists(file) ? QFile::permissions(file) : QFile::Permissions();
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        throw std::runtime_error(QStringLiteral("Não foi possível gravar %1: %2")
                                     .arg(file, out.errorString()).toStdString());
    }
    if (oldPermissions)
        QFile::setPermissions(file, oldPermissions);
}
