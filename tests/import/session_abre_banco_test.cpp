// ABRE_BANCO on real databases: the sales parameters and the three checks; the connection string.
#include "erp_fixture.h"
#include "import/sql_text.h"

namespace {

const QString kCheck1 = "Entre nos Parâmetros do Sistema e informe na guia VENDAS 1\r\nO campo FORMA PAGTO. P/ MOBILE/FTP:";
const QString kCheck2 = "Entre nos Parâmetros do Sistema e informe na guia VENDAS 1\r\n"
                        "O campo TIPO DE MOVIMENTO P/ INICIO DA TELA PEDIDO DE VENDAS/MOBILE/FTP:\r\n"
                        "Deve ser utilizado um Movimento como Orçamento, que não movimente o Estoque.";
const QString kCheck3 = "Abra o arquivo ftp.ini e informe o código do vendedor na linha VENDEDOR=";

} // namespace

TEST(SessionAbreBanco, ParametersAndChecks)
{
    // Statements run on the sample shop first, the seller code, then what the session holds:
    // "ICMS rate|Simples rate|ICMS percent|movement type|payment form", or the check's message.
    const struct {
        QStringList setup;
        std::optional<QString> seller;
        QString result;
    } cases[] = {
        {{}, "2", "0.18|0|18|3|1"},
        {{"update param set icmssimples=4"}, "2", "0.18|0.04|4|3|1"},   // the simplified regime wins
        {{"update param set icmssimples=0", "update icms set icaliquota=7 where icuf='SP'"}, "2", "0.07|0|7|3|1"},
        {{"update icms set icaliquota=0 where icuf='SP'"}, "2", "0.18|0|18|3|1"},   // no usable rate: 18 %
        {{"update interveniente set inuf='RJ' where fktipointerveniente=5"}, "2", "0.2|0|20|3|1"},
        {{"update interveniente set inuf=' ' where fktipointerveniente=5", "update icms set icaliquota=17.5 where icuf='SP'"},
         "0", "0.175|0|17.5|3|1"},   // a blank state reads SP; a seller code "0" is one
        {{"insert into tipomovimento (tmdesc,tmestoque,tmfinanceiro,tipo) values ('PEDIDO D''AGUA','NAO','NAO','S')",
          "update param set tiposaida='  PEDIDO D''AGUA  '"}, "2", "0.18|0|18|5|1"},
        {{"update param set safktppag=0, tiposaida='VENDA'"}, std::nullopt, kCheck1},   // the first missing setting only
        {{"update param set safktppag=null"}, "2", kCheck1},
        {{"delete from param"}, "2", kCheck1},
        {{"insert into tipomovimento (tmdesc,tmestoque,tmfinanceiro,tipo) values ('ESTOQUE','SIM','NAO','S')",
          "update param set tiposaida='ESTOQUE'"}, "2", kCheck2},
        {{"update tipomovimento set tipo='E' where tmdesc='ORCAMENTO'"}, "2", kCheck2},
        {{}, std::nullopt, kCheck3},
        {{}, "", kCheck3},
    };
    for (const auto& c : cases) {
        ErpSession s;
        for (const QString& sql : c.setup)
            s.db.execute(sql);
        const bool opened = s.open(c.seller);
        const QString result = opened ? QStringList{sql::regionalNumber(s.state.icmsRate), sql::regionalNumber(s.state.simplesRate),
                                                    sql::regionalNumber(s.state.icmsPercent), QString::number(s.state.movementType),
                                                    s.state.paymentMethod->text}.join('|')
                                      : s.report.criticals.join(" + ");
        EXPECT_EQ(result, c.result) << c.setup.join("; ").toStdString();
        EXPECT_FALSE(s.state.query);
    }
}

TEST(SessionAbreBanco, ZeltoIniAnyCaseAndAMovementTypeBeyond16BitsFails)
{
    ErpSession s;
    ASSERT_TRUE(QFile::rename(s.file("Zelto.ini"), s.file("ZELTO.INI")));
    EXPECT_TRUE(s.open());
    s.db.execute("insert into tipomovimento (tmcod,tmdesc,tmestoque,tmfinanceiro,tipo) values (40000,'WEB','NAO','NAO','S')");
    s.db.execute("update param set tiposaida='WEB'");
    EXPECT_THROW(s.open(), Failure);
}

TEST(SessionConnectionString, BuiltAsTheErpExpects)
{
    ZeltoSettings z;
    z.user = "SYSDBA";
    z.password = "masterkey";
    z.databasePath = "C:\\ZELTO\\DADOS.FDB";
    z.server = "SRV01";
    z.databaseName = "LOJA";
    EXPECT_EQ(buildConnectionString(z), "driver={Firebird/InterBase(r) driver};server=;uid=SYSDBA;Pwd=masterkey;database=C:\\ZELTO\\DADOS.FDB");
    z.connectionType = "0";   // any text selects SQL Server
    EXPECT_EQ(buildConnectionString(z), "driver={SQl Server};server=SRV01;uid=SYSDBA;Pwd=masterkey;database=LOJA");
    z.databaseName.clear();
    z.password = "a;b}c";
    EXPECT_EQ(buildConnectionString(z), "driver={SQl Server};server=SRV01;uid=SYSDBA;Pwd={a;b}}c};database=ZELTOCONTROLLER");
    EXPECT_EQ(parseConnectionString(buildConnectionString(z)).value("pwd"), z.password);
}
