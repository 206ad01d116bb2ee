// Whole order files booked through IMPORTA_ZELTO into a fresh ERP database, one after the other as
// a batch books them; then every row the import wrote, column by column, against one golden table
// worked out by hand from the booking rules.
#include "erp_fixture.h"

using testutil::Encoding;

namespace {

// One line per row: the expressions joined by "|", NULL as "<NULL>".
QString rows(const testdb::FirebirdTestDatabase& db, const QStringList& columns, const QString& from, bool distinct = false)
{
    QStringList texts;
    for (const QString& c : columns)
        texts << "coalesce(cast(" + c + " as varchar(1000)), '<NULL>')";
    return db.value(QStringLiteral("select list(%1 r, ascii_char(10)) as v from (select %2 as r %3)")
                        .arg(distinct ? "distinct" : "", texts.join(" || '|' || "), from));
}

void expectRows(const char* table, const QString& actual, const char* expected)
{
    const QStringList a = actual.split('\n'), e = QString::fromUtf8(expected).trimmed().split('\n');
    for (qsizetype i = 0; i < std::max(a.size(), e.size()); ++i)
        EXPECT_EQ(a.value(i, "<no row>").toStdString(), e.value(i, "<no row>").toStdString()) << table << ", row " << i + 1;
}

QString outcome(ErpSession& s, const QString& path)
{
    try {
        const ImportResult r = s.import(path);
        switch (r.outcome) {
        case ImportOutcome::Booked: return "booked";
        case ImportOutcome::BookedWithMissingProducts: return "booked without " + r.missingProducts.join(", ");
        case ImportOutcome::AlreadyBooked: return "already booked";
        case ImportOutcome::NotBooked: return "not booked";
        }
    } catch (const Failure& e) {
        return e.message();
    }
    return {};
}

struct Step {
    const char* file;
    QStringList lines;
    QString outcome;   // ending in "...": the beginning of the outcome
    Encoding encoding = Encoding::Cp1252CrLf;
};

const QString kCaderno = "ProdutoVendido: 7890000000011|caderno|100.00|1|100.00|0|";

const Step kSteps[] = {
    // A company new to the ERP: its CNPJ wins over the CPF of a known person, its name over the
    // contact's; a key line between the items.
    {"PED1001.txt", {"NumeroPedido: 1001", "DataPedido: 2015-02-03 10:31:00", "IdCliente: 55", "NomeCliente: joao comprador|x",
                     "CpfCliente: 123456789-09", "CnpjCliente: 112223330001-81", "RazaoSocialCliente: Papelaria Exemplo Ltda",
                     "IECliente: 123.456.789.110", "EnderecoCliente: rua das palmeiras, 100", "BairroCliente: centro",
                     "ComplementoCliente: sala 2", "CidadeCliente: campinas", "EstadoCliente: sp", "CepCliente: 13010-000",
                     "EmailCliente: Compras@Exemplo.com.br", "TelefoneCliente: (19)3232-1111", "SubTotalProdutos: 200.00",
                     "FreteEscolhido: sedex", "Valor Frete: 15.50", "ValorPedido: 215.50",
                     "ProdutoVendido: 7890000000011|caderno universitario|100.00|2|200.00|0|", "Data Envio: 2015-02-05",
                     "CodigoEnvio: SX123BR", "ProdutoVendido: 7890000000028|caneta azul|1,50|2|3,00|0|"}, "booked"},
    {"PED1001.txt", {}, "already booked"},
    // A person known by CPF: identity and consumer type kept, the address taken from the file.
    {"PED1002.txt", {"NumeroPedido: 1002", "DataPedido: 2015-02-04", "NomeCliente: Carlos Novo Nome|", "CpfCliente: 987654321-00",
                     "RgCliente: 11.111.111-1", "EnderecoCliente: av brasil 500", "BairroCliente: jardim america",
                     "CidadeCliente: sao paulo", "EstadoCliente: SP", "CepCliente: 01430-001", "EmailCliente: carlos@example.com",
                     "TelefoneCliente: 11988887777", "SubTotalProdutos: 100,00", "FreteEscolhido: retirar na loja",
                     "Valor Frete: 0,00", "ValorPedido: 100,00",
                     "ProdutoVendido: 7890000000011|caderno universitario|100,00|1|100,00|0|"}, "booked"},
    // No document: a new customer each time, the file recognised by its order number. ICMS
    // situations and product defaults.
    {"PED1003.txt", {"NumeroPedido: 1003", "DataPedido: 2015-01-30", "NomeCliente: ana sem documento|", "CpfCliente: ABC",
                     "EnderecoCliente: rua um", "CidadeCliente: cidade inexistente", "EstadoCliente: MG",
                     "ProdutoVendido: 910002|cst de 2|3,00|1|3,00|0|", "ProdutoVendido: 910005|cst de 5|3,00|1|3,00|0|",
                     "ProdutoVendido: 910070|cst 070|3,00|1|3,00|0|", "ProdutoVendido: 910101|cst 0101|3,00|1|3,00|0|",
                     "ProdutoVendido: 920002|textos vazios|5,00|2,5|12,50|0|", "ProdutoVendido: 920003|zeros|1|1|1|0|"}, "booked"},
    {"PED1003.txt", {}, "already booked"},
    // Products the ERP lacks, or that have no stock row: noted on the order, the last one kept.
    {"PED1004.txt", {"NumeroPedido: 1004", "DataPedido: 2015-02-04", "NomeCliente: pedro|", "FreteEscolhido: PAC",
                     "CodigoEnvio: PC1", "ProdutoVendido: 7890000000099|produto fantasma|5,00|1|5,00|0|",
                     "ProdutoVendido: 7890000000028|caneta azul|1.50|1|1.50|0|", "ProdutoVendido: 940001|sem estoque|5,00|1|5,00|0|"},
     "booked without 7890000000099 | PRODUTO FANTASMA, 940001 | SEM ESTOQUE"},
    {"PED1005.txt", {"NumeroPedido: 1005", "DataPedido: 2015-02-04", "NomeCliente: joão da conceição|", "CidadeCliente: são paulo",
                     "EstadoCliente: SP", "EnderecoCliente: praça da sé", "ProdutoVendido: 7890000000028|caneta ação|1.50|1|1.50|0|"},
     "booked"},
    // Apostrophes, "--", ";" and quotes in every field, in UTF-8: the texts the reader cleans
    // lose their apostrophes, the rest goes in exactly as written.
    {"PED1006.txt", {"NumeroPedido: 1006", "DataPedido: 2'--/02/04", "NomeCliente: o'neil -- x; \"ç\"|", "CpfCliente: 111'444-77",
                     "RgCliente: 12'--34", "IECliente: IE'--1", "EnderecoCliente: rua d'ajuda -- 5", "BairroCliente: b'--",
                     "ComplementoCliente: c'--", "CidadeCliente: sant'ana -- do sul", "EstadoCliente: '-", "CepCliente: 0'--12345",
                     "EmailCliente: a'--b@x.com", "TelefoneCliente: 11'--22", "SubTotalProdutos: 7'--", "FreteEscolhido: sedex'--",
                     "Valor Frete: 1'--", "ValorPedido: 9'); delete from saida; --", "CodigoEnvio: C'--D",
                     "ProdutoVendido: 78'--00|lapis d'agua -- 2|1.00|1|1.00|0|"}, "booked", Encoding::Utf8Lf},
    // Found by CNPJ: a blank consumer type is a final consumer; "consumidor final" is not.
    {"PED1007.txt", {"NumeroPedido: 1007", "NomeCliente: empresa|", "CnpjCliente: 334445550001-66", kCaderno}, "booked"},
    {"PED1008.txt", {"NumeroPedido: 1008", "CnpjCliente: 445556660001-77", kCaderno}, "booked"},
    // The CNPJ of a supplier: a new customer.
    {"PED1009.txt", {"NumeroPedido: 1009", "NomeCliente: novo cliente|", "CnpjCliente: 556667770001-88"}, "booked"},
    // A failure anywhere leaves nothing of the order; the fixed file books once.
    {"PED1010.txt", {"NumeroPedido: 1010", "NomeCliente: Cliente Sem Documento", "ProdutoVendido: 7890000000028|caneta|1,50|2|3,00|0|",
                     "ProdutoVendido: 78'--00|lapis|2,00|1|2,00|0|", "ProdutoVendido: 910002|borracha|1,00|1|1,00||"},
     "PED1010.txt, linha 5: o sexto campo do item não é um número: \"\""},
    {"PED1010.txt", {"NumeroPedido: 1010", "NomeCliente: Cliente Sem Documento", "ProdutoVendido: 7890000000028|caneta|1,50|2|3,00|0|",
                     "ProdutoVendido: 78'--00|lapis|2,00|1|2,00|0|", "ProdutoVendido: 910002|borracha|1,00|1|1,00|0|"}, "booked"},
    {"PED1011.txt", {"NumeroPedido: 1011", "NomeCliente: Cliente Frete", "FreteEscolhido: " + QString(1200, 'x'), kCaderno},
     "PED1011.txt: arithmetic exception, numeric overflow, or string truncation..."},
    {"PED1011.txt", {"NumeroPedido: 1011", "NomeCliente: Cliente Frete", "ProdutoVendido: 7890000000011|caderno|1|1|12,3x|0|"},
     "PED1011.txt, linha 3: o valor total \"12,3x\" do produto de código de barras 7890000000011 não é um número"},
    // The new customer is not found under its name (a trigger renames it): nothing is booked.
    {"PED1012.txt", {"NumeroPedido: 1012", "NomeCliente: Sem Codigo", kCaderno}, "not booked"},
    {"PED1013.txt", {"NumeroPedido: 1013", "NomeCliente: Zoltán Erdős|"}, "booked", Encoding::Utf8Lf},
};

} // namespace

TEST(Golden, OrdersBookedColumnByColumn)
{
    ErpSession s;
    for (const char* product : {"'7890000000011','CADERNO',2,'CX','0102',10,'50'", "'7890000000028','CANETA',NULL,NULL,'060',NULL,NULL",
                                "'78''--00','LAPIS',1,'UN','0500',0,'52'", "'910002','CST 2',1,'UN','01',0,'52'",
                                "'910005','CST 5',1,'UN','01020',0,'52'", "'910070','CST 070',1,'UN','070',0,'52'",
                                "'910101','CST 0101',1,'UN','0101',0,'52'", "'920002','VAZIOS',NULL,'','',NULL,''",
                                "'920003','ZEROS',0,'KG','0500',0,'99'", "'940001','SEM ESTOQUE',1,'UN','0500',0,'52'"})
        s.db.execute(QStringLiteral("insert into produto (prbarra,prnome,prvolume,prunisaida,prcst,pripi,prcstipi,prvenda) values (%1,1)").arg(product));
    s.db.execute("insert into saldo (fkprcod,fklocod,sasaldo) select prcod,0,5 from produto p where prbarra<>'940001' "
                 "and not exists (select 1 from saldo s where s.fkprcod=p.prcod)");
    s.db.execute("insert into interveniente (fktipointerveniente,innome,intipoconsumidor,incpf,inrg,ininscricao,inendereco,innumero,"
                 "incomplemento,inbairro,inmunicipio,inuf,inmucod,incep,inemailnfe,infone,fkvendedor,usuario_alt,data_alt) values (2,"
                 "'CARLOS ANTIGO','REVENDA   ','987.654.321-00','RG-OLD','IE-OLD','RUA VELHA','12','APTO 9','BAIRRO VELHO','SANTOS',"
                 "'SP','999','11000-000','velho@x.com','1300000000',77,'ADMIN','1/1/2014 08:00:00')");
    s.db.execute("insert into interveniente (fktipointerveniente,innome,intipoconsumidor,incnpj) values (2,'EMPRESA BRANCA','   ','33.444.555/0001-66')");
    s.db.execute("insert into interveniente (fktipointerveniente,innome,intipoconsumidor,incnpj) values (2,'LOJA MINUSCULA','consumidor final','44.555.666/0001-77')");
    s.db.execute("insert into interveniente (fktipointerveniente,innome,incnpj) values (1,'FORNECEDOR','55.666.777/0001-88')");
    s.db.execute("create trigger rename_new for interveniente before insert as begin "
                 "if (new.innome = 'SEM CODIGO') then new.innome = 'SEM CODIGO *'; end");
    ASSERT_TRUE(s.open()) << s.report.criticals.join('\n').toStdString();

    for (const Step& step : kSteps) {
        if (!step.lines.isEmpty())
            s.write(step.file, step.lines, step.encoding);
        const QString result = outcome(s, s.file(step.file));
        if (step.outcome.endsWith("..."))
            EXPECT_TRUE(result.startsWith(step.outcome.chopped(3))) << step.file << ": " << result.toStdString();
        else
            EXPECT_EQ(result, step.outcome) << step.file;
    }
    // The simplified regime: 4 % of the base, written on the order and the item.
    s.db.execute("update param set icmssimples=4");
    ASSERT_TRUE(s.open());
    EXPECT_EQ(outcome(s, s.write("PED1014.txt", {"NumeroPedido: 1014", "NomeCliente: cliente simples|", kCaderno})), "booked");

    EXPECT_EQ(s.report.logs, QStringList({
        "Pedido PED1004.txt: produto não cadastrado no sistema, item não lançado: código de barras 7890000000099, PRODUTO FANTASMA",
        "Pedido PED1004.txt: produto não cadastrado no sistema, item não lançado: código de barras 940001, SEM ESTOQUE",
        "PED1013.txt: Caracteres sem representação no banco de dados (Windows-1252) gravados como \"?\": Ő"}));

    // Every row the import wrote or refreshed: customers, orders, items. Keys are shown as what they
    // point at; columns that hold the same value in every row are checked once.
    QStringList sameAddress;
    for (const QString c : {"endereco", "numero", "complemento", "bairro", "municipio", "uf", "mucod"})
        sameAddress << "in" + c + "2 is not distinct from in" + c + " and inen" + c + " is not distinct from in" + c;
    const QString customers = "from interveniente where usuario_alt='AUTOMATICO' order by innome";
    expectRows("interveniente", rows(s.db, {"innome", "intipoconsumidor", "incpf", "inrg", "incnpj", "ininscricao", "fkvendedor",
                                             "datanascimento", "datanascimentot", "inindicacao", "data_alt"}, customers), R"(
ANA SEM DOCUMENTO|CONSUMIDOR FINAL|___.___.___-__||||2|2015-02-04|20150204||2/4/2015 14:05:09
CARLOS ANTIGO|REVENDA   |987.654.321-00|RG-OLD|<NULL>|IE-OLD|77|<NULL>|<NULL>|<NULL>|2/4/2015 14:05:09
CLIENTE SEM DOCUMENTO|CONSUMIDOR FINAL|||||2|2015-02-04|20150204||2/4/2015 14:05:09
CLIENTE SIMPLES|CONSUMIDOR FINAL|||||2|2015-02-04|20150204||2/4/2015 14:05:09
EMPRESA BRANCA|   |<NULL>|<NULL>|33.444.555/0001-66|<NULL>|<NULL>|<NULL>|<NULL>|<NULL>|2/4/2015 14:05:09
JOÃO DA CONCEIÇÃO|CONSUMIDOR FINAL|||||2|2015-02-04|20150204||2/4/2015 14:05:09
LOJA MINUSCULA|consumidor final|<NULL>|<NULL>|44.555.666/0001-77|<NULL>|<NULL>|<NULL>|<NULL>|<NULL>|2/4/2015 14:05:09
NOVO CLIENTE|CONSUMIDOR FINAL|||55.666.777/0001-88||2|2015-02-04|20150204||2/4/2015 14:05:09
O NEIL -- X; "Ç"|CONSUMIDOR FINAL|___.___.___-__|12'--34||IE'--1|2|2015-02-04|20150204||2/4/2015 14:05:09
PAPELARIA EXEMPLO LTDA|CONSUMIDOR FINAL|123.456.789-09||11.222.333/0001-81|123.456.789.110|2|2015-02-04|20150204||2/4/2015 14:05:09
PEDRO|CONSUMIDOR FINAL|||||2|2015-02-04|20150204||2/4/2015 14:05:09
ZOLTÁN ERD?S|CONSUMIDOR FINAL|||||2|2015-02-04|20150204||2/4/2015 14:05:09
)");
    expectRows("interveniente", rows(s.db, {"innome", "inendereco", "innumero", "incomplemento", "inbairro", "inmunicipio", "inuf",
                                             "inmucod", "incep", "inemailnfe", "infone",
                                             "trim(iif(" + sameAddress.join(" and ") + ", 'copied', 'not copied'))"}, customers), R"(
ANA SEM DOCUMENTO|RUA UM|<NULL>|||CIDADE INEXISTENTE|MG|||||copied
CARLOS ANTIGO|AV BRASIL 500|12||JARDIM AMERICA|SAO PAULO|SP|3550308|01430-001|carlos@example.com|11988887777|copied
CLIENTE SEM DOCUMENTO||<NULL>|||||||||copied
CLIENTE SIMPLES||<NULL>|||||||||copied
EMPRESA BRANCA||<NULL>|||||||||copied
JOÃO DA CONCEIÇÃO|PRAÇA DA SÉ|<NULL>|||SÃO PAULO|SP|||||copied
LOJA MINUSCULA||<NULL>|||||||||copied
NOVO CLIENTE||<NULL>|||||||||copied
O NEIL -- X; "Ç"|RUA D AJUDA -- 5|<NULL>|C --|B --|SANT ANA -- DO SUL|'-||0'--12345|a --b@x.com|11 --22|copied
PAPELARIA EXEMPLO LTDA|RUA DAS PALMEIRAS, 100|<NULL>|SALA 2|CENTRO|CAMPINAS|SP|3509502|13010-000|compras@exemplo.com.br|(19)3232-1111|copied
PEDRO||<NULL>|||||||||copied
ZOLTÁN ERD?S||<NULL>|||||||||copied
)");
    expectRows("interveniente", rows(s.db, {"fktipointerveniente", "opsimples", "inpaiscod", "inpaisnome", "ininativo", "inrepresentante",
                                             "inbloqueado", "fktransportadora", "fkgcompra"}, customers, true), "2|0|1058|BRASIL|0|0|0|0|0");

    const QString orders = "from saida s join interveniente c on c.incod = s.safkinterveniente order by s.fkftp";
    expectRows("saida", rows(s.db, {"s.fkftp", "s.sanf", "c.innome", "s.savrpago", "s.total", "s.savrtotal", "s.vrfrete", "s.saobs",
                                     "s.saintipoconsumidor", "s.sadtsaida", "s.datasaida", "s.sadtentrega", "s.dataentrega",
                                     "s.cli_icmsuf"}, orders), R"(
1001|1001|PAPELARIA EXEMPLO LTDA|215.50|215.50|200.00|15.50|SEDEX - CODIGO ENVIO: SX123BR|CONSUMIDOR FINAL|20150203|02/03/2015|20150205|02/05/2015|18.0000
1002|1002|CARLOS ANTIGO|100,00|100,00|100,00|0,00|RETIRAR NA LOJA - CODIGO ENVIO: |REVENDA|20150204|02/04/2015|20150204|02/04/2015|18.0000
1003|1003|ANA SEM DOCUMENTO||||| - CODIGO ENVIO: |CONSUMIDOR FINAL|20150130|01/30/2015|20150130|01/30/2015|18.0000
1004|1004|PEDRO|||||UM OU MAIS PRODUTOS NÃO ESTÃO CADASTRADOS NO SISTEMA: 940001 | SEM ESTOQUE|CONSUMIDOR FINAL|20150204|02/04/2015|20150204|02/04/2015|18.0000
1005|1005|JOÃO DA CONCEIÇÃO||||| - CODIGO ENVIO: |CONSUMIDOR FINAL|20150204|02/04/2015|20150204|02/04/2015|18.0000
1006|1006|O NEIL -- X; "Ç"|9'); delete from saida; --|9'); delete from saida; --|7'--|1'--|SEDEX'-- - CODIGO ENVIO: C'--D|CONSUMIDOR FINAL|2'--0204|02/04/2'--|2'--0204|02/04/2'--|18.0000
1007|1007|EMPRESA BRANCA||||| - CODIGO ENVIO: |CONSUMIDOR FINAL|||||18.0000
1008|1008|LOJA MINUSCULA||||| - CODIGO ENVIO: |consumidor final|||||18.0000
1009|1009|NOVO CLIENTE||||| - CODIGO ENVIO: |CONSUMIDOR FINAL|||||18.0000
1010|1010|CLIENTE SEM DOCUMENTO||||| - CODIGO ENVIO: |CONSUMIDOR FINAL|||||18.0000
1013|1013|ZOLTÁN ERD?S||||| - CODIGO ENVIO: |CONSUMIDOR FINAL|||||18.0000
1014|1014|CLIENTE SIMPLES||||| - CODIGO ENVIO: |CONSUMIDOR FINAL|||||4.0000
)");
    expectRows("saida", rows(s.db, {"sadesconto", "usuario", "sarecebimento", "saassinado", "valoripi", "sainstalacao", "valoricms",
                                     "sabloqueado", "safrete", "tmfinanceiro", "tmestoque", "tmisentaicms", "versao", "saqtdeimpressao",
                                     "usuario_cri", "data_cri", "safktppag", "sastatusanalise", "tbindividualizada", "fktbnome",
                                     "status", "safktpsaida", "safkvendedor"}, "from saida", true),
               "0.00|AUTOMATICO||NAO|0.00|0.00|0.00|1|1|NAO|NAO|0|04-02-2015|0|AUTOMATICO|2/4/2015 14:05:09|1||NAO|SITE|P|3|2");

    const QString items = "from itemsaida i join saida s on s.sacod = i.itfksacod join produto p on p.prcod = i.itfkprcod "
                          "left join saldo st on st.sacod = i.saldocod order by s.fkftp, i.itcod";
    expectRows("itemsaida", rows(s.db, {"s.fkftp", "p.prbarra", "i.prcst_icms", "i.vbcicms", "i.vicms", "i.cstipi", "i.vipi", "i.pipi",
                                         "i.itvripi", "i.perc_icms", "i.itvolume", "i.itunidade", "i.itqtd", "i.saldo", "i.itvrunitario",
                                         "i.itvrtotal", "i.itprnome", "trim(iif(st.fkprcod = p.prcod, 'stock', 'other stock'))"}, items), R"(
1001|7890000000011|0102|220.00|39.60|50|20.00|10.0000|10.0000|18.0000|2.0000|CX|2.0000|2.0000|100.0000|200.00|CADERNO UNIVERSITARIO|stock
1001|7890000000028|060|3.00|0.00|52|0.00|0.0000|0.0000|18.0000|1.0000|UN|2.0000|2.0000|1.5000|3.00|CANETA AZUL|stock
1002|7890000000011|0102|100.00|18.00|50|10.00|10.0000|10.0000|18.0000|2.0000|CX|1.0000|1.0000|100.0000|100.00|CADERNO UNIVERSITARIO|stock
1003|910002|01|3.00|0.00|52|0.00|0.0000|0.0000|18.0000|1.0000|UN|1.0000|1.0000|3.0000|3.00|CST DE 2|stock
1003|910005|01020|3.00|0.00|52|0.00|0.0000|0.0000|18.0000|1.0000|UN|1.0000|1.0000|3.0000|3.00|CST DE 5|stock
1003|910070|070|3.00|0.54|52|0.00|0.0000|0.0000|18.0000|1.0000|UN|1.0000|1.0000|3.0000|3.00|CST 070|stock
1003|910101|0101|3.00|0.54|52|0.00|0.0000|0.0000|18.0000|1.0000|UN|1.0000|1.0000|3.0000|3.00|CST 0101|stock
1003|920002|0500|12.50|0.00|52|0.00|0.0000|0.0000|18.0000|1.0000|UN|2.5000|2.5000|5.0000|12.50|TEXTOS VAZIOS|stock
1003|920003|0500|1.00|0.00|99|0.00|0.0000|0.0000|18.0000|0.0000|KG|1.0000|1.0000|1.0000|1.00|ZEROS|stock
1004|7890000000028|060|1.50|0.00|52|0.00|0.0000|0.0000|18.0000|1.0000|UN|1.0000|1.0000|1.5000|1.50|CANETA AZUL|stock
1005|7890000000028|060|1.50|0.00|52|0.00|0.0000|0.0000|18.0000|1.0000|UN|1.0000|1.0000|1.5000|1.50|CANETA AÇÃO|stock
1006|78'--00|0500|1.00|0.00|52|0.00|0.0000|0.0000|18.0000|1.0000|UN|1.0000|1.0000|1.0000|1.00|LAPIS D AGUA -- 2|stock
1007|7890000000011|0102|110.00|19.80|50|10.00|10.0000|10.0000|18.0000|2.0000|CX|1.0000|1.0000|100.0000|100.00|CADERNO|stock
1008|7890000000011|0102|100.00|18.00|50|10.00|10.0000|10.0000|18.0000|2.0000|CX|1.0000|1.0000|100.0000|100.00|CADERNO|stock
1010|7890000000028|060|3.00|0.00|52|0.00|0.0000|0.0000|18.0000|1.0000|UN|2.0000|2.0000|1.5000|3.00|CANETA|stock
1010|78'--00|0500|2.00|0.00|52|0.00|0.0000|0.0000|18.0000|1.0000|UN|1.0000|1.0000|2.0000|2.00|LAPIS|stock
1010|910002|01|1.00|0.00|52|0.00|0.0000|0.0000|18.0000|1.0000|UN|1.0000|1.0000|1.0000|1.00|BORRACHA|stock
1014|7890000000011|0102|110.00|4.40|50|10.00|10.0000|10.0000|4.0000|2.0000|CX|1.0000|1.0000|100.0000|100.00|CADERNO|stock
)");
    expectRows("itemsaida", rows(s.db, {"picmsst", "vbcst", "vicmsst", "aliquotainterna", "red_bcicmsst", "itfesq", "itmodelado",
                                         "itlargura", "italtura", "itm2", "itsadesconto", "usuario_cri", "data_cri", "tppromocao",
                                         "itentrega_retira", "itfklocod", "itobs", "itlote", "itvalidade", "datavalidade"},
                                  "from itemsaida", true),
               "0.0000|0.00|0.00|18.0000|0.0000|0|0|0.0000|0.0000|0.0000|0.00|AUTOMATICO|2015-02-04|||0|||30001231|3000-12-31");
}
