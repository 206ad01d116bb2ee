#pragma once
// Real FTP servers on loopback for the tests, each serving a fresh temporary folder and
// logging every command to a file of its own: PyFtpServer (pyftpdlib, plain FTP or explicit
// TLS, misbehaving as its Options say; names go out with their bytes on disk) and VsftpdServer
// (LIST only, no MLSD, absolute login folder; it logs in a system user created on first use,
// which needs root: otherwise isRunning() is false and error() says why).
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

class QProcess;

class FtpServerFixture {
public:
    virtual ~FtpServerFixture();
    FtpServerFixture(const FtpServerFixture&) = delete;
    FtpServerFixture& operator=(const FtpServerFixture&) = delete;

    bool isRunning() const;
    QString error() const { return error_; }
    int port() const { return port_; }
    virtual QString address() const;      // what the window's address box would hold
    QString user() const { return user_; }
    QString password() const { return password_; }
    QString root() const;                 // the folder served (login folder)

    QString logText() const;
    int loginCount() const;               // successful logins so far (from the log)
    int commandCount(const QString& word) const; // commands received with this word ("USER")

    void stop();
    bool restart() { stop(); return launch(); }   // same port, same folder
    void pause() { signalAll(SIGSTOP); }  // the server and its children stop answering
    void resume() { signalAll(SIGCONT); }

    // Files below root(); `rel` uses "/" and may name sub folders (created as needed).
    QString path(const QString& rel) const;
    void writeFile(const QString& rel, const QByteArray& data) const;
    void appendFile(const QString& rel, const QByteArray& data) const; // as a writer adding lines
    QByteArray readFile(const QString& rel) const;
    bool exists(const QString& rel) const;
    void makeFolder(const QString& rel) const;

protected:
    FtpServerFixture(QString user, QString password);
    // For servers that log in a system user (vsftpd, sshd): created on first use (tests run as
    // root) and made the owner of root() by adoptSystemUser, which says why when it cannot.
    struct SystemUser {};
    explicit FtpServerFixture(SystemUser);
    QString adoptSystemUser(const QString& server);
    // Daemons with a configuration file: started with `arguments`, up once they accept
    // connections on port_ (false, and error() says why, when they do not).
    void writeConfig(const QString& file, const QString& text) const;
    bool startDaemon(const QString& program, const QStringList& arguments);
    virtual bool launch() = 0;
    QString logPath() const;
    void signalAll(int signal);
    void giveToOwner(const QString& file) const;
    virtual QString loginMarker() const = 0;
    virtual QString commandMarker(const QString& word) const = 0;

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> process_;
    QString user_, password_, error_;
    int port_ = 0;
    bool tls_ = false;
    int ownerUid_ = -1, ownerGid_ = -1;   // files made by the test are given to this user
};

class PyFtpServer : public FtpServerFixture {
public:
    struct Options {
        QString user = QStringLiteral("pedidos");
        QString password = QStringLiteral("s3nh@ secreta");
        bool tls = false;
        QString tlsName = QStringLiteral("127.0.0.1"); // the name the certificate is issued for
        bool tlsExpired = false;                        // a certificate that expired yesterday
        double idleTimeoutSec = 0;      // 0: pyftpdlib's default (300 s)
        int throttleBytesPerSec = 0;    // 0: full speed
        bool mute = false;              // accepts and never answers
        int lieSizeBy = 0;              // SIZE reports this many bytes more than a file has
        // A command word ("DELE", "RETR"): the first such command is carried out, and the
        // connection closed without a reply.
        QString dropAfterCommand;
        // A command word ("MLSD") answered "550 Unable to handle command", as a server whose
        // administrator denies it.
        QString refuseCommand;
    };
    PyFtpServer();
    explicit PyFtpServer(const Options& options);
    ~PyFtpServer() override;

    QString certFile() const;           // TLS: the server's self-signed certificate

protected:
    bool launch() override;
    QString loginMarker() const override;
    QString commandMarker(const QString& word) const override { return QStringLiteral("<- ") + word; }

private:
    Options options_;
};

class VsftpdServer : public FtpServerFixture {
public:
    VsftpdServer();
    ~VsftpdServer() override;

protected:
    bool launch() override;
    QString loginMarker() const override { return QStringLiteral("OK LOGIN"); }
    QString commandMarker(const QString& word) const override { return QStringLiteral("\"") + word; }
};
