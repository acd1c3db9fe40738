-- Controller database: where each named parameter of a programming image lies, per pair of
-- database ids (ProjectID, Table0Rev) that the image carries in items 0 and 1 of table 0.
PRAGMA user_version = 1;

CREATE TABLE parameter (
  project_id   INTEGER NOT NULL CHECK (project_id BETWEEN 0 AND 255),
  table0_rev   INTEGER NOT NULL CHECK (table0_rev BETWEEN 0 AND 255),
  name         TEXT    NOT NULL,
  table_no     INTEGER NOT NULL CHECK (table_no BETWEEN 0 AND 255),
  item_no      INTEGER NOT NULL CHECK (item_no BETWEEN 0 AND 255),
  size_factor1 INTEGER NOT NULL CHECK (size_factor1 BETWEEN 0 AND 4294967295),
  size_factor2 INTEGER NOT NULL CHECK (size_factor2 BETWEEN 0 AND 4294967295),
  description  TEXT    NOT NULL DEFAULT '',
  PRIMARY KEY (project_id, table0_rev, name)
) WITHOUT ROWID;
