-- Revision 2 of the sample project's SQLite database, applied on top of
-- database.sql; it follows the model changes of revision-2.json.
BEGIN;

-- The basement cable trays 93 to 96 are gone, eight sprinklers (425 to 432)
-- are new, and the first-floor walls 213 to 218 are now concrete.
DELETE FROM element_property WHERE element_id BETWEEN 1873468521371000093 AND 1873468521371000096;
WITH RECURSIVE n(i) AS (SELECT 425 UNION ALL SELECT i + 1 FROM n WHERE i < 432)
INSERT INTO element_property (element_id, name, value)
  SELECT 1873468521371000000 + i, 'phase', 'Phase 2' FROM n
  UNION ALL
  SELECT 1873468521371000000 + i, 'status', 'Designed' FROM n;
UPDATE element_property SET value = 'Revised'
  WHERE name = 'status' AND element_id BETWEEN 1873468521371000213 AND 1873468521371000218;

UPDATE issue SET status = 'Closed' WHERE id IN (2, 4, 5);
INSERT INTO issue (title, status, element_id, raised_by, raised_on) VALUES
  ('New sprinklers on L3 need a second branch',   'Open', 1873468521371000425, 'sun.hao',   '2026-12-01'),
  ('Concrete walls on L2 change the slab loads',  'Open', 1873468521371000213, 'zhao.min',  '2026-12-02'),
  ('Basement cable route to be confirmed',        'Open', NULL,                'wang.fang', '2026-12-03');

UPDATE drawing SET revision = 'B' WHERE number IN ('A-103', 'S-102', 'F-101');
INSERT INTO drawing (number, title, revision, floor_code) VALUES
  ('E-101', 'Basement cable routes', 'A', 'B1');

COMMIT;
