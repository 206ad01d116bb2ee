#include "core/command_line.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef PEDIDOS_VERSION
#define PEDIDOS_VERSION "0"
#endif

namespace {

const QString kCheck = QStringLiteral("--conferir");
const QString kFolder = QStringLiteral("--pasta");
const QString kVersion = QStringLiteral("--version");

bool isHelp(const QString& a) { return a == QLatin1String("--help") || a == QLatin1String("-h"); }

CommandLine invalid(const QString& error)
{
    CommandLine c;
    c.mode = CommandLine::Mode::Invalid;
    c.error = error;
    return c;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine c;
    if (arguments.isEmpty())
        return c;
    for (const QString& a : arguments) {
        if (isHelp(a)) {
            c.mode = CommandLine::Mode::Help;
            return c;
        }
    }

    const QString& first = arguments.first();
    if (first == kVersion) {
        if (arguments.size() > 1)
            return invalid(QStringLiteral("--version não aceita argumentos: %1").arg(arguments.at(1)));
        c.mode = CommandLine::Mode::Version;
        return c;
    }

    // --pasta may stand before or after --conferir; after --conferir every other argument is a
    // file, and "--" lets a file name start with "-".
    bool check = false;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        const bool option = !optionsEnded && a.startsWith(QLatin1Char('-')) && a.size() > 1;
        if (!option) {
            if (!check)
                return invalid(QStringLiteral("argumento inesperado: %1 (para conferir arquivos de pedido use %2)").arg(a, kCheck));
            c.files << a;
        } else if (a == QLatin1String("--") && check) {
            optionsEnded = true;
        } else if (a == kCheck && !check) {
            check = true;
        } else if (a == kFolder || a.startsWith(kFolder + QLatin1Char('='))) {
            if (!c.settingsFolder.isEmpty())
                return invalid(QStringLiteral("%1 foi informada mais de uma vez").arg(kFolder));
            const QString folder = a == kFolder ? (i + 1 < arguments.size() ? arguments.at(++i) : QString())
                                                : a.mid(kFolder.size() + 1);
            if (folder.isEmpty())
                return invalid(QStringLiteral("%1 precisa do nome de uma pasta").arg(kFolder));
            const QString problem = settingsFolderProblem(folder);
            if (!problem.isEmpty())
                return invalid(problem);
            c.settingsFolder = QDir(folder).absolutePath();
        } else if (a == kVersion) {
            return invalid(QStringLiteral("--version não aceita argumentos"));
        } else {
            return invalid(QStringLiteral("opção desconhecida: %1").arg(a));
        }
    }
    if (!check)
        return c;
    if (c.files.isEmpty())
        return invalid(QStringLiteral("%1 precisa de ao menos um arquivo de pedido").arg(kCheck));
    c.mode = CommandLine::Mode::Check;
    return c;
}

QString settingsFolderProblem(const QString& folder)
{
    // Looked at as the user the run works as (the effective one), as its writes will be.
    const QByteArray path = QFile::encodeName(folder);
    const QString cannotWrite = QStringLiteral("a pasta de configuração %1 não pode ser gravada: %2");
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return QStringLiteral("a pasta de configuração %1 não existe").arg(folder);
        return cannotWrite.arg(folder, QStringLiteral("este usuário não tem permissão para chegar a ela"));
    }
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1 não é uma pasta (%2 pede a pasta de ftp.ini e Zelto.ini)").arg(folder, kFolder);
    if (::faccessat(AT_FDCWD, path.constData(), R_OK | W_OK | X_OK, AT_EACCESS) != 0)
        return cannotWrite.arg(folder, errno == EROFS ? QStringLiteral("o sistema de arquivos é somente leitura")
                                                      : QStringLiteral("este usuário não tem permissão para ler e gravar nela"));
    return QString();
}

QString helpHint()
{
    return QStringLiteral("Use \"pedidosftp --help\" para ver as opções.");
}

QString versionText()
{
    return QStringLiteral("pedidosftp %1\n").arg(QStringLiteral(PEDIDOS_VERSION));
}

QString helpText()
{
    return QStringLiteral(
        "Uso: pedidosftp [--pasta PASTA]\n"
        "     pedidosftp [--pasta PASTA] --conferir ARQUIVO...\n"
        "     pedidosftp --help | --version\n"
        "\n"
        "Sem opções, ftp.ini decide o que o programa faz:\n"
        "  - com um servidor na chave FTP: importação automática, sem janela. Baixa os pedidos da\n"
        "    pasta PASTAS do servidor, apaga-os lá, lança-os no banco de dados, arquiva cada arquivo\n"
        "    na pasta \"importados\" e termina;\n"
        "  - sem servidor: abre a janela de FTP (sem tela, avisa que não há o que fazer e\n"
        "    termina com a situação 1).\n"
        "\n"
        "  --conferir ARQUIVO...  confere arquivos de pedido sem lançá-los: roda a importação de\n"
        "                         cada arquivo como o lote a faz e desfaz tudo no fim. Mostra o que\n"
        "                         seria gravado (pedido, cliente, cabeçalho, itens, impostos) e as\n"
        "                         falhas. Não usa o FTP, não abre a janela e não move arquivos.\n"
        "  --pasta PASTA          lê e grava os arquivos de configuração e a trava de execução\n"
        "                         (pedidosftp.lock) em PASTA em vez da pasta do programa: uma\n"
        "                         pasta por loja numa máquina que importa para várias. A pasta\n"
        "                         tem de existir e poder ser gravada.\n"
        "  --help, -h             mostra esta ajuda.\n"
        "  --version              mostra a versão.\n"
        "\n"
        "Arquivos de configuração, na pasta do programa (a do executável) ou na de --pasta:\n"
        "  ftp.ini    [Geral] FTP, USUARIO, SENHA, PASTAS e COD_VENDEDOR (o vendedor dos pedidos).\n"
        "  Zelto.ini  [Geral] a conexão com o banco de dados do ERP: USUARIO, SENHA, LOCALBANCO,\n"
        "             BANCO, SERVIDOR e TIPO_CONEXAO.\n"
        "  known_hosts, ftp-ca.pem  os servidores SFTP e FTPS em que o programa confia.\n"
        "Os pedidos são baixados na pasta em que o programa é iniciado e arquivados na sua\n"
        "subpasta \"importados\".\n"
        "\n"
        "Situação de saída:\n"
        "  0  tudo certo; com --conferir: todo arquivo seria importado sem falha, sem produto não\n"
        "     cadastrado e sem já ter sido importado.\n"
        "  1  algo foi relatado: uma falha, um pedido com problema, um arquivo que não existe ou que\n"
        "     não é pedido.\n"
        "  2  opção desconhecida ou mal usada, ou uma pasta de --pasta que não pode ser usada.\n");
}
