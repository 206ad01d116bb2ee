#pragma once
// An ERP session opened as the batch opens it (Zelto.ini, ABRE_BANCO, COD_VENDEDOR 2) on a fresh
// Firebird database of the sample shop; order files written beside the database and imported.
#include "import/erp_session.h"
#include "import/import_order.h"
#include "support/fixed_clock.h"
#include "support/test_database.h"
#include "support/test_util.h"

#include <QDir>

struct ErpSession {
    testdb::FirebirdTestDatabase db;
    ImportState state;
    RecordingReport report;
    FixedClock clock;   // 4 Feb 2015 14:05:09

    explicit ErpSession(testdb::Charset charset = testdb::Charset::Win1252) : db(charset) { db.writeZeltoIni(db.folder()); }

    // ABRE_BANCO; false (and the check's message in report.criticals) when a check failed.
    bool open(std::optional<QString> sellerCode = QStringLiteral("2"))
    {
        state.sellerCode = sellerCode;
        return ABRE_BANCO(state, db.folder(), report);
    }
    QString file(const QString& name) const { return QDir(db.folder()).filePath(name); }
    QString write(const QString& name, const QStringList& lines, testutil::Encoding e = testutil::Encoding::Cp1252CrLf)
    {
        return testutil::writeFile(file(name), testutil::orderFile(lines, e));
    }
    ImportResult import(const QString& path) { return IMPORTA_ZELTO(path, state, clock, report); }
};
