-- The sample project's SQLite database, revision 1: the project's own
-- relational data beside the model (members, drawings, issues, the schedule
-- and two properties of every model element).
BEGIN;

CREATE TABLE project_member (
  id           INTEGER PRIMARY KEY,
  account      TEXT NOT NULL UNIQUE,
  display_name TEXT NOT NULL,
  role         TEXT NOT NULL
);
INSERT INTO project_member (account, display_name, role) VALUES
  ('li.wei',      'Li Wei',      'BIM manager'),
  ('chen.jing',   'Chen Jing',   'Architect'),
  ('zhao.min',    'Zhao Min',    'Structural engineer'),
  ('sun.hao',     'Sun Hao',     'MEP coordinator'),
  ('wang.fang',   'Wang Fang',   'Site engineer');

CREATE TABLE drawing (
  id         INTEGER PRIMARY KEY,
  number     TEXT NOT NULL UNIQUE,
  title      TEXT NOT NULL,
  revision   TEXT NOT NULL,
  floor_code TEXT
);
INSERT INTO drawing (number, title, revision, floor_code) VALUES
  ('A-100', 'Site plan',                     'A', NULL),
  ('A-101', 'Basement plan',                 'A', 'B1'),
  ('A-102', 'Ground floor plan',             'A', 'L1'),
  ('A-103', 'First floor plan',              'A', 'L2'),
  ('A-104', 'Second floor plan',             'A', 'L3'),
  ('A-105', 'Roof plan',                     'A', 'RF'),
  ('A-201', 'Sections A-A and B-B',          'A', NULL),
  ('S-101', 'Foundation and basement slab',  'A', 'B1'),
  ('S-102', 'Column and beam layout',        'A', NULL),
  ('P-101', 'Plumbing risers',               'A', NULL),
  ('M-101', 'Ventilation, typical floor',    'A', NULL),
  ('F-101', 'Sprinkler layout, typical floor', 'A', NULL);

CREATE TABLE issue (
  id         INTEGER PRIMARY KEY,
  title      TEXT NOT NULL,
  status     TEXT NOT NULL,
  element_id INTEGER,
  raised_by  TEXT NOT NULL,
  raised_on  TEXT NOT NULL
);
INSERT INTO issue (title, status, element_id, raised_by, raised_on) VALUES
  ('Duct clashes with beam at grid C/4',          'Open',   1873468521371000087, 'sun.hao',   '2026-11-02'),
  ('Cable tray route blocked by stair B1-02',     'Open',   1873468521371000093, 'sun.hao',   '2026-11-03'),
  ('Door L1-01 swing conflicts with column',      'Open',   1873468521371000127, 'chen.jing', '2026-11-05'),
  ('Wall L2-03 fire rating unclear',              'Open',   1873468521371000215, 'wang.fang', '2026-11-09'),
  ('Sprinkler spacing over 4 m on L3',            'Open',   1873468521371000415, 'li.wei',    '2026-11-12'),
  ('Slab L2-02 opening not coordinated',          'Closed', 1873468521371000288, 'zhao.min',  '2026-10-28'),
  ('Pipe L1-05 slope reversed',                   'Closed', 1873468521371000189, 'sun.hao',   '2026-10-30'),
  ('Window L3-09 sill height',                    'Open',   1873468521371000357, 'chen.jing', '2026-11-15');

CREATE TABLE schedule_task (
  id           INTEGER PRIMARY KEY,
  segment_code TEXT NOT NULL,
  name         TEXT NOT NULL,
  start_on     TEXT NOT NULL,
  finish_on    TEXT NOT NULL
);
INSERT INTO schedule_task (segment_code, name, start_on, finish_on) VALUES
  ('C', 'Basement slab and walls',     '2027-03-01', '2027-04-15'),
  ('A', 'Ground floor frame, east',    '2027-04-16', '2027-05-20'),
  ('B', 'Ground floor frame, west',    '2027-04-23', '2027-05-27'),
  ('A', 'Upper floors frame, east',    '2027-05-21', '2027-07-10'),
  ('B', 'Upper floors frame, west',    '2027-05-28', '2027-07-17'),
  ('C', 'Core and stairs',             '2027-04-16', '2027-07-24'),
  ('D', 'Roof plant',                  '2027-07-25', '2027-08-30'),
  ('A', 'Services first fix, east',    '2027-07-11', '2027-09-15'),
  ('B', 'Services first fix, west',    '2027-07-18', '2027-09-22'),
  ('C', 'Fit-out and commissioning',   '2027-09-23', '2027-12-10');

-- Two properties for each of the model's 424 elements, whose identifiers
-- run from 1873468521371000001 up.
CREATE TABLE element_property (
  id         INTEGER PRIMARY KEY,
  element_id INTEGER NOT NULL,
  name       TEXT NOT NULL,
  value      TEXT NOT NULL
);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 424)
INSERT INTO element_property (element_id, name, value)
  SELECT 1873468521371000000 + i, 'phase', CASE WHEN i <= 212 THEN 'Phase 1' ELSE 'Phase 2' END FROM n
  UNION ALL
  SELECT 1873468521371000000 + i, 'status', 'Designed' FROM n;
CREATE INDEX element_property_element ON element_property (element_id);

COMMIT;
