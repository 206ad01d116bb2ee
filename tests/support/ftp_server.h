#pragma once
// Real servers on loopback for the tests, each serving a fresh temporary folder (root(), the
// login folder) and logging to a file of its own, which loginCount() and commandCount() read.
//
//   PyFtpServer server;                       // pyftpdlib (ftp_server.py), user/password below
//   ASSERT_TRUE(server.isRunning()) << server.error();
//   server.writeFile("pedidos/PED1.txt", "...");
//   control.setAddress(server.address());     // "127.0.0.1:<port>" ("ftps://..." with TLS)
//
// SshServer: a private OpenSSH sshd serving root() over SFTP to a system user it creates (tests
// run as root). When that cannot be, isRunning() is false and error() says why (then GTEST_SKIP).
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

class QProcess;

// A loopback port that was free a moment ago; whether something accepts connections on one.
int freeLoopbackPort();
bool acceptsConnections(int port);

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
    QString root() const;

    QString logText() const;
    int loginCount() const;               // successful logins so far
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

protected:
    FtpServerFixture(QString user, QString password);
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
        bool tls = false;               // explicit TLS, a self-signed certificate (certFile())
        QString tlsName = QStringLiteral("127.0.0.1"); // the name the certificate is issued for
        bool tlsExpired = false;                        // a certificate that expired yesterday
        double idleTimeoutSec = 0;      // 0: pyftpdlib's default (300 s)
        int throttleBytesPerSec = 0;    // 0: full speed
        bool mute = false;              // accepts and never answers
        int lieSizeBy = 0;              // SIZE reports this many bytes more than a file has
        // A command word ("DELE", "RETR"): the first such command is carried out, and the
        // connection closed without a reply.
        QString dropAfterCommand;
        // A command word ("MLSD") answered with `refusal`, as a server that lacks or denies it.
        QString refuseCommand;
        QString refusal = QStringLiteral("550 Unable to handle command");
        bool absoluteHome = false;      // PWD shows the login folder as the machine's path (no chroot)
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

class SshServer : public FtpServerFixture {
public:
    SshServer();
    ~SshServer() override;

    QString address() const override;   // "sftp://127.0.0.1:<port>"
    // The server's key as ssh-keyscan writes it ("[127.0.0.1]:<port> ssh-ed25519 AAAA...\n").
    QByteArray knownHostsLine() const;
    QString fingerprint() const;        // as ssh-keygen -l shows it ("SHA256:...")

protected:
    bool launch() override;
    QString loginMarker() const override { return QStringLiteral("Accepted password for"); }
    // sshd logs no commands: the word is a text of its log ("Failed password for").
    QString commandMarker(const QString& word) const override { return word; }

private:
    QString hostKey() const;
};
