// The ERP schema takes the import's statements as they are written, with the values order files
// really carry (amounts with a decimal comma, empty codes, compact and slash dates), on Firebird
// and on the SQLite stand-in of the ODBC tests.
#include "import/db/database.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

namespace {

QString customerInsert(const QString& name, const QString& mucod)
{
    return QStringLiteral(
               "insert into interveniente (intipoconsumidor,inmucod,opsimples,inpaiscod,inpaisnome,ininativo,inrepresentante,"
               "inbloqueado,fktransportadora,inindicacao,datanascimento,datanascimentot,fkvendedor,fkgcompra,fktipointerveniente,"
               "usuario_alt,data_alt,innome,incpf,inrg,incnpj,ininscricao,inendereco,inbairro,incomplemento,inmunicipio,inuf,incep,"
               "inemailnfe,infone) values('CONSUMIDOR FINAL','%2','0','1058','BRASIL','0','0','0','0','','2/4/2015','20150204','2','0',"
               "'2','AUTOMATICO','2/4/2015 14:05:09','%1','123.456.789-09','12.345.678-9 SSP/SP','','ISENTO',"
               "'RUA DAS ACACIAS 12','JARDIM AMERICA','APTO 3','SAO PAULO','SP','01010-000','maria@example.com','(11)99999-8888')")
        .arg(name, mucod);
}

QString headerInsert(const QString& customer, const QString& total, const QString& orderNumber)
{
    return QStringLiteral(
               "insert into saida (sadesconto,savrpago,savrtotal,saobs,total,usuario,sarecebimento,saassinado,valoripi,sainstalacao,"
               "valoricms,vrfrete,sabloqueado,safrete,TMFINANCEIRO,TMESTOQUE,TMISENTAICMS,CLI_ICMSUF,versao,saintipoconsumidor,"
               "saqtdeimpressao,usuario_cri,data_cri,safktppag,sastatusanalise,tbindividualizada, fktbnome, status, sadtsaida, "
               "safktpsaida, safkinterveniente, datasaida, SAFKVENDEDOR, sadtentrega, dataentrega, sanf,fkftp) values(0,'%2','%2',"
               "'EXPRESSO - CODIGO ENVIO: AB12','%2','AUTOMATICO','','NAO','0','0','0','15,00','1','1','NAO','NAO','0','17.5',"
               "'04-02-2015','CONSUMIDOR FINAL',0,'AUTOMATICO','2/4/2015 14:05:09','1','','NAO', 'SITE', 'P','20150204','3','%1',"
               "'02/04/2015','2','20150206','02/06/2015','%3','%3')")
        .arg(customer, total, orderNumber);
}

QString itemInsert(const QString& order, const QString& product, const QString& saldo)
{
    return QStringLiteral(
               "insert into itemsaida (picmsst,prcst_icms,vbcicms,vicms,vbcst,vicmsst,perc_icms,aliquotainterna,red_bcicmsst,cstipi,"
               "vipi,pipi,itfesq,itmodelado,itlargura,italtura,itm2,itsadesconto,usuario_cri,data_cri,tppromocao,ITENTREGA_RETIRA,"
               "itvolume, itfksacod, itfkprcod, itfklocod, itqtd, itunidade, itvrunitario, itvrtotal, itobs, ITvrIPI, itlote, "
               "itvalidade, DATAVALIDADE, itprnome,saldo,SALDOCOD) values(0,'01025','110','19.8',0,0,'4',18,0,'52','10','10',"
               "'0','0','0','0','0',0,'AUTOMATICO','2/4/2015','','','1', ' %1','%2','0','2.5','UN','1.50','3.75','','10','',"
               "'30001231','12/31/3000','CANETA ESFEROGRAFICA AZUL','2.5','%3')")
        .arg(order, product, saldo);
}

void bookOne(IConnection& c)
{
    // Customer: insert without a municipality, read back, refresh, copy the address.
    c.execute(customerInsert(QStringLiteral("MARIA D AJUDA"), QString()));
    auto rs = c.open(QStringLiteral("select max(incod) as incod from interveniente where fktipointerveniente=2 and "
                                    "usuario_alt='AUTOMATICO' and innome='MARIA D AJUDA'"));
    const QString customer = rs->field(QStringLiteral("incod")).text;
    ASSERT_FALSE(customer.isEmpty());
    c.execute(QStringLiteral("update interveniente set inmucod='3550308',usuario_alt='AUTOMATICO',data_alt='2/4/2015 14:05:09',"
                             "inendereco='RUA NOVA',inbairro='',incomplemento='',inmunicipio='SAO PAULO',inuf='SP',incep='',"
                             "inemailnfe='',infone ='' where incod='%1'").arg(customer));
    c.execute(QStringLiteral("update interveniente set inendereco2=inendereco,innumero2=innumero,incomplemento2=incomplemento,"
                             "inbairro2=inbairro,inmunicipio2=inmunicipio,inuf2=inuf,inmucod2=inmucod,  inenendereco=inendereco,"
                             "inennumero=innumero,inencomplemento=incomplemento,inenbairro=inbairro,inenmunicipio=inmunicipio,"
                             "inenuf=inuf,inenmucod=inmucod where incod='%1'").arg(customer));
    rs = c.open(QStringLiteral("select incod,intipoconsumidor from interveniente where incpf='123.456.789-09' and fktipointerveniente=2"));
    EXPECT_FALSE(rs->eof());
    rs = c.open(QStringLiteral("select inenendereco, inmucod2 from interveniente where incod='%1'").arg(customer));
    EXPECT_EQ(rs->field(QStringLiteral("inenendereco")).text, QStringLiteral("RUA NOVA"));
    EXPECT_EQ(rs->field(QStringLiteral("INMUCOD2")).text, QStringLiteral("3550308"));

    // Header with the amounts as the file writes them, both ways.
    c.execute(headerInsert(customer, QStringLiteral("150,90"), QStringLiteral("987")));
    c.execute(headerInsert(customer, QStringLiteral("150.90"), QStringLiteral("988")));
    rs = c.open(QStringLiteral("select max(sacod) as sacod from saida where usuario_cri='AUTOMATICO' and safkinterveniente='%1'").arg(customer));
    const QString order = rs->field(QStringLiteral("sacod")).text;
    ASSERT_FALSE(order.isEmpty());
    rs = c.open(QStringLiteral("select sacod, savrpago, total, sanf from saida where fkftp='987' "));
    ASSERT_FALSE(rs->eof());
    EXPECT_EQ(rs->field(QStringLiteral("savrpago")).text, QStringLiteral("150,90"));
    EXPECT_EQ(rs->field(QStringLiteral("sanf")).text, QStringLiteral("987"));

    // Item of a product of the sample, then the missing-product note.
    rs = c.open(QStringLiteral("select p.prvolume,p.prcod,p.prunisaida,p.prcst,p.pripi,p.prcstipi,s.sasaldo,s.sacod as saldocod from "
                               "produto p inner join saldo s on(s.fkprcod=p.prcod) where p.prbarra='7891234000019'"));
    ASSERT_FALSE(rs->eof());
    c.execute(itemInsert(order, rs->field(QStringLiteral("prcod")).text, rs->field(QStringLiteral("saldocod")).text));
    rs = c.open(QStringLiteral("select itqtd, itvrtotal, vicms, prcst_icms from itemsaida where itfksacod='%1'").arg(order));
    ASSERT_FALSE(rs->eof());
    EXPECT_DOUBLE_EQ(rs->field(QStringLiteral("itqtd")).toDouble(), 2.5);
    EXPECT_DOUBLE_EQ(rs->field(QStringLiteral("vicms")).toDouble(), 19.8);
    EXPECT_EQ(rs->field(QStringLiteral("prcst_icms")).text, QStringLiteral("01025"));
    c.execute(QStringLiteral("update saida set saobs='UM OU MAIS PRODUTOS NÃO ESTÃO CADASTRADOS NO SISTEMA: 7890000000000 | %1' "
                             "where sacod='%2'").arg(QString(100, QLatin1Char('X')), order));
    // The product without a stock row is not found by the item select.
    EXPECT_TRUE(c.open(QStringLiteral("select p.prcod from produto p inner join saldo s on(s.fkprcod=p.prcod) where "
                                      "p.prbarra='7891234000507'"))->eof());
}

} // namespace

TEST(DbSchema, ImportStatementsRunAsWritten)
{
    {
        SCOPED_TRACE("Firebird");
        testdb::FirebirdTestDatabase db;
        auto c = db.connect();
        c->begin();
        bookOne(*c);
        c->commit();
    }
    {
        SCOPED_TRACE("SQLite through ODBC");
        testdb::SqliteOdbcDatabase db;
        auto c = db.connect();
        c->begin();
        bookOne(*c);
        c->commit();
    }
}
