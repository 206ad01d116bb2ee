// The order file reader: decoding and lines, the header fields, the order number, the item split.
#include "import/order_file.h"
#include "support/test_util.h"

using namespace orderfile;

namespace {

QString repeated(const char32_t* character, int n)
{
    return QString::fromUcs4(character, 1).repeated(n);
}

} // namespace

TEST(OrderFile, Decoding)
{
    const struct {
        QByteArray bytes;
        QStringList lines;
    } cases[] = {
        {"a\r\nb\nc\r\n", {"a", "b", "c"}},             // CR LF or LF
        {"a\r\n\r\nb", {"a", "", "b"}},                 // the last line without its line end
        {"a\rb\n", {"a\rb"}},                           // a lone CR is a character
        {"", {}},
        {"Jo\xe3o\r\n", {"João"}},                       // Windows-1252
        {"\x80 \x93x\x94 \x96 \x97\r\n", {"€ “x” – —"}},  // its 0x80-0x9F, not control codes
        {"\xef\xbb\xbfJo\xc3\xa3o\n", {"João"}},         // UTF-8 with a byte order mark
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeLines(c.bytes), c.lines) << c.bytes.toStdString();
}

TEST(OrderFile, HeaderFields)
{
    const QString mask = QStringLiteral("___.___.___-__");
    // Lines after "NumeroPedido: 1", the field read, its value.
    const struct {
        QStringList lines;
        QString OrderRecord::*field;
        QString value;
    } cases[] = {
        {{"DataPedido: 2015-02-04 10:31:00"}, &OrderRecord::orderDateCompact, "20150204"},
        {{"DataPedido: 2015-02-04 10:31:00"}, &OrderRecord::orderDateSlash, "02/04/2015"},
        {{"DataPedido: 2015-02-04"}, &OrderRecord::shipDateSlash, "02/04/2015"},          // no ship date: the order's
        {{"DataPedido: 2015-02-04", "Data Envio:   "}, &OrderRecord::shipDateCompact, "20150204"},
        {{"Data Envio: 2015-02-10", "DataPedido: 2015-02-04"}, &OrderRecord::shipDateCompact, "20150210"},
        {{"DataPedidoX 2015-02-04"}, &OrderRecord::orderDateCompact, "20150204"},        // the key is a prefix
        {{"datapedido: 2015-02-04"}, &OrderRecord::orderDateCompact, ""},                // with its case
        {{"DataPedido: 2015"}, &OrderRecord::orderDateSlash, "//2015"},                  // a short date
        {{"NomeCliente: maria d'ajuda|x"}, &OrderRecord::customerName, "MARIA D AJUDA"},
        {{"NomeCliente|ana|x"}, &OrderRecord::customerName, "NA"},                       // "|" from position 14
        {{"NomeCliente: " + QString(58, 'a') + "  " + QString(10, 'b')}, &OrderRecord::customerName, QString(58, 'A')},
        {{"NomeCliente:    " + QString(70, 'c')}, &OrderRecord::customerName, QString(57, 'C')},   // cut, then trim
        {{"NomeCliente: " + repeated(U"\U0001F600", 70)}, &OrderRecord::customerName, repeated(U"\U0001F600", 60)},
        {{"NomeCliente: " + QString(70, QChar(0xDF))}, &OrderRecord::customerName, QString(60, QChar(0xDF))},
        {{"RazaoSocialCliente: acme", "NomeCliente: joão"}, &OrderRecord::customerName, "ACME"},
        {{"NomeCliente: joão", "RazaoSocialCliente:    "}, &OrderRecord::customerName, "JOÃO"},
        {{"EnderecoCliente:  rua d'oeste '"}, &OrderRecord::address, "RUA D OESTE  "},   // trim, then apostrophes
        {{"EnderecoCliente: rua a", "EnderecoCliente:"}, &OrderRecord::address, ""},
        {{"CidadeCliente: são paulo  "}, &OrderRecord::city, "SÃO PAULO"},
        {{"CpfCliente: 123456789-09"}, &OrderRecord::cpf, "123.456.789-09"},
        {{"CpfCliente: 12345678909"}, &OrderRecord::cpf, "123.456.78909"},
        {{"CpfCliente: ABC"}, &OrderRecord::cpf, mask},
        {{"CpfCliente:"}, &OrderRecord::cpf, mask},
        {{"NomeCliente: x"}, &OrderRecord::cpf, ""},
        {{"CnpjCliente: 123456780001-95"}, &OrderRecord::cnpj, "12.345.678/0001-95"},
        {{"CnpjCliente: ABC"}, &OrderRecord::cnpj, "__.___.___/____-__"},
        {{"RgCliente:  12.345 "}, &OrderRecord::rg, " 12.345 "},
        {{"IECliente:  110.042 "}, &OrderRecord::stateRegistration, "110.042"},
        {{"EstadoCliente: spx"}, &OrderRecord::state, "SP"},
        {{"EstadoCliente: \u00E7\u00E3xyz"}, &OrderRecord::state, "\u00C7\u00C3"},
        {{"CepCliente:  1310-100 apto"}, &OrderRecord::postalCode, "1310-100"},
        {{"CepCliente: 13010-000X"}, &OrderRecord::postalCode, "13010-000"},
        {{"EmailCliente:  Maria.O'Neil@Example.COM "}, &OrderRecord::email, "maria.o neil@example.com"},
        {{"EmailCliente: " + QString(120, 'M')}, &OrderRecord::email, QString(100, 'm')},
        {{"TelefoneCliente: 11 3030'4050 ramal 12"}, &OrderRecord::phone, "11 3030 4050"},
        {{"SubTotalProdutos:  150,90 "}, &OrderRecord::subtotal, "150,90"},
        {{"FreteEscolhido:  expresso "}, &OrderRecord::freightChoice, "EXPRESSO"},
        {{"Valor Frete: 10.50"}, &OrderRecord::freightValue, "10.50"},
        {{"ValorPedido:  161,40"}, &OrderRecord::orderTotal, "161,40"},
        {{"CodigoEnvio:  AB12 "}, &OrderRecord::shippingCode, "AB12"},
        {{"ProdutoVendido: 1|NomeCliente: x|1|1|1|0|"}, &OrderRecord::customerName, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(readOrderHeader(QStringList{"NumeroPedido: 1"} + c.lines).*c.field, c.value) << c.lines.join(" / ").toStdString();
}

TEST(OrderFile, OrderNumberFromPosition15)
{
    const QString file = QStringLiteral("PED1.txt");
    const struct {
        QStringList lines;
        QString result;   // the number, or the message
    } cases[] = {
        {{"NumeroPedido: 77"}, "77"},
        {{"xxxxxxxxxxxx|@  77  "}, "77"},   // positions 1 to 14 are not examined
        {{"NumeroPedido: 2147483647"}, "2147483647"},
        {{"NumeroPedido: -2147483648"}, "-2147483648"},
        {{"NumeroPedido: 2147483648"}, "PED1.txt, linha 1: o número do pedido está fora do intervalo aceito: \"2147483648\""},
        {{"NumeroPedido: " + QString(100, '9')}, "PED1.txt, linha 1: o número do pedido está fora do intervalo aceito: \"" + QString(40, '9') + "...\""},
        {{"NumeroPedido: 77a"}, "PED1.txt, linha 1: o número do pedido não é um número inteiro: \"77a\""},
        {{"NumeroPedido:    "}, "PED1.txt, linha 1: falta o número do pedido (a partir da posição 15)"},
        {{}, "PED1.txt, linha 1: arquivo vazio, falta o número do pedido"},
    };
    for (const auto& c : cases) {
        try {
            EXPECT_EQ(QString::number(readOrderNumber(c.lines, file)), c.result);
        } catch (const Failure& e) {
            EXPECT_EQ(e.message(), c.result);
        }
    }
}

TEST(OrderFile, ItemLines)
{
    const QString file = QStringLiteral("PED1.txt");
    const struct {
        QString line;
        QString result;   // barcode|name|price|quantity|total, or the message
    } cases[] = {
        {"ProdutoVendido: 7891|caneta azul|1,50|2|3,00|0|", "7891|CANETA AZUL|1,50|2|3,00"},
        {"ProdutoVendido: 7891 | l'água " + QString(120, 'z') + "| 2.5 ||x|1,5|resto|", "7891 |L ÁGUA " + QString(93, 'Z') + "| 2.5 ||x"},
        {"ProdutoVendido: 7891|caneta azul|1,50|2|3,00||", "PED1.txt, linha 5: o sexto campo do item não é um número: \"\""},
        {"ProdutoVendido: 7891|caneta azul|1,50|2|3,00",
         "PED1.txt, linha 5: linha de item incompleta: 4 de 6 campos terminados por \"|\" a partir da posição 17"},
    };
    for (const auto& c : cases) {
        try {
            const OrderItem i = splitItemLine(c.line, 5, file);
            EXPECT_EQ(QStringList({i.barcode, i.productName, i.unitPrice, i.quantity, i.lineTotal}).join('|'), c.result);
        } catch (const Failure& e) {
            EXPECT_EQ(e.message(), c.result);
        }
    }
    EXPECT_TRUE(isItemLine("ProdutoVendido: 1|"));
    EXPECT_FALSE(isItemLine("produtoVendido: 1|"));
}
