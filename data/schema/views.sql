-- The records as the lists show them.
CREATE VIEW view_data AS SELECT * FROM dt_data;

-- The records with the names of their codes beside them.
CREATE VIEW view_data_all AS
SELECT d.*,
       city.CombName AS c903name,
       level.Name AS c904name,
       industry.Name AS c905name,
       economic.Name AS c906name,
       domain.Name AS c907name,
       hold.Name AS c909name,
       state.Name AS c912name
FROM dt_data d
LEFT JOIN CT_CityName city ON city.ID = d.c903
LEFT JOIN CT_LevelCode level ON level.ID = d.c904
LEFT JOIN CT_Industry industry ON industry.ID = d.c905
LEFT JOIN CT_Economic economic ON economic.ID = d.c906
LEFT JOIN CT_UnionDomain domain ON domain.ID = d.c907
LEFT JOIN CT_HoldSituation hold ON hold.ID = d.c909
LEFT JOIN CT_state state ON state.ID = d.c912;

-- A second name for the record table, for queries written against it.
CREATE VIEW dt_data1 AS SELECT * FROM dt_data;

-- The fields that can be queried as indicators: the numeric fields of the form's pages.
CREATE VIEW view_datasearch AS
SELECT FieldName AS codename, Hint AS codehint, PageID, sequence
FROM dt_fieldlist
WHERE PageID >= 0 AND QueryType IN (0, 2, 3);

-- The field dictionary with the caption of each field's page; visible can be changed through it.
CREATE VIEW view_FieldList AS
SELECT f.ID AS id, f.FieldName, f.Hint, f.Visible AS visible, f.PageID, f.sequence, s.CodeName AS SheetName
FROM dt_fieldlist f
LEFT JOIN ct_sheetName s ON s.CodeID = f.PageID;

CREATE TRIGGER view_FieldList_update INSTEAD OF UPDATE ON view_FieldList
BEGIN
    UPDATE dt_fieldlist SET Visible = NEW.visible, Hint = NEW.Hint WHERE ID = OLD.id;
END;

-- The ranges of the custom groups, with the comparisons that select their records.
CREATE VIEW view_group_item AS
SELECT id, GroupID, Title, LowBoundary, HighBoundary, LowSymbol, HighSymbol,
       LowSymbol || CAST(LowBoundary AS INTEGER) AS LowValue,
       HighSymbol || CAST(HighBoundary AS INTEGER) AS HighValue
FROM DT_GroupItem;

CREATE TRIGGER view_group_item_insert INSTEAD OF INSERT ON view_group_item
BEGIN
    INSERT INTO DT_GroupItem (id, GroupID, Title, LowBoundary, HighBoundary, LowSymbol, HighSymbol)
    VALUES (NEW.id, NEW.GroupID, NEW.Title, NEW.LowBoundary, NEW.HighBoundary, NEW.LowSymbol, NEW.HighSymbol);
END;

CREATE TRIGGER view_group_item_update INSTEAD OF UPDATE ON view_group_item
BEGIN
    UPDATE DT_GroupItem
    SET GroupID = NEW.GroupID, Title = NEW.Title, LowBoundary = NEW.LowBoundary,
        HighBoundary = NEW.HighBoundary, LowSymbol = NEW.LowSymbol, HighSymbol = NEW.HighSymbol
    WHERE id = OLD.id;
END;

CREATE TRIGGER view_group_item_delete INSTEAD OF DELETE ON view_group_item
BEGIN
    DELETE FROM DT_GroupItem WHERE id = OLD.id;
END;
