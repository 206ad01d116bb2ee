// The report of a check, in Portuguese. It only lays out the values the booking steps told:
// nothing is computed here.
#include "import/order_check.h"

#include <QFileInfo>

namespace {

const QString kIndent = QStringLiteral("  ");
const QString kMore = QStringLiteral("      ");

// An empty value shows as such instead of as nothing.
QString shown(const QString& value)
{
    return value.isEmpty() ? QStringLiteral("(vazio)") : value;
}

QString customerLine(const CustomerValues& c)
{
    const QString type = QStringLiteral("tipo de consumidor ") + shown(c.consumerType);
    const QString document = c.lookup == CustomerValues::Lookup::Cnpj ? QStringLiteral("CNPJ %1").arg(c.document)
                                                                      : QStringLiteral("CPF %1").arg(c.document);
    if (c.found)
        return QStringLiteral("cliente: encontrado pelo %1; código %2; %3").arg(document, c.code, type);
    // The code a new customer gets is the database's next one: not shown, it would not be the same.
    const QString why = c.lookup == CustomerValues::Lookup::None
        ? QStringLiteral("o pedido não traz CPF nem CNPJ válido")
        : QStringLiteral("nenhum cliente com o ") + document;
    return QStringLiteral("cliente: novo (%1), seria cadastrado; nome %2; %3").arg(why, shown(c.name), type);
}

QStringList headerLines(const HeaderValues& h)
{
    return {
        QStringLiteral("pedido (saida):"),
        kMore + QStringLiteral("data do pedido %1; data do pedido (mês/dia/ano) %2").arg(shown(h.orderDateCompact), shown(h.orderDateSlash)),
        kMore + QStringLiteral("data de entrega %1; data de entrega (mês/dia/ano) %2").arg(shown(h.shipDateCompact), shown(h.shipDateSlash)),
        kMore + QStringLiteral("valor do pedido %1; subtotal dos produtos %2; valor do frete %3")
                    .arg(shown(h.orderTotal), shown(h.subtotal), shown(h.freightValue)),
        kMore + QStringLiteral("vendedor %1; forma de pagamento %2; tipo de movimento %3; percentual do ICMS %4")
                    .arg(shown(h.seller), shown(h.paymentMethod), h.movementType, h.icmsPercent),
        kMore + QStringLiteral("observação: ") + h.note,
    };
}

QStringList itemLines(const ItemValues& i)
{
    return {
        QStringLiteral("item da linha %1: código de barras %2; %3").arg(i.lineNumber).arg(shown(i.barcode), shown(i.productName)),
        kMore + QStringLiteral("quantidade %1; unidade %2; preço unitário %3; total %4")
                    .arg(shown(i.quantity), i.unit, shown(i.unitPrice), shown(i.lineTotal)),
        kMore + QStringLiteral("ICMS %1; base do ICMS %2; CST %3; percentual do ICMS %4")
                    .arg(i.icmsValue, i.icmsBase, i.icmsSituation, i.icmsPercent),
        kMore + QStringLiteral("IPI %1; alíquota do IPI %2; CST do IPI %3").arg(i.ipiValue, i.ipiRate, i.ipiSituation),
    };
}

QStringList itemLines(const MissingProductValues& m)
{
    return {
        QStringLiteral("item da linha %1: código de barras %2; %3: produto não cadastrado, o item não seria lançado")
            .arg(m.lineNumber)
            .arg(shown(m.barcode), shown(m.productName)),
        kMore + QStringLiteral("observação do pedido passaria a: ") + m.note,
    };
}

QString orderLine(const OrderCheck& check)
{
    const QString number = check.orderNumber ? QString::number(*check.orderNumber) : QStringLiteral("?");
    if (check.verdict == OrderCheck::Verdict::AlreadyBooked)
        return QStringLiteral("pedido %1: já importado antes; nada seria gravado").arg(number);
    return QStringLiteral("pedido %1: ainda não importado").arg(number);
}

QString verdictLine(const OrderCheck& check)
{
    switch (check.verdict) {
    case OrderCheck::Verdict::WouldBook:
        return QStringLiteral("resultado: seria importado sem problemas");
    case OrderCheck::Verdict::WouldBookWithMissing:
        return QStringLiteral("resultado: seria importado SEM os produtos não cadastrados");
    case OrderCheck::Verdict::AlreadyBooked:
        return QStringLiteral("resultado: já importado; o lote só arquivaria o arquivo");
    case OrderCheck::Verdict::CustomerNotSettled:
        return QStringLiteral("resultado: não seria importado (cliente não localizado nem cadastrado); "
                              "o lote manteria o arquivo na pasta");
    case OrderCheck::Verdict::Failed:
        return QStringLiteral("falha: %1\n%2resultado: não seria importado; tudo o que a importação gravou "
                              "seria desfeito e o lote manteria o arquivo na pasta")
            .arg(check.failure, kIndent);
    case OrderCheck::Verdict::NotFound:
        return QStringLiteral("arquivo não encontrado");
    case OrderCheck::Verdict::NotAnOrderFile:
        return QFileInfo(check.path).isDir()
            ? QStringLiteral("não é um arquivo de pedido: é uma pasta")
            : QStringLiteral("não é um arquivo de pedido: o nome não termina em \".txt\" (o lote não o importaria)");
    case OrderCheck::Verdict::NotChecked:
        break;
    }
    return QStringLiteral("não conferido: o banco de dados não foi aberto (veja a mensagem de erro)");
}

} // namespace

QString describeOrderCheck(const OrderCheck& check)
{
    QStringList lines;
    const bool imported = check.orderNumber.has_value() || check.customer || check.header || !check.items.isEmpty();
    if (imported && check.verdict != OrderCheck::Verdict::Failed)
        lines << orderLine(check);
    if (check.customer)
        lines << customerLine(*check.customer);
    if (check.header)
        lines << headerLines(*check.header);
    for (const auto& item : check.items)
        std::visit([&](const auto& values) { lines << itemLines(values); }, item);
    for (const QString& line : check.logLines)
        lines << QStringLiteral("registro do lote: ") + line;
    lines << verdictLine(check);

    QString text = check.path + QLatin1Char('\n');
    for (const QString& line : lines)
        text += kIndent + line + QLatin1Char('\n');
    return text;
}
