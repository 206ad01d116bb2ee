// What a failed request tells the user (describeFailure, describeRefusal in curl_request.h).
#include "ftp/curl/curl_request.h"

#include <curl/curl.h>

#include <cerrno>

namespace {

// The common failures in the user's words. libcurl's own code decides where it is specific; the
// server's reply code decides for refusals libcurl reports only in general terms.
QString failureLead(int curlCode, int osErrno, int replyCode, const FtpServerAddress& address)
{
    const QString kind = address.sftp ? QStringLiteral("SFTP") : QStringLiteral("FTP");
    const QString server = kind + QLatin1Char(' ') + address.hostAndPort();
    const QString refused = QStringLiteral("Usuário ou senha recusados pelo servidor %1").arg(server);
    const QString notThere = QStringLiteral("Arquivo ou pasta não encontrado, ou sem permissão, no servidor %1").arg(server);
    const QString dropped = QStringLiteral("A conexão com o servidor %1 caiu").arg(server);
    switch (curlCode) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("Servidor %1 não encontrado: %2").arg(kind, address.host);
    case CURLE_COULDNT_CONNECT:
        return osErrno == ECONNREFUSED
            ? QStringLiteral("Não foi possível conectar ao servidor %1: conexão recusada").arg(server)
            : QStringLiteral("Não foi possível conectar ao servidor %1: servidor inacessível").arg(server);
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return QStringLiteral("Tempo esgotado aguardando o servidor %1").arg(server);
    case CURLE_LOGIN_DENIED:
        return refused;
    case CURLE_PEER_FAILED_VERIFICATION:
        return QStringLiteral("O certificado TLS do servidor %1 não é confiável").arg(server);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_USE_SSL_FAILED:
        return QStringLiteral("Falha na conexão segura (TLS) com o servidor %1").arg(server);
    default:
        break;
    }
    switch (replyCode) {
    case 530:
        return refused;
    case 450:
    case 550:
    case 553:
        return notThere;
    case 421:
        return dropped;
    default:
        break;
    }
    switch (curlCode) {
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_UPLOAD_FAILED:
        return notThere;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return dropped;
    default:
        break;
    }
    if (replyCode >= 400)
        return QStringLiteral("O servidor %1 recusou o pedido").arg(server);
    return QStringLiteral("Falha na comunicação com o servidor %1").arg(server);
}

// The lead, the server's own reply when it refused, and libcurl's code for support.
QString failureText(int curlCode, int osErrno, const QString& reply, const FtpServerAddress& address)
{
    const int replyCode = reply.left(3).toInt();
    QString text = failureLead(curlCode, osErrno, replyCode, address);
    if (replyCode >= 400)
        text += QStringLiteral(": ") + reply;
    if (curlCode != CURLE_OK)
        text += QStringLiteral(" (curl %1)").arg(curlCode);
    return text;
}

} // namespace

QString describeFailure(const RequestResult& result, const FtpServerAddress& address)
{
    if (!result.trustRefusal.isEmpty())
        return result.trustRefusal;
    return failureText(result.curlCode, result.osErrno, result.lastReply, address);
}

QString describeRefusal(const QString& reply, const FtpServerAddress& address)
{
    return failureText(CURLE_OK, 0, reply, address);
}
