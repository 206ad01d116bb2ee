#pragma once
// A fresh ERP database with the import state as the session leaves it, a connection that keeps
// every statement it runs, and helpers to read rows back.
#include "import/booking.h"
#include "import/sql_text.h"
#include "import/db/database.h"
#include "support/fixed_clock.h"
#include "support/test_database.h"

#include <QStringList>
#include <gtest/gtest.h>

// Passes everything to the real connection and keeps the statement texts.
class RecordingConnection : public IConnection {
public:
    explicit RecordingConnection(std::unique_ptr<IConnection> inner) : inner_(std::move(inner)) {}
    QStringList statements;   // inserts and updates, in order
    QStringList selects;

    void execute(const QString& sql) override
    {
        statements << sql;
        inner_->execute(sql);
    }
    std::unique_ptr<IRecordset> open(const QString& sql) override
    {
        selects << sql;
        return inner_->open(sql);
    }
    void begin() override { inner_->begin(); }
    void commit() override { inner_->commit(); }
    void rollback() override { inner_->rollback(); }
    bool inTransaction() const override { return inner_->inTransaction(); }
    QString description() const override { return inner_->description(); }
    void setWarningHandler(std::function<void(const QString&)> handler) override
    {
        inner_->setWarningHandler(std::move(handler));
    }

    // The last insert or update beginning with `prefix`; fails the test when there is none.
    QString last(const QString& prefix) const
    {
        for (auto it = statements.crbegin(); it != statements.crend(); ++it)
            if (it->startsWith(prefix))
                return *it;
        ADD_FAILURE() << "no statement begins with " << prefix.toStdString();
        return {};
    }

private:
    std::unique_ptr<IConnection> inner_;
};

struct BookingDb {
    testdb::FirebirdTestDatabase db;
    ImportState state;
    RecordingConnection* connection = nullptr;
    RecordingReport report;
    FixedClock clock;   // 4 Feb 2015 14:05:09

    BookingDb()
    {
        auto recording = std::make_unique<RecordingConnection>(db.connect());
        connection = recording.get();
        state.connection = std::move(recording);
        // The sales parameters as the session loads them from the sample ERP.
        state.sellerCode = value(QStringLiteral("select incod from interveniente where fktipointerveniente=3"),
                                      QStringLiteral("incod"));
        Field payment;
        payment.kind = Field::Kind::Integer;
        payment.text = QStringLiteral("1");
        state.paymentMethod = payment;
        state.outgoingType = QStringLiteral("ORCAMENTO");
        state.movementType = static_cast<qint16>(
            value(QStringLiteral("select tmcod from tipomovimento where tmdesc='ORCAMENTO'"), QStringLiteral("tmcod")).toInt());
        state.icmsRate = 0.18;
        state.simplesRate = 0;
        state.icmsPercent = 18;
    }

    OrderContext context(const QString& fileName = QStringLiteral("pedido.txt")) const
    {
        OrderContext ctx;
        ctx.fileName = fileName;
        ctx.now = clock.now();
        return ctx;
    }

    // A field of the first row of a select on a connection of its own; "<NULL>" for NULL,
    // "<no row>" when there is no row.
    QString value(const QString& select, const QString& column) const
    {
        auto c = db.connect();
        auto rs = c->open(select);
        if (rs->eof())
            return QStringLiteral("<no row>");
        const Field f = rs->field(column);
        return f.isNull() ? QStringLiteral("<NULL>") : f.text;
    }

    int count(const QString& tableAndWhere) const
    {
        return value(QStringLiteral("select count(*) as n from ") + tableAndWhere, QStringLiteral("n")).toInt();
    }

    // Runs a statement of the test's own (products, customers) on a connection of its own.
    void exec(const QString& sql) const { db.connect()->execute(sql); }

    // A product with a stock row; NULL for columns given as "NULL". Returns its prcod.
    QString addProduct(const QString& barcode, const QString& name, const QString& volume, const QString& unit,
                       const QString& cst, const QString& ipi, const QString& cstIpi, bool withStock = true) const
    {
        exec(QStringLiteral("insert into produto (prbarra,prnome,prvolume,prunisaida,prcst,pripi,prcstipi,prvenda) "
                            "values (%1,%2,%3,%4,%5,%6,%7,10)")
                 .arg(literal(barcode), literal(name), volume, literal(unit), literal(cst), ipi, literal(cstIpi)));
        const QString prcod = value(QStringLiteral("select max(prcod) as prcod from produto"), QStringLiteral("prcod"));
        if (withStock)
            exec(QStringLiteral("insert into saldo (fkprcod,fklocod,sasaldo) values (%1,0,7)").arg(prcod));
        return prcod;
    }

    static QString literal(const QString& text)
    {
        if (text == QLatin1String("NULL"))
            return text;
        QString t = text;
        return QLatin1Char('\'') + t.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
    }
};
