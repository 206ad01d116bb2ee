#include "core/command_line.h"

#ifndef PEDIDOS_VERSION
#define PEDIDOS_VERSION "0"
#endif

namespace {

const QString kCheck = QStringLiteral("--conferir");

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
    if (first == QLatin1String("--version")) {
        if (arguments.size() > 1)
            return invalid(QStringLiteral("--version não aceita argumentos: %1").arg(arguments.at(1)));
        c.mode = CommandLine::Mode::Version;
        return c;
    }
    if (first != kCheck) {
        if (first.startsWith(QLatin1Char('-')))
            return invalid(QStringLiteral("opção desconhecida: %1").arg(first));
        return invalid(QStringLiteral("argumento inesperado: %1 (para conferir arquivos de pedido use %2)").arg(first, kCheck));
    }

    // After --conferir every argument is a file; "--" lets a file name start with "-".
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (!optionsEnded && a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return invalid(QStringLiteral("opção desconhecida: %1").arg(a));
        } else {
            c.files << a;
        }
    }
    if (c.files.isEmpty())
        return invalid(QStringLiteral("%1 precisa de ao menos um arquivo de pedido").arg(kCheck));
    c.mode = CommandLine::Mode::Check;
    return c;
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
        "Uso: pedidosftp\n"
        "     pedidosftp --conferir ARQUIVO...\n"
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
        "  --help, -h             mostra esta ajuda.\n"
        "  --version              mostra a versão.\n"
        "\n"
        "Arquivos de configuração, na pasta do programa (a do executável):\n"
        "  ftp.ini    [Geral] FTP, USUARIO, SENHA, PASTAS e COD_VENDEDOR (o vendedor dos pedidos).\n"
        "  Zelto.ini  [Geral] a conexão com o banco de dados do ERP: USUARIO, SENHA, LOCALBANCO,\n"
        "             BANCO, SERVIDOR e TIPO_CONEXAO.\n"
        "\n"
        "Situação de saída:\n"
        "  0  tudo certo; com --conferir: todo arquivo seria importado sem falha, sem produto não\n"
        "     cadastrado e sem já ter sido importado.\n"
        "  1  algo foi relatado: uma falha, um pedido com problema, um arquivo que não existe ou que\n"
        "     não é pedido.\n"
        "  2  opção desconhecida ou mal usada.\n");
}
