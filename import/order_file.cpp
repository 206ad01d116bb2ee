#include "import/order_file.h"

#include "core/text_codec.h"
#include "import/sql_text.h"

#include <QFile>
#include <QFileInfo>
#include <array>
#include <limits>
#include <string>
#include <string_view>

namespace orderfile {

namespace {

// A line held as code points, so that positions and cuts count characters even for characters
// outside the Basic Multilingual Plane (which a QString holds as two code units).
using Chars = std::u32string;
using CharsView = std::u32string_view;

Chars toChars(const QString& s) { return s.toStdU32String(); }
QString toText(CharsView s) { return QString::fromUcs4(s.data(), static_cast<qsizetype>(s.size())); }

// Characters from 1-based `position` to the end; nothing when the position is beyond the end.
CharsView restFrom(CharsView line, std::size_t position)
{
    if (position < 1 || position > line.size())
        return {};
    return line.substr(position - 1);
}

// `count` characters from 1-based `position`, fewer when the line ends earlier.
CharsView midChars(CharsView line, std::size_t position, std::size_t count)
{
    return restFrom(line, position).substr(0, count);
}

QString mid(CharsView line, std::size_t position, std::size_t count)
{
    return toText(midChars(line, position, count));
}

QString rest(CharsView line, std::size_t position) { return toText(restFrom(line, position)); }

// The first `count` characters of a text.
QString left(const QString& s, std::size_t count)
{
    const Chars chars = toChars(s);
    if (chars.size() <= count)
        return s;
    return toText(CharsView(chars).substr(0, count));
}

// Upper- and lower-case one character at a time (simple case mapping), as the ERP's own
// programs do: the length never changes ("ß" stays "ß"), so a field cut to its size stays so.
QString upper(const QString& s)
{
    Chars chars = toChars(s);
    for (char32_t& c : chars)
        c = QChar::toUpper(c);
    return toText(chars);
}

QString lower(const QString& s)
{
    Chars chars = toChars(s);
    for (char32_t& c : chars)
        c = QChar::toLower(c);
    return toText(chars);
}

using text::trimSpaces;

QString apostrophesToSpaces(QString s)
{
    s.replace(QLatin1Char('\''), QLatin1Char(' '));
    return s;
}

// The text rule of the free-text fields: upper-case, first 60 characters, trim, apostrophes
// to spaces. The cut comes before the trim, so leading spaces count toward the 60.
QString textRule(const QString& value)
{
    return apostrophesToSpaces(trimSpaces(left(upper(value), 60)));
}

// A date at fixed positions of the line: year 13–16, month 18–19, day 21–22.
void readDate(CharsView line, QString& compact, QString& slash)
{
    const QString year = mid(line, 13, 4);
    const QString month = mid(line, 18, 2);
    const QString day = mid(line, 21, 2);
    compact = year + month + day;
    slash = month + QLatin1Char('/') + day + QLatin1Char('/') + year;
}

QString readCpf(CharsView line)
{
    QString digits = mid(line, 13, 12);
    digits.remove(QLatin1Char('-'));
    if (!sql::isNumeric(trimSpaces(digits)))
        return QStringLiteral("___.___.___-__");
    return mid(line, 13, 3) + QLatin1Char('.') + mid(line, 16, 3) + QLatin1Char('.') + mid(line, 19, 6);
}

QString readCnpj(CharsView line)
{
    QString digits = mid(line, 14, 15);
    digits.remove(QLatin1Char('-'));
    if (!sql::isNumeric(trimSpaces(digits)))
        return QStringLiteral("__.___.___/____-__");
    return mid(line, 14, 2) + QLatin1Char('.') + mid(line, 16, 3) + QLatin1Char('.') + mid(line, 19, 3)
        + QLatin1Char('/') + mid(line, 22, 7);
}

// From `position` up to (not including) the first "|" at or after it; the rest of the line
// when there is none.
CharsView upToBar(CharsView line, std::size_t position)
{
    const CharsView from = restFrom(line, position);
    const std::size_t bar = from.find(U'|');
    return bar == CharsView::npos ? from : from.substr(0, bar);
}

enum class Key {
    DataPedido, IdCliente, NomeCliente, CpfCliente, RgCliente, CnpjCliente, IECliente,
    RazaoSocialCliente, EnderecoCliente, BairroCliente, ComplementoCliente, CidadeCliente,
    EstadoCliente, CepCliente, EmailCliente, TelefoneCliente, SubTotalProdutos, FreteEscolhido,
    ValorFrete, ValorPedido, DataEnvio, CodigoEnvio,
};

struct KeyEntry {
    CharsView text;
    Key key;
};

// The keys of the header pass, in the order every line is tested against them.
constexpr std::array<KeyEntry, 22> kKeys{{
    {U"DataPedido", Key::DataPedido},
    {U"IdCliente", Key::IdCliente},
    {U"NomeCliente", Key::NomeCliente},
    {U"CpfCliente", Key::CpfCliente},
    {U"RgCliente", Key::RgCliente},
    {U"CnpjCliente", Key::CnpjCliente},
    {U"IECliente", Key::IECliente},
    {U"RazaoSocialCliente", Key::RazaoSocialCliente},
    {U"EnderecoCliente", Key::EnderecoCliente},
    {U"BairroCliente", Key::BairroCliente},
    {U"ComplementoCliente", Key::ComplementoCliente},
    {U"CidadeCliente", Key::CidadeCliente},
    {U"EstadoCliente", Key::EstadoCliente},
    {U"CepCliente", Key::CepCliente},
    {U"EmailCliente", Key::EmailCliente},
    {U"TelefoneCliente", Key::TelefoneCliente},
    {U"SubTotalProdutos", Key::SubTotalProdutos},
    {U"FreteEscolhido", Key::FreteEscolhido},
    {U"Valor Frete", Key::ValorFrete},
    {U"ValorPedido", Key::ValorPedido},
    {U"Data Envio", Key::DataEnvio},
    {U"CodigoEnvio", Key::CodigoEnvio},
}};

constexpr CharsView kItemKey = U"ProdutoVendido";

// One key line into the record. The value starts two characters after the key (a colon and a
// blank, not examined); most keys take "the rest": the value start to the end of the line.
void applyKey(Key key, CharsView line, std::size_t keyLength, OrderRecord& order)
{
    const std::size_t start = keyLength + 3;
    switch (key) {
    case Key::DataPedido:
        readDate(line, order.orderDateCompact, order.orderDateSlash);
        break;
    case Key::IdCliente:
        break;   // not used
    case Key::NomeCliente:
        order.customerName = textRule(toText(upToBar(line, start)));
        break;
    case Key::CpfCliente:
        order.cpf = readCpf(line);
        break;
    case Key::RgCliente:
        order.rg = rest(line, start);
        break;
    case Key::CnpjCliente:
        order.cnpj = readCnpj(line);
        break;
    case Key::IECliente:
        order.stateRegistration = trimSpaces(rest(line, start));
        break;
    case Key::RazaoSocialCliente:
        order.companyName = textRule(rest(line, start));
        break;
    case Key::EnderecoCliente:
        order.address = textRule(rest(line, start));
        break;
    case Key::BairroCliente:
        order.district = textRule(rest(line, start));
        break;
    case Key::ComplementoCliente:
        order.complement = textRule(rest(line, start));
        break;
    case Key::CidadeCliente:
        order.city = textRule(rest(line, start));
        break;
    case Key::EstadoCliente:
        order.state = trimSpaces(upper(mid(line, 16, 2)));
        break;
    case Key::CepCliente:
        order.postalCode = trimSpaces(mid(line, 13, 9));
        break;
    case Key::EmailCliente:
        order.email = apostrophesToSpaces(trimSpaces(left(lower(rest(line, start)), 100)));
        break;
    case Key::TelefoneCliente:
        order.phone = apostrophesToSpaces(trimSpaces(mid(line, start, 13)));
        break;
    case Key::SubTotalProdutos:
        order.subtotal = trimSpaces(rest(line, start));
        break;
    case Key::FreteEscolhido:
        order.freightChoice = upper(trimSpaces(rest(line, start)));
        break;
    case Key::ValorFrete:
        order.freightValue = trimSpaces(rest(line, start));
        break;
    case Key::ValorPedido:
        order.orderTotal = trimSpaces(rest(line, start));
        break;
    case Key::DataEnvio:
        readDate(line, order.shipDateCompact, order.shipDateSlash);
        break;
    case Key::CodigoEnvio:
        order.shippingCode = trimSpaces(rest(line, start));
        break;
    }
}

bool startsWith(CharsView line, CharsView key) { return line.substr(0, key.size()) == key; }

// A value quoted in a message, cut so that a runaway line does not flood the message.
QString quoted(const QString& value)
{
    constexpr std::size_t kShown = 40;
    const QString shown = left(value, kShown);
    return QLatin1Char('"') + shown + (shown.size() < value.size() ? QStringLiteral("...\"") : QStringLiteral("\""));
}

} // namespace

QString lineMessage(const QString& fileName, int lineNumber, const QString& text)
{
    return QStringLiteral("%1, linha %2: %3").arg(fileName, QString::number(lineNumber), text);
}

QStringList decodeLines(const QByteArray& bytes)
{
    const QString text = text::decodeFileText(bytes);
    QStringList lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        qsizetype lineEnd = end;
        if (lineEnd > start && text[lineEnd - 1] == QLatin1Char('\r'))
            --lineEnd;   // CR LF
        lines.append(text.mid(start, lineEnd - start));
        start = end + 1;
    }
    return lines;
}

QStringList readOrderFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Failure(Failure::About::Order, QStringLiteral("%1: não foi possível abrir o arquivo do pedido (%2)")
                              .arg(QFileInfo(path).fileName(), file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw Failure(Failure::About::Order, QStringLiteral("%1: não foi possível ler o arquivo do pedido (%2)")
                              .arg(QFileInfo(path).fileName(), file.errorString()));
    }
    return decodeLines(bytes);
}

qint32 readOrderNumber(const QStringList& lines, const QString& fileName)
{
    if (lines.isEmpty())
        throw Failure(Failure::About::Order, lineMessage(fileName, 1, QStringLiteral("arquivo vazio, falta o número do pedido")));
    const Chars line = toChars(lines.first());
    const QString text = trimSpaces(rest(line, 15));
    if (text.isEmpty()) {
        throw Failure(Failure::About::Order, lineMessage(fileName, 1,
            QStringLiteral("falta o número do pedido (a partir da posição 15)")));
    }
    qsizetype i = 0;
    bool negative = false;
    if (text[0] == QLatin1Char('+') || text[0] == QLatin1Char('-')) {
        negative = text[0] == QLatin1Char('-');
        i = 1;
    }
    if (i == text.size()) {
        throw Failure(Failure::About::Order, lineMessage(fileName, 1,
            QStringLiteral("o número do pedido não é um número inteiro: %1").arg(quoted(text))));
    }
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            throw Failure(Failure::About::Order, lineMessage(fileName, 1,
                QStringLiteral("o número do pedido não é um número inteiro: %1").arg(quoted(text))));
        }
        value = value * 10 + (c.unicode() - '0');
        if (value > qint64(1) << 31) {
            throw Failure(Failure::About::Order, lineMessage(fileName, 1,
                QStringLiteral("o número do pedido está fora do intervalo aceito: %1").arg(quoted(text))));
        }
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<qint32>::max() || value < std::numeric_limits<qint32>::min()) {
        throw Failure(Failure::About::Order, lineMessage(fileName, 1,
            QStringLiteral("o número do pedido está fora do intervalo aceito: %1").arg(quoted(text))));
    }
    return static_cast<qint32>(value);
}

OrderRecord readOrderHeader(const QStringList& lines)
{
    OrderRecord order;
    for (qsizetype n = 1; n < lines.size(); ++n) {
        const Chars line = toChars(lines[n]);
        for (const KeyEntry& entry : kKeys) {
            if (startsWith(line, entry.text))
                applyKey(entry.key, line, entry.text.size(), order);
        }
        // A non-blank company name always wins over the person's name.
        if (!trimSpaces(order.companyName).isEmpty())
            order.customerName = order.companyName;
        // A missing or blank ship date is the order date.
        if (trimSpaces(order.shipDateCompact).isEmpty()) {
            order.shipDateCompact = order.orderDateCompact;
            order.shipDateSlash = left(order.orderDateSlash, 10);
        }
    }
    return order;
}

bool isItemLine(const QString& line)
{
    return line.startsWith(toText(kItemKey));
}

OrderItem splitItemLine(const QString& text, int lineNumber, const QString& fileName)
{
    const Chars line = toChars(text);
    OrderItem item;
    item.lineNumber = lineNumber;
    std::array<QString, 6> fields;
    std::size_t fieldStart = 17;   // 1-based
    for (int n = 0; n < 6; ++n) {
        const CharsView from = restFrom(line, fieldStart);
        const std::size_t bar = from.find(U'|');
        if (bar == CharsView::npos) {
            throw Failure(Failure::About::Order, lineMessage(fileName, lineNumber,
                QStringLiteral("linha de item incompleta: %1 de 6 campos terminados por \"|\" a partir da posição 17")
                    .arg(n)));
        }
        fields[n] = toText(from.substr(0, bar));
        fieldStart += bar + 1;
    }
    item.barcode = fields[0];
    item.productName = apostrophesToSpaces(left(trimSpaces(upper(fields[1])), 100));
    item.unitPrice = fields[2];
    item.quantity = fields[3];
    item.lineTotal = fields[4];
    item.sixth = fields[5];
    if (!sql::isNumeric(item.sixth)) {
        throw Failure(Failure::About::Order, lineMessage(fileName, lineNumber,
            QStringLiteral("o sexto campo do item não é um número: %1").arg(quoted(item.sixth))));
    }
    return item;
}

} // namespace orderfile
