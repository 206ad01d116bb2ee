// The order file reader: decoding and lines, the order number, the header pass and the item split.
#include "import/order_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orderfile;

namespace {

const QString kFile = QStringLiteral("PED1.txt");

// The header pass over a file whose line 1 is the order number and whose next lines are `lines`.
OrderRecord header(const QStringList& lines)
{
    return readOrderHeader(QStringList{QStringLiteral("NumeroPedido: 1")} + lines);
}

// The message of the ImportError `f` throws; fails the test when it throws none.
template <typename F>
QString errorOf(F&& f)
{
    try {
        f();
    } catch (const ImportError& e) {
        return e.message();
    }
    ADD_FAILURE() << "no ImportError";
    return {};
}

QByteArray sample(const char* name)
{
    QFile f(QStringLiteral(PEDIDOS_SOURCE_DIR "/tests/fuzz/corpus/") + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

qsizetype codePoints(const QString& s) { return static_cast<qsizetype>(s.toStdU32String().size()); }

} // namespace

TEST(OrderFile, LinesEndInCrLfOrLfWhateverTheEncoding)
{
    EXPECT_EQ(decodeLines("a\r\nb\nc\r\n"), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(decodeLines("a\r\n\r\nb"), (QStringList{"a", "", "b"}));   // last line without line end
    EXPECT_EQ(decodeLines("a\rb\n"), (QStringList{"a\rb"}));             // a lone CR is a character
    EXPECT_TRUE(decodeLines("").isEmpty());
    EXPECT_EQ(decodeLines("\n"), (QStringList{""}));

    // The same order written as Windows-1252 with CR LF and as UTF-8 with LF reads the same.
    const QStringList cp1252 = decodeLines(sample("pessoa_cpf_cp1252_crlf.txt"));
    const QStringList utf8 = decodeLines(sample("pessoa_cpf_utf8_lf.txt"));
    EXPECT_EQ(cp1252, utf8);
    const OrderRecord order = readOrderHeader(utf8);
    EXPECT_EQ(order.customerName, QStringLiteral("JOÃO D ÁVILA CONCEIÇÃO"));
    EXPECT_EQ(order.city, QStringLiteral("SÃO PAULO"));
    EXPECT_EQ(order.district, QStringLiteral("JARDIM SÃO LUÍS"));

    // Positions count characters: in UTF-8 "çã" are four bytes but two characters.
    const OrderRecord state = readOrderHeader(decodeLines("NumeroPedido: 1\nEstadoCliente: \xc3\xa7\xc3\xa3xyz\n"));
    EXPECT_EQ(state.state, QStringLiteral("ÇÃ"));
    // ...and a character outside the Basic Multilingual Plane is one character, never cut in half.
    QString smileys;
    for (int i = 0; i < 70; ++i)
        smileys += QString::fromUcs4(U"\U0001F600", 1);
    const OrderRecord wide = header({"NomeCliente: " + smileys});
    EXPECT_EQ(codePoints(wide.customerName), 60);
    EXPECT_TRUE(wide.customerName.isValidUtf16());
}

TEST(OrderFile, SampleFilesGiveTheWholeRecord)
{
    const OrderRecord p = readOrderHeader(decodeLines(sample("pessoa_cpf_cp1252_crlf.txt")));
    EXPECT_EQ(p.orderDateSlash, "02/04/2015");
    EXPECT_EQ(p.cpf, "123.456.789-09");
    EXPECT_EQ(p.cnpj, "");
    EXPECT_EQ(p.phone, "(11) 98765-43");   // the first 13 characters
    EXPECT_EQ(p.freightChoice, "SEDEX");
    EXPECT_EQ(p.orderTotal, "79,30");
    EXPECT_EQ(p.shipDateCompact, "20150205");
    EXPECT_EQ(p.shippingCode, "SX123456789BR");

    const QStringList companyLines = decodeLines(sample("empresa_cnpj_cp1252_crlf.txt"));
    EXPECT_EQ(readOrderNumber(companyLines, kFile), 1002);
    const OrderRecord c = readOrderHeader(companyLines);
    EXPECT_EQ(c.customerName, QStringLiteral("PAPELARIA PÃO DE AÇÚCAR LTDA ME"));
    EXPECT_EQ(c.companyName, c.customerName);
    EXPECT_EQ(c.cnpj, "12.345.678/0001-95");
    EXPECT_EQ(c.cpf, "");
    EXPECT_EQ(c.stateRegistration, "110.042.490.114");
    EXPECT_EQ(c.shippingCode, "");
    EXPECT_EQ(c.shipDateCompact, "20150311");   // no "Data Envio": the order date
    EXPECT_EQ(c.shipDateSlash, "03/11/2015");
}

TEST(OrderFile, OrderNumberFromPosition15)
{
    EXPECT_EQ(readOrderNumber({"NumeroPedido: 77"}, kFile), 77);
    EXPECT_EQ(readOrderNumber({"xxxxxxxxxxxx|@  77  "}, kFile), 77);   // 1–14 not examined
    EXPECT_EQ(readOrderNumber({"NumeroPedido: 2147483647"}, kFile), 2147483647);
    EXPECT_EQ(readOrderNumber({"NumeroPedido: -2147483648"}, kFile), std::numeric_limits<qint32>::min());
    EXPECT_EQ(readOrderNumber({"NumeroPedido: " + QString(50000, ' ') + "12"}, kFile), 12);

    const auto failure = [](const QStringList& lines) { return errorOf([&] { readOrderNumber(lines, kFile); }); };
    EXPECT_EQ(failure({}), QStringLiteral("PED1.txt, linha 1: arquivo vazio, falta o número do pedido"));
    EXPECT_EQ(failure({"NumeroPedido:"}), QStringLiteral("PED1.txt, linha 1: falta o número do pedido (a partir da posição 15)"));
    EXPECT_EQ(failure({"NumeroPedido:    "}), failure({"NumeroPedido:"}));
    EXPECT_EQ(failure({"NumeroPedido: 77a"}), QStringLiteral("PED1.txt, linha 1: o número do pedido não é um número inteiro: \"77a\""));
    EXPECT_TRUE(failure({"NumeroPedido: 7 7"}).startsWith("PED1.txt, linha 1: o número do pedido não é um número inteiro"));
    EXPECT_TRUE(failure({"NumeroPedido: -"}).startsWith("PED1.txt, linha 1: o número do pedido não é um número inteiro"));
    EXPECT_TRUE(failure({"NumeroPedido: 1,5"}).startsWith("PED1.txt, linha 1: o número do pedido não é um número inteiro"));
    EXPECT_EQ(failure({"NumeroPedido: 2147483648"}), QStringLiteral("PED1.txt, linha 1: o número do pedido está fora do intervalo aceito: \"2147483648\""));
    EXPECT_TRUE(failure({"NumeroPedido: -2147483649"}).contains("fora do intervalo"));
    // A runaway number is cut in the message.
    const QString huge = failure({"NumeroPedido: " + QString(100000, '9')});
    EXPECT_TRUE(huge.contains("fora do intervalo"));
    EXPECT_LT(huge.size(), 200);
}

TEST(OrderFile, DatesAtFixedPositionsAndShipDateDefault)
{
    OrderRecord o = header({"DataPedido: 2015-02-04 10:31:00"});
    EXPECT_EQ(o.orderDateCompact, "20150204");
    EXPECT_EQ(o.orderDateSlash, "02/04/2015");
    EXPECT_EQ(o.shipDateCompact, "20150204");
    EXPECT_EQ(o.shipDateSlash, "02/04/2015");

    // The key is a prefix test: "DataPedidoX" counts, the year still read from 13–16.
    o = header({"DataPedidoX 2015-02-04"});
    EXPECT_EQ(o.orderDateCompact, "20150204");
    // Keys are case-sensitive: a lower-case key line is ignored.
    o = header({"DataPedido: 2015-02-04", "datapedido: 2016-01-01"});
    EXPECT_EQ(o.orderDateCompact, "20150204");
    // The last occurrence wins; a blank ship date line takes the order date.
    o = header({"DataPedido: 2015-02-04", "Data Envio: 2015-02-06", "DataPedido: 2015-03-09", "Data Envio:   "});
    EXPECT_EQ(o.orderDateSlash, "03/09/2015");
    EXPECT_EQ(o.shipDateCompact, "20150309");
    EXPECT_EQ(o.shipDateSlash, "03/09/2015");
    // A ship date of its own is kept whatever its position.
    o = header({"Data Envio: 2015-02-10", "DataPedido: 2015-02-04"});
    EXPECT_EQ(o.shipDateCompact, "20150210");
    EXPECT_EQ(o.shipDateSlash, "02/10/2015");
    // A short date yields what the line holds, nothing read beyond its end.
    o = header({"DataPedido: 2015"});
    EXPECT_EQ(o.orderDateCompact, "2015");
    EXPECT_EQ(o.orderDateSlash, "//2015");
}

TEST(OrderFile, CustomerNameAndTextRule)
{
    EXPECT_EQ(header({"NomeCliente: maria d'ajuda|x"}).customerName, "MARIA D AJUDA");
    // Without "|" the name is the rest of the line; the "|" must be at or after position 14.
    EXPECT_EQ(header({"NomeCliente: maria"}).customerName, "MARIA");
    EXPECT_EQ(header({"NomeCliente|ana|x"}).customerName, "NA");
    EXPECT_EQ(header({"NomeCliente:"}).customerName, "");
    // Upper-case, first 60 characters, then trim: leading blanks count toward the 60.
    const QString seventy = QString(58, 'a') + "  " + QString(10, 'b');
    EXPECT_EQ(header({"NomeCliente: " + seventy}).customerName, QString(58, 'A'));
    EXPECT_EQ(header({"NomeCliente:    " + QString(70, 'c')}).customerName, QString(57, 'C'));
    // Case changes one character at a time: "ß" has no single upper-case letter and stays.
    EXPECT_EQ(header({"NomeCliente: " + QString(70, QChar(0xDF))}).customerName, QString(60, QChar(0xDF)));
    EXPECT_EQ(header({"EstadoCliente: \u00DF\u00E7"}).state, QStringLiteral("\u00DF\u00C7"));

    // A non-blank company name wins, before or after the person's name; a blank one does not.
    EXPECT_EQ(header({"RazaoSocialCliente: acme ltda", "NomeCliente: joão"}).customerName, "ACME LTDA");
    EXPECT_EQ(header({"NomeCliente: joão", "RazaoSocialCliente: acme ltda"}).customerName, "ACME LTDA");
    EXPECT_EQ(header({"NomeCliente: joão", "RazaoSocialCliente:     "}).customerName, QStringLiteral("JOÃO"));

    // The other free-text fields follow the same rule; apostrophes become blanks after the trim.
    const OrderRecord o = header({"EnderecoCliente:  rua d'oeste '", "BairroCliente: " + QString(80, 'x'),
                                  "ComplementoCliente: fundos", "CidadeCliente: são paulo  "});
    EXPECT_EQ(o.address, "RUA D OESTE  ");
    EXPECT_EQ(o.district, QString(60, 'X'));
    EXPECT_EQ(o.complement, "FUNDOS");
    EXPECT_EQ(o.city, QStringLiteral("SÃO PAULO"));
    // A key line cut right after its colon is an empty value, not a failure.
    EXPECT_EQ(header({"EnderecoCliente: rua a", "EnderecoCliente:"}).address, "");
    EXPECT_EQ(header({"EnderecoCliente: "}).address, "");
}

TEST(OrderFile, DocumentsAndShortFields)
{
    OrderRecord o = header({"CpfCliente: 123456789-09", "CnpjCliente: 123456780001-95"});
    EXPECT_EQ(o.cpf, "123.456.789-09");
    EXPECT_EQ(o.cnpj, "12.345.678/0001-95");
    o = header({"CpfCliente: ABC", "CnpjCliente: ABC"});
    EXPECT_EQ(o.cpf, "___.___.___-__");
    EXPECT_EQ(o.cnpj, "__.___.___/____-__");
    o = header({"CpfCliente:", "CnpjCliente:"});
    EXPECT_EQ(o.cpf, "___.___.___-__");
    EXPECT_EQ(o.cnpj, "__.___.___/____-__");
    o = header({"NomeCliente: x"});
    EXPECT_EQ(o.cpf, "");
    EXPECT_EQ(o.cnpj, "");
    // A digits-only CPF is cut at the fixed positions as it stands.
    EXPECT_EQ(header({"CpfCliente: 12345678909"}).cpf, "123.456.78909");

    o = header({"RgCliente:  12.345 ", "IECliente:  110.042 ", "EstadoCliente: sp", "CepCliente:  1310-100 apto 4",
                "EmailCliente:  Maria.O'Neil@Example.COM ", "TelefoneCliente: 11 3030'4050 ramal 12",
                "SubTotalProdutos:  150,90 ", "FreteEscolhido:  expresso ", "Valor Frete: 10.50",
                "ValorPedido:  161,40", "CodigoEnvio:  AB12 "});
    EXPECT_EQ(o.rg, " 12.345 ");   // as written
    EXPECT_EQ(o.stateRegistration, "110.042");
    EXPECT_EQ(o.state, "SP");
    EXPECT_EQ(o.postalCode, "1310-100");
    EXPECT_EQ(o.email, "maria.o neil@example.com");
    EXPECT_EQ(o.phone, "11 3030 4050");
    EXPECT_EQ(o.subtotal, "150,90");
    EXPECT_EQ(o.freightChoice, "EXPRESSO");
    EXPECT_EQ(o.freightValue, "10.50");
    EXPECT_EQ(o.orderTotal, "161,40");
    EXPECT_EQ(o.shippingCode, "AB12");
    EXPECT_EQ(header({"EstadoCliente: s"}).state, "S");
    EXPECT_EQ(header({"EmailCliente: " + QString(120, 'M')}).email, QString(100, 'm'));
    // Item lines and unknown lines add nothing to the header.
    o = header({"ProdutoVendido: 1|NomeCliente: x|1|1|1|0|", "Observacao: entregar cedo", "xNomeCliente: y"});
    EXPECT_EQ(o.customerName, "");
}

TEST(OrderFile, ItemSplit)
{
    OrderItem item = splitItemLine("ProdutoVendido: 7891|caneta azul|1,50|2|3,00|0|", 4, kFile);
    EXPECT_EQ(item.lineNumber, 4);
    EXPECT_EQ(item.barcode, "7891");
    EXPECT_EQ(item.productName, "CANETA AZUL");
    EXPECT_EQ(item.unitPrice, "1,50");
    EXPECT_EQ(item.quantity, "2");
    EXPECT_EQ(item.lineTotal, "3,00");
    EXPECT_EQ(item.sixth, "0");

    // Fields 1, 3, 4, 5 as written; the name upper-cased, trimmed, cut at 100, apostrophes to
    // blanks; text after the sixth "|" ignored.
    item = splitItemLine("ProdutoVendido: 7891 | l'água " + QString(120, 'z') + "| 2.5 ||x|1,5|resto|", 2, kFile);
    EXPECT_EQ(item.barcode, "7891 ");
    EXPECT_EQ(item.productName, QStringLiteral("L ÁGUA ") + QString(93, 'Z'));
    EXPECT_EQ(item.unitPrice, " 2.5 ");
    EXPECT_EQ(item.quantity, "");
    EXPECT_EQ(item.lineTotal, "x");
    EXPECT_TRUE(isItemLine("ProdutoVendido: 1|"));
    EXPECT_FALSE(isItemLine("produtoVendido: 1|"));

    // Fields of any length: no position limit.
    const QString big(40000, '9');
    item = splitItemLine("ProdutoVendido: " + big + "|n|" + big + "|1|" + big + "|0|", 3, kFile);
    EXPECT_EQ(item.barcode, big);
    EXPECT_EQ(item.lineTotal, big);

    const auto failure = [](const QString& line) { return errorOf([&] { splitItemLine(line, 5, kFile); }); };
    EXPECT_EQ(failure("ProdutoVendido: 7891|caneta azul|1,50|2|3,00||"),
              QStringLiteral("PED1.txt, linha 5: o sexto campo do item não é um número: \"\""));
    EXPECT_EQ(failure("ProdutoVendido: 7891|caneta azul|1,50|2|3,00|zero|"),
              QStringLiteral("PED1.txt, linha 5: o sexto campo do item não é um número: \"zero\""));
    EXPECT_EQ(failure("ProdutoVendido: 7891|caneta azul|1,50|2|3,00"),
              QStringLiteral("PED1.txt, linha 5: linha de item incompleta: 4 de 6 campos terminados por \"|\" a partir da posição 17"));
    EXPECT_TRUE(failure("ProdutoVendido").contains("0 de 6 campos"));
    EXPECT_TRUE(failure("ProdutoVendido:|1|1|1|1|0|").contains("5 de 6 campos"));   // a "|" at 16 is before the fields
}

TEST(OrderFile, TruncatedKeyLinesNeverFail)
{
    // Every key line cut at every length up to well past its value reads without failing, and
    // the short-field limits hold.
    const QStringList keys{"DataPedido", "IdCliente", "NomeCliente", "CpfCliente", "RgCliente", "CnpjCliente",
                           "IECliente", "RazaoSocialCliente", "EnderecoCliente", "BairroCliente",
                           "ComplementoCliente", "CidadeCliente", "EstadoCliente", "CepCliente",
                           "EmailCliente", "TelefoneCliente", "SubTotalProdutos", "FreteEscolhido",
                           "Valor Frete", "ValorPedido", "Data Envio", "CodigoEnvio"};
    const QString value = QStringLiteral(": 2015-02-04 123456780001-95 'São' |x| ");
    for (const QString& key : keys) {
        const QString full = key + value;
        for (qsizetype n = key.size(); n <= full.size(); ++n) {
            const OrderRecord o = header({full.left(n)});
            EXPECT_LE(o.state.size(), 2);
            EXPECT_LE(o.postalCode.size(), 9);
            EXPECT_LE(o.phone.size(), 13);
            EXPECT_FALSE(o.cpf.size() > 14 || o.cnpj.size() > 18) << qPrintable(full.left(n));
        }
    }
}

TEST(OrderFile, ReadingTheFile)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("PED9.txt");
    EXPECT_TRUE(errorOf([&] { readOrderFile(missing); }).startsWith("PED9.txt: não foi possível abrir"));

    // A very long line in a real file.
    QFile f(dir.filePath("PED2.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("NumeroPedido: 5\r\nNomeCliente: " + QByteArray(300000, 'a') + "|b\r\nProdutoVendido: 1|x|1|1|1|0|");
    f.close();
    const QStringList lines = readOrderFile(f.fileName());
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(readOrderNumber(lines, "PED2.txt"), 5);
    EXPECT_EQ(readOrderHeader(lines).customerName, QString(60, 'A'));
    EXPECT_EQ(splitItemLine(lines[2], 3, "PED2.txt").sixth, "0");
}
