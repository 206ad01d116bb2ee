#pragma once
// An ERP session opened as the batch opens it (Zelto.ini, ABRE_BANCO) on a fresh Firebird
// database, order files written beside it, and reads of what was committed.
#include "core/text_codec.h"
#include "import/erp_session.h"
#include "import/import_order.h"
#include "support/fixed_clock.h"
#include "support/test_database.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

class ImportFixture {
public:
    testdb::FirebirdTestDatabase db;
    ImportState state;
    RecordingReport report;
    FixedClock clock;

    // Opens the session as the batch does (Zelto.ini, ABRE_BANCO) and a second connection that
    // sees only what was committed.
    void open()
    {
        db.writeZeltoIni(db.folder());
        state.sellerCode = QStringLiteral("2");
        ASSERT_TRUE(ABRE_BANCO(state, db.folder(), report)) << report.criticals.join('\n').toStdString();
        probe_ = db.connect();
    }

    // Writes an order file; `crlf` picks the line end, `cp1252` the encoding (else UTF-8).
    QString write(const QString& name, const QStringList& lines, bool crlf = true, bool cp1252 = true)
    {
        const QString text = lines.join(crlf ? QStringLiteral("\r\n") : QStringLiteral("\n")) + (crlf ? "\r\n" : "\n");
        const QString path = QDir(db.folder()).filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(cp1252 ? text::toCp1252(text) : text.toUtf8());
        return path;
    }

    ImportResult import(const QString& path) { return IMPORTA_ZELTO(path, state, clock, report); }

    // One value of the first row of a select, on the committed data.
    QString value(const QString& sql)
    {
        auto rs = probe_->open(sql);
        return rs->eof() ? QStringLiteral("<none>") : rs->field(QStringLiteral("v")).text;
    }
    int count(const QString& table)
    {
        return value(QStringLiteral("select count(*) as v from ") + table).toInt();
    }
    // Every row of `table`, every column, in key order, as one text: equal texts, equal rows.
    QString rows(const QString& table)
    {
        const QStringList columns =
            value("select cast(list(trim(rdb$field_name), ',') as varchar(8000)) as v from rdb$relation_fields "
                  "where rdb$relation_name='" + table.toUpper() + "'").split(',');
        QStringList fields;
        for (const QString& column : columns)
            fields << "coalesce(cast(" + column + " as varchar(1000)), '<NULL>')";
        return value("select list(r, ascii_char(10)) as v from (select " + fields.join(" || '|' || ")
                     + " as r from " + table + " order by 1)");
    }

private:
    std::unique_ptr<IConnection> probe_;
};
