#pragma once
// The real program in an unattended run, the way a scheduler starts it: a copy of the executable
// in an application folder of its own (ftp.ini, Zelto.ini and the run lock live there), started
// with the local folder as its working folder, with no display, no QT_QPA_PLATFORM and no
// XDG_RUNTIME_DIR (cron's environment).
//
//   rig::ProgramFolders folders;
//   folders.writeFtpIni(server, "pedidos");
//   db.writeZeltoIni(folders.appFolder());
//   rig::ProgramRun run(folders);                    // started
//   run.waitUntil([&] { return folders.hasPartFile(); }, 20000);
//   run.kill();                                      // SIGKILL
//   const rig::ProgramResult r = rig::runProgram(folders);   // a whole run
#include "support/ftp_server.h"

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace rig {

class ProgramFolders {
public:
    ProgramFolders();
    ProgramFolders(const ProgramFolders&) = delete;
    ProgramFolders& operator=(const ProgramFolders&) = delete;

    bool ok() const { return error_.isEmpty(); }
    QString error() const { return error_; }
    QString executable() const;
    QString appFolder() const { return app_.path(); }
    // The local folder: where the downloads go and "importados" is made. A private temporary
    // folder unless set to another one (for instance a small file system mounted by the test).
    QString localFolder() const { return local_; }
    void setLocalFolder(const QString& folder) { local_ = folder; }
    QString archiveFolder() const;

    // ftp.ini naming `server`, its user and password, the remote folder and the seller code.
    void writeFtpIni(const FtpServerFixture& server, const QString& remoteFolder,
                     const QString& sellerCode = QStringLiteral("1")) const;

    QStringList localFiles() const;      // file names in the local folder (not folders), sorted
    QStringList archivedFiles() const;   // file names in "importados", sorted
    bool hasPartFile() const;            // a download in progress (a "<name>.part" file)

private:
    QTemporaryDir app_;
    QTemporaryDir ownLocal_;
    QString local_;
    QString error_;
};

struct ProgramResult {
    bool finished = false;               // false: it did not end within the time given (then killed)
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;                         // everything it wrote to standard output
    QString err;                         // everything it wrote to standard error
};

// One started run. The destructor kills it when it is still running.
class ProgramRun {
public:
    // `childSetup` runs in the child between fork and exec (resource limits, signal dispositions).
    explicit ProgramRun(const ProgramFolders& folders, std::function<void()> childSetup = {});
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool started() const;
    qint64 pid() const;
    // Polls `condition` every few milliseconds until it holds (true), the program ends or the
    // time is up (false).
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs);
    bool running() const;
    // What the program wrote to standard output (its log and progress) and to standard error
    // (what needs a person) so far.
    QString output();
    QString errorOutput();
    void kill();                          // SIGKILL and reap
    ProgramResult finish(int timeoutMs);  // waits for the end (kills it after timeoutMs)

private:
    std::unique_ptr<QProcess> process_;
    QString out_;
    QString err_;
};

ProgramResult runProgram(const ProgramFolders& folders, int timeoutMs = 90000, std::function<void()> childSetup = {});

// True when nobody holds the run lock of the application folder (taking it succeeds).
bool runLockIsFree(const QString& appFolder);

// An order file (CR LF, UTF-8) for a customer of the sample ERP: order number `number`,
// `items` item lines with products of the sample ERP (cycling through a few).
QByteArray orderFile(int number, int items = 2);
// The sample products `orderFile` books, in the order it cycles through them.
QStringList sampleBarcodes();

} // namespace rig

class IConnection;

namespace rig {

// What the ERP holds of the orders the tool booked: order number → header rows and item rows.
struct Booked {
    int headers = 0;
    int items = 0;
    bool operator==(const Booked&) const = default;
};
QMap<int, Booked> bookedOrders(IConnection& connection);

} // namespace rig
