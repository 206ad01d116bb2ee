// The order header: one saida row per order, its code read back for the items.
#include "import/booking.h"
#include "import/booking_detail.h"
#include "import/erp_session.h"
#include "import/sql_text.h"

using sql::quote;

void bookHeader(ImportState& state, const OrderRecord& order, OrderContext& ctx)
{
    FECHA_CONSULTA(state);
    if (!sql::isNumeric(ctx.customerCode))
        return;

    const QString sep = QStringLiteral("','");
    const QString orderNumber = QString::number(order.orderNumber);
    QString sqlText = QStringLiteral(
        "insert into saida (sadesconto,savrpago,savrtotal,saobs,total,usuario,sarecebimento,saassinado,valoripi,"
        "sainstalacao,valoricms,vrfrete,sabloqueado,safrete"
        ",TMFINANCEIRO,TMESTOQUE,TMISENTAICMS,CLI_ICMSUF,versao,saintipoconsumidor,saqtdeimpressao,usuario_cri,"
        "data_cri,safktppag,sastatusanalise,tbindividualizada, fktbnome, status, sadtsaida, safktpsaida, "
        "safkinterveniente, datasaida, SAFKVENDEDOR, sadtentrega, dataentrega, sanf,fkftp)");
    sqlText += QStringLiteral(" values(");
    sqlText += QStringLiteral("0,'") + quote(order.orderTotal) + sep + quote(order.subtotal) + sep
        + quote(order.freightChoice) + QStringLiteral(" - CODIGO ENVIO: ") + quote(order.shippingCode) + sep
        + quote(order.orderTotal) + QStringLiteral("','AUTOMATICO','','NAO','0','0','0','") + quote(order.freightValue)
        + QStringLiteral("','1','1'") + QStringLiteral(",'NAO','NAO','0','") + quote(sql::regionalNumber(state.icmsPercent))
        + QStringLiteral("','04-02-2015','") + quote(ctx.consumerType) + QStringLiteral("',0,'AUTOMATICO','")
        + quote(ctx.timestamp) + sep + quote(state.paymentMethod ? booking::fieldText(*state.paymentMethod) : QString())
        + QStringLiteral("','','NAO', 'SITE', 'P','") + quote(order.orderDateCompact)
        + sep + QString::number(state.movementType)
        + sep + quote(ctx.customerCode)
        + sep + quote(order.orderDateSlash)
        + sep + quote(state.sellerCode.value_or(QString()))
        + sep + quote(order.shipDateCompact)
        + sep + quote(order.shipDateSlash)
        + sep + orderNumber
        + sep + orderNumber
        + QStringLiteral("')");
    state.connection->execute(sqlText);

    IRecordset& rs = booking::openQuery(
        state, QStringLiteral("select max(sacod) as sacod from saida where usuario_cri='AUTOMATICO' and safkinterveniente='")
                   + quote(ctx.customerCode) + QLatin1Char('\''));
    if (!rs.eof())
        ctx.orderCode = booking::fieldText(rs.field(QStringLiteral("sacod")));
    FECHA_CONSULTA(state);
}
