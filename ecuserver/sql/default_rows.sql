-- The default controller database shipped with the program. Rows for the default ids (6, 9),
-- used when an image's ids cannot be read, and for the programs in samples/.
BEGIN;
INSERT INTO parameter (project_id, table0_rev, name, table_no, item_no, size_factor1, size_factor2, description) VALUES
  (6,  9, 'SwIdTxt',  1, 0, 16, 1, 'software ID, 16 characters'),
  (6,  9, 'CalIdTxt', 1, 1, 16, 1, 'calibration ID, 16 characters'),
  (17, 1, 'SwIdTxt',  1, 0, 12, 1, 'software ID, 12 characters'),
  (17, 1, 'CalIdTxt', 2, 0, 16, 1, 'calibration ID, 16 characters'),
  (17, 2, 'SwIdTxt',  1, 2,  4, 3, 'software ID, 12 characters'),
  (17, 2, 'CalIdTxt', 2, 1,  8, 2, 'calibration ID, 16 characters');
COMMIT;
