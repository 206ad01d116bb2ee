#include "support/unattended_rig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace rig {

namespace {
QStringList filesIn(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
} // namespace

Program::Program()
{
    if (!app_.isValid() || !local_.isValid() || !QFile::copy(QStringLiteral(PEDIDOS_EXECUTABLE), executable()))
        error_ = QStringLiteral("cannot copy %1 to %2").arg(QStringLiteral(PEDIDOS_EXECUTABLE), executable());
    QFile::setPermissions(executable(), QFile::permissions(executable()) | QFile::ExeOwner);
}

QString Program::executable() const { return QDir(app_.path()).filePath(QStringLiteral("pedidosftp")); }
QString Program::archive() const { return QDir(local()).filePath(QStringLiteral("importados")); }

void Program::writeFtpIni(const FtpServerFixture& server, const QString& remoteFolder, const QString& password) const
{
    QFile ini(QDir(app_.path()).filePath(QStringLiteral("ftp.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QStringLiteral("[Geral]\r\nFTP=%1\r\nUSUARIO=%2\r\nSENHA=%3\r\nPASTAS=%4\r\nCOD_VENDEDOR=7\r\n")
                  .arg(server.address(), server.user(), password.isEmpty() ? server.password() : password, remoteFolder)
                  .toUtf8());
}

QByteArray Program::ftpIni() const { return testutil::readFile(QDir(app_.path()).filePath(QStringLiteral("ftp.ini"))); }

void Program::writeLocal(const QString& name, const QByteArray& data) const
{
    testutil::writeFile(QDir(local()).filePath(name), data);
}

QStringList Program::localFiles() const { return filesIn(local()); }
QStringList Program::archivedFiles() const { return filesIn(archive()); }

bool Program::hasPartFile() const
{
    return !QDir(local()).entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden).isEmpty();
}

Result Program::run(const Launch& launch, int timeoutMs) const { return Run(*this, launch).finish(timeoutMs); }

Run::Run(const Program& program, const Launch& launch) : process_(std::make_unique<QProcess>())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"})
        env.remove(QString::fromLatin1(name));
    if (!launch.display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), launch.display);
    process_->setProcessEnvironment(env);
    process_->setWorkingDirectory(launch.workingFolder.isEmpty() ? program.local() : launch.workingFolder);
    if (launch.childSetup)
        process_->setChildProcessModifier(launch.childSetup);
    if (launch.wrapper.isEmpty())
        process_->start(program.executable(), launch.arguments);
    else
        process_->start(launch.wrapper.front(), launch.wrapper.mid(1) + QStringList{program.executable()} + launch.arguments);
    process_->waitForStarted(10000);
}

Run::~Run() { if (running()) kill(); }

bool Run::running() const { return process_->state() == QProcess::Running; }

QString Run::output()
{
    out_ += QString::fromUtf8(process_->readAllStandardOutput());
    err_ += QString::fromUtf8(process_->readAllStandardError());
    return out_;
}

bool Run::waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs && running()) {
        if (condition())
            return true;
        process_->waitForReadyRead(2);
        output();
    }
    return condition();
}

void Run::kill()
{
    process_->kill();
    process_->waitForFinished(10000);
    output();
}

Result Run::finish(int timeoutMs)
{
    Result r;
    r.finished = process_->waitForFinished(timeoutMs);
    if (!r.finished)
        kill();
    r.exitCode = process_->exitCode();
    r.status = process_->exitStatus();
    r.out = output();
    r.err = err_;
    return r;
}

bool runLockIsFree(const QString& appFolder)
{
    const QByteArray file = QFile::encodeName(QDir(appFolder).filePath(QStringLiteral("pedidosftp.lock")));
    const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0)
        ::close(fd);
    return free;
}

QByteArray orderFile(int number, int items)
{
    static const QStringList barcodes{QStringLiteral("7891234000019"), QStringLiteral("7891234000026"),
                                      QStringLiteral("7891234000040"), QStringLiteral("7891234000071")};
    QString text = QStringLiteral("NumeroPedido: %1\r\nDataPedido: 2015-02-04 10:31:00\r\nNomeCliente: Cliente %1|x\r\n"
                                  "CpfCliente: 529982247-25\r\nEnderecoCliente: Rua das Flores, %1\r\n"
                                  "CidadeCliente: sao paulo\r\nEstadoCliente: sp\r\nCepCliente: 01001-000\r\n"
                                  "SubTotalProdutos: 10,00\r\nFreteEscolhido: sedex\r\nValor Frete: 5,00\r\n"
                                  "ValorPedido: 15,00\r\nCodigoEnvio: BR%1\r\n")
                       .arg(number);
    for (int i = 0; i < items; ++i)
        text += QStringLiteral("ProdutoVendido: %1|produto %2|1,50|%3|%3,50|0|\r\n")
                    .arg(barcodes[i % barcodes.size()])
                    .arg(i + 1)
                    .arg(i % 7 + 1);
    return text.toUtf8();
}

BookedOrders bookedOrders(const testdb::FirebirdTestDatabase& db)
{
    // One row, "number=headers/items;...": the program must not be running (the embedded engine
    // opens the file for one process at a time), and the connection is closed again at once.
    const auto connection = db.connect();
    const auto rs = connection->open(QStringLiteral(
        "select list(x, ';') as v from (select trim(s.fkftp) || '=' || count(distinct s.sacod) || '/' || "
        "count(i.itcod) as x from saida s left join itemsaida i on i.itfksacod = s.sacod "
        "where s.fkftp is not null group by s.fkftp)"));
    BookedOrders out;
    if (rs->eof() || rs->field(QStringLiteral("v")).isNull())
        return out;
    for (const QString& entry : rs->field(QStringLiteral("v")).text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList counts = entry.section(QLatin1Char('='), 1).split(QLatin1Char('/'));
        out.insert(entry.section(QLatin1Char('='), 0, 0).toInt(), Booked{counts.value(0).toInt(), counts.value(1).toInt()});
    }
    return out;
}

std::string describe(const Result& r)
{
    return QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3").arg(r.exitCode).arg(r.out, r.err).toStdString();
}

} // namespace rig
