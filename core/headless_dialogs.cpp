#include "core/headless_dialogs.h"

namespace {
QString kindOf(Icon icon)
{
    switch (icon) {
    case Icon::Critical: return QStringLiteral("ERRO");
    case Icon::Exclamation: return QStringLiteral("AVISO");
    case Icon::Question: return QStringLiteral("PERGUNTA");
    case Icon::Information: return QStringLiteral("INFORMAÇÃO");
    case Icon::None: break;
    }
    return QStringLiteral("MENSAGEM");
}

// One line of output: CR LF, CR and LF inside the text become " | ".
QString oneLine(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    while (t.endsWith(QLatin1Char('\n')))
        t.chop(1);
    t.replace(QLatin1Char('\n'), QStringLiteral(" | "));
    return t;
}
} // namespace

QString HeadlessDialogs::boxLine(const QString& kind, const QString& text, const QString& title)
{
    QString line = QLatin1Char('[') + kind + QStringLiteral("] ");
    if (!title.isEmpty())
        line += oneLine(title) + QStringLiteral(": ");
    return line + oneLine(text);
}

void HeadlessDialogs::writeLine(std::FILE* stream, const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

void HeadlessDialogs::message(const QString& text, Icon icon, const QString& title)
{
    writeLine(err_, boxLine(kindOf(icon), text, title));
}

bool HeadlessDialogs::confirm(const QString& text, const QString& title)
{
    writeLine(err_, boxLine(QStringLiteral("PERGUNTA"), text, title) + QStringLiteral(" -> Não (sem tela para responder)"));
    return false;
}

std::optional<QString> HeadlessDialogs::input(const QString& prompt, const QString& title)
{
    writeLine(err_, boxLine(QStringLiteral("ENTRADA"), prompt, title) + QStringLiteral(" -> sem resposta (sem tela para responder)"));
    return std::nullopt;
}

void HeadlessDialogs::trace(const QString& line)
{
    writeLine(out_, oneLine(line));
}

void HeadlessDialogs::alert(const QString& text, Icon icon)
{
    writeLine(err_, boxLine(kindOf(icon), text, QString()));
}
