-- Scratch table for conflict checks: the columns of dt_data without any uniqueness rule.
CREATE TABLE dt_data_dt_data AS SELECT * FROM dt_data WHERE 0;

-- The field dictionary: one row per field of the survey.
CREATE TABLE dt_fieldlist (
    ID INTEGER PRIMARY KEY,
    FieldName VARCHAR(50) NOT NULL,
    ShowName VARCHAR(50),
    Hint VARCHAR(255),
    FieldWidth INTEGER DEFAULT 80,
    FieldType VARCHAR(50),
    Visible BOOLEAN DEFAULT 1,
    QueryShow BOOLEAN DEFAULT 1,
    QueryType INTEGER DEFAULT 0,
    sequence INTEGER DEFAULT 0,
    PageID INTEGER DEFAULT -1,
    printPageID INTEGER DEFAULT 0,
    printplace VARCHAR(20)
);
CREATE INDEX sequence ON dt_fieldlist (sequence);

-- The pages of the survey form.
CREATE TABLE ct_sheetName (
    CodeID INTEGER PRIMARY KEY,
    CodeName VARCHAR(100)
);

-- Consistency rules of the entry form: a rule is violated when its expression is true.
CREATE TABLE dt_logic (
    id INTEGER PRIMARY KEY,
    page_id INTEGER NOT NULL,
    expression VARCHAR(255) NOT NULL,
    rule VARCHAR(255),
    explain VARCHAR(255),
    focus VARCHAR(20)
);

-- Custom groups of code ranges.
CREATE TABLE ct_group (
    ID INTEGER PRIMARY KEY AUTOINCREMENT,
    Name VARCHAR(255),
    orderstr VARCHAR(255) DEFAULT 'id ASC',
    GroupList VARCHAR(255),
    AutoLowest BOOLEAN DEFAULT 0,
    AutoHighest BOOLEAN DEFAULT 0
);

CREATE TABLE DT_GroupItem (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    GroupID INTEGER,
    Title VARCHAR(255),
    LowBoundary DOUBLE,
    HighBoundary DOUBLE,
    LowSymbol VARCHAR(2),
    HighSymbol VARCHAR(2)
);

-- Code tables.
CREATE TABLE CT_CityName (
    ID INTEGER PRIMARY KEY,
    Code1 INTEGER,
    Code2 INTEGER,
    Code3 INTEGER,
    Name VARCHAR(50),
    CombName VARCHAR(100)
);
CREATE INDEX Code1 ON CT_CityName (Code1, Code2, Code3);

CREATE TABLE CT_UnionDomain (
    ID VARCHAR(3) PRIMARY KEY,
    Code1 VARCHAR(1),
    Code2 INTEGER,
    Name VARCHAR(100),
    CombName VARCHAR(100)
);
CREATE INDEX UnionDomainCode1 ON CT_UnionDomain (Code1, Code2);

CREATE TABLE CT_LevelCode (ID INTEGER PRIMARY KEY, Name VARCHAR(100));
CREATE TABLE CT_Industry (ID INTEGER PRIMARY KEY, Name VARCHAR(100));
CREATE TABLE CT_Economic (ID INTEGER PRIMARY KEY, Name VARCHAR(100));
CREATE TABLE CT_HoldSituation (ID INTEGER PRIMARY KEY, Name VARCHAR(100));
CREATE TABLE CT_HoldSituation1 (ID INTEGER PRIMARY KEY, Name VARCHAR(100));
CREATE TABLE CT_state (ID INTEGER PRIMARY KEY, Name VARCHAR(100));
