#pragma once
// A private Firebird SuperServer on loopback, for faults that need a database on the other end
// of a network connection (a server that dies in the middle of an order).
//
// It runs /usr/sbin/firebird as the "firebird" system user, in the foreground, from a root
// folder of its own (FIREBIRD=<folder>: its own firebird.conf with a free port on 127.0.0.1, its
// own copy of the security database with the SYSDBA password set, its own lock folder), so it
// neither needs nor disturbs a system server. Only root can start it (switching users);
// available() says why not otherwise (then GTEST_SKIP).
//
//   FirebirdServer server;
//   if (!server.available()) GTEST_SKIP() << server.error();
//   ASSERT_TRUE(server.start()) << server.error();
//   QString remote = server.serve(localFdbFile);   // "127.0.0.1/<port>:<file>"
//   server.kill();                                 // SIGKILL
//   server.start();                                // again, same port and files
#include <QString>
#include <QTemporaryDir>

#include <memory>

class QProcess;

class FirebirdServer {
public:
    FirebirdServer();
    ~FirebirdServer();
    FirebirdServer(const FirebirdServer&) = delete;
    FirebirdServer& operator=(const FirebirdServer&) = delete;

    bool available() const { return error_.isEmpty(); }
    QString error() const { return error_; }
    int port() const { return port_; }
    static QString password() { return QStringLiteral("masterkey"); }

    // Starts the server and waits until it accepts connections.
    bool start();
    bool running() const;
    qint64 pid() const;
    void kill();   // SIGKILL, as a crash or an operator would

    // Hands a database file (and its folder) to the server's user and returns the name a client
    // attaches with.
    QString serve(const QString& databaseFile) const;

private:
    bool prepare();

    QTemporaryDir root_;
    std::unique_ptr<QProcess> process_;
    QString error_;
    int port_ = 0;
    unsigned uid_ = 0, gid_ = 0;
};
