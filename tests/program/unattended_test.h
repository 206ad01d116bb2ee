#pragma once
// Where the unattended runs here start from: an FTP server on loopback, a Firebird database, and
// the program in an application folder of its own whose ftp.ini and Zelto.ini point at them.
#include "support/unattended_rig.h"

struct Unattended : ::testing::Test {
    PyFtpServer server;
    testdb::FirebirdTestDatabase db;
    rig::Program program;
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
        ASSERT_EQ(program.error(), QString());
        program.writeFtpIni(server);
        db.writeZeltoIni(program.appFolder());
    }
};
