#include "support/unattended_rig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace rig {

namespace {

const QStringList kBarcodes{
    QStringLiteral("7891234000019"), QStringLiteral("7891234000026"), QStringLiteral("7891234000040"),
    QStringLiteral("7891234000071"), QStringLiteral("7891234000101")};

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

ProgramFolders::ProgramFolders() : local_(ownLocal_.path())
{
    if (!app_.isValid() || !ownLocal_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    const QString exe = executable();
    if (!QFile::copy(QStringLiteral(PEDIDOS_EXECUTABLE), exe)) {
        error_ = QStringLiteral("cannot copy %1 to %2").arg(QStringLiteral(PEDIDOS_EXECUTABLE), exe);
        return;
    }
    QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner | QFile::ExeUser);
}

QString ProgramFolders::executable() const
{
    return QDir(app_.path()).filePath(QStringLiteral("pedidosftp"));
}

QString ProgramFolders::archiveFolder() const
{
    return QDir(local_).filePath(QStringLiteral("importados"));
}

void ProgramFolders::writeFtpIni(const FtpServerFixture& server, const QString& remoteFolder,
                                 const QString& sellerCode) const
{
    QFile ini(QDir(app_.path()).filePath(QStringLiteral("ftp.ini")));
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    const QString text = QStringLiteral("[Geral]\r\nFTP=%1\r\nUSUARIO=%2\r\nSENHA=%3\r\nPASTAS=%4\r\nCOD_VENDEDOR=%5\r\n")
                             .arg(server.address(), server.user(), server.password(), remoteFolder, sellerCode);
    ini.write(text.toUtf8());
}

QStringList ProgramFolders::localFiles() const { return filesIn(local_); }
QStringList ProgramFolders::archivedFiles() const { return filesIn(archiveFolder()); }

bool ProgramFolders::hasPartFile() const
{
    for (const QString& name : filesIn(local_))
        if (name.endsWith(QLatin1String(".part")))
            return true;
    return false;
}

ProgramRun::ProgramRun(const ProgramFolders& folders, std::function<void()> childSetup)
    : process_(std::make_unique<QProcess>())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"})
        env.remove(QString::fromLatin1(name));
    process_->setProcessEnvironment(env);
    process_->setWorkingDirectory(folders.localFolder());
    if (childSetup)
        process_->setChildProcessModifier(childSetup);
    process_->start(folders.executable(), {});
    process_->waitForStarted(10000);
}

ProgramRun::~ProgramRun()
{
    if (running())
        kill();
}

bool ProgramRun::started() const { return process_->processId() > 0 || process_->state() != QProcess::NotRunning; }
qint64 ProgramRun::pid() const { return process_->processId(); }
bool ProgramRun::running() const { return process_->state() == QProcess::Running; }

QString ProgramRun::output()
{
    out_ += QString::fromUtf8(process_->readAllStandardOutput());
    return out_;
}

QString ProgramRun::errorOutput()
{
    err_ += QString::fromUtf8(process_->readAllStandardError());
    return err_;
}

bool ProgramRun::waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (condition())
            return true;
        if (!running())
            return condition();
        process_->waitForReadyRead(2);   // also collects standard error as it comes
        output();
        errorOutput();
    }
    return condition();
}

void ProgramRun::kill()
{
    process_->kill();
    process_->waitForFinished(10000);
    output();
    errorOutput();
}

ProgramResult ProgramRun::finish(int timeoutMs)
{
    ProgramResult r;
    r.finished = process_->waitForFinished(timeoutMs);
    if (!r.finished)
        kill();
    r.exitCode = process_->exitCode();
    r.status = process_->exitStatus();
    r.out = output();
    r.err = errorOutput();
    return r;
}

ProgramResult runProgram(const ProgramFolders& folders, int timeoutMs, std::function<void()> childSetup)
{
    ProgramRun run(folders, std::move(childSetup));
    return run.finish(timeoutMs);
}

bool runLockIsFree(const QString& appFolder)
{
    const QByteArray file = QDir(appFolder).filePath(QStringLiteral("pedidosftp.lock")).toLocal8Bit();
    const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

QStringList sampleBarcodes() { return kBarcodes; }

QByteArray orderFile(int number, int items)
{
    QStringList lines{
        QStringLiteral("NumeroPedido: %1").arg(number),
        QStringLiteral("DataPedido: 2015-02-04 10:31:00"),
        QStringLiteral("NomeCliente: Cliente %1|x").arg(number),
        QStringLiteral("CpfCliente: 529982247-25"),
        QStringLiteral("EnderecoCliente: Rua das Flores, %1").arg(number),
        QStringLiteral("CidadeCliente: sao paulo"),
        QStringLiteral("EstadoCliente: sp"),
        QStringLiteral("CepCliente: 01001-000"),
        QStringLiteral("SubTotalProdutos: 10,00"),
        QStringLiteral("FreteEscolhido: sedex"),
        QStringLiteral("Valor Frete: 5,00"),
        QStringLiteral("ValorPedido: 15,00"),
        QStringLiteral("CodigoEnvio: BR%1").arg(number),
    };
    for (int i = 0; i < items; ++i) {
        lines << QStringLiteral("ProdutoVendido: %1|produto %2|1,50|%3|%4,50|0|")
                     .arg(kBarcodes[i % kBarcodes.size()])
                     .arg(i + 1)
                     .arg(i % 7 + 1)
                     .arg(i % 7 + 1);
    }
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

} // namespace rig

#include "import/db/database.h"

namespace rig {

QMap<int, Booked> bookedOrders(IConnection& connection)
{
    QMap<int, Booked> out;
    // One row: "number=headers/items;..." (a recordset shows its first row only).
    auto rs = connection.open(QStringLiteral(
        "select list(x, ';') as v from (select trim(s.fkftp) || '=' || count(distinct s.sacod) || '/' || "
        "count(i.itcod) as x from saida s left join itemsaida i on i.itfksacod = s.sacod "
        "where s.fkftp is not null group by s.fkftp)"));
    if (rs->eof() || rs->field(QStringLiteral("v")).isNull())
        return out;
    for (const QString& entry : rs->field(QStringLiteral("v")).text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList numberAndCounts = entry.split(QLatin1Char('='));
        const QStringList counts = numberAndCounts.value(1).split(QLatin1Char('/'));
        out.insert(numberAndCounts.value(0).toInt(), Booked{counts.value(0).toInt(), counts.value(1).toInt()});
    }
    return out;
}

} // namespace rig
