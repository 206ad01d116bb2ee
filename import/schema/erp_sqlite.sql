/*
  ERP schema for SQLite, reached through unixODBC's SQLite driver in the tests of the ODBC path
  (registered under the driver name "SQl Server"). The same tables, columns and indexes as
  erp_firebird.sql, whose header explains the column types; keys are INTEGER PRIMARY KEY
  AUTOINCREMENT columns. sample_erp.sql runs on it unchanged.
*/
CREATE TABLE INTERVENIENTE (
    INCOD               INTEGER PRIMARY KEY AUTOINCREMENT,
    FKTIPOINTERVENIENTE INTEGER NOT NULL,          /* 2 customer, 5 the company itself */
    INNOME              VARCHAR(60),
    INTIPOCONSUMIDOR    VARCHAR(30),                /* "CONSUMIDOR FINAL", "REVENDA", ... */
    INCPF               VARCHAR(20),                /* masked: 123.456.789-09 */
    INRG                VARCHAR(60),
    INCNPJ              VARCHAR(20),                /* masked: 12.345.678/0001-95 */
    ININSCRICAO         VARCHAR(60),
    INENDERECO          VARCHAR(60),
    INNUMERO            VARCHAR(10),
    INCOMPLEMENTO       VARCHAR(60),
    INBAIRRO            VARCHAR(60),
    INMUNICIPIO         VARCHAR(60),
    INUF                VARCHAR(2),
    INMUCOD             VARCHAR(10),                /* municipio.mucod as text, '' when unknown */
    INCEP               VARCHAR(10),
    INEMAILNFE          VARCHAR(100),
    INFONE              VARCHAR(20),
    /* second address */
    INENDERECO2         VARCHAR(60),
    INNUMERO2           VARCHAR(10),
    INCOMPLEMENTO2      VARCHAR(60),
    INBAIRRO2           VARCHAR(60),
    INMUNICIPIO2        VARCHAR(60),
    INUF2               VARCHAR(2),
    INMUCOD2            VARCHAR(10),
    /* delivery address */
    INENENDERECO        VARCHAR(60),
    INENNUMERO          VARCHAR(10),
    INENCOMPLEMENTO     VARCHAR(60),
    INENBAIRRO          VARCHAR(60),
    INENMUNICIPIO       VARCHAR(60),
    INENUF              VARCHAR(2),
    INENMUCOD           VARCHAR(10),
    OPSIMPLES           SMALLINT DEFAULT 0,
    INPAISCOD           INTEGER DEFAULT 1058,
    INPAISNOME          VARCHAR(40) DEFAULT 'BRASIL',
    ININATIVO           SMALLINT DEFAULT 0,
    INREPRESENTANTE     SMALLINT DEFAULT 0,
    INBLOQUEADO         SMALLINT DEFAULT 0,
    FKTRANSPORTADORA    INTEGER DEFAULT 0,
    ININDICACAO         VARCHAR(60),
    DATANASCIMENTO      DATE,
    DATANASCIMENTOT     VARCHAR(8),
    FKVENDEDOR          INTEGER,
    FKGCOMPRA           INTEGER DEFAULT 0,
    USUARIO_ALT         VARCHAR(20),
    DATA_ALT            VARCHAR(30)
);
CREATE INDEX IX_INTERVENIENTE_CPF ON INTERVENIENTE (INCPF);
CREATE INDEX IX_INTERVENIENTE_CNPJ ON INTERVENIENTE (INCNPJ);
CREATE INDEX IX_INTERVENIENTE_NOME ON INTERVENIENTE (INNOME);
CREATE INDEX IX_INTERVENIENTE_TIPO ON INTERVENIENTE (FKTIPOINTERVENIENTE);

CREATE TABLE PARAM (
    PACOD               INTEGER PRIMARY KEY AUTOINCREMENT,
    FKINCOD             INTEGER NOT NULL,           /* the company: interveniente of type 5 */
    ICMSSIMPLES         NUMERIC(9,2),               /* ICMS % of the simplified regime, NULL when not in it */
    SAFKTPPAG           INTEGER,                    /* payment form of orders from FTP/mobile */
    TABELACAIXA         VARCHAR(20),
    TIPOSAIDA           VARCHAR(60)                /* description (TMDESC) of their movement type */
);

CREATE TABLE TIPOMOVIMENTO (
    TMCOD               INTEGER PRIMARY KEY AUTOINCREMENT,
    TMDESC              VARCHAR(60) NOT NULL,
    TMESTOQUE           VARCHAR(3) DEFAULT 'NAO',   /* moves stock: SIM/NAO */
    TMFINANCEIRO        VARCHAR(3) DEFAULT 'NAO',   /* moves finances: SIM/NAO */
    TIPO                CHAR(1) NOT NULL           /* E entry, S exit */
);
CREATE INDEX IX_TIPOMOVIMENTO_DESC ON TIPOMOVIMENTO (TMDESC);

CREATE TABLE ICMS (
    ICCOD               INTEGER PRIMARY KEY AUTOINCREMENT,
    ICUF                VARCHAR(2) NOT NULL,
    ICALIQUOTA          NUMERIC(5,2) NOT NULL      /* internal rate of the state, % */
);
CREATE INDEX IX_ICMS_UF ON ICMS (ICUF);

CREATE TABLE MUNICIPIO (
    MUCOD               INTEGER NOT NULL,           /* IBGE code */
    MUDESC              VARCHAR(60) NOT NULL,       /* upper case, as order files are upper-cased */
    UF                  VARCHAR(2) NOT NULL,
    CONSTRAINT PK_MUNICIPIO PRIMARY KEY (MUCOD)
);
CREATE INDEX IX_MUNICIPIO_DESC ON MUNICIPIO (MUDESC, UF);

CREATE TABLE SAIDA (
    SACOD               INTEGER PRIMARY KEY AUTOINCREMENT,
    SADESCONTO          NUMERIC(15,2),
    SAVRPAGO            VARCHAR(30),                /* money as the order file writes it */
    SAVRTOTAL           VARCHAR(30),
    SAOBS               VARCHAR(1000),
    TOTAL               VARCHAR(30),
    USUARIO             VARCHAR(20),
    SARECEBIMENTO       VARCHAR(20),
    SAASSINADO          VARCHAR(3),
    VALORIPI            NUMERIC(15,2),
    SAINSTALACAO        NUMERIC(15,2),
    VALORICMS           NUMERIC(15,2),
    VRFRETE             VARCHAR(30),
    SABLOQUEADO         SMALLINT,
    SAFRETE             SMALLINT,
    TMFINANCEIRO        VARCHAR(3),
    TMESTOQUE           VARCHAR(3),
    TMISENTAICMS        SMALLINT,
    CLI_ICMSUF          NUMERIC(15,4),
    VERSAO              VARCHAR(10),
    SAINTIPOCONSUMIDOR  VARCHAR(30),
    SAQTDEIMPRESSAO     SMALLINT,
    USUARIO_CRI         VARCHAR(20),
    DATA_CRI            VARCHAR(30),
    SAFKTPPAG           INTEGER,
    SASTATUSANALISE     VARCHAR(20),
    TBINDIVIDUALIZADA   VARCHAR(3),
    FKTBNOME            VARCHAR(20),
    STATUS              VARCHAR(2),
    SADTSAIDA           VARCHAR(8),                 /* yyyymmdd */
    SAFKTPSAIDA         INTEGER,                    /* tipomovimento.tmcod */
    SAFKINTERVENIENTE   INTEGER,                    /* the customer */
    DATASAIDA           VARCHAR(10),                /* mm/dd/yyyy */
    SAFKVENDEDOR        INTEGER,
    SADTENTREGA         VARCHAR(8),
    DATAENTREGA         VARCHAR(10),
    SANF                INTEGER,
    FKFTP               INTEGER                    /* order number of the FTP order file */
);
CREATE INDEX IX_SAIDA_FKFTP ON SAIDA (FKFTP);
CREATE INDEX IX_SAIDA_INTERVENIENTE ON SAIDA (SAFKINTERVENIENTE);

CREATE TABLE PRODUTO (
    PRCOD               INTEGER PRIMARY KEY AUTOINCREMENT,
    PRBARRA             VARCHAR(40),                /* EAN-13 */
    PRNOME              VARCHAR(100) NOT NULL,
    PRVOLUME            NUMERIC(15,4),
    PRUNISAIDA          VARCHAR(6),
    PRCST               VARCHAR(5),                 /* origin + ICMS situation: 0102, 060, 0500 */
    PRIPI               NUMERIC(9,4),               /* IPI % */
    PRCSTIPI            VARCHAR(3),
    PRVENDA             NUMERIC(15,2)
);
CREATE INDEX IX_PRODUTO_BARRA ON PRODUTO (PRBARRA);

CREATE TABLE SALDO (
    SACOD               INTEGER PRIMARY KEY AUTOINCREMENT,
    FKPRCOD             INTEGER NOT NULL,
    FKLOCOD             INTEGER DEFAULT 0,
    SASALDO             NUMERIC(15,4) DEFAULT 0,
    CONSTRAINT FK_SALDO_PRODUTO FOREIGN KEY (FKPRCOD) REFERENCES PRODUTO (PRCOD)
);
CREATE INDEX IX_SALDO_PRODUTO ON SALDO (FKPRCOD);

CREATE TABLE ITEMSAIDA (
    ITCOD               INTEGER PRIMARY KEY AUTOINCREMENT,
    PICMSST             NUMERIC(9,4),
    PRCST_ICMS          VARCHAR(5),
    VBCICMS             NUMERIC(15,2),
    VICMS               NUMERIC(15,2),
    VBCST               NUMERIC(15,2),
    VICMSST             NUMERIC(15,2),
    PERC_ICMS           NUMERIC(15,4),
    ALIQUOTAINTERNA     NUMERIC(9,4),
    RED_BCICMSST        NUMERIC(9,4),
    CSTIPI              VARCHAR(3),
    VIPI                NUMERIC(15,2),
    PIPI                NUMERIC(9,4),
    ITFESQ              SMALLINT,
    ITMODELADO          SMALLINT,
    ITLARGURA           NUMERIC(15,4),
    ITALTURA            NUMERIC(15,4),
    ITM2                NUMERIC(15,4),
    ITSADESCONTO        NUMERIC(15,2),
    USUARIO_CRI         VARCHAR(20),
    DATA_CRI            DATE,                       /* m/d/yyyy */
    TPPROMOCAO          VARCHAR(20),
    ITENTREGA_RETIRA    VARCHAR(10),
    ITVOLUME            NUMERIC(15,4),
    ITFKSACOD           INTEGER NOT NULL,
    ITFKPRCOD           INTEGER NOT NULL,
    ITFKLOCOD           INTEGER,
    ITQTD               NUMERIC(15,4),
    ITUNIDADE           VARCHAR(6),
    ITVRUNITARIO        NUMERIC(15,4),
    ITVRTOTAL           NUMERIC(15,2),
    ITOBS               VARCHAR(200),
    ITVRIPI             NUMERIC(15,4),              /* holds the IPI rate */
    ITLOTE              VARCHAR(20),
    ITVALIDADE          VARCHAR(8),                 /* yyyymmdd */
    DATAVALIDADE        DATE,
    ITPRNOME            VARCHAR(100),
    SALDO               NUMERIC(15,4),              /* the quantity */
    SALDOCOD            INTEGER,
    CONSTRAINT FK_ITEMSAIDA_SAIDA FOREIGN KEY (ITFKSACOD) REFERENCES SAIDA (SACOD)
);
CREATE INDEX IX_ITEMSAIDA_PRODUTO ON ITEMSAIDA (ITFKPRCOD);
