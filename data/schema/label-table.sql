-- The label of a database file: who provided its data.
CREATE TABLE ct_label (
    db_name VARCHAR(255)
);
