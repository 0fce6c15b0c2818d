-- Three questions asked of the changes of a fleet (table changes, one row per tarvel-diff CSV row).
-- Parameters: :min_hosts (question 1) and :top (question 3); examples/fleet.sh sets both.
-- Each answer follows a heading line that starts with '## '.

.headers off
SELECT '## New autoruns seen on more than ' || :min_hosts || ' hosts';
.headers on
SELECT path, COUNT(DISTINCT host) AS hosts
  FROM changes
  WHERE section = 'autorun' AND change = 'added'
  GROUP BY path
  HAVING hosts > :min_hosts
  ORDER BY hosts DESC, path;

.headers off
SELECT '## Hosts with any known-bad record';
.headers on
SELECT host, COUNT(*) AS records
  FROM changes
  WHERE known_bad <> ''
  GROUP BY host
  ORDER BY host;

.headers off
SELECT '## Files modified on most hosts (the first ' || :top || ')';
.headers on
SELECT path, COUNT(DISTINCT host) AS hosts
  FROM changes
  WHERE section = 'file' AND change = 'modified'
  GROUP BY path
  ORDER BY hosts DESC, path
  LIMIT :top;
