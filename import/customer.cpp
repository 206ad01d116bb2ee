// Customer resolution: the order's municipality, the customer found by CNPJ or CPF (refreshed)
// or created, and its address copied into the second and delivery address columns.
#include "import/booking.h"
#include "import/booking_detail.h"
#include "import/booking_observer.h"
#include "import/erp_session.h"
#include "import/sql_text.h"

namespace {

using booking::openQuery;

QString digitsOf(QString document, const QString& separators)
{
    for (const QChar c : separators)
        document.remove(c);
    return document;
}

// Copies the customer's main address into the second address and the delivery address.
void copyAddress(ImportState& state, const QString& customerCode)
{
    state.connection->execute(
        QStringLiteral("update interveniente set inendereco2=inendereco,innumero2=innumero,"
                       "incomplemento2=incomplemento,inbairro2=inbairro,inmunicipio2=inmunicipio,"
                       "inuf2=inuf,inmucod2=inmucod,  inenendereco=inendereco,inennumero=innumero,"
                       "inencomplemento=incomplemento,inenbairro=inbairro,inenmunicipio=inmunicipio,"
                       "inenuf=inuf,inenmucod=inmucod where incod=?"),
        {customerCode});
}

void insertCustomer(ImportState& state, const OrderRecord& order, const OrderContext& ctx)
{
    state.connection->execute(
        QStringLiteral(
            "insert into interveniente (intipoconsumidor,inmucod,opsimples,inpaiscod,inpaisnome,ininativo,"
            "inrepresentante,inbloqueado,fktransportadora,inindicacao,datanascimento,datanascimentot,"
            "fkvendedor,fkgcompra,fktipointerveniente,usuario_alt,data_alt,innome,incpf,inrg,incnpj,"
            "ininscricao,inendereco,inbairro,incomplemento,inmunicipio,inuf,incep,inemailnfe,infone)"
            " values(?,?,'0','1058','BRASIL','0','0','0','0','',?,?,?,'0','2','AUTOMATICO',?,?,?,?,?,?,?,?,?,?,?,?,?,?)"),
        {ctx.consumerType, ctx.municipalityCode, booking::shortDate(ctx.now.date()), ctx.todayCompact,
         state.sellerCode.value_or(QString()), ctx.timestamp, order.customerName, order.cpf, order.rg, order.cnpj,
         order.stateRegistration, order.address, order.district, order.complement, order.city, order.state,
         order.postalCode, order.email, order.phone});
}

void refreshCustomer(ImportState& state, const OrderRecord& order, const OrderContext& ctx, const QString& customerCode)
{
    state.connection->execute(
        QStringLiteral("update interveniente set inmucod=?,usuario_alt='AUTOMATICO',data_alt=?,inendereco=?,"
                       "inbairro=?,incomplemento=?,inmunicipio=?,inuf=?,incep=?,inemailnfe=?,infone =?where incod=?"),
        {ctx.municipalityCode, ctx.timestamp, order.address, order.district, order.complement, order.city,
         order.state, order.postalCode, order.email, order.phone, customerCode});
}

} // namespace

void resolveCustomer(ImportState& state, const OrderRecord& order, OrderContext& ctx)
{
    // Municipality of the order's city and state; empty when the ERP does not know it.
    ctx.municipalityCode.clear();
    {
        IRecordset& rs = openQuery(state, QStringLiteral("select mucod from municipio where mudesc = ? and uf=?"),
                                   {booking::trimSpaces(order.city), order.state});
        if (!rs.eof())
            ctx.municipalityCode = booking::fieldText(rs.field(QStringLiteral("mucod")));
        FECHA_CONSULTA(state);
    }

    ctx.customerCode.clear();
    ctx.orderCode.clear();
    ctx.consumerType = QStringLiteral("CONSUMIDOR FINAL");

    ctx.timestamp = booking::timestampText(ctx.now);
    ctx.todayCompact = ctx.now.date().toString(QStringLiteral("yyyyMMdd"));

    // A CNPJ that reads as a number wins over a CPF.
    CustomerValues told;
    QString lookup;
    if (sql::isNumeric(digitsOf(order.cpf, QStringLiteral(".-")))) {
        told.lookup = CustomerValues::Lookup::Cpf;
        told.document = order.cpf;
        lookup = QStringLiteral("select incod,intipoconsumidor from interveniente where incpf=? and fktipointerveniente=2");
    }
    if (sql::isNumeric(digitsOf(order.cnpj, QStringLiteral("./-")))) {
        told.lookup = CustomerValues::Lookup::Cnpj;
        told.document = order.cnpj;
        lookup = QStringLiteral("select incod,intipoconsumidor from interveniente where incnpj=? and fktipointerveniente=2");
    }
    told.municipalityCode = ctx.municipalityCode;
    const auto tell = [&] {
        told.code = ctx.customerCode;
        told.consumerType = ctx.consumerType;
        if (ctx.observer)
            ctx.observer->customerSettled(told);
    };

    if (!lookup.isEmpty()) {
        IRecordset& rs = openQuery(state, lookup, {told.document});
        if (!rs.eof()) {
            const QString customerCode = booking::fieldText(rs.field(QStringLiteral("incod")));
            const QString consumerType = booking::trimSpaces(booking::fieldText(rs.field(QStringLiteral("intipoconsumidor"))));
            ctx.customerCode = customerCode;
            if (!consumerType.isEmpty())
                ctx.consumerType = consumerType;
            refreshCustomer(state, order, ctx, customerCode);
            copyAddress(state, customerCode);
            FECHA_CONSULTA(state);
            told.found = true;
            tell();
            return;
        }
        FECHA_CONSULTA(state);
    }

    told.name = order.customerName;
    insertCustomer(state, order, ctx);
    IRecordset& rs = openQuery(state,
                               QStringLiteral("select max(incod) as incod from interveniente where fktipointerveniente=2 "
                                              "and usuario_alt='AUTOMATICO' and innome=?"),
                               {order.customerName});
    if (!rs.eof()) {
        const Field customerCode = rs.field(QStringLiteral("incod"));
        // A NULL maximum (the new row not found under its name) leaves the customer code empty,
        // so the order is not booked; there is then no row to copy the address of.
        if (!customerCode.isNull()) {
            ctx.customerCode = customerCode.text;
            copyAddress(state, customerCode.text);
        }
    }
    FECHA_CONSULTA(state);
    tell();
}
