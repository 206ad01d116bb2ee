#include "ftp/curl/server_trust.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>

namespace {

// ---------------------------------------------------------------- libcurl and OpenSSL callbacks

int onHostKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match, void* user)
{
    QByteArray blob;
    if (found && found->key)
        blob = found->len ? QByteArray(found->key, qsizetype(found->len)) : QByteArray::fromBase64(found->key);
    return static_cast<ServerTrust*>(user)->checkHostKey(blob, int(match));
}

int trustIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// OpenSSL's verification, watched: the result is OpenSSL's own, unchanged.
int onVerify(int ok, X509_STORE_CTX* store)
{
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* trust = ssl ? static_cast<ServerTrust*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), trustIndex())) : nullptr;
    X509* cert = X509_STORE_CTX_get_current_cert(store);
    if (trust && cert) {
        QByteArray der(i2d_X509(cert, nullptr), Qt::Uninitialized);
        auto* out = reinterpret_cast<unsigned char*>(der.data());
        i2d_X509(cert, &out);
        trust->sawCertificate(der, ok ? 0 : X509_STORE_CTX_get_error(store), X509_STORE_CTX_get_error_depth(store));
    }
    return ok;
}

CURLcode onTlsContext(CURL*, void* sslContext, void* user)
{
    return CURLcode(static_cast<ServerTrust*>(user)->prepareTls(sslContext));
}

struct X509Free {
    void operator()(X509* c) const { X509_free(c); }
};
using Certificate = std::unique_ptr<X509, X509Free>;

Certificate certificateFromDer(const QByteArray& der)
{
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    return Certificate(d2i_X509(nullptr, &p, long(der.size())));
}

// ---------------------------------------------------------------- texts

// A path or argument as a POSIX shell reads it back unchanged.
QString shellQuoted(const QString& text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("'\\''")) + QLatin1Char('\'');
}

// The key type named at the start of an SSH public key blob ("ssh-ed25519").
QString keyType(const QByteArray& blob)
{
    if (blob.size() < 4)
        return QStringLiteral("?");
    const auto* b = reinterpret_cast<const uchar*>(blob.constData());
    const quint32 length = (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
    if (length == 0 || length > 64 || qsizetype(length) > blob.size() - 4)
        return QStringLiteral("?");
    return QString::fromLatin1(blob.mid(4, qsizetype(length)));
}

// As ssh-keygen -l shows it: "SHA256:" and the unpadded base64 of the key's SHA-256.
QString sshFingerprint(const QByteArray& blob)
{
    return QStringLiteral("SHA256:")
        + QString::fromLatin1(QCryptographicHash::hash(blob, QCryptographicHash::Sha256)
                                  .toBase64(QByteArray::OmitTrailingEquals));
}

// As openssl x509 -fingerprint -sha256 shows it: "AB:12:...".
QString certificateFingerprint(const QByteArray& der)
{
    return QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex(':').toUpper());
}

// The names a certificate was issued for: its DNS and IPv4 alternative names, or else its
// common name.
QStringList certificateNames(X509* cert)
{
    QStringList names;
    auto* alt = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; alt && i < sk_GENERAL_NAME_num(alt); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(alt, i);
        int type = 0;
        const ASN1_STRING* value = static_cast<const ASN1_STRING*>(GENERAL_NAME_get0_value(name, &type));
        const auto* data = ASN1_STRING_get0_data(value);
        const int length = ASN1_STRING_length(value);
        if (type == GEN_DNS)
            names << QString::fromLatin1(reinterpret_cast<const char*>(data), length);
        else if (type == GEN_IPADD && length == 4)
            names << QStringLiteral("%1.%2.%3.%4").arg(data[0]).arg(data[1]).arg(data[2]).arg(data[3]);
    }
    GENERAL_NAMES_free(alt);
    if (names.isEmpty()) {
        char common[256] = {};
        if (X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, common, sizeof common) > 0)
            names << QString::fromUtf8(common);
    }
    return names;
}

bool unknownIssuer(int verifyError)
{
    switch (verifyError) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return true;
    default:
        return false;
    }
}

QString expiryDate(X509* cert)
{
    std::tm t{};
    if (!ASN1_TIME_to_tm(X509_get0_notAfter(cert), &t))
        return QStringLiteral("?");
    return QStringLiteral("%1/%2/%3").arg(t.tm_mday, 2, 10, QLatin1Char('0')).arg(t.tm_mon + 1, 2, 10, QLatin1Char('0'))
        .arg(t.tm_year + 1900);
}

} // namespace

// ---------------------------------------------------------------- ServerTrust

void ServerTrust::apply(void* easy, const FtpServerAddress& address, const Files& files,
                        std::function<void()> hostKeyAccepted)
{
    auto* e = static_cast<CURL*>(easy);
    address_ = address;
    files_ = files;
    hostKeyAccepted_ = std::move(hostKeyAccepted);
    caPem_.reset();
    caProblem_.clear();
    hostKey_.clear();
    hostKeyMatch_ = -1;
    certificate_.clear();
    verifyError_ = 0;
    if (address.sftp) {
        // No file means no trusted key: libcurl would connect to any server without one.
        const QByteArray knownHosts = files.knownHostsFile.isEmpty() ? QByteArrayLiteral("/dev/null")
                                                                     : QFile::encodeName(files.knownHostsFile);
        curl_easy_setopt(e, CURLOPT_SSH_KNOWNHOSTS, knownHosts.constData());
        curl_easy_setopt(e, CURLOPT_SSH_KEYFUNCTION, &onHostKey);
        curl_easy_setopt(e, CURLOPT_SSH_KEYDATA, this);
        return;
    }
    if (!address.tls)
        return;
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!files.caFile.isEmpty() && QFileInfo::exists(files.caFile)) {
        QFile f(files.caFile);
        if (f.open(QIODevice::ReadOnly))
            caPem_ = f.readAll();
        else
            caProblem_ = QStringLiteral("O arquivo %1 não pôde ser lido (%2)").arg(files.caFile, f.errorString());
    }
    curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, &onTlsContext);
    curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, this);
}

int ServerTrust::checkHostKey(const QByteArray& keyBlob, int match)
{
    hostKey_ = keyBlob;
    hostKeyMatch_ = match;
    if (match != CURLKHMATCH_OK || keyBlob.isEmpty())
        return CURLKHSTAT_REJECT;
    if (hostKeyAccepted_)
        hostKeyAccepted_();
    return CURLKHSTAT_FINE;
}

// Each new TLS connection: the CA file's certificates join the ones the store already trusts,
// and the verification is watched.
int ServerTrust::prepareTls(void* sslContext)
{
    auto* ctx = static_cast<SSL_CTX*>(sslContext);
    if (!caProblem_.isEmpty())
        return CURLE_SSL_CACERT_BADFILE;
    SSL_CTX_set_ex_data(ctx, trustIndex(), this);
    SSL_CTX_set_verify(ctx, SSL_CTX_get_verify_mode(ctx), &onVerify);
    if (!caPem_)
        return CURLE_OK;
    X509_STORE* store = SSL_CTX_get_cert_store(ctx);
    BIO* in = BIO_new_mem_buf(caPem_->constData(), int(caPem_->size()));
    int added = 0;
    while (X509* cert = PEM_read_bio_X509(in, nullptr, nullptr, nullptr)) {
        if (X509_STORE_add_cert(store, cert) == 1)
            ++added;
        X509_free(cert);
    }
    BIO_free(in);
    ERR_clear_error(); // the end of the file reads as an error
    if (added == 0) {
        caProblem_ = QStringLiteral("O arquivo %1 não contém nenhum certificado em formato PEM "
                                    "(\"-----BEGIN CERTIFICATE-----\")").arg(files_.caFile);
        return CURLE_SSL_CACERT_BADFILE;
    }
    return CURLE_OK;
}

void ServerTrust::sawCertificate(const QByteArray& der, int verifyError, int depth)
{
    if (depth == 0)
        certificate_ = der;
    if (verifyError != 0 && verifyError_ == 0)
        verifyError_ = verifyError;
}

QString ServerTrust::refusal(int curlCode) const
{
    if (!caProblem_.isEmpty())
        return caProblem_ + QStringLiteral(": nenhuma conexão segura com o servidor FTP %1 foi feita.")
                                .arg(address_.hostAndPort());
    if (address_.sftp && hostKeyMatch_ >= 0 && hostKeyMatch_ != CURLKHMATCH_OK)
        return hostKeyRefusal();
    if (address_.tls && curlCode == CURLE_PEER_FAILED_VERIFICATION)
        return certificateRefusal();
    return {};
}

QString ServerTrust::hostKeyRefusal() const
{
    const QString server = address_.hostAndPort();
    const QString file = files_.knownHostsFile.isEmpty() ? QStringLiteral("known_hosts") : files_.knownHostsFile;
    const QString key = keyType(hostKey_) + QLatin1Char(' ') + sshFingerprint(hostKey_);
    const QString scan = (address_.port == 22 ? QStringLiteral("ssh-keyscan %1").arg(address_.host)
                                              : QStringLiteral("ssh-keyscan -p %1 %2").arg(address_.port).arg(address_.host))
        + QStringLiteral(" >> ") + shellQuoted(file);
    if (hostKeyMatch_ == CURLKHMATCH_MISMATCH) {
        const QString listed = address_.port == 22 ? address_.host : QLatin1Char('[') + address_.host + QStringLiteral("]:")
                + QString::number(address_.port);
        return QStringLiteral(
                   "A chave do servidor SFTP %1 mudou: a chave recebida (%2) não é a registrada em %3. Pode ser uma troca "
                   "de chave no servidor ou outro computador se passando por ele; a conexão foi encerrada antes de enviar "
                   "usuário e senha. Se o responsável pelo servidor confirmar essa impressão digital, troque a chave "
                   "registrada com:\n  ssh-keygen -R %4 -f %5\n  %6")
            .arg(server, key, file, shellQuoted(listed), shellQuoted(file), scan);
    }
    return QStringLiteral(
               "A chave do servidor SFTP %1 não é conhecida: a chave recebida (%2) não está em %3. A conexão foi "
               "encerrada antes de enviar usuário e senha. Confira essa impressão digital com o responsável pelo "
               "servidor e, se for a mesma, registre a chave com:\n  %4")
        .arg(server, key, file, scan);
}

QString ServerTrust::certificateRefusal() const
{
    const Certificate cert = certificateFromDer(certificate_);
    const QString file = files_.caFile.isEmpty() ? QStringLiteral("ftp-ca.pem") : files_.caFile;
    const QString pemIntoFile = QStringLiteral("em formato PEM, no arquivo %1").arg(file);
    QString reason;
    QString advice;
    switch (verifyError_) {
    case 0: // OpenSSL accepted the chain: libcurl's check of the name refused it
        reason = QStringLiteral("foi emitido para outro nome (%1), não para %2")
                     .arg(cert ? certificateNames(cert.get()).join(QStringLiteral(", ")) : QStringLiteral("?"), address_.host);
        advice = QStringLiteral("Use no endereço do servidor um dos nomes do certificado. Um certificado que o sistema "
                                "não conhece vai, %1.").arg(pemIntoFile);
        break;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        reason = verifyError_ == X509_V_ERR_CERT_HAS_EXPIRED
            ? QStringLiteral("expirou em %1").arg(cert ? expiryDate(cert.get()) : QStringLiteral("?"))
            : QStringLiteral("ainda não é válido");
        advice = QStringLiteral("O responsável pelo servidor precisa instalar um certificado válido; um que o sistema "
                                "não conheça vai, %1.").arg(pemIntoFile);
        break;
    default:
        reason = unknownIssuer(verifyError_)
            ? QStringLiteral("foi emitido por uma autoridade desconhecida (%1)")
            : QStringLiteral("não passou na verificação (%1)");
        reason = reason.arg(QString::fromLatin1(X509_verify_cert_error_string(verifyError_)));
        advice = QStringLiteral("Para confiar nele, confira essa impressão digital com o responsável pelo servidor e "
                                "acrescente o certificado (ou o da autoridade que o emitiu), %1, por exemplo com:\n"
                                "  openssl s_client -connect %2 -starttls ftp </dev/null | openssl x509 >> %3")
                     .arg(pemIntoFile, address_.hostAndPort(), shellQuoted(file));
        break;
    }
    const QString fingerprint = certificate_.isEmpty() ? QStringLiteral("?") : certificateFingerprint(certificate_);
    return QStringLiteral("Certificado do servidor FTP %1 recusado: ele %2. Impressão digital SHA-256: %3. A conexão "
                          "foi encerrada antes de enviar usuário e senha. %4")
        .arg(address_.hostAndPort(), reason, fingerprint, advice);
}
