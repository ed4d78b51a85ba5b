-- Sample material for `qvtool demo`: a few clips of a news archive.
CREATE TABLE clips (
  id INTEGER PRIMARY KEY,
  title VARCHAR(60) NOT NULL,
  standard VARCHAR(8),
  frames INT,
  aired DATETIME,
  archived BOOLEAN,
  rating REAL
);
INSERT INTO clips VALUES (1, 'Evening news 2024-03-01', 'PAL', 45000, '2024-03-01 19:00:00', 1, 4.5);
INSERT INTO clips VALUES (2, 'Weather report', 'PAL', 4500, '2024-03-01 19:25:00', 0, 3.0);
INSERT INTO clips VALUES (3, 'Sport highlights', 'NTSC', 17982, '2024-03-01 19:30:00', 0, 4.0);
INSERT INTO clips VALUES (4, '新闻联播 片头', 'PAL', 750, '2024-03-02 19:00:00', 1, NULL);
INSERT INTO clips VALUES (5, 'Raw interview, take 2', NULL, 27000, NULL, 0, 2.5);
