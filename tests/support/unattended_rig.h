#pragma once
// The real program, the way a scheduler starts it: a copy of the executable in an application
// folder of its own (ftp.ini, Zelto.ini and the run lock live there), the local folder as its
// working folder, and cron's environment: no display, no QT_QPA_PLATFORM, no XDG_RUNTIME_DIR.
// rig::Program runs it to its end; rig::Run starts one to be watched and killed.
#include "support/ftp_server.h"
#include "support/test_database.h"
#include "support/test_util.h"

#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace rig {

struct Result {
    bool finished = false;   // false: it did not end within the time given (then killed)
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;             // the log
    QString err;             // what a person has to act on
};

struct Launch {
    QStringList arguments;
    QString workingFolder;               // the local folder when empty
    QString display;                     // DISPLAY; unset when empty
    std::function<void()> childSetup;    // runs in the child before exec (resource limits)
    QStringList wrapper;                 // a command the program runs under ("strace", ...)
};

class Program {
public:
    Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    QString error() const { return error_; }   // empty when the executable is in place
    QString executable() const;
    QString appFolder() const { return app_.path(); }
    QString local() const { return local_.path(); }
    QString archive() const;                   // "importados" in the local folder

    // ftp.ini naming `server` (its password unless another is given).
    void writeFtpIni(const FtpServerFixture& server, const QString& remoteFolder = QStringLiteral("/pedidos"),
                     const QString& password = {}) const;
    QByteArray ftpIni() const;
    void writeLocal(const QString& name, const QByteArray& data) const;

    QStringList localFiles() const;     // plain files in the local folder, sorted
    QStringList archivedFiles() const;  // plain files in "importados", sorted
    bool hasPartFile() const;           // a download under way ("<name>.part")

    Result run(const Launch& launch = {}, int timeoutMs = 90000) const;

private:
    QTemporaryDir app_, local_;
    QString error_;
};

// One started run; the destructor kills it when it still runs.
class Run {
public:
    explicit Run(const Program& program, const Launch& launch = {});
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    bool running() const;
    QString output();        // standard output so far
    // Polls `condition` until it holds (true), the program ends or the time is up (false).
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs);
    void kill();             // SIGKILL and reap
    Result finish(int timeoutMs = 90000);

private:
    std::unique_ptr<QProcess> process_;
    QString out_, err_;
};

// True when nobody holds the run lock of the application folder.
bool runLockIsFree(const QString& appFolder);

// An order file (CR LF) of the sample ERP's customer and products: `items` item lines.
QByteArray orderFile(int number, int items = 2);

// What the ERP holds of the orders booked: order number → header rows and item rows.
struct Booked {
    int headers = 0;
    int items = 0;
    bool operator==(const Booked&) const = default;
};
using BookedOrders = QMap<int, Booked>;
BookedOrders bookedOrders(const testdb::FirebirdTestDatabase& db);

// The whole run for failure messages.
std::string describe(const Result& r);

} // namespace rig

// Where the unattended runs start from: an FTP server on loopback, a Firebird database, and the
// program whose ftp.ini and Zelto.ini point at them.
struct Unattended : ::testing::Test {
    PyFtpServer server;
    testdb::FirebirdTestDatabase db;
    rig::Program program;
    explicit Unattended(const PyFtpServer::Options& options = {}) : server(options) {}
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
        ASSERT_EQ(program.error(), QString());
        program.writeFtpIni(server);
        db.writeZeltoIni(program.appFolder());
    }
};
